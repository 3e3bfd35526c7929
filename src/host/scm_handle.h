#pragma once
// Owners for the Service Control Manager and registry handles, so that every
// early return of the service commands closes what it opened.
#include <windows.h>

#include "core/win_handle.h"

namespace nimbard {

struct ScHandleTraits {
  static SC_HANDLE Invalid() { return nullptr; }
  static bool IsValid(SC_HANDLE h) { return h != nullptr; }
  static void Close(SC_HANDLE h) { ::CloseServiceHandle(h); }
};
struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { ::RegCloseKey(h); }
};

using UniqueScHandle = UniqueHandle<SC_HANDLE, ScHandleTraits>;
using UniqueRegKey = UniqueHandle<HKEY, RegKeyTraits>;

}  // namespace nimbard
