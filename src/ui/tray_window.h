#pragma once
// The tray application's hidden window: the notification icon, its popup
// menu and commands, the timers, and the worker threads that run passes.
// Everything here runs on the UI thread but the passes themselves.
#include <windows.h>

#include <string>

#include "win32/unique_handle.h"

namespace nimbard {

// Monitor flavour ("--tray"): shows the status file that the service's passes
// write, and the service's state; runs no timed passes. Set by the entry
// before InitTray.
extern bool MonitorMode;

// Timer 1: the poll interval (standalone) or the status file refresh (monitor).
inline constexpr UINT_PTR kPollTimerId = 1;
inline constexpr UINT kMonitorRefreshMs = 1000;

// Registers the window class "NIMBARD" (menu and accelerators 109, icons 107
// and 108) under the title and class name of strings 103 and 109.
bool RegisterTrayClass(HINSTANCE instance);

// Creates the tray window, asks for a configuration when none can be loaded
// (the configuration dialog), adds the icon (or keeps trying while the
// notification area is not there yet) and starts the flavour's timer; the
// standalone flavour starts its first pass at once. False when there is no
// window or no configuration after the dialog.
bool InitTray(HINSTANCE instance);

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Opens a file with its associated program; a failure is logged with the path.
void OpenWithShell(const std::wstring& path);


// The popup menu as it opens: the two status lines, the file and pass
// commands, the service lines (always disabled in this edition), About, Exit.
UniqueMenu BuildTrayMenu(const std::wstring& summary, const std::wstring& detail,
                    const std::wstring& serviceState);

// The tray window, and the popup menu while it is open (tests, screenshots).
HWND TrayWindowHandle();
HMENU OpenTrayMenu();

}  // namespace nimbard
