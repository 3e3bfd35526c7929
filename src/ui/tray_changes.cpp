#include "core/activity_log.h"
#include "engine/poll_pass.h"
#include "ui/tray_state.h"

namespace nimbard {
namespace {

// On the watch's thread: only a message to the window, which does the rest.
void PostChange(void* window) { ::PostMessageW(static_cast<HWND>(window), kAddressesChangedMessage, 0, 0); }

void ArmChangeTimer(HWND window) {
  const auto until = State().changes.MsUntilDue(::GetTickCount64());
  if (until) ::SetTimer(window, kChangeTimerId, static_cast<UINT>(*until), nullptr);
}

}  // namespace

void StartChangeWatch(HWND window) {
  Tray& tray = State();
  tray.changes = ChangeTrigger();
  const DWORD error = tray.changeWatch.Start(&PostChange, window);
  if (error != NO_ERROR) {
    LogMessage(UnwatchedChangesMessage(error));
  }
}

void StopChangeWatch(HWND window) {
  State().changeWatch.Stop();
  ::KillTimer(window, kChangeTimerId);
}

void OnAddressesChanged(HWND window) {
  if (MonitorMode || StopRequested.load()) return;  // the monitor runs no pass of its own
  State().changes.Changed(::GetTickCount64());
  ArmChangeTimer(window);
}

void OnChangeTimer(HWND window) {
  Tray& tray = State();
  ::KillTimer(window, kChangeTimerId);
  if (!tray.changes.TakeDue(::GetTickCount64())) {
    ArmChangeTimer(window);  // a timer may fire a little early
    return;
  }
  if (StopRequested.load() || tray.handingOver) return;
  if (PassRunning.load()) {
    tray.passOwed = true;  // the pass under way may have read the old address
  } else {
    StartPassThread(window, false);
  }
}

}  // namespace nimbard
