#include "host/change_access.h"

#include <aclapi.h>
#include <sddl.h>

#include "win32/unique_handle.h"

namespace nimbard {
namespace {

constexpr wchar_t kEveryone[] = L"S-1-1-0";
constexpr const wchar_t* kTrustedSids[] = {
    L"S-1-5-18",      // SYSTEM
    L"S-1-5-32-544",  // Administrators
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};
// Placeholders that no token holds: CREATOR OWNER and CREATOR GROUP are
// replaced in what children inherit, and OWNER RIGHTS stands for the owner,
// who is judged as such.
constexpr const wchar_t* kPlaceholderSids[] = {L"S-1-3-0", L"S-1-3-1", L"S-1-3-4"};

struct NamedSid {
  const wchar_t* sid;
  const wchar_t* name;
};
// The English names, whatever the language of Windows, so that messages and
// the guide agree.
constexpr NamedSid kWellKnownNames[] = {
    {L"S-1-1-0", L"Everyone"},
    {L"S-1-5-11", L"Authenticated Users"},
    {L"S-1-5-32-545", L"Users"},
    {L"S-1-5-4", L"Interactive"},
    {L"S-1-2-0", L"LOCAL"},
    {L"S-1-2-1", L"CONSOLE LOGON"},
    {L"S-1-5-113", L"Local account"},
    {L"S-1-15-2-1", L"ALL APPLICATION PACKAGES"},
    {L"S-1-15-2-2", L"ALL RESTRICTED APPLICATION PACKAGES"},
    {L"S-1-5-32-555", L"Remote Desktop Users"},
    {L"S-1-5-32-547", L"Power Users"},
    {L"S-1-5-32-546", L"Guests"},
    {L"S-1-5-2", L"Network"},
    {L"S-1-5-3", L"Batch"},
    {L"S-1-5-6", L"Service"},
    {L"S-1-5-7", L"Anonymous Logon"},
};

bool IsOneOf(const std::wstring& sid, const wchar_t* const* list, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (sid == list[i]) return true;
  }
  return false;
}

bool IsTrusted(const std::wstring& sid, const std::wstring& installer) {
  return IsOneOf(sid, kTrustedSids, std::size(kTrustedSids)) || (!installer.empty() && sid == installer);
}

std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) return L"";
  const UniqueLocal owned(text);
  return text;
}

ACCESS_MASK MappedToFileRights(ACCESS_MASK mask) {
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  ::MapGenericMask(&mask, &mapping);
  return mask;
}

// An access rule as it counts here; `kind` None for types that neither
// grant nor (for certain) deny.
struct Rule {
  enum Kind { None, Allow, ConditionalAllow, Deny } kind = None;
  ACCESS_MASK mask = 0;
  std::wstring sid;
};

// The SID of an entry lies after the mask, and for object entries after
// their flags and the GUIDs those flags announce; every length is checked
// against the entry's own size.
Rule ReadRule(const void* entry) {
  const auto* header = static_cast<const ACE_HEADER*>(entry);
  Rule rule;
  switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE: rule.kind = Rule::Allow; break;
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: rule.kind = Rule::ConditionalAllow; break;
    case ACCESS_DENIED_ACE_TYPE: rule.kind = Rule::Deny; break;  // a conditional deny may not apply
    default: return rule;
  }
  const BYTE* bytes = static_cast<const BYTE*>(entry);
  std::size_t offset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
  if (header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE || header->AceType == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE) {
    if (header->AceSize < offset + sizeof(DWORD)) return {};
    DWORD flags = 0;
    ::CopyMemory(&flags, bytes + offset, sizeof flags);
    offset += sizeof(DWORD) + ((flags & ACE_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0) +
              ((flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0);
  }
  // The smallest SID: revision, count, authority (8 bytes).
  if (header->AceSize < offset + 8) return {};
  PSID sid = const_cast<BYTE*>(bytes + offset);
  const std::size_t room = header->AceSize - offset;
  if (8 + 4u * static_cast<const BYTE*>(sid)[1] > room || !::IsValidSid(sid)) return {};
  ::CopyMemory(&rule.mask, bytes + sizeof(ACE_HEADER), sizeof rule.mask);
  rule.mask = MappedToFileRights(rule.mask);
  rule.sid = SidText(sid);
  if (rule.sid.empty()) return {};
  return rule;
}

ForeignChange* FindParty(std::vector<ForeignChange>& found, const std::wstring& sid) {
  for (ForeignChange& change : found) {
    if (change.sid == sid && change.via != ChangeVia::Owner) return &change;
  }
  return nullptr;
}

struct DeniedRights {
  std::wstring sid;
  ACCESS_MASK mask;
};

}  // namespace

