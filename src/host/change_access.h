#pragma once
// Who besides administrators may change a file or folder. A service that
// runs as LocalSystem from a folder that every user may change hands full
// rights to any program of any user, so "--install" refuses such a folder.
#include <windows.h>

#include <string>

namespace nimbard {

// The groups every ordinary user of the PC belongs to, and the first right to
// change the object that the access rules give them. `group` is empty when
// they get none.
struct BroadChangeRight {
  std::wstring group;  // "Everyone", "Authenticated Users", "Users" or "Interactive"
  ACCESS_MASK right = 0;
};

// Judges the descriptor's access rules as Windows would for a user who is a
// member of all four groups and of no other: rules in their order, a deny
// taking away what no earlier rule granted, inherit-only rules skipped,
// generic rights mapped to the file rights. Rights that count: write data,
// append data, delete, change permissions, change owner, and for a folder
// delete child. A missing (NULL) access list lets Everyone do anything.
BroadChangeRight FindBroadChangeRight(PSECURITY_DESCRIPTOR descriptor, bool folder);

// The same for a file or folder on disk. Returns the Win32 error of reading
// its security (0 when it was read).
DWORD ReadBroadChangeRight(const std::wstring& path, bool folder, BroadChangeRight& found);

// "write", "append", "delete", "delete child", "change permissions" or
// "change owner": the first of those in `right`, for messages.
const wchar_t* ChangeRightName(ACCESS_MASK right);

}  // namespace nimbard
