#include "host/installed_copy.h"

#include <shlobj.h>

#include "win32/unique_handle.h"

namespace nimbard {
namespace {

// "nimbard.exe.<tick>.old": never a name the loader or the service uses.
constexpr wchar_t kSetAsideSuffix[] = L".old";

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

bool IsSameFile(const std::wstring& a, const std::wstring& b) {
  BY_HANDLE_FILE_INFORMATION info[2] = {};
  int index = 0;
  for (const std::wstring* path : {&a, &b}) {
    UniqueFile file(::CreateFileW(path->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file || !::GetFileInformationByHandle(file.get(), &info[index++])) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

DWORD PlaceExecutable(const std::wstring& source, const std::wstring& target) {
  const std::wstring fresh = target + L".new";
  ::DeleteFileW(fresh.c_str());  // a leftover of an install that broke off
  // The copy takes the folder's inherited permissions, not the source's.
  if (!::CopyFileW(source.c_str(), fresh.c_str(), FALSE)) return ::GetLastError();
  // Nor the download's mark (an alternate stream CopyFileW copies too): the
  // administrator chose to install this exe, and with the mark Windows would
  // warn again whenever the logon entry starts the monitor.
  ::DeleteFileW((fresh + L":Zone.Identifier").c_str());
  if (::MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  DWORD error = ::GetLastError();
  if (InUse(error)) {
    // A running exe cannot be replaced or deleted, but it can be renamed.
    const std::wstring aside = SetAsideName(target);
    if (::MoveFileExW(target.c_str(), aside.c_str(), 0)) {
      if (::MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        ::MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return 0;
      }
      error = ::GetLastError();
      ::MoveFileExW(aside.c_str(), target.c_str(), 0);  // back where it was
    } else {
      error = ::GetLastError();
    }
  }
  ::DeleteFileW(fresh.c_str());
  return error;
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
