#pragma once
// Installation, removal and control of the "nimbard-demo" service, with the
// monitor tray's logon entry (host/logon_entry.h).
// Nothing here logs or shows anything: every outcome is a result or a text,
// and every handle is closed before the call returns.
#include <windows.h>

#include <string>

namespace nimbard {

inline constexpr wchar_t kServiceDisplayName[] = L"nimbard Demo DNS Updater";
inline constexpr wchar_t kServiceDescription[] =
    L"Keeps DNS A records at Cloudflare and GoDaddy pointed at this computer's public IPv4 address.";

// Whether the Service Control Manager knows the service; running counts
// every state but STOPPED.
bool IsServiceInstalled();
bool IsServiceRunning();
// Stops the service and waits (a few seconds at most) until its process has
// ended. 0 when it has (or was not running), else the Win32 error.
DWORD StopServiceAndWait();
// Creates the service for `executable` ("--service"), or points the existing
// one at it with automatic start; sets the description and the recovery
// actions (their results do not count), starts it and writes the logon
// entry. 0 or the first Win32 error; a service created stays installed even
// when the rest fails.
DWORD RegisterService(const std::wstring& executable);
// What the service is registered to run, read before an installation
// changes it so that a failed one can put it back.
struct ServiceRegistration {
  bool exists = false;
  std::wstring commandLine;
  DWORD startType = 0;
};
// 0 (with `exists` false when there is no such service) or the Win32 error.
DWORD ReadServiceRegistration(ServiceRegistration& registration);
// Puts the registration back as it was: without a service before, the one
// there now is removed (UninstallService); otherwise it is stopped and
// pointed at the earlier command line and start type again. 0 or the error.
DWORD RestoreServiceRegistration(const ServiceRegistration& before);
// Stops a running service and waits (a few seconds at most) until its process
// has ended, then marks it for deletion: 0 when that worked, else the Win32
// error (ERROR_SERVICE_DOES_NOT_EXIST when there is none). The logon
// entries are removed only when the service could be opened.
DWORD UninstallService();
// Starts the service and waits (a few seconds at most) until it runs: 0
// when it does (or did already), else the Win32 error; a service that ends
// during its start gives its exit code, one still starting
// ERROR_SERVICE_REQUEST_TIMEOUT.
DWORD StartServiceAndWait();
// Asks the running service for a forced pass (kForcePassControl), with the
// one right every interactive user has on it; 0 or the Win32 error.
DWORD AskServiceForPass();
// The service's state as the trays show it and offer their commands by.
// Unavailable: Windows did not tell (no Service Control Manager, a failed
// query); Other: paused or between pause and run.
enum class ServiceState { Unavailable, NotInstalled, Stopped, Starting, Stopping, Running, Other };
ServiceState QueryServiceState();
// One line describing the state, e.g. "Service: running".
std::wstring ServiceStateText(ServiceState state);

// The quoted executable path, one blank and the option: the service's
// command line and the logon entry's data. Quoting keeps paths with
// blanks whole.
std::wstring QuotedCommandLine(const std::wstring& executablePath, const wchar_t* option);
// Bytes stored for a REG_SZ value: the terminating NUL is stored too.
DWORD RegistryStringBytes(const std::wstring& data);

}  // namespace nimbard
