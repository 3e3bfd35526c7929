#pragma once
// The configuration dialog (template 110): every record of the
// configuration file, one shown at a time; records are added, changed and
// removed, and Save writes them all, in order, once the changed ones have
// been tried against their provider.
#include <windows.h>

namespace nimbard {

// Modal on the calling thread. IDOK after a successful Save, IDCANCEL when
// the user cancelled (Cancel, Escape, the close box), -1 when the dialog
// could not be created.
INT_PTR ShowConfigDialog(HINSTANCE instance, HWND owner);

}  // namespace nimbard
