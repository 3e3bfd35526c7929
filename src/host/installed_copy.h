#pragma once
// The installed copy of nimbard: "<Program Files>\nimbard\nimbard.exe", the
// exe the service and the monitor tray run, in a folder that only
// administrators may change and that holds the service's configuration, log
// and status files. Placing and removing it works while a program still
// runs from the old file: that file is renamed aside and deleted later.
#include <windows.h>

#include <string>

namespace nimbard {

inline constexpr wchar_t kExecutableName[] = L"nimbard.exe";

// "<Program Files>\nimbard\" (with the final "\"); empty when Windows does
// not tell where Program Files is.
std::wstring InstalledFolder();
// InstalledFolder() + "nimbard.exe"; empty with it.
std::wstring InstalledExecutable();

// True when both name one existing file (same volume and file index).
bool IsSameFile(HANDLE file, const std::wstring& path);
bool IsSameFile(const std::wstring& a, const std::wstring& b);

// Puts a copy of the file `source` (read from its start) at `target`: written
// beside it first, then the file at `target` (in use or not) renamed aside to
// `previous` and the copy moved in its place. Returns 0 or the Win32 error;
// on an error `target` is as before. `previous` is empty when there was no
// file at `target`.
DWORD PlaceExecutable(HANDLE source, const std::wstring& target, std::wstring& previous);
// Undoes PlaceExecutable: the copy removed (as RemoveExecutable does) and
// `previous`, when there was one, back at `target`. 0 or the Win32 error.
DWORD RestorePreviousExecutable(const std::wstring& target, const std::wstring& previous);
// After a successful installation: `previous` deleted, or renamed aside and
// deleted later while a program still runs from it.
void DiscardPreviousExecutable(const std::wstring& previous);

// Deletes the file (none there counts as done). One in use is renamed aside
// and deleted at the next start of Windows; one that cannot even be renamed
// is deleted there where it lies. Returns 0 or the Win32 error.
DWORD RemoveExecutable(const std::wstring& path);

// Deletes what the two above set aside in `folder`; a file still in use stays
// for the next time.
void RemoveSetAsideFiles(const std::wstring& folder);

}  // namespace nimbard
