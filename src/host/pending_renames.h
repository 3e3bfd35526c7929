#pragma once
// Files Windows deletes at the next start: MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT records each as a pair "\??\<path>", "" in the
// REG_MULTI_SZ value PendingFileRenameOperations of
// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager.
#include <windows.h>

#include <string>
#include <string_view>

namespace nimbard {

// Takes the pairs that delete `path` (the source "\??\" + path, compared
// ignoring case, and an empty destination) out of the value's data (strings
// each ending in a NUL, then one more NUL); false, and the data untouched,
// when there is none. Every other pair is kept as it was, renames included;
// a lone string after the last pair (the final NUL, or a broken value's
// remainder) is dropped and one final NUL added; empty when no pair is left.
bool RemovePendingDeletion(std::wstring& multiString, std::wstring_view path);

// Cancels a deletion of `path` scheduled for the next start (the value is
// removed when nothing else is left in it). 0 when there was none or it is
// cancelled, else the registry's error.
DWORD CancelPendingDeletion(const std::wstring& path);

}  // namespace nimbard
