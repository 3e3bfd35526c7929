#pragma once
// The configuration dialog (template 110): the user enters or changes the
// first configured record; Save writes it to the configuration file.
#include <windows.h>

namespace nimbard {

// Modal on the calling thread. IDOK after a successful Save, IDCANCEL when
// the user cancelled (Cancel, Escape, the close box), -1 when the dialog
// could not be created.
INT_PTR ShowConfigDialog(HINSTANCE instance, HWND owner);

}  // namespace nimbard
