#include "app/app_entry.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/setup_modes.h"
#include "core/app_paths.h"
#include "core/platform.h"
#include "engine/poll_pass.h"
#include "host/installed_copy.h"
#include "host/service_control.h"
#include "host/service_host.h"
#include "ui/resource.h"
#include "ui/tray_window.h"

namespace nimbard {

namespace {

// The start of the box for a guard that could not be made, before the error number.
constexpr wchar_t kGuardFailedText[] = L"nimbard could not start: its single-instance guard could not be made (Windows error ";

// How long the end of the tray waits for a pass that the stop has told to end.
constexpr auto kPassEndWait = std::chrono::seconds(3);

int RunServiceDispatcher() {
  SERVICE_TABLE_ENTRYW table[] = {
      {const_cast<LPWSTR>(kServiceName), &ServiceMain},
      {nullptr, nullptr},
  };
  // Returns when the service has stopped, or at once when the process was
  // not started by the Service Control Manager; either way the run is over.
  ::StartServiceCtrlDispatcherW(table);
  return 0;
}

// The guards a mode takes, in this order.
std::vector<const wchar_t*> GuardsFor(Mode mode) {
  switch (mode) {
    case Mode::Uninstall:
    case Mode::Configure:
    case Mode::StartService:
    case Mode::StopService:
    case Mode::RestartService:
      return {};  // removal, editing and control must work while the service runs: that is when they are needed
    case Mode::Install:
      return {};  // taken by the installation itself, after an upgrade has stopped the service
    case Mode::TrayMonitor:
      return {kSessionTrayMutexName};
    case Mode::TrayStandalone:
      return {kSingleInstanceMutexName, kSessionTrayMutexName};
    default:
      return {kSingleInstanceMutexName};
  }
}

// Takes the mode's guards in order; the first that is not acquired ends it.
GuardOutcome TakeGuards(Mode mode, DWORD* error = nullptr) {
  for (const wchar_t* guard : GuardsFor(mode)) {
    const GuardOutcome outcome = AcquireSingleInstance(guard, error);
    if (outcome != GuardOutcome::Acquired) return outcome;
  }
  return GuardOutcome::Acquired;
}

// The standalone tray's guards, taken again after a hand-over to the service
// that did not happen; false, holding none, when another process took one.
bool RetakeStandaloneGuards() {
  if (TakeGuards(Mode::TrayStandalone) == GuardOutcome::Acquired) return true;
  ReleaseSingleInstance();
  return false;
}

int RunTray(HINSTANCE instance, bool monitor) {
  MonitorMode = monitor;
  if (!monitor) StandaloneGuards = {&ReleaseSingleInstance, &RetakeStandaloneGuards};
  // The monitor shows the service's files, wherever its own exe lies.
  if (monitor) UseServiceFolder(InstalledFolder());
  RegisterTrayClass(instance);  // a failure shows as a window that cannot be made
  switch (InitTray(instance)) {
    case TrayStart::Running: break;
    case TrayStart::NoRecord: return 0;  // the user cancelled the first start, and was told
    case TrayStart::NoWindow: return 1;  // the log says why
  }
  HACCEL accelerators = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_NIMBARD));
  MSG message{};
  int got = 0;
  while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
    if (!::TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  const int exitCode = got == 0 ? static_cast<int>(message.wParam) : 0;
  // The window's end requested the stop: a pass still under way gives up its
  // exchange and ends after the record in hand, writing whole files. Should
  // it not end in time, the process ends without running the destructors
  // of objects such a pass may still use.
  const auto deadline = std::chrono::steady_clock::now() + kPassEndWait;
  while (PassRunning.load() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (PassRunning.load()) ::ExitProcess(static_cast<UINT>(exitCode));
  return exitCode;
}

}  // namespace

int RunApplication(HINSTANCE instance, const wchar_t* commandLine) {
  Mode mode = ParseCommandLine(commandLine);
  DWORD guardError = 0;
  GuardOutcome outcome = TakeGuards(mode, &guardError);
  // A plain start while the service runs (a double-click, a shortcut) opens
  // the service's monitor when no tray runs in this session yet.
  if (outcome == GuardOutcome::AlreadyRunning && mode == Mode::TrayStandalone && IsServiceRunning()) {
    mode = Mode::TrayMonitor;
    outcome = TakeGuards(mode, &guardError);
  }
  // The service has no desktop to show a box on: it ends its start.
  if (outcome != GuardOutcome::Acquired && mode != Mode::Service) {
    const std::wstring text = outcome == GuardOutcome::AlreadyRunning
                                  ? std::wstring(kAlreadyRunningText)
                                  : kGuardFailedText + std::to_wstring(guardError) + L").";
    ::MessageBoxW(nullptr, text.c_str(), kAlreadyRunningCaption, MB_OK | MB_ICONEXCLAMATION);
  }
  if (outcome != GuardOutcome::Acquired) return 0;

  switch (mode) {
    case Mode::Service:
      // An exe that an upgrade renamed aside while it still ran is no longer in use.
      RemoveSetAsideFiles(DirectoryPrefix(platform::ExecutablePath()));
      return RunServiceDispatcher();
    case Mode::Install:
      return RunInstall(instance);
    case Mode::Uninstall:
      return RunUninstall();
    case Mode::Configure:
      return RunConfigure(instance);
    case Mode::StartService:
      return RunStart();
    case Mode::StopService:
      return RunStop();
    case Mode::RestartService:
      return RunRestart();
    default:
      return RunTray(instance, mode == Mode::TrayMonitor);
  }
}

}  // namespace nimbard
