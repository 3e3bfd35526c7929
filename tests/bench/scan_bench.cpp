// A 300 KB answer of 5,000 record objects, the wanted one last: cut into
// objects with one member taken from each by the byte scanners and, for
// comparison, by the equivalent std::regex searches; and a whole GoDaddy
// lookup of it.
#include <benchmark/benchmark.h>

#include <regex>
#include <string>
#include <thread>

#include "core/json_scan.h"
#include "core/text.h"
#include "net/godaddy.h"
#include "net/http_exchange.h"

namespace {

constexpr int kRecords = 5000;

std::string Answer() {
  std::string answer = "[";
  for (int i = 0; i + 1 < kRecords; ++i) answer += "{\"data\":\"203.0.113.7\",\"name\":\"host" + std::to_string(i) + "\",\"ttl\":600,\"type\":\"A\"},";
  return answer + "{\"data\":\"198.51.100.4\",\"name\":\"www\",\"ttl\":600,\"type\":\"A\"}]";
}

void BM_ScannerObjectsAndMember(benchmark::State& state) {
  const std::string answer = Answer();
  for (auto _ : state) {
    std::wstring last;
    int count = 0;
    for (std::string_view object : nimbard::json_scan::FlatObjects(answer)) last = nimbard::ExtractJsonString(object, "data"), ++count;
    if (count != kRecords || last != L"198.51.100.4") state.SkipWithError("wrong scan result");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_ScannerObjectsAndMember)->Unit(benchmark::kMicrosecond);

void BM_RegexObjectsAndMember(benchmark::State& state) {
  const std::string answer = Answer();
  const std::regex object("\\{[^{}]*\\}"), data("\"data\"\\s*:\\s*\"((?:[^\"\\\\]|\\\\[\\s\\S])*)\"");
  for (auto _ : state) {
    // libstdc++ regex recurses per character; a thread with its own stack
    // keeps the comparison from depending on the main thread's limit.
    int count = 0;
    std::string last;
    std::thread([&] {
      for (std::sregex_iterator it(answer.begin(), answer.end(), object), end; it != end; ++it, ++count) {
        const std::string text = it->str();
        std::smatch m;
        if (std::regex_search(text, m, data)) last = m[1].str();
      }
    }).join();
    if (count != kRecords || last != "198.51.100.4") state.SkipWithError("wrong regex result");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_RegexObjectsAndMember)->Unit(benchmark::kMicrosecond)->UseRealTime();

struct AnswerTransport : nimbard::HttpTransport {
  const std::string answer = Answer();
  nimbard::HttpResponse Exchange(const nimbard::HttpRequest&, nimbard::ExchangeProgress&) override { return {true, 200, answer, true}; }
};

void BM_GoDaddyLookup5000Records(benchmark::State& state) {
  AnswerTransport transport;
  nimbard::HttpTransport* previous = nimbard::SetHttpTransport(&transport);
  nimbard::RecordConfig record;
  record.apiKey = L"key", record.domain = L"example.com", record.record = L"www";
  for (auto _ : state) {
    std::wstring ip;
    if (!nimbard::GoDaddyLookup(record, ip) || ip != L"198.51.100.4") state.SkipWithError("wrong lookup result");
  }
  nimbard::SetHttpTransport(previous);
}
BENCHMARK(BM_GoDaddyLookup5000Records)->Unit(benchmark::kMillisecond);

}  // namespace
