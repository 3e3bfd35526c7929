#include <string>
#include <utility>

#include "core/platform.h"
#include "core/text.h"
#include "engine/poll_pass.h"
#include "host/elevated_command.h"
#include "host/installed_copy.h"
#include "host/monitor_trays.h"
#include "ui/resource.h"
#include "ui/tray_state.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

// How long a service command's thread waits, after the command, for a
// service it started to leave "starting" ("--install" does not wait).
constexpr ULONGLONG kStartingWaitMs = 10000;
// How long, after a hand-over, a monitor started by the command itself (by
// "--install" with the shell's token) may take to take the session's guard
// before this process starts one (a second would end at that guard).
constexpr ULONGLONG kMonitorGuardWaitMs = 2000;

// A service that a command has just started may still be starting; what it
// came to counts, within a bound.
void WaitWhileStarting(ServiceStateQuery query) {
  const ULONGLONG deadline = ::GetTickCount64() + kStartingWaitMs;
  while (query() == ServiceState::Starting && ::GetTickCount64() < deadline) ::Sleep(100);
}

// A session guard that this process may not open (another account holds it)
// exists all the same.
bool SessionTrayRuns() {
  const UniqueKernelHandle guard(::OpenMutexW(SYNCHRONIZE, FALSE, kSessionTrayMutexName));
  return guard || ::GetLastError() == ERROR_ACCESS_DENIED;
}

// The installed exe as the monitor, with this process's own token: the user's,
// never the elevated command's.
DWORD StartMonitorProcess(const std::wstring& executable) {
  std::wstring commandLine = QuotedCommandLine(executable, L"--tray");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
    return ::GetLastError();
  }
  const UniqueKernelHandle process(started.hProcess), thread(started.hThread);
  return 0;
}

// After a hand-over whose command left the service running: the monitor
// takes this tray's place, unless one runs already (the session's guard,
// which this tray let go of before the command, is taken).
DWORD StartMonitorUnlessOneRuns(DWORD (*startMonitor)(const std::wstring&)) {
  const ULONGLONG deadline = ::GetTickCount64() + kMonitorGuardWaitMs;
  for (;;) {
    if (SessionTrayRuns()) return 0;
    if (::GetTickCount64() >= deadline) break;
    ::Sleep(50);
  }
  const std::wstring installed = InstalledExecutable();
  return installed.empty() ? ERROR_PATH_NOT_FOUND : startMonitor(installed);
}

TrayServiceSeams g_seams{&QueryServiceState, &RunElevatedCommand, &AskServiceForPass, &StartMonitorProcess};

}  // namespace

const TrayServiceSeams& Seams() { return g_seams; }

void SetServiceSeamsForTesting(const TrayServiceSeams& seams) {
  g_seams.query = seams.query ? seams.query : &QueryServiceState;
  g_seams.runner = seams.runner ? seams.runner : &RunElevatedCommand;
  g_seams.askForPass = seams.askForPass ? seams.askForPass : &AskServiceForPass;
  g_seams.startMonitor = seams.startMonitor ? seams.startMonitor : &StartMonitorProcess;
}

void StartElevatedCommand(HWND window, UINT command, std::wstring file, std::wstring parameters, bool waitForExit) {
  StartCommandThread(window, command,
                     [runner = Seams().runner, query = Seams().query, file = std::move(file),
                      parameters = std::move(parameters), waitForExit] {
                       const DWORD error = runner(file, parameters, waitForExit);
                       if (waitForExit && error == 0) WaitWhileStarting(query);
                       return CommandOutcome{error};
                     });
}

const wchar_t* ServiceCommandOption(UINT command) {
  switch (command) {
    case IDM_SERVICE_INSTALL: return L"--install";
    case IDM_SERVICE_UNINSTALL: return L"--uninstall";
    case IDM_SERVICE_START: return L"--start";
    case IDM_SERVICE_STOP: return L"--stop";
    case IDM_SERVICE_RESTART: return L"--restart";
    default: return nullptr;
  }
}

