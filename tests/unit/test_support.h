#pragma once
// Shared by the tests and benchmarks: a scratch directory standing in for the executable's, the log read back without
// time stamps, and a scripted HTTP transport.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/platform.h"
#include "core/record_config.h"
#include "core/text.h"
#include "net/api_hosts.h"
#include "net/http_exchange.h"

namespace nimbard::testing {

using Lines = std::vector<std::string>;
// What two passes log when each logs `lines`.
inline Lines Twice(const Lines& lines) {
  Lines both = lines;
  return both.insert(both.end(), lines.begin(), lines.end()), both;
}

// A fresh directory; the files "beside the executable" land in it while the object lives.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    dir_ = std::filesystem::temp_directory_path() / ("nimbard-" + tag + "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
    platform::OverrideExecutablePathForTesting(File("nimbard.exe"));
  }
  ~ScratchDir() {
    platform::OverrideExecutablePathForTesting(L"");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;  // one owner deletes the directory

  std::wstring File(const char* name) const { return WidenBytes((dir_ / name).string()); }
  std::string ReadBytes(const char* name) const { std::string bytes; return platform::ReadFileBytes(File(name), bytes) ? bytes : "<missing>"; }
  void Remove(const char* name) const { std::error_code ec; std::filesystem::remove(dir_ / name, ec); }
  void Write(const char* name, const std::string& bytes) const { Remove(name), platform::AppendFileBytes(File(name), bytes); }
  // A directory where a file should be makes every write to it fail.
  void MakeDir(const char* name) const { std::filesystem::create_directories(dir_ / name); }
  // Names of everything in the directory, sorted, joined by "|".
  std::string Listing() const {
    std::set<std::string> all;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) all.insert(e.path().filename().string());
    std::string names;
    for (const auto& n : all) names += (names.empty() ? "" : "|") + n;
    return names;
  }
  // The log's messages without "[YYYY-MM-DD hh:mm:ss] " and the CR LF; a line without that exact stamp or line end
  // comes back marked.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    const std::string bytes = ReadBytes("nimbard.log"), shape = "[0000-00-00 00:00:00] ";
    for (std::size_t start = 0, end; bytes != "<missing>" && start < bytes.size(); start = end + 2) {
      end = std::min(bytes.find("\r\n", start), bytes.size());
      const std::string line = (end == bytes.size() ? "<unterminated> " : "") + bytes.substr(start, end - start);
      bool stamped = line.size() >= shape.size();
      for (std::size_t i = 0; stamped && i < shape.size(); ++i) stamped = shape[i] == '0' ? line[i] >= '0' && line[i] <= '9' : line[i] == shape[i];
      lines.push_back(stamped ? line.substr(shape.size()) : "<unstamped> " + line);
    }
    return lines;
  }
  // LogLines, then the log is removed so that the next case starts afresh. The cause lines that follow a failure's
  // own line are left out unless asked for: their own table pins them down.
  std::vector<std::string> TakeLog(bool withCauses = false) const {
    std::vector<std::string> lines;
    for (const std::string& line : LogLines()) {
      if (withCauses || line.rfind("Cause: ", 0) != 0) lines.push_back(line);
    }
    return Remove("nimbard.log"), lines;
  }

 private:
  std::filesystem::path dir_;
};

// Scripted answers.
inline HttpResponse Status(std::uint32_t status, std::string body = {}) { return {true, status, std::move(body), ExchangeFault::None, 0}; }
inline HttpResponse Ok(std::string body) { return Status(200, std::move(body)); }
inline HttpResponse Unreachable() { return {false, 0, {}, ExchangeFault::Platform, 12029}; }  // ERROR_WINHTTP_CANNOT_CONNECT
inline HttpResponse NoSession() { return {false, 0, {}, ExchangeFault::NoSession, 0}; }
inline HttpResponse CutOff(std::uint32_t status, std::string partial) { return {false, status, std::move(partial), ExchangeFault::Platform, 12030}; }  // read failed

// Answers by method, host and path; by method and host; or any request (empty method and host); anything else as an
// unreachable server. Keeps every request; outlives the exchanges it answers, even abandoned ones.
class ScriptedTransport : public HttpTransport {
 public:
  ScriptedTransport() : previous_(SetHttpTransport(this)) {}
  ~ScriptedTransport() override {
    SetHttpTransport(previous_);
    while (inFlight_.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ScriptedTransport(const ScriptedTransport&) = delete;

  void Set(const std::wstring& method, const std::wstring& host, HttpResponse answer, const std::wstring& path = L"") {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[method + L" " + host + L" " + path] = std::move(answer);
  }
  void Clear() { std::lock_guard<std::mutex> lock(mutex_); answers_.clear(), requests_.clear(); }
  std::vector<HttpRequest> Requests() const { std::lock_guard<std::mutex> lock(mutex_); return requests_; }
  // Runs before each answer, outside the transport's lock (may block).
  std::function<void(const HttpRequest&)> onRequest;

  HttpResponse Exchange(const HttpRequest& request, ExchangeProgress&) override {
    ++inFlight_;
    HttpResponse answer = Unreachable();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      const std::wstring head = request.method + L" " + request.host + L" ";
      for (const std::wstring& key : {head + request.path, head, std::wstring(L"  ")}) {
        if (answers_.count(key)) {
          answer = answers_[key];
          break;
        }
      }
    }
    if (onRequest) onRequest(request);
    return --inFlight_, answer;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::wstring, HttpResponse> answers_;
  std::vector<HttpRequest> requests_;
  std::atomic<int> inFlight_{0};
  HttpTransport* previous_ = nullptr;
};

// provider|locked|apiKey|domain|record|zoneId|recordId|pollMinutes|ttl|proxied
inline std::string Show(const RecordConfig& r) {
  return NarrowLow8(r.provider + (r.providerLocked ? L"|1|" : L"|0|") + r.apiKey + L"|" + r.domain + L"|" + r.recordName + L"|" + r.zoneId + L"|" +
                    r.recordId + L"|" + DecimalText(r.pollMinutes) + L"|" + DecimalText(r.ttl) + (r.proxied ? L"|1" : L"|0") +
                    (r.ipv4 ? L"" : L"|no A") + (r.ipv6 ? L"|AAAA" : L""));
}

// A configuration file of several records (key "key-<index>", pollMinutes 5), fields in the order written.
struct ConfigRecord {
  std::string provider, domain, record, zoneId, recordId;
};
inline std::string ConfigFileText(const std::vector<ConfigRecord>& records) {
  std::string text;
  for (const ConfigRecord& r : records) {
    text += std::string(text.empty() ? "" : ",\n") + "    {\"provider\": \"" + r.provider + "\", \"apiKey\": \"key-" + std::to_string(&r - &records[0]) + "\", \"domain\": \"" + r.domain +
            "\", \"record\": \"" + r.record + "\", \"zoneId\": \"" + r.zoneId + "\", \"recordId\": \"" + r.recordId + "\", \"pollMinutes\": 5}";
  }
  return "{\n  \"records\": [\n" + text + "\n  ]\n}\n";
}

}  // namespace nimbard::testing
