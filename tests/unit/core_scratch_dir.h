#pragma once
// A fresh directory that stands in for the executable's directory while the
// object lives, so "beside the executable" lands somewhere disposable.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <algorithm>
#include <string>
#include <vector>

#include "core/platform.h"

namespace nimbard::core_testing {

class CoreScratchDir {
 public:
  explicit CoreScratchDir(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    const auto nonce = std::chrono::steady_clock::now().time_since_epoch().count();
    std::error_code ec;
    dir_ = std::filesystem::temp_directory_path(ec) /
           ("nimbard-core-" + tag + "-" + std::to_string(nonce) + "-" +
            std::to_string(counter++));
    std::filesystem::create_directories(dir_, ec);
    platform::OverrideExecutablePathForTesting(Path("nimbard.exe"));
  }
  ~CoreScratchDir() {
    platform::OverrideExecutablePathForTesting(L"");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  CoreScratchDir(const CoreScratchDir&) = delete;
  CoreScratchDir& operator=(const CoreScratchDir&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  std::wstring Path(const char* name) const { return (dir_ / name).wstring(); }

  std::string Read(const char* name) const {
    std::string bytes;
    return platform::ReadFileBytes(Path(name), bytes) ? bytes : std::string("<missing>");
  }
  void Write(const char* name, const std::string& bytes) const {
    std::error_code ec;
    std::filesystem::remove(dir_ / name, ec);
    platform::AppendFileBytes(Path(name), bytes);
  }
  // Names of everything in the directory, sorted, joined by "|".
  std::string Listing() const {
    std::string names;
    std::error_code ec;
    std::vector<std::string> all;
    for (const auto& entry : std::filesystem::directory_iterator(dir_, ec)) {
      all.push_back(entry.path().filename().string());
    }
    std::sort(all.begin(), all.end());
    for (const auto& n : all) names += (names.empty() ? "" : "|") + n;
    return names;
  }

 private:
  std::filesystem::path dir_;
};

}  // namespace nimbard::core_testing
