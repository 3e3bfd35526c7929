#include "host/change_access.h"

#include <aclapi.h>

#include "win32/unique_handle.h"

namespace nimbard {
namespace {

struct BroadGroup {
  WELL_KNOWN_SID_TYPE type;
  const wchar_t* name;
};
constexpr BroadGroup kBroadGroups[] = {
    {WinWorldSid, L"Everyone"},
    {WinAuthenticatedUserSid, L"Authenticated Users"},
    {WinBuiltinUsersSid, L"Users"},
    {WinInteractiveSid, L"Interactive"},
};

// The name of the broad group `sid` stands for; nullptr for any other.
const wchar_t* BroadGroupName(PSID sid) {
  for (const BroadGroup& group : kBroadGroups) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    if (::CreateWellKnownSid(group.type, nullptr, buffer, &size) && ::EqualSid(sid, buffer)) return group.name;
  }
  return nullptr;
}

ACCESS_MASK MappedToFileRights(ACCESS_MASK mask) {
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  ::MapGenericMask(&mask, &mapping);
  return mask;
}

}  // namespace

ACCESS_MASK ChangeRights(bool folder) {
  return FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER |
         (folder ? FILE_DELETE_CHILD : 0);
}

BroadRight FindBroadRight(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK wanted) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
    return {L"Everyone", wanted};
  }
  ACCESS_MASK granted = 0, denied = 0;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!::GetAce(dacl, index, &entry)) break;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for children only
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    // Allowed and denied entries share one layout.
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    const wchar_t* group = BroadGroupName(const_cast<DWORD*>(&ace->SidStart));
    if (!group) continue;
    const ACCESS_MASK mask = MappedToFileRights(ace->Mask);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
      denied |= mask & ~granted;
      continue;
    }
    const ACCESS_MASK gained = mask & ~denied & ~granted & wanted;
    if (gained) return {group, gained};
    granted |= mask & ~denied;
  }
  return {};
}

DWORD ReadBroadRight(const std::wstring& path, ACCESS_MASK wanted, BroadRight& found) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                              nullptr, nullptr, nullptr, nullptr, &descriptor);
  const UniqueLocal owned(descriptor);
  if (error != ERROR_SUCCESS) return error;
  found = FindBroadRight(descriptor, wanted);
  return 0;
}

const wchar_t* ChangeRightName(ACCESS_MASK right) {
  if (right & FILE_WRITE_DATA) return L"write";
  if (right & FILE_APPEND_DATA) return L"append";
  if (right & DELETE) return L"delete";
  if (right & FILE_DELETE_CHILD) return L"delete child";
  if (right & WRITE_DAC) return L"change permissions";
  return L"change owner";
}

}  // namespace nimbard
