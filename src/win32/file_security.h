#pragma once
// The access list of the installed service's configuration, which holds the
// providers' keys: SYSTEM and Administrators may open it, nobody else, and
// nothing is inherited from the folder (Program Files lets every user read).
// Windows only, like unique_handle.h.
#include <windows.h>
#include <sddl.h>

#include "win32/unique_handle.h"

namespace nimbard {

inline constexpr wchar_t kAdministratorsOnlySddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// The descriptor for a new file's SECURITY_ATTRIBUTES; empty (with the last
// error set) when it cannot be built.
inline UniqueLocal AdministratorsOnlyDescriptor() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlySddl, SDDL_REVISION_1, &descriptor,
                                                         nullptr);
  return UniqueLocal(descriptor);
}

}  // namespace nimbard
