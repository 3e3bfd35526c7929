#include "host/logon_entry.h"

#include "host/service_control.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

// The value's text, or empty when it is absent or not a string.
std::wstring ReadRunValue(HKEY root) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(root, kRunKeyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
  DWORD type = 0;
  DWORD bytes = 0;
  if (::RegQueryValueExW(key.get(), kAutostartValueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0) {
    return {};
  }
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key.get(), kAutostartValueName, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]),
                         &bytes) != ERROR_SUCCESS) {
    return {};
  }
  text.resize(bytes / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

void DeleteRunValue(HKEY root) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(root, kRunKeyPath, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key.get(), kAutostartValueName);
  }
}

}  // namespace

bool RunValueStarts(std::wstring_view commandLine, std::wstring_view executable) {
  std::wstring_view first;
  if (!commandLine.empty() && commandLine.front() == L'"') {
    const std::size_t close = commandLine.find(L'"', 1);
    if (close == std::wstring_view::npos) return false;
    first = commandLine.substr(1, close - 1);
  } else {
    first = commandLine.substr(0, commandLine.find(L' '));
  }
  if (first.empty() || first.size() != executable.size()) return false;
  return ::CompareStringOrdinal(first.data(), static_cast<int>(first.size()), executable.data(),
                                static_cast<int>(executable.size()), TRUE) == CSTR_EQUAL;
}

DWORD RegisterLogonEntry(const std::wstring& executable) {
  UniqueRegKey key;
  const LSTATUS opened = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_SET_VALUE, nullptr, key.put(), nullptr);
  if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
  const std::wstring data = QuotedCommandLine(executable, L"--tray");
  const LSTATUS written = ::RegSetValueExW(key.get(), kAutostartValueName, 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(data.c_str()), RegistryStringBytes(data));
  if (written != ERROR_SUCCESS) return static_cast<DWORD>(written);
  // Only an entry for this same exe is ours to take over; any other value of
  // that name is left as it is.
  if (RunValueStarts(ReadRunValue(HKEY_CURRENT_USER), executable)) DeleteRunValue(HKEY_CURRENT_USER);
  return 0;
}

void RemoveLogonEntries() {
  DeleteRunValue(HKEY_LOCAL_MACHINE);
  DeleteRunValue(HKEY_CURRENT_USER);
}

}  // namespace nimbard
