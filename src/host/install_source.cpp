#include "host/install_source.h"

namespace nimbard {
namespace {

using UniqueView = UniqueHandle<void*, NullHandleTraits<void*, &::UnmapViewOfFile>>;

// Exported by ntdll (always loaded, so no DLL is searched for); the loader
// uses it to tell a DLL already loaded under another name. STATUS_SUCCESS (0)
// when both addresses lie in views of one file.
using SameMappedFiles = LONG(NTAPI*)(PVOID imageView, PVOID fileView);

constexpr LONG kStatusSuccess = 0;
constexpr DWORD kLargestSnapshot = 16 * 1024 * 1024;  // a configuration is a few kilobytes

}  // namespace

DWORD OpenRunningImage(const std::wstring& path, UniqueFile& image) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ::GetLastError();
  // From here on the file under `path` stays what it is; whether it is the
  // one that runs is asked of what was mapped, not of any name.
  UniqueKernelHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return ::GetLastError();
  UniqueView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) return ::GetLastError();
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto same =
      ntdll ? reinterpret_cast<SameMappedFiles>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtAreMappedFilesTheSame"))) : nullptr;
  if (!same) return ERROR_PROC_NOT_FOUND;
  if (same(::GetModuleHandleW(nullptr), view.get()) != kStatusSuccess) return ERROR_FILE_INVALID;
  image = std::move(file);
  return 0;
}

DWORD ReadFileSnapshot(const std::wstring& path, FileSnapshot& snapshot) {
  snapshot = {};
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info)) return ::GetLastError();
  if (info.nFileSizeHigh != 0 || info.nFileSizeLow > kLargestSnapshot) return ERROR_FILE_TOO_LARGE;
  std::string bytes(info.nFileSizeLow, '\0');
  DWORD read = 0;
  if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), info.nFileSizeLow, &read, nullptr)) {
    return ::GetLastError();
  }
  bytes.resize(read);
  snapshot.exists = true;
  snapshot.bytes = std::move(bytes);
  snapshot.written = info.ftLastWriteTime;
  return 0;
}

bool IsNewerSnapshot(const FileSnapshot& newer, const FileSnapshot& older) {
  return newer.exists && (!older.exists || ::CompareFileTime(&newer.written, &older.written) > 0);
}

}  // namespace nimbard
