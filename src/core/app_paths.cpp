#include "core/app_paths.h"

#include <mutex>

#include "core/platform.h"

namespace nimbard {
namespace {

std::mutex g_folderMutex;
std::wstring g_serviceFolder;

std::wstring FilesDirectory() {
  {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    if (!g_serviceFolder.empty()) return g_serviceFolder;
  }
  return DirectoryPrefix(platform::ExecutablePath());
}

}  // namespace

void UseServiceFolder(const std::wstring& directory) {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  g_serviceFolder = directory;
}

bool InServiceFolder() {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  return !g_serviceFolder.empty();
}

std::wstring DirectoryPrefix(std::wstring_view path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  if (cut == std::wstring_view::npos) return {};
  return std::wstring(path.substr(0, cut + 1));
}

std::wstring ConfigFilePath() { return FilesDirectory() + L"nimbard-demo.json"; }

std::wstring PathBesideConfig(const std::wstring& fileName) {
  return DirectoryPrefix(ConfigFilePath()) + fileName;
}

std::wstring LogFilePath() { return PathBesideConfig(L"nimbard.log"); }

std::wstring PreviousLogFilePath() { return PathBesideConfig(L"nimbard.1.log"); }

std::wstring StatusFilePath() { return PathBesideConfig(L"nimbard.status"); }

}  // namespace nimbard
