#pragma once
// The monitor trays of the signed-in user, seen from "--install" and
// "--uninstall": asked to close before their exe is replaced or removed, and
// started again afterwards as the user, never as the administrator.
#include <windows.h>

#include <string>

namespace nimbard {

// The session's guard, which every tray holds: one tray icon per session, so
// a monitor tray may run beside the service but not beside another tray.
inline constexpr wchar_t kSessionTrayMutexName[] = L"Local\\nimbard-demo-tray";

// The registered window message (RegisterWindowMessageW) that asks a tray
// window (class "NIMBARD") to close. A monitor tray answers 1 and exits as
// "Exit" does; a standalone tray answers 0 and stays.
inline constexpr wchar_t kCloseMonitorMessageName[] = L"nimbard-demo-close-monitor-tray";

// Asks every tray window on this desktop to close and waits, up to 5 s in
// all, for the processes of those that agreed to end. Trays of other
// sessions are out of reach; their exe is renamed aside instead.
void CloseMonitorTrays();

// Starts `executable` with "--tray" in the signed-in user's session with the
// user's own rights (the shell's token), from an elevated process too, and
// never with this process's token. Returns 0, ERROR_NO_TOKEN when the shell's
// token cannot be had, or the Win32 error of the start.
DWORD StartMonitorTray(const std::wstring& executable);

}  // namespace nimbard
