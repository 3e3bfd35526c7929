#pragma once
// Scaffolding shared by the engine's tests and benchmark: a scratch directory
// that stands in for the executable's directory, the log read back without
// time stamps, and a scripted HTTP transport.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/text.h"
#include "net/api_hosts.h"
#include "net/http_exchange.h"

namespace nimbard::testing {

// A fresh directory; the files "beside the executable" land in it while the
// object lives.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    namespace fs = std::filesystem;
    std::error_code ec;
    dir_ = fs::temp_directory_path(ec) /
           ("nimbard-" + tag + "-" + std::to_string(Nonce()) + "-" + std::to_string(counter++));
    fs::remove_all(dir_, ec);
    fs::create_directories(dir_, ec);
    platform::OverrideExecutablePathForTesting(Wide(dir_ / "nimbard.exe"));
  }
  ~ScratchDir() {
    platform::OverrideExecutablePathForTesting(L"");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::wstring File(const char* name) const { return Wide(dir_ / name); }

  std::string ReadBytes(const char* name) const {
    std::string bytes;
    if (!platform::ReadFileBytes(File(name), bytes)) return "<missing>";
    return bytes;
  }
  bool Exists(const char* name) const {
    std::error_code ec;
    return std::filesystem::exists(dir_ / name, ec);
  }
  void Remove(const char* name) const {
    std::error_code ec;
    std::filesystem::remove(dir_ / name, ec);
  }
  void Write(const char* name, const std::string& bytes) const {
    Remove(name);
    platform::AppendFileBytes(File(name), bytes);
  }
  // The files in the directory (to see that nothing was left behind).
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir_, ec)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  // The log's messages in order, without "[date time] " and the line ends.
  // A line that does not have the stamped form comes back marked.
  std::vector<std::wstring> LogMessages() const {
    std::vector<std::wstring> messages;
    std::string bytes;
    if (!platform::ReadFileBytes(File("nimbard.log"), bytes)) return messages;
    std::size_t start = 0;
    while (start < bytes.size()) {
      std::size_t end = bytes.find("\r\n", start);
      if (end == std::string::npos) end = bytes.size();
      const std::string line = bytes.substr(start, end - start);
      const std::size_t stamp = line.find("] ");
      if (line.empty() || line[0] != '[' || stamp == std::string::npos) {
        messages.push_back(L"<unstamped> " + WidenBytes(line));
      } else {
        messages.push_back(WidenBytes(line.substr(stamp + 2)));
      }
      start = end + 2;
    }
    return messages;
  }

 private:
  static std::wstring Wide(const std::filesystem::path& path) {
    return WidenBytes(path.string());
  }
  static unsigned long long Nonce() {
    return static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
  }

  std::filesystem::path dir_;
};

// One scripted answer.
struct Answer {
  bool completed = true;
  std::uint32_t status = 200;
  std::string body;
};
inline Answer Ok(std::string body) { return {true, 200, std::move(body)}; }
inline Answer Status(std::uint32_t status, std::string body = {}) {
  return {true, status, std::move(body)};
}
inline Answer Unreachable() { return {false, 0, {}}; }

// Answers by method and host (and path, when a path-specific answer is set);
// anything unscripted fails as an unreachable server. Records every request
// as "METHOD host path".
class ScriptedTransport : public HttpTransport {
 public:
  ScriptedTransport() { previous_ = SetHttpTransport(this); }
  ~ScriptedTransport() override { SetHttpTransport(previous_); }
  ScriptedTransport(const ScriptedTransport&) = delete;
  ScriptedTransport& operator=(const ScriptedTransport&) = delete;

  void Set(const std::wstring& method, const std::wstring& host, Answer answer,
           const std::wstring& path = L"") {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[method + L" " + host + L" " + path] = std::move(answer);
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.clear();
    requests_.clear();
    bodies_.clear();
  }
  std::vector<std::wstring> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  std::vector<std::string> Bodies() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bodies_;
  }
  // Runs before each answer, outside the transport's lock (may block).
  std::function<void(const HttpRequest&)> onRequest;

  HttpResponse Exchange(const HttpRequest& request) override {
    Answer answer = Unreachable();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request.method + L" " + request.host + L" " + request.path);
      bodies_.push_back(request.body);
      auto it = answers_.find(request.method + L" " + request.host + L" " + request.path);
      if (it == answers_.end()) it = answers_.find(request.method + L" " + request.host + L" ");
      if (it != answers_.end()) answer = it->second;
    }
    if (onRequest) onRequest(request);
    HttpResponse response;
    response.completed = answer.completed;
    response.status = answer.status;
    response.body = answer.body;
    response.sessionOpened = true;
    return response;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::wstring, Answer> answers_;
  std::vector<std::wstring> requests_;
  std::vector<std::string> bodies_;
  HttpTransport* previous_ = nullptr;
};

// A configuration file of several records, fields in the order written.
struct ConfigRecord {
  std::string provider, domain, record, zoneId, recordId;
};
inline std::string ConfigFileText(const std::vector<ConfigRecord>& records) {
  std::string text = "{\n  \"records\": [\n";
  for (std::size_t i = 0; i < records.size(); ++i) {
    const ConfigRecord& r = records[i];
    text += "    {\"provider\": \"" + r.provider + "\", \"apiKey\": \"key-" + std::to_string(i) +
            "\", \"domain\": \"" + r.domain + "\", \"record\": \"" + r.record +
            "\", \"zoneId\": \"" + r.zoneId + "\", \"recordId\": \"" + r.recordId +
            "\", \"pollMinutes\": 5}";
    text += (i + 1 < records.size()) ? ",\n" : "\n";
  }
  return text + "  ]\n}\n";
}

}  // namespace nimbard::testing
