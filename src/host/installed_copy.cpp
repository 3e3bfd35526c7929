#include "host/installed_copy.h"

#include <shlobj.h>

#include <vector>

#include "win32/unique_handle.h"

namespace nimbard {
namespace {

// "nimbard.exe.<tick>.old": never a name the loader or the service uses.
constexpr wchar_t kSetAsideSuffix[] = L".old";
// Beside the exe while an installation places a new one: the copy being
// written, and the exe it replaces until the installation has succeeded.
constexpr wchar_t kFreshSuffix[] = L".new";
constexpr wchar_t kPreviousSuffix[] = L".previous";

std::wstring SetAsideName(const std::wstring& path) {
  return path + L"." + std::to_wstring(::GetTickCount64()) + kSetAsideSuffix;
}

// Renames a file in use aside, for Windows to delete at its next start; the
// next start of nimbard tries before that (RemoveSetAsideFiles).
bool SetAsideForDeletion(const std::wstring& path) {
  const std::wstring aside = SetAsideName(path);
  if (!::MoveFileExW(path.c_str(), aside.c_str(), 0)) return false;
  ::MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

bool InUse(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

}  // namespace

std::wstring InstalledFolder() {
  PWSTR programFiles = nullptr;
  const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DEFAULT, nullptr, &programFiles);
  std::wstring folder = SUCCEEDED(result) && programFiles ? std::wstring(programFiles) + L"\\nimbard\\" : L"";
  ::CoTaskMemFree(programFiles);
  return folder;
}

std::wstring InstalledExecutable() {
  const std::wstring folder = InstalledFolder();
  return folder.empty() ? folder : folder + kExecutableName;
}

bool IsSameFile(HANDLE file, const std::wstring& path) {
  UniqueFile other(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info[2] = {};
  if (!other || !::GetFileInformationByHandle(file, &info[0]) || !::GetFileInformationByHandle(other.get(), &info[1])) {
    return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

bool IsSameFile(const std::wstring& a, const std::wstring& b) {
  UniqueFile file(::CreateFileW(a.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && IsSameFile(file.get(), b);
}

DWORD CopyFromHandle(HANDLE source, const std::wstring& target) {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(source, start, nullptr, FILE_BEGIN)) return ::GetLastError();
  // Made afresh, the copy takes the folder's inherited permissions, and none
  // of the download's alternate streams (its mark of the web: the
  // administrator chose to install this exe, and with the mark Windows would
  // warn whenever the logon entry starts the monitor).
  UniqueFile copy(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!copy) return ::GetLastError();
  std::vector<char> chunk(1 << 16);
  for (;;) {
    DWORD read = 0, written = 0;
    if (!::ReadFile(source, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return ::GetLastError();
    if (read == 0) break;
    if (!::WriteFile(copy.get(), chunk.data(), read, &written, nullptr)) return ::GetLastError();
    if (written != read) return ERROR_WRITE_FAULT;
  }
  return ::FlushFileBuffers(copy.get()) ? 0 : ::GetLastError();
}

DWORD PlaceExecutable(HANDLE source, const std::wstring& target, std::wstring& previous) {
  previous.clear();
  const std::wstring fresh = target + kFreshSuffix;
  ::DeleteFileW(fresh.c_str());  // a leftover of an installation that broke off
  if (const DWORD error = CopyFromHandle(source, fresh)) {
    ::DeleteFileW(fresh.c_str());
    return error;
  }
  // A running exe cannot be replaced or deleted, but it can be renamed: the
  // old one goes aside whether or not a program still runs from it.
  const std::wstring aside = target + kPreviousSuffix;
  ::DeleteFileW(aside.c_str());
  const bool hadOne = ::MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
  DWORD error = hadOne ? 0 : ::GetLastError();
  if (hadOne || error == ERROR_FILE_NOT_FOUND) {
    if (::MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
      if (hadOne) previous = aside;
      return 0;
    }
    error = ::GetLastError();
    if (hadOne) ::MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);  // back where it was
  }
  ::DeleteFileW(fresh.c_str());
  return error;
}

DWORD RestorePreviousExecutable(const std::wstring& target, const std::wstring& previous) {
  if (const DWORD error = RemoveExecutable(target)) return error;
  if (previous.empty()) return 0;
  return ::MoveFileExW(previous.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : ::GetLastError();
}

void DiscardPreviousExecutable(const std::wstring& previous) {
  if (!previous.empty()) RemoveExecutable(previous);
}

DWORD RemoveExecutable(const std::wstring& path) {
  if (::DeleteFileW(path.c_str())) return 0;
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 0;
  if (!InUse(error)) return error;
  if (SetAsideForDeletion(path)) return 0;
  return ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : ::GetLastError();
}

void RemoveSetAsideFiles(const std::wstring& folder) {
  const std::wstring pattern = folder + kExecutableName + L".*" + kSetAsideSuffix;
  WIN32_FIND_DATAW found{};
  const UniqueFind search(::FindFirstFileW(pattern.c_str(), &found));
  if (!search) return;
  do {
    ::DeleteFileW((folder + found.cFileName).c_str());
  } while (::FindNextFileW(search.get(), &found));
}

}  // namespace nimbard
