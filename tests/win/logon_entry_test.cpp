// The monitor's logon entry: written machine-wide; a per-user value of the
// same name is taken over only when it starts the same exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "host/logon_entry.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

const std::wstring kExe = L"C:\\Program Files\\nimbard\\nimbard.exe";

TEST(LogonEntry, WhichCommandLineStartsTheExe) {
  const struct { const wchar_t* line; bool expected; } cases[] = {
      {L"\"C:\\Program Files\\nimbard\\nimbard.exe\" --tray", true}, {L"\"C:\\Program Files\\nimbard\\nimbard.exe\"", true},
      {L"\"c:\\program files\\NIMBARD\\nimbard.EXE\" --tray", true},  // file names ignore case
      {L"C:\\Program Files\\nimbard\\nimbard.exe --tray", false},  // unquoted, the first word is C:\Program
      {L"\"C:\\Program Files\\nimbard\\nimbard.exe.bak\" --tray", false}, {L"\"C:\\Users\\ann\\Downloads\\nimbard.exe\" --tray", false},
      {L"\"C:\\Program Files\\nimbard\\nimbard.exe --tray", false},  // no closing quote
      {L"\"\" --tray", false}, {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(RunValueStarts(c.line, kExe), c.expected) << c.line;
  EXPECT_TRUE(RunValueStarts(L"C:\\nimbard\\nimbard.exe --tray", L"C:\\nimbard\\nimbard.exe"));
}

std::wstring ReadValue(HKEY root) {
  wchar_t data[512] = {};
  DWORD bytes = sizeof data - sizeof(wchar_t);
  const LSTATUS read = ::RegGetValueW(root, kRunKeyPath, kAutostartValueName, RRF_RT_REG_SZ, nullptr, data, &bytes);
  return read == ERROR_SUCCESS ? data : L"(absent)";
}

void WriteValue(HKEY root, const std::wstring& data) {
  UniqueRegKey key;
  ASSERT_EQ(::RegCreateKeyExW(root, kRunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key.get(), kAutostartValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

TEST(LogonEntry, MachineWideAndTheOldPerUserValueTakenOver) {
  const std::wstring tray = L"\"" + kExe + L"\" --tray";
  const std::wstring other = L"\"C:\\Tools\\other.exe\" --tray";
  const struct { const char* name; std::wstring before, after; } cases[] = {
      {"the earlier version's value: removed", tray, L"(absent)"},
      {"another program's value of that name: kept", other, other},
      {"none: none", L"", L"(absent)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveLogonEntries();
    if (!c.before.empty()) WriteValue(HKEY_CURRENT_USER, c.before);
    ASSERT_EQ(RegisterLogonEntry(kExe), 0u);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE), tray);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER), c.after);
  }
  RemoveLogonEntries();
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE), L"(absent)");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER), L"(absent)");
}

}  // namespace
}  // namespace nimbard
