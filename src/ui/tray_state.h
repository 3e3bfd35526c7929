#pragma once
// What the tray window's parts share (inside src/ui only): the UI-thread
// state of the one tray window, the results its worker threads hand it, the
// seams, and the calls each part makes to the others:
//   tray_window.cpp           the window: class, creation, messages, end
//   tray_menu.cpp             the popup menu and what its commands do
//   tray_passes.cpp           the passes this process runs (standalone)
//   tray_changes.cpp          the passes after address changes and resume (standalone)
//   tray_monitor.cpp          the monitor's refresh: status file, service state
//   tray_alerts.cpp           the icon's look and its balloons
//   tray_service_commands.cpp the service commands, the hand-over, the monitor's start
#include <windows.h>

#include <string>
#include <utility>
#include <variant>

#include "core/worker_thread.h"
#include "engine/change_trigger.h"
#include "engine/pass_schedule.h"
#include "engine/poll_pass.h"
#include "host/service_control.h"
#include "net/iphlpapi_library.h"
#include "ui/check_alert.h"
#include "ui/notify_icon.h"
#include "ui/result_queue.h"
#include "ui/service_watch.h"
#include "ui/tray_window.h"

namespace nimbard {

// The one message the tray's worker threads post to its window: "look at
// the results" (the icon's own is kTrayIconMessage, WM_APP + 1). It carries
// nothing; what it announces waits in Tray::results.
inline constexpr UINT kWorkerResultsMessage = WM_APP + 2;
// Posted by the address watch's thread: an IPv6 address came or went.
inline constexpr UINT kAddressesChangedMessage = WM_APP + 3;
// Timer 4: the pass owed for address changes is due.
inline constexpr UINT_PTR kChangeTimerId = 4;

// A pass of this process has ended.
struct PassEnded {
  bool manual = false;  // the user forced it
  PassOutcome outcome;
};
// A command's thread has ended (an elevated start, the service's answer to
// "check now"): its menu command and Win32 error (0 when done), and the
// error of starting the monitor after it (0 when none was needed or it started).
struct CommandEnded {
  UINT command = 0;
  DWORD error = 0;
  DWORD monitorError = 0;
};
// Each for the window it was started from: a later tray (the tests start
// several in one process) takes none of an earlier one's.
struct WorkerResult {
  HWND window = nullptr;
  std::variant<PassEnded, CommandEnded> what;
};

// UI-thread state of the one tray window; `results` alone is also pushed to
// by the worker threads (it has its own lock).
struct Tray {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;
  NotifyIcon icon;
  UINT taskbarCreated = 0;  // broadcast when the shell (re)starts
  UINT closeRequest = 0;    // kCloseMonitorMessageName: "--install" or "--uninstall" replaces the exe
  int iconRetriesLeft = 0;
  HMENU openMenu = nullptr;
  UINT pollIntervalMs = 0;  // the standalone flavour's interval, as read at start and after each Save
  bool passOwed = false;    // a Save came during a pass: one more timed pass follows it
  bool confirmSave = false;  // the next pass that runs follows a Save: its balloon says what it found
  PassSchedule schedule;    // when the standalone flavour's next timed pass comes
  ChangeTrigger changes;    // the standalone flavour's passes after address changes
  Ipv6ChangeWatch changeWatch;
  HICON normalIcon = nullptr;
  HICON warningIcon = nullptr;  // while the last check failed or the service is stopped
  CheckAlert alert;
  StatusFileJudge statusJudge;  // the monitor's
  ServiceWatch serviceWatch;    // the monitor's
  ServiceState serviceState = ServiceState::Unavailable;  // as the last refresh found it
  UINT serviceCommand = 0;      // the service command under way (its menu id), 0 when none
  bool handingOver = false;     // it hands the standalone tray's place to the service
  bool commandStarted = false;  // its thread runs (a hand-over waits for this process's pass first)
  ResultQueue<WorkerResult> results;
  wchar_t title[100] = L"nimbard";
  wchar_t className[100] = L"NIMBARD";
};

Tray& State();
// The service seams as the tests left them, every one filled in.
const TrayServiceSeams& Seams();

// Hands a worker's result to `window`: queued, then announced. Any thread.
void Deliver(HWND window, std::variant<PassEnded, CommandEnded> what) noexcept;

// What a command's thread returns.
struct CommandOutcome {
  DWORD error = 0;
  DWORD monitorError = 0;
};

// Commands that wait (a UAC prompt, a service command's own wait, the
// service's answer) run on a thread of their own: the tray's messages must
// not stop for them. `work` returns a CommandOutcome; it comes back to the
// window as CommandEnded.
template <typename Work>
void StartCommandThread(HWND window, UINT command, Work work) {
  const bool started = StartDetachedThread([window, command, work = std::move(work)]() mutable noexcept {
    CommandOutcome outcome{ERROR_NOT_ENOUGH_MEMORY};
    try {
      outcome = work();
    } catch (...) {
    }
    Deliver(window, CommandEnded{command, outcome.error, outcome.monitorError});
  });
  if (!started) Deliver(window, CommandEnded{command, ERROR_NOT_ENOUGH_MEMORY});  // no thread to spare
}

// tray_passes.cpp
void StartPassThread(HWND window, bool manual);
void OnPassEnded(HWND window, const PassEnded& pass);
// After a Save in the standalone tray: the saved interval from now on, and
// a timed pass at once (or right after the one under way).
void ApplySavedRecords(HWND window);

// tray_changes.cpp
// Standalone: address changes (kAddressesChangedMessage) and the resume from
// sleep start a pass soon after, through `changes`.
void StartChangeWatch(HWND window);
void StopChangeWatch(HWND window);
void OnAddressesChanged(HWND window);
void OnChangeTimer(HWND window);

// tray_alerts.cpp
void ShowCheckResult(const CheckResult& result);
void ShowServiceChange(ServiceChange change);
void ShowSavedRecordsChecked(const PassOutcome& pass);

// tray_monitor.cpp
void ReloadStatusFile();
// The service's state into the summary line, and its changes onto the icon.
void FollowServiceState();
// The one-second refresh: both of the above, and the icon sent again.
void RefreshMonitor();

// tray_menu.cpp
void OpenPopupMenu(HWND window);
// False for ids the window does not handle itself.
bool RunCommand(HWND window, UINT command);
// The end of a command that is no service command: a box when it failed.
void ShowCommandOutcome(HWND window, const CommandEnded& ended);

// tray_service_commands.cpp
const wchar_t* ServiceCommandOption(UINT command);
bool Offered(ServiceState state, UINT command);
void StartServiceCommand(HWND window, UINT command);
void RunServiceCommand(HWND window);
void FinishServiceCommand(HWND window, const CommandEnded& ended);
// Runs `file` with administrator rights, waited for when `waitForExit`.
void StartElevatedCommand(HWND window, UINT command, std::wstring file, std::wstring parameters, bool waitForExit);

}  // namespace nimbard
