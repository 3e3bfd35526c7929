#pragma once
// The About box (template 103): icon, name and version, one OK button.
#include <windows.h>

namespace nimbard {

// Modal on the calling thread until OK, Escape or the close box.
void ShowAboutDialog(HINSTANCE instance, HWND owner);

// Ends the dialog with IDOK or IDCANCEL, whichever command arrives.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace nimbard
