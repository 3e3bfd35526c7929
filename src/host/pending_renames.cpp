#include "host/pending_renames.h"

#include <utility>
#include <vector>

#include "win32/unique_handle.h"

namespace nimbard {
namespace {

constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// As Windows compares paths: case ignored beyond ASCII too.
bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

}  // namespace

bool RemovePendingDeletion(std::wstring& multiString, std::wstring_view path) {
  const std::wstring_view all = multiString;
  std::vector<std::wstring_view> strings;
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = all.find(L'\0', start);
    if (end == std::wstring_view::npos) break;  // an unterminated rest is no string
    strings.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  const std::wstring deleted = L"\\??\\" + std::wstring(path);
  std::wstring kept;
  bool removed = false;
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i + 1].empty() && SameTextIgnoringCase(strings[i], deleted)) {
      removed = true;
      continue;
    }
    kept.append(strings[i]).push_back(L'\0');
    kept.append(strings[i + 1]).push_back(L'\0');
  }
  if (!removed) return false;
  if (!kept.empty()) kept.push_back(L'\0');
  multiString = std::move(kept);
  return true;
}

DWORD CancelPendingDeletion(const std::wstring& path) {
  UniqueRegKey key;
  LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                   key.put());
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  DWORD type = 0, bytes = 0;
  status = ::RegQueryValueExW(key.get(), kPendingValue, nullptr, &type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return 0;
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  if (type != REG_MULTI_SZ) return 0;
  std::wstring data(bytes / sizeof(wchar_t), L'\0');
  status = ::RegQueryValueExW(key.get(), kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                              &bytes);
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  data.resize(bytes / sizeof(wchar_t));
  if (!RemovePendingDeletion(data, path)) return 0;
  if (data.empty()) return static_cast<DWORD>(::RegDeleteValueW(key.get(), kPendingValue));
  return static_cast<DWORD>(::RegSetValueExW(key.get(), kPendingValue, 0, REG_MULTI_SZ,
                                             reinterpret_cast<const BYTE*>(data.data()),
                                             static_cast<DWORD>(data.size() * sizeof(wchar_t))));
}

}  // namespace nimbard
