// A 300 KB answer of 5,000 record objects, the wanted one last: cut into
// objects with one member taken from each by the byte scanners, and a whole
// GoDaddy lookup of it.
#include <benchmark/benchmark.h>

#include <string>

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
