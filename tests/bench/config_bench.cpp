// Reading a 300 KB answer of 5,000 record objects: cut it into objects and
// take one string member from each, with the byte scanners and, for
// comparison, with the equivalent std::regex searches.
#include <benchmark/benchmark.h>

#include <regex>
#include <string>
#include <thread>

#include "core/json_scan.h"
#include "core/text.h"

namespace {

constexpr int kRecords = 5000;
constexpr const char* kLastData = "198.51.100.4";

std::string Answer() {
  std::string answer = "[";
  for (int i = 0; i < kRecords; ++i) {
    if (i > 0) answer += ",";
    answer += "{\"data\":\"" + std::string(i + 1 == kRecords ? kLastData : "203.0.113.7") +
              "\",\"name\":\"host" + std::to_string(i) + "\",\"ttl\":600,\"type\":\"A\"}";
  }
  return answer + "]";
}

void BM_ScannerObjectsAndMember(benchmark::State& state) {
  const std::string answer = Answer();
  for (auto _ : state) {
    std::wstring last;
    std::size_t count = 0;
    for (std::string_view object : nimbard::json_scan::FlatObjects(answer)) {
      last = nimbard::ExtractJsonString(object, "data");
      ++count;
    }
    if (count != kRecords || last != L"198.51.100.4") state.SkipWithError("wrong scan result");
    benchmark::DoNotOptimize(last);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
  state.counters["answer_bytes"] = static_cast<double>(answer.size());
}
BENCHMARK(BM_ScannerObjectsAndMember)->Unit(benchmark::kMicrosecond);

void BM_RegexObjectsAndMember(benchmark::State& state) {
  const std::string answer = Answer();
  const std::regex object("\\{[^{}]*\\}");
  const std::regex data("\"data\"\\s*:\\s*\"((?:[^\"\\\\]|\\\\[\\s\\S])*)\"");
  for (auto _ : state) {
    // libstdc++ regex recurses per character; a thread with its own stack
    // keeps the comparison from depending on the main thread's limit.
    std::size_t count = 0;
    std::string last;
    std::thread worker([&] {
      for (std::sregex_iterator it(answer.begin(), answer.end(), object), end; it != end; ++it) {
        const std::string text = it->str();
        std::smatch m;
        if (std::regex_search(text, m, data)) last = m[1].str();
        ++count;
      }
    });
    worker.join();
    if (count != kRecords || last != kLastData) state.SkipWithError("wrong regex result");
    benchmark::DoNotOptimize(last);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_RegexObjectsAndMember)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

