#include "host/service_control.h"

#include <vector>

#include "host/logon_entry.h"
#include "host/service_host.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

constexpr DWORD kInstallServiceAccess = SERVICE_ALL_ACCESS;
constexpr DWORD kUninstallServiceAccess = DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS;
constexpr DWORD kStatePollIntervalMs = 100;
// How long a removal waits for the running service to end. A stop is prompt
// (the pass in hand gives up its exchange), so this is a bound, not a pause.
constexpr DWORD kRemovalStopWaitMs = 4000;
// How long a start waits for the service to report that it runs.
constexpr DWORD kStartWaitMs = 10000;
constexpr DWORD kRestartDelayMs = 60 * 1000;
constexpr DWORD kFailureCountResetSeconds = 24 * 60 * 60;

UniqueScHandle OpenManager(DWORD access) {
  return UniqueScHandle(::OpenSCManagerW(nullptr, nullptr, access));
}

UniqueScHandle OpenNimbardService(const UniqueScHandle& manager, DWORD access) {
  return UniqueScHandle(::OpenServiceW(manager.get(), kServiceName, access));
}

bool QueryState(const UniqueScHandle& service, DWORD& state) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<LPBYTE>(&status), sizeof status, &needed)) {
    return false;
  }
  state = status.dwCurrentState;
  return true;
}

// The service's process, opened before a stop is sent: the SCM may report
// the service stopped, with no process id, while that process is still
// ending and holds the single-instance guard and the files beside the
// executable. None when the service does not run.
UniqueKernelHandle OpenServiceProcess(const UniqueScHandle& service) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof status, &needed) ||
      status.dwProcessId == 0) {
    return UniqueKernelHandle();
  }
  return UniqueKernelHandle(::OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
}

// Waits, up to `milliseconds`, until the service has stopped and `process`
// (from OpenServiceProcess, when it could be opened) has ended: only then
// may a new installation take the guard and replace the files. False when
// the wait ran out first.
bool WaitForServiceProcessEnd(const UniqueScHandle& service, const UniqueKernelHandle& process,
                              DWORD milliseconds) {
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  if (process) return ::WaitForSingleObject(process.get(), milliseconds) == WAIT_OBJECT_0;
  for (;;) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                                reinterpret_cast<LPBYTE>(&status), sizeof status, &needed)) {
      return false;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const DWORD left = static_cast<DWORD>(deadline - now);
    if (status.dwCurrentState == SERVICE_STOPPED && status.dwProcessId == 0) return true;
    if (status.dwProcessId != 0) {
      UniqueKernelHandle running(::OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
      if (running) return ::WaitForSingleObject(running.get(), left) == WAIT_OBJECT_0;
    }
    ::Sleep(left < kStatePollIntervalMs ? left : kStatePollIntervalMs);
  }
}

// The Services console's description, and recovery: a restart one minute
// after the first and the second failure, nothing after later ones, and the
// count of failures starts afresh after a day. A stop with an error exit
// code counts as a failure, not only a crash. The service runs without any
// of this, so every result is ignored: an SCM that drops or refuses a level
// (Wine's drops the actions and refuses the flag) must not fail the
// installation.
void DescribeAndSetRecovery(const UniqueScHandle& service) {
  SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kServiceDescription)};
  ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
  SC_ACTION actions[] = {
      {SC_ACTION_RESTART, kRestartDelayMs}, {SC_ACTION_RESTART, kRestartDelayMs}, {SC_ACTION_NONE, 0}};
  SERVICE_FAILURE_ACTIONSW recovery{};
  recovery.dwResetPeriod = kFailureCountResetSeconds;
  recovery.cActions = sizeof actions / sizeof actions[0];
  recovery.lpsaActions = actions;
  ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &recovery);
  SERVICE_FAILURE_ACTIONS_FLAG onErrorExit{TRUE};
  ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrorExit);
}

}  // namespace

std::wstring QuotedCommandLine(const std::wstring& executablePath, const wchar_t* option) {
  return L"\"" + executablePath + L"\" " + option;
}

DWORD RegistryStringBytes(const std::wstring& data) {
  return static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
}

std::wstring ServiceStateText(ServiceState state) {
  switch (state) {
    case ServiceState::Unavailable: return L"Service: unavailable";
    case ServiceState::NotInstalled: return L"Service: not installed";
    case ServiceState::Stopped: return L"Service: stopped";
    case ServiceState::Starting: return L"Service: starting";
    case ServiceState::Stopping: return L"Service: stopping";
    case ServiceState::Running: return L"Service: running";
    case ServiceState::Other: break;
  }
  return L"Service: state unknown";
}

bool IsServiceInstalled() {
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  return manager && OpenNimbardService(manager, SERVICE_QUERY_STATUS);
}

bool IsServiceRunning() {
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  UniqueScHandle service = manager ? OpenNimbardService(manager, SERVICE_QUERY_STATUS) : UniqueScHandle();
  DWORD state = SERVICE_STOPPED;
  return service && QueryState(service, state) && state != SERVICE_STOPPED;
}

