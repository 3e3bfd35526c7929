#pragma once
// Installation, removal and control of the "nimbard-demo" service, the logon
// autostart value of the tray, and re-running the executable elevated.
// Nothing here logs or shows anything: every outcome is a result or a text,
// and every handle is closed before the call returns.
#include <windows.h>

#include <string>

namespace nimbard {

inline constexpr wchar_t kServiceDisplayName[] = L"nimbard Demo DNS Updater";
inline constexpr wchar_t kServiceDescription[] =
    L"Keeps DNS A records at Cloudflare and GoDaddy pointed at this computer's public IPv4 address.";
inline constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kAutostartValueName[] = L"nimbard-demo";

// Requests of SendServiceRequest.
inline constexpr int kServiceRequestStop = SERVICE_CONTROL_STOP;  // 1
inline constexpr int kServiceRequestStart = 256;

// Whether the Service Control Manager knows the service; running counts
// every state but STOPPED.
bool IsServiceInstalled();
bool IsServiceRunning();
// Stops the service and waits (a few seconds at most) until its process has
// ended. 0 when it has (or was not running), else the Win32 error.
DWORD StopServiceAndWait();
// Creates the service for `executable` ("--service"), or points the existing
// one at it with automatic start; sets the description and the recovery
// actions (their results do not count), starts it and writes the autostart
// value. 0 or the first Win32 error; a service created stays installed even
// when the rest fails.
DWORD RegisterService(const std::wstring& executable);
// Stops a running service and waits (a few seconds at most) until its process
// has ended, then marks it for deletion: 0 when that worked, else the Win32
// error (ERROR_SERVICE_DOES_NOT_EXIST when there is none). The autostart
// value is removed only when the service could be opened.
DWORD UninstallService();
// Writes the Run value that starts `executable` as the monitor tray at logon.
DWORD RegisterAutostart(const std::wstring& executable);
// Stop (waits up to about 3 s for STOPPED) or start the service.
bool SendServiceRequest(int request);
// Asks the running service for a forced pass (kForcePassControl), with the
// one right every interactive user has on it; 0 or the Win32 error.
DWORD AskServiceForPass();
// One line describing the service's state, e.g. "Service: running".
std::wstring GetServiceStateText();
// Starts this executable with `argument` through the "runas" verb and waits
// for that process to end; false when it could not be started (declined).
bool RunElevated(const std::wstring& argument);

// The quoted executable path, one blank and the option: the service's
// command line and the autostart value's data. Quoting keeps paths with
// blanks whole.
std::wstring QuotedCommandLine(const std::wstring& executablePath, const wchar_t* option);
// Bytes stored for a REG_SZ value: the terminating NUL is stored too.
DWORD RegistryStringBytes(const std::wstring& data);

// How far the state query of GetServiceStateText got.
enum class ServiceQuery { ManagerUnavailable, NotInstalled, QueryFailed, Answered };
// The state text for an outcome; `state` counts only for Answered.
std::wstring ServiceStateText(ServiceQuery outcome, DWORD state);

}  // namespace nimbard
