#pragma once
// The status tooltip: a small window of the tray's own, drawn like a
// tooltip, that shows the detail text (one line per record) beside the
// pointer while it rests on the tray icon. Everything here runs on the UI
// thread.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace nimbard {

// The tray window's timer that checks every 100 ms whether the pointer is
// still over the icon.
inline constexpr UINT_PTR kHoverTimerId = 2;
inline constexpr UINT kHoverTimerMs = 100;

// Shows, sizes and places the tooltip for the current detail text, then
// (re)starts the hover timer on the tray window. Nothing for an empty text
// or a pointer that is not over the icon.
void ShowStatusTooltip(HWND trayWindow);
// Hides the tooltip (when it exists) and stops the hover timer.
void HideStatusTooltip(HWND trayWindow);
// Destroys the tooltip window (the tray window's end).
void DestroyStatusTooltip();

// Whether the pointer lies in the icon's screen rectangle. False when the
// shell cannot say where the icon is.
bool IsCursorOverTrayIcon(HWND trayWindow);

LRESULT CALLBACK TrayTooltipWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The tooltip window, or nullptr before it is first shown (tests, screenshots).
HWND StatusTooltipWindow();

// Where the icon is, as the shell says (Shell_NotifyIconGetRect). Tests and
// screenshots replace it where the shell cannot say; nullptr restores it.
using IconRectQuery = HRESULT (*)(const NOTIFYICONIDENTIFIER* icon, RECT* rect);
void SetIconRectQueryForTesting(IconRectQuery query);

}  // namespace nimbard
