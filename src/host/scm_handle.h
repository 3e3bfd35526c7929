#pragma once
// Owners for the Service Control Manager and registry handles, so that every
// early return of the service commands closes what it opened.
#include <windows.h>

#include "core/win_handle.h"

namespace nimbard {

using UniqueScHandle = UniqueHandle<SC_HANDLE, NullHandleTraits<SC_HANDLE, &::CloseServiceHandle>>;
using UniqueRegKey = UniqueHandle<HKEY, NullHandleTraits<HKEY, &::RegCloseKey>>;

}  // namespace nimbard
