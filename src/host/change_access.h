#pragma once
// Who besides the trusted accounts may change a file or folder. A service
// that runs as LocalSystem from a folder that anyone else may change hands
// full rights to that party's programs, so "--install" refuses such a folder,
// exe or configuration. Trusted: SYSTEM, Administrators, TrustedInstaller and
// the account that runs the installation; CREATOR OWNER entries only shape
// what new children inherit.
#include <windows.h>

#include <string>
#include <vector>

namespace nimbard {

// How a party comes by its right: an access rule, a conditional access rule
// (granted whenever its condition holds), owning the object (the owner may
// always change its access list), or the folder above it (which may delete,
// and so replace, the object whatever the object's own rules say).
enum class ChangeVia { Entry, ConditionalEntry, Owner, ParentFolder };

struct ForeignChange {
  std::wstring sid;  // string form, "S-1-1-0"
  ACCESS_MASK rights = 0;
  ChangeVia via = ChangeVia::Entry;
};

// The rights that change a file or folder: write data, append data, delete,
// change permissions, change owner, and for a folder delete child.
ACCESS_MASK ChangeRights(bool folder);
// What a party may do in the folder above to replace the object: delete
// child, or change the folder's permissions or owner to get that right.
ACCESS_MASK ParentChangeRights();

// Every untrusted party that the descriptor lets change the object, in the
// order its first such rule comes, with the rights of `wanted` it gets: the
// rules in their order, generic rights mapped to the file rights,
// inherit-only rules skipped, an earlier deny taking away what it names for
// its own account or group or for Everyone (nobody can tell from a descriptor
// who else belongs to a group). An untrusted owner comes last. A missing
// (NULL) access list lets Everyone change everything. `installer` is the
// string SID of the account running the installation.
std::vector<ForeignChange> FindForeignChanges(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK wanted,
                                              const std::wstring& installer);

// The same for a file or folder on disk. Returns the Win32 error of reading
// its security (0 when it was read).
DWORD ReadForeignChanges(const std::wstring& path, ACCESS_MASK wanted, const std::wstring& installer,
                         std::vector<ForeignChange>& found);

// The string SID of the account this process runs as; empty when the token
// cannot be read.
std::wstring CurrentAccountSid();

// "Everyone", "Users", "CONSOLE LOGON" and the like for well-known groups,
// else the account's "DOMAIN\name", else the SID itself.
std::wstring PartyName(const std::wstring& sid);

// "write", "append", "delete", "delete child", "change permissions" or
// "change owner": the first of those in `right`, for messages.
const wchar_t* ChangeRightName(ACCESS_MASK right);

// "Everyone (write)", "CONTOSO\bob (change permissions, as owner)", one per
// party, joined by ", ", for the box that refuses an installation;
// `parentFolder` names the folder above for ChangeVia::ParentFolder.
std::wstring DescribeForeignChanges(const std::vector<ForeignChange>& found, const std::wstring& parentFolder);

}  // namespace nimbard
