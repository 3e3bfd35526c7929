#pragma once
// The few platform calls of the portable code. Each has a Windows side
// (platform_win.cpp) and a POSIX side (platform_posix.cpp).
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbard::platform {

// Full path of the running executable (GetModuleFileNameW into 260 units);
// empty when it cannot be obtained.
std::wstring ExecutablePath();

// Tests point the executable path elsewhere so that the files "beside the
// executable" land in a scratch directory. Empty text restores the real path.
void OverrideExecutablePathForTesting(const std::wstring& path);

struct LocalDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LocalDateTime LocalTimeNow();  // GetLocalTime

// Whole file into `bytes`; false when it cannot be opened or read.
// Opened without denying others read, write or delete access.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);

// Opens for appending (creating it), writes and closes; shares all. Each
// append holds an exclusive lock on the file from finding its end to the last
// byte written, so appends of several processes never overwrite or split
// each other. With rotateAtBytes, an append that would take the file past
// that size first moves the file's content to rotatedPath (replacing what
// was there) and starts the file afresh, under the same lock: no line is
// lost, split between the two files or written twice. When the content
// cannot be moved, the file keeps growing and the next append tries again.
bool AppendFileBytes(const std::wstring& path, std::string_view bytes,
                     std::uint64_t rotateAtBytes = 0, const std::wstring& rotatedPath = {});

// Who may open a file that ReplaceFileBytes writes.
enum class FileAccess {
  Inherited,           // whoever the folder lets
  AdministratorsOnly,  // Windows: SYSTEM and Administrators, a protected list; POSIX: the owner
};

// Writes bytes to a new file in the same directory and moves it over `path`
// in one atomic step. On failure `path` is left as it was (and on Windows the
// cause is the thread's last error). flushToDisk waits
// for the new content to reach the disk first (settings that must survive a
// power cut); without it readers still see the old or the new file whole,
// at a fraction of the cost (the status file, rewritten at every step). The
// new file is made with `access`, so no other reader ever sees its content.
bool ReplaceFileBytes(const std::wstring& path, std::string_view bytes, bool flushToDisk = true,
                      FileAccess access = FileAccess::Inherited);

// Writes bytes over the file's content where it stands (creating it) and
// cuts it to their length. Not atomic: for a file that another program holds
// open without letting it be replaced. Shares all.
bool OverwriteFileBytes(const std::wstring& path, std::string_view bytes);

// True when text is a dotted IPv4 address (InetPtonW with AF_INET returns 1).
// A text holding a NUL is never an address.
bool IsIPv4Text(const std::wstring& text);

}  // namespace nimbard::platform