DWORD StopServiceAndWait() {
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return ::GetLastError();
  UniqueScHandle service = OpenNimbardService(manager, SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (!service) return ::GetLastError();
  const UniqueKernelHandle process = OpenServiceProcess(service);
  SERVICE_STATUS status{};
  if (!::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_SERVICE_NOT_ACTIVE ? 0 : error;
  }
  return WaitForServiceProcessEnd(service, process, kRemovalStopWaitMs) ? 0 : ERROR_SERVICE_REQUEST_TIMEOUT;
}

DWORD RegisterService(const std::wstring& executable) {
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
  if (!manager) return ::GetLastError();
  const std::wstring commandLine = QuotedCommandLine(executable, L"--service");
  UniqueScHandle service(::CreateServiceW(
      manager.get(), kServiceName, kServiceDisplayName, kInstallServiceAccess,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(),
      nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) {
    // An upgrade: the service stays, pointed at the exe given (an older
    // version may have registered it elsewhere).
    const DWORD error = ::GetLastError();
    if (error != ERROR_SERVICE_EXISTS) return error;
    service = OpenNimbardService(manager, kInstallServiceAccess);
    if (!service) return ::GetLastError();
    if (!::ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
      return ::GetLastError();
    }
  }
  DescribeAndSetRecovery(service);
  const DWORD startError = ::StartServiceW(service.get(), 0, nullptr) ? 0 : ::GetLastError();
  const DWORD autostartError = RegisterLogonEntry(executable);
  if (startError != 0 && startError != ERROR_SERVICE_ALREADY_RUNNING) return startError;
  return autostartError;
}

DWORD ReadServiceRegistration(ServiceRegistration& registration) {
  registration = {};
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return ::GetLastError();
  UniqueScHandle service = OpenNimbardService(manager, SERVICE_QUERY_CONFIG);
  if (!service) {
    const DWORD error = ::GetLastError();
    return error == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : error;
  }
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  if (needed == 0) return ::GetLastError();
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service.get(), config, needed, &needed)) return ::GetLastError();
  registration.exists = true;
  registration.commandLine = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
  registration.startType = config->dwStartType;
  return 0;
}

DWORD RestoreServiceRegistration(const ServiceRegistration& before) {
  if (!before.exists) {
    const DWORD error = UninstallService();
    return error == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : error;
  }
  // What the failed installation started runs the exe that is to go.
  if (const DWORD error = StopServiceAndWait(); error != 0 && error != ERROR_SERVICE_DOES_NOT_EXIST) return error;
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return ::GetLastError();
  UniqueScHandle service = OpenNimbardService(manager, SERVICE_CHANGE_CONFIG);
  if (!service) return ::GetLastError();
  return ::ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, before.startType, SERVICE_NO_CHANGE,
                                before.commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
             ? 0
             : ::GetLastError();
}

DWORD UninstallService() {
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return ::GetLastError();
  UniqueScHandle service = OpenNimbardService(manager, kUninstallServiceAccess);
  if (!service) return ::GetLastError();
  const UniqueKernelHandle process = OpenServiceProcess(service);
  SERVICE_STATUS status{};
  // A stopped service refuses the STOP, and a service that outlives the wait
  // is still removed once it ends; neither stops the removal.
  if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    WaitForServiceProcessEnd(service, process, kRemovalStopWaitMs);
  }
  const DWORD deleteError = ::DeleteService(service.get()) ? 0 : ::GetLastError();
  service.reset();
  manager.reset();

  RemoveLogonEntries();
  return deleteError;
}

DWORD StartServiceAndWait() {
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return ::GetLastError();
  UniqueScHandle service = OpenNimbardService(manager, SERVICE_START | SERVICE_QUERY_STATUS);
  if (!service) return ::GetLastError();
  if (!::StartServiceW(service.get(), 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    return ::GetLastError();
  }
  const ULONGLONG deadline = ::GetTickCount64() + kStartWaitMs;
  for (;;) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                sizeof status, &needed)) {
      return ::GetLastError();
    }
    if (status.dwCurrentState == SERVICE_RUNNING) return 0;
    if (status.dwCurrentState == SERVICE_STOPPED) {
      const DWORD exitCode = status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR ? status.dwServiceSpecificExitCode
                                                                                   : status.dwWin32ExitCode;
      return exitCode != 0 ? exitCode : ERROR_SERVICE_NOT_ACTIVE;
    }
    if (::GetTickCount64() >= deadline) return ERROR_SERVICE_REQUEST_TIMEOUT;
    ::Sleep(kStatePollIntervalMs);
  }
}

DWORD AskServiceForPass() {
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return ::GetLastError();
  UniqueScHandle service = OpenNimbardService(manager, SERVICE_USER_DEFINED_CONTROL);
  if (!service) return ::GetLastError();
  SERVICE_STATUS status{};
  return ::ControlService(service.get(), kForcePassControl, &status) ? 0 : ::GetLastError();
}

ServiceState QueryServiceState() {
  UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return ServiceState::Unavailable;
  UniqueScHandle service = OpenNimbardService(manager, SERVICE_QUERY_STATUS);
  if (!service) {
    return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceState::NotInstalled : ServiceState::Unavailable;
  }
  DWORD state = 0;
  if (!QueryState(service, state)) return ServiceState::Unavailable;
  switch (state) {
    case SERVICE_STOPPED: return ServiceState::Stopped;
    case SERVICE_START_PENDING: return ServiceState::Starting;
    case SERVICE_STOP_PENDING: return ServiceState::Stopping;
    case SERVICE_RUNNING: return ServiceState::Running;
    default: return ServiceState::Other;
  }
}

}  // namespace nimbard