ACCESS_MASK ChangeRights(bool folder) {
  return FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER |
         (folder ? FILE_DELETE_CHILD : 0);
}

ACCESS_MASK ParentChangeRights() { return FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER; }

std::vector<ForeignChange> FindForeignChanges(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK wanted,
                                              const std::wstring& installer) {
  std::vector<ForeignChange> found;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
    found.push_back({kEveryone, wanted, ChangeVia::Entry});
  } else {
    std::vector<DeniedRights> denied;  // per account or group, in the order met
    std::vector<ACCESS_MASK> granted;  // beside `found`
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
      void* entry = nullptr;
      if (!::GetAce(dacl, index, &entry)) break;
      if (static_cast<const ACE_HEADER*>(entry)->AceFlags & INHERIT_ONLY_ACE) continue;  // for children only
      const Rule rule = ReadRule(entry);
      if (rule.kind == Rule::None || IsTrusted(rule.sid, installer) ||
          IsOneOf(rule.sid, kPlaceholderSids, std::size(kPlaceholderSids))) {
        continue;
      }
      if (rule.kind == Rule::Deny) {
        denied.push_back({rule.sid, rule.mask});
        continue;
      }
      ACCESS_MASK refused = 0;
      for (const DeniedRights& deny : denied) {
        if (deny.sid == rule.sid || deny.sid == kEveryone) refused |= deny.mask;
      }
      ForeignChange* party = FindParty(found, rule.sid);
      const ACCESS_MASK gained = rule.mask & wanted & ~refused & ~(party ? party->rights : 0);
      if (!gained) continue;
      if (party) {
        party->rights |= gained;
      } else {
        found.push_back({rule.sid, gained, rule.kind == Rule::ConditionalAllow ? ChangeVia::ConditionalEntry
                                                                                : ChangeVia::Entry});
      }
    }
  }
  PSID owner = nullptr;
  if (::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner) {
    const std::wstring sid = SidText(owner);
    if (!sid.empty() && !IsTrusted(sid, installer)) found.push_back({sid, WRITE_DAC, ChangeVia::Owner});
  }
  return found;
}

DWORD ReadForeignChanges(const std::wstring& path, ACCESS_MASK wanted, const std::wstring& installer,
                         std::vector<ForeignChange>& found) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error =
      ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor);
  const UniqueLocal owned(descriptor);
  if (error != ERROR_SUCCESS) return error;
  found = FindForeignChanges(descriptor, wanted, installer);
  return 0;
}

std::wstring CurrentAccountSid() {
  UniqueKernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return L"";
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return L"";
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

std::wstring PartyName(const std::wstring& sid) {
  for (const NamedSid& known : kWellKnownNames) {
    if (sid == known.sid) return known.name;
  }
  PSID binary = nullptr;
  if (!::ConvertStringSidToSidW(sid.c_str(), &binary)) return sid;
  const UniqueLocal owned(binary);
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use{};
  if (!::LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use)) return sid;
  return *domain ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

const wchar_t* ChangeRightName(ACCESS_MASK right) {
  if (right & FILE_WRITE_DATA) return L"write";
  if (right & FILE_APPEND_DATA) return L"append";
  if (right & DELETE) return L"delete";
  if (right & FILE_DELETE_CHILD) return L"delete child";
  if (right & WRITE_DAC) return L"change permissions";
  return L"change owner";
}

std::wstring DescribeForeignChanges(const std::vector<ForeignChange>& found, const std::wstring& parentFolder) {
  std::wstring text;
  for (const ForeignChange& change : found) {
    if (!text.empty()) text += L", ";
    text += PartyName(change.sid) + L" (" + ChangeRightName(change.rights);
    switch (change.via) {
      case ChangeVia::Entry: break;
      case ChangeVia::ConditionalEntry: text += L", under a condition"; break;
      case ChangeVia::Owner: text += L", as owner"; break;
      case ChangeVia::ParentFolder: text += L" in " + parentFolder; break;
    }
    text += L")";
  }
  return text;
}

}  // namespace nimbard
