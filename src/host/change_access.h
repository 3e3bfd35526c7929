#pragma once
// What the groups every user belongs to may do with a file or folder. A
// service that runs as LocalSystem from a folder that every user may change
// hands full rights to any program of any user, so "--install" refuses such
// a folder.
#include <windows.h>

#include <string>

namespace nimbard {

// One of the groups every ordinary user of the PC belongs to, and the rights
// of those asked for that the first access rule to give the group any of them
// gives it. `group` is empty when none of the groups gets any.
struct BroadRight {
  std::wstring group;  // "Everyone", "Authenticated Users", "Users" or "Interactive"
  ACCESS_MASK rights = 0;
};

// The rights that change a file or folder: write data, append data, delete,
// change permissions, change owner, and for a folder delete child.
ACCESS_MASK ChangeRights(bool folder);

// Judges the descriptor's access rules as Windows would for a user who is a
// member of all four groups and of no other: rules in their order, a deny
// taking away what no earlier rule granted, inherit-only rules skipped,
// generic rights mapped to the file rights. A missing (NULL) access list
// gives Everyone every right.
BroadRight FindBroadRight(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK wanted);

// The same for a file or folder on disk. Returns the Win32 error of reading
// its security (0 when it was read).
DWORD ReadBroadRight(const std::wstring& path, ACCESS_MASK wanted, BroadRight& found);

// "write", "append", "delete", "delete child", "change permissions" or
// "change owner": the first of those in `right`, for messages.
const wchar_t* ChangeRightName(ACCESS_MASK right);

}  // namespace nimbard
