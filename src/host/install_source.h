#pragma once
// What "--install" installs, taken once at its start: the exe it runs from,
// held open so that nothing can change, rename or delete it until it has
// been copied, and the text of the configuration beside it. Read later by
// name, a file that another program put under that name meanwhile would be
// installed and run as LocalSystem.
#include <windows.h>

#include <string>

#include "win32/unique_handle.h"

namespace nimbard {

// Opens `path` for reading, denying others write and delete access (a file
// opened so cannot be renamed either), and proves that the file is the one
// this process was loaded from: the kernel compares the image mapped at this
// module's base with a view of the file just opened
// (NtAreMappedFilesTheSame), so neither the path nor a name read back can
// mislead it. ERROR_FILE_INVALID when the file at the path is another one
// (the exe was renamed or replaced after the start), else 0 or the Win32
// error of opening or mapping.
DWORD OpenRunningImage(const std::wstring& path, UniqueFile& image);

// A file's content and last-write time, read through one handle.
struct FileSnapshot {
  bool exists = false;
  std::string bytes;
  FILETIME written{};
};

// 0 (with `exists` false when there is no such file) or the Win32 error.
DWORD ReadFileSnapshot(const std::wstring& path, FileSnapshot& snapshot);

// True when `newer` exists and `older` does not or was last written earlier.
bool IsNewerSnapshot(const FileSnapshot& newer, const FileSnapshot& older);

}  // namespace nimbard
