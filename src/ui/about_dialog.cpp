#include "ui/about_dialog.h"

#include "ui/resource.h"

namespace nimbard {

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;  // the system sets the focus
  if (message == WM_COMMAND) {
    const int command = LOWORD(wParam);
    if (command == IDOK || command == IDCANCEL) {
      ::EndDialog(dialog, command);
      return TRUE;
    }
  }
  return FALSE;
}

void ShowAboutDialog(HINSTANCE instance, HWND owner) {
  ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, AboutDlgProc, 0);
}

}  // namespace nimbard
