#include "core/activity_log.h"
#include "core/config_store.h"
#include "core/worker_thread.h"
#include "ui/tray_state.h"

namespace nimbard {

// A pass on a thread of its own, detached at once: the UI thread goes back
// to its messages, and learns of the pass's end from the result the thread
// hands it. Overlapping passes are refused by the pass itself.
void StartPassThread(HWND window, bool manual) {
  const bool started = StartDetachedThread([window, manual] {
    // Only the outcome's copy can throw here; the pass itself never does.
    Deliver(window, PassEnded{manual, PollPass(manual)});
  });
  if (!started) LogMessage(L"A poll pass could not be started: no thread is available.");
}

void OnPassEnded(HWND window, const PassEnded& pass) {
  Tray& tray = State();
  // A timed pass sets when the next comes: sooner while the network is not
  // there yet. A pass the user forced changes nothing of that.
  if (!MonitorMode && !pass.manual && pass.outcome.ran) {
    ::SetTimer(window, kPollTimerId, tray.schedule.NextWaitMs(pass.outcome, tray.pollIntervalMs), nullptr);
  }
  tray.icon.Refresh();
  ShowCheckResult(JudgePass(pass.outcome));
  // A pass under way at the Save read the file before it: the one owed counts.
  if (pass.outcome.ran && !tray.passOwed && std::exchange(tray.confirmSave, false)) {
    ShowSavedRecordsChecked(pass.outcome);
  }
  // A hand-over waited for this pass.
  if (tray.serviceCommand != 0 && !tray.commandStarted) {
    RunServiceCommand(window);
  } else if (std::exchange(tray.passOwed, false) && !tray.handingOver) {
    StartPassThread(window, false);
  }
}

void ApplySavedRecords(HWND window) {
  Tray& tray = State();
  RecordConfig first;
  if (LoadFirstRecord(first)) tray.pollIntervalMs = PollIntervalMs(first.pollMinutes);
  if (tray.handingOver || StopRequested.load()) return;
  tray.confirmSave = true;
  ::SetTimer(window, kPollTimerId, tray.pollIntervalMs, nullptr);
  if (PassRunning.load()) {
    tray.passOwed = true;
  } else {
    StartPassThread(window, false);
  }
}

}  // namespace nimbard