// The service commands each state offers. A service between states takes
// no control but its removal; a state the tray cannot learn offers nothing.
bool Offered(ServiceState state, UINT command) {
  switch (state) {
    case ServiceState::NotInstalled:
      return command == IDM_SERVICE_INSTALL;
    case ServiceState::Stopped:
      return command == IDM_SERVICE_START || command == IDM_SERVICE_UNINSTALL;
    case ServiceState::Running:
      return command == IDM_SERVICE_STOP || command == IDM_SERVICE_RESTART || command == IDM_SERVICE_UNINSTALL;
    case ServiceState::Other:  // paused
      return command == IDM_SERVICE_STOP || command == IDM_SERVICE_UNINSTALL;
    case ServiceState::Starting:
    case ServiceState::Stopping:
      return command == IDM_SERVICE_UNINSTALL;
    case ServiceState::Unavailable:
      break;
  }
  return false;
}

// Runs the service command under way: "<this exe> <option>" with
// administrator rights, waited for. A hand-over lets go of the guards first,
// and starts the monitor once the service runs.
void RunServiceCommand(HWND window) {
  Tray& tray = State();
  tray.commandStarted = true;
  if (tray.handingOver) StandaloneGuards.release();
  StartCommandThread(window, tray.serviceCommand,
                     [seams = Seams(), file = platform::ExecutablePath(),
                      option = std::wstring(ServiceCommandOption(tray.serviceCommand)),
                      handingOver = tray.handingOver] {
                       CommandOutcome outcome{seams.runner(file, option, true)};
                       if (outcome.error != 0) return outcome;
                       WaitWhileStarting(seams.query);
                       if (handingOver && seams.query() == ServiceState::Running) {
                         outcome.monitorError = StartMonitorUnlessOneRuns(seams.startMonitor);
                       }
                       return outcome;
                     });
}

// One service command at a time; one the service's state does not offer
// (chosen from a menu opened before the state changed) does nothing.
void StartServiceCommand(HWND window, UINT command) {
  Tray& tray = State();
  if (tray.serviceCommand != 0 || !Offered(Seams().query(), command)) return;
  tray.serviceCommand = command;
  // Install and Start from the standalone tray hand its place to the service
  // and its monitor tray. This process's passes stop for that, and one still
  // at work ends first: only one process checks at a time.
  tray.handingOver = !MonitorMode && StandaloneGuards.release && StandaloneGuards.retake &&
                     (command == IDM_SERVICE_INSTALL || command == IDM_SERVICE_START);
  tray.commandStarted = false;
  if (!(tray.handingOver && PassRunning.load())) RunServiceCommand(window);
}

// The end of a service command. After a hand-over, the standalone tray exits
// once the service runs (the monitor it started shows the icon now; a box
// says so when it could not be started), or when another tray took the
// guards meanwhile; else it goes on as before. A declined prompt shows
// nothing.
void FinishServiceCommand(HWND window, const CommandEnded& ended) {
  Tray& tray = State();
  if (ended.command != tray.serviceCommand) return;  // none of this window's
  tray.serviceCommand = 0;
  if (std::exchange(tray.handingOver, false) &&
      (Seams().query() == ServiceState::Running || !StandaloneGuards.retake())) {
    if (ended.monitorError != 0) {
      const std::wstring text = L"The service runs, but its monitor could not be started (Windows error " +
                                DecimalText(ended.monitorError) + L"). It starts at the next logon.";
      ::MessageBoxW(window, text.c_str(), L"nimbard Demo", MB_OK | MB_ICONWARNING);
    }
    ::DestroyWindow(window);
    return;
  }
  if (ended.error != 0 && ended.error != ERROR_CANCELLED) {
    const std::wstring text = std::wstring(L"nimbard.exe ") + ServiceCommandOption(ended.command) +
                              L" could not be started with administrator rights (Windows error " +
                              DecimalText(ended.error) + L").";
    ::MessageBoxW(window, text.c_str(), L"nimbard Demo", MB_OK | MB_ICONERROR);
  }
  if (MonitorMode) FollowServiceState();
}

}  // namespace nimbard
