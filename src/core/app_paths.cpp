#include "core/app_paths.h"

#include "core/platform.h"

namespace nimbard {

std::wstring DirectoryPrefix(std::wstring_view path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  if (cut == std::wstring_view::npos) return {};
  return std::wstring(path.substr(0, cut + 1));
}

std::wstring ConfigFilePath() {
  return DirectoryPrefix(platform::ExecutablePath()) + L"nimbard-demo.json";
}

std::wstring PathBesideConfig(const std::wstring& fileName) {
  return DirectoryPrefix(ConfigFilePath()) + fileName;
}

std::wstring LogFilePath() { return PathBesideConfig(L"nimbard.log"); }

std::wstring PreviousLogFilePath() { return PathBesideConfig(L"nimbard.1.log"); }

std::wstring StatusFilePath() { return PathBesideConfig(L"nimbard.status"); }

}  // namespace nimbard
