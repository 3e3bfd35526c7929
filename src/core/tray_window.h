#pragma once
namespace nimbard {
// The tray window as the portable code sees it: an HWND on Windows, opaque
// elsewhere. nullptr means "no window" (service mode): no tray refresh.
using TrayWindow = void*;
}  // namespace nimbard
