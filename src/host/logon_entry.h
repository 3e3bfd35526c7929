#pragma once
// The logon entry of the monitor tray: the value "nimbard-demo" under the
// machine's Run key, which starts the installed copy with "--tray" for every
// user who logs on. Earlier versions wrote it under the installing account's
// own Run key, whose hive is an administrator's when a standard user
// elevated with another account's password; that value is cleared.
#include <windows.h>

#include <string>
#include <string_view>

namespace nimbard {

inline constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kAutostartValueName[] = L"nimbard-demo";

// Writes HKLM's value for `executable` and removes an HKCU value of that name
// that starts the same exe. 0 or the Win32 error of the HKLM write.
DWORD RegisterLogonEntry(const std::wstring& executable);
// Removes the value from HKLM and HKCU (either may be absent).
void RemoveLogonEntries();

// Whether a Run value's command line starts `executable`: its first word,
// quoted or not, is that path, compared as Windows compares file names
// (ignoring case).
bool RunValueStarts(std::wstring_view commandLine, std::wstring_view executable);

}  // namespace nimbard
