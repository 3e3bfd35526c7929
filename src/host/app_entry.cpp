#include "host/app_entry.h"

#include "core/config_store.h"
#include "core/win_handle.h"
#include "host/command_line.h"
#include "host/service_control.h"
#include "host/service_host.h"
#include "host/tray_entry.h"

namespace nimbard {

HINSTANCE AppInstance = nullptr;

namespace {

// Owned from start-up to the end of the process (or until ReleaseSingleInstance).
UniqueKernelHandle g_instanceMutex;

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

int RunInstall(HINSTANCE instance) {
  RecordConfig first;
  if (!LoadFirstRecord(first) && !RunConfigurationDialog(instance)) return 0;
  // The service started below takes the guard at its own start-up; holding
  // it here would send the new service straight to its exit.
  ReleaseSingleInstance();
  return InstallService() ? 1 : 0;
}

}  // namespace

GuardOutcome AcquireSingleInstance(const wchar_t* mutexName) {
  UniqueKernelHandle mutex(::CreateMutexW(nullptr, TRUE, mutexName));
  if (!mutex) return GuardOutcome::NoHandle;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return GuardOutcome::AlreadyRunning;
  g_instanceMutex = std::move(mutex);
  return GuardOutcome::Acquired;
}

void ReleaseSingleInstance() {
  if (!g_instanceMutex) return;
  ::ReleaseMutex(g_instanceMutex.get());
  g_instanceMutex.reset();
}

int RunApplication(HINSTANCE instance, const wchar_t* commandLine) {
  AppInstance = instance;
  const Mode mode = ParseCommandLine(commandLine);

  // Removal takes no guard: it must work while the service (or a tray) runs,
  // which is exactly when it is needed.
  if (mode == Mode::Uninstall) return UninstallService() ? 1 : 0;

  switch (AcquireSingleInstance(kSingleInstanceMutexName)) {
    case GuardOutcome::NoHandle:
      return 0;
    case GuardOutcome::AlreadyRunning:
      if (mode != Mode::Service) {
        ::MessageBoxW(nullptr, kAlreadyRunningText, kAlreadyRunningCaption,
                      MB_OK | MB_ICONEXCLAMATION);
      }
      return 0;
    case GuardOutcome::Acquired:
      break;
  }

  switch (mode) {
    case Mode::Service:
      return RunServiceDispatcher();
    case Mode::Install:
      return RunInstall(instance);
    default:
      return RunTrayApplication(instance, mode == Mode::TrayMonitor);
  }
}

}  // namespace nimbard
