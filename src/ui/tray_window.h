#pragma once
// The tray application's hidden window: the notification icon, its popup
// menu and commands, the timers, and the worker threads that run passes and
// commands. Everything here runs on the UI thread but those threads, which
// hand their results to the window through a queue it owns.
#include <windows.h>

#include <string>

#include "host/service_control.h"
#include "win32/unique_handle.h"

namespace nimbard {

// Monitor flavour ("--tray"): shows the status file that the service's passes
// write, and the service's state (a stop with the warning icon); runs no
// pass at all: its "Force Update" asks the service. Set by the entry before
// InitTray.
extern bool MonitorMode;

// The standalone tray's single-instance guards, which the entry holds. Its
// "Install Service" and "Start Service" hand its place to the service and
// the monitor tray, which need them: released before the command starts,
// taken again (false when another took them meanwhile) when the service does
// not run after it. Set by the entry before InitTray; unset, nothing is
// released.
struct TrayGuards {
  void (*release)() = nullptr;
  bool (*retake)() = nullptr;
};
extern TrayGuards StandaloneGuards;

// Timer 1: the poll interval (standalone) or the status file refresh (monitor).
inline constexpr UINT_PTR kPollTimerId = 1;
inline constexpr UINT kMonitorRefreshMs = 1000;

// Registers the window class "NIMBARD" (menu and accelerators 109, icons 107
// and 108) under the title and class name of strings 103 and 109.
bool RegisterTrayClass(HINSTANCE instance);

// Creates the tray window, asks for a configuration when none can be loaded
// (the configuration dialog), adds the icon (or keeps trying while the
// notification area is not there yet) and starts the flavour's timer; the
// standalone flavour starts its first pass at once. NoWindow is logged with
// its cause; NoRecord follows a box that says so.
enum class TrayStart { Running, NoRecord, NoWindow };
TrayStart InitTray(HINSTANCE instance);

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Opens a file with its associated program; a failure is logged with the path.
void OpenWithShell(const std::wstring& path);

// The popup menu as it opens: the summary line and a line per record (at
// most two, the second "(N more)" when more follow), the file and pass
// commands, the service's state and the service commands that make sense in
// it (none while one is under way), About, Exit.
UniqueMenu BuildTrayMenu(const std::wstring& summary, const std::wstring& detail, ServiceState service,
                         bool serviceCommandUnderWay);

// The tray's service commands run "<this exe> --install" (or --uninstall,
// --start, --stop, --restart) with administrator rights on a thread of their
// own; after a hand-over to the service, the tray starts the monitor (the
// installed exe with "--tray") itself, as the user it runs as. Tests replace
// the calls to Windows; a null member is the real call.
using ServiceStateQuery = ServiceState (*)();
using ElevatedRunner = DWORD (*)(const std::wstring& file, const std::wstring& parameters, bool waitForExit);
struct TrayServiceSeams {
  ServiceStateQuery query = nullptr;  // QueryServiceState
  ElevatedRunner runner = nullptr;    // RunElevatedCommand
  DWORD (*askForPass)() = nullptr;    // AskServiceForPass
  // Starts `executable` with "--tray" from this process: 0 or the Win32 error.
  DWORD (*startMonitor)(const std::wstring& executable) = nullptr;
};
void SetServiceSeamsForTesting(const TrayServiceSeams& seams);

// The tray window, and the popup menu while it is open (tests, screenshots).
HWND TrayWindowHandle();
HMENU OpenTrayMenu();

}  // namespace nimbard
