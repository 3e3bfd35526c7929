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

// Created, started and the autostart value written; a service that was
// created stays installed even when the rest fails. The description and the
// recovery actions are set on the way, but do not count towards the result.
bool InstallService();
// Stops a running service and waits (a few seconds at most) until its process
// has ended, then marks it for deletion: true when that worked. The autostart
// value is removed only when the service could be opened.
bool UninstallService();
// Writes the Run value that starts the tray in monitor flavour at logon.
bool RegisterAutostart();
// Stop (waits up to about 3 s for STOPPED) or start the service.
bool SendServiceRequest(int request);
// One line describing the service's state, e.g. "Service: running".
std::wstring GetServiceStateText();
// Starts the executable with `argument` through the "runas" verb and waits
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
