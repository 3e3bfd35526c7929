// Windows side of the platform seam.
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <atomic>
#include <mutex>

#include "core/platform.h"
#include "win32/file_security.h"
#include "win32/unique_handle.h"

namespace nimbard::platform {
namespace {

std::mutex g_overrideMutex;
std::wstring g_executableOverride;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

std::wstring ExecutablePath() {
  {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    if (!g_executableOverride.empty()) return g_executableOverride;
  }
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(buffer, length);
}

void OverrideExecutablePathForTesting(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(g_overrideMutex);
  g_executableOverride = path;
}

LocalDateTime LocalTimeNow() {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bytes.clear();
  char chunk[65536];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr)) return false;
    if (read == 0) return true;
    bytes.append(chunk, read);
  }
}

namespace {

// Moves the content of the open, locked file to rotatedPath and empties it.
// The file itself is never renamed: another process may be waiting for the
// lock on it, and must find the file that the path names when it gets it.
void RotateLocked(HANDLE file, std::uint64_t size, const std::wstring& rotatedPath) {
  if (size > 0x40000000) return;  // beyond any log this system writes: leave it be
  std::string content(static_cast<std::size_t>(size), '\0');
  LARGE_INTEGER start{};
  DWORD read = 0;
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !::ReadFile(file, content.data(), static_cast<DWORD>(size), &read, nullptr) || read != size) {
    return;
  }
  // A viewer holding the old file open without delete sharing blocks the
  // replace; the content is then written over it in place.
  if (!ReplaceFileBytes(rotatedPath, content, false) && !OverwriteFileBytes(rotatedPath, content)) return;
  ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
  ::SetEndOfFile(file);
}

}  // namespace

bool AppendFileBytes(const std::wstring& path, std::string_view bytes, std::uint64_t rotateAtBytes,
                     const std::wstring& rotatedPath) {
  const DWORD access = GENERIC_WRITE | (rotateAtBytes ? GENERIC_READ : 0);
  UniqueFile file(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // Several processes append to one log (the service, and a monitor tray's
  // forced pass): FILE_APPEND_DATA alone lets their lines overwrite each
  // other under Wine. An exclusive lock on one byte far beyond any content
  // (it blocks no reader) makes "go to the end, rotate if due, and write"
  // one step for every writer that takes it. Without the lock the line is
  // still written, and no rotation is tried.
  OVERLAPPED lockAt{};
  lockAt.Offset = 0xFFFFFFFE;
  lockAt.OffsetHigh = 0x7FFFFFFF;
  const bool locked = ::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != FALSE;
  LARGE_INTEGER size{};
  if (locked && rotateAtBytes && ::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
      static_cast<std::uint64_t>(size.QuadPart) + bytes.size() > rotateAtBytes) {
    RotateLocked(file.get(), static_cast<std::uint64_t>(size.QuadPart), rotatedPath);
  }
  LARGE_INTEGER end{};
  // Written straight through WriteFile: nothing is buffered in the process,
  // and a disk sync per line would cost milliseconds on every log line.
  const bool written = ::SetFilePointerEx(file.get(), end, nullptr, FILE_END) &&
                       WriteAll(file.get(), bytes);
  if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &lockAt);
  return written;
}

bool ReplaceFileBytes(const std::wstring& path, std::string_view bytes, bool flushToDisk, FileAccess access) {
  static std::atomic<unsigned> counter{0};
  const std::wstring temp = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                            std::to_wstring(counter.fetch_add(1)) + L".tmp";
  // The error that ended the write stays the thread's last error.
  const auto removeTemp = [&temp] {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(temp.c_str());
    ::SetLastError(error);
  };
  // The move keeps the new file's own list: the replaced file's never applies.
  const UniqueLocal descriptor =
      access == FileAccess::AdministratorsOnly ? AdministratorsOnlyDescriptor() : UniqueLocal();
  if (access == FileAccess::AdministratorsOnly && !descriptor) return false;
  SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
  {
    UniqueFile file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, descriptor ? &security : nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (!WriteAll(file.get(), bytes) || (flushToDisk && !::FlushFileBuffers(file.get()))) {
      const DWORD error = ::GetLastError();
      file.reset();
      ::SetLastError(error);
      removeTemp();
      return false;
    }
  }
  const DWORD moveFlags = MOVEFILE_REPLACE_EXISTING | (flushToDisk ? MOVEFILE_WRITE_THROUGH : 0);
  if (!::MoveFileExW(temp.c_str(), path.c_str(), moveFlags)) {
    removeTemp();
    return false;
  }
  return true;
}

bool OverwriteFileBytes(const std::wstring& path, std::string_view bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  return WriteAll(file.get(), bytes) && ::SetEndOfFile(file.get());
}

bool IsIPv4Text(const std::wstring& text) {
  // InetPtonW stops at the first NUL, which would let "1.2.3.4\0junk" pass.
  if (text.find(L'\0') != std::wstring::npos) return false;
  IN_ADDR address{};
  return ::InetPtonW(AF_INET, text.c_str(), &address) == 1;
}

}  // namespace nimbard::platform
