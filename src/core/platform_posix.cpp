// POSIX side of the platform seam: lets the portable code build and be
// tested natively (sanitizers, fuzzers, benchmarks).
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>

#include "core/platform.h"
#include "core/text.h"

namespace nimbard::platform {
namespace {

std::mutex g_overrideMutex;
std::wstring g_executableOverride;

std::string NativePath(const std::wstring& path) { return NarrowLow8(path); }

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

namespace {

// Moves the content of the open, locked file to rotatedPath and empties it;
// false (both files then hold it, or the file keeps growing) when a step fails.
bool RotateLocked(int fd, std::size_t size, const std::wstring& rotatedPath) {
  std::string content(size, '\0');
  return ::pread(fd, content.data(), size, 0) == static_cast<ssize_t>(size) &&
         (ReplaceFileBytes(rotatedPath, content, false) || OverwriteFileBytes(rotatedPath, content)) &&
         ::ftruncate(fd, 0) == 0;
}

}  // namespace

std::wstring ExecutablePath() {
  {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    if (!g_executableOverride.empty()) return g_executableOverride;
  }
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return WidenBytes(std::string_view(buffer, static_cast<size_t>(n)));
}

void OverrideExecutablePathForTesting(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(g_overrideMutex);
  g_executableOverride = path;
}

LocalDateTime LocalTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes.clear();
  char chunk[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

bool AppendFileBytes(const std::wstring& path, std::string_view bytes, std::uint64_t rotateAtBytes,
                     const std::wstring& rotatedPath) {
  int fd = ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // The same exclusive lock for the whole append as on Windows (flock locks
  // belong to the open file, so two opens in one process exclude each other).
  const bool locked = ::flock(fd, LOCK_EX) == 0;
  struct stat info {};
  if (locked && rotateAtBytes && ::fstat(fd, &info) == 0 && info.st_size > 0 &&
      static_cast<std::uint64_t>(info.st_size) + bytes.size() > rotateAtBytes) {
    RotateLocked(fd, static_cast<std::size_t>(info.st_size), rotatedPath);
  }
  bool ok = WriteAll(fd, bytes);
  if (locked) ::flock(fd, LOCK_UN);
  return (::close(fd) == 0) && ok;
}

bool ReplaceFileBytes(const std::wstring& path, std::string_view bytes, bool flushToDisk, FileAccess access) {
  static std::atomic<unsigned> counter{0};
  const std::string target = NativePath(path);
  const std::string temp = target + "." + std::to_string(::getpid()) + "." +
                           std::to_string(counter.fetch_add(1)) + ".tmp";
  const mode_t mode = access == FileAccess::AdministratorsOnly ? 0600 : 0644;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && (!flushToDisk || ::fsync(fd) == 0);
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool OverwriteFileBytes(const std::wstring& path, std::string_view bytes) {
  int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  return (::close(fd) == 0) && ok;
}

bool IsIPv4Text(const std::wstring& text) {
  // Only plain ASCII can be an address; anything else must not be narrowed
  // into one by losing its high bits.
  for (wchar_t c : text) {
    if (c == 0 || static_cast<unsigned long>(c) > 0x7E) return false;
  }
  in_addr address{};
  return ::inet_pton(AF_INET, NarrowLow8(text).c_str(), &address) == 1;
}

}  // namespace nimbard::platform
