// A GoDaddy lookup of a 5,000-record zone with the wanted record last.
#include <benchmark/benchmark.h>

#include <string>

#include "net/godaddy.h"
#include "net/http_exchange.h"

namespace {

struct ZoneTransport : nimbard::HttpTransport {
  std::string zone = "[";
  nimbard::HttpResponse Exchange(const nimbard::HttpRequest&, nimbard::ExchangeProgress&) override {
    nimbard::HttpResponse r;
    r.sessionOpened = r.completed = true, r.status = 200, r.body = zone;
    return r;
  }
};

void BM_GoDaddyLookup5000Records(benchmark::State& state) {
  ZoneTransport t;
  for (int i = 0; i < 4999; ++i)
    t.zone += "{\"data\":\"10.0.0.1\",\"name\":\"host" + std::to_string(i) + "\",\"ttl\":600,\"type\":\"A\"},";
  t.zone += "{\"data\":\"198.51.100.4\",\"name\":\"www\",\"ttl\":600,\"type\":\"A\"}]";
  nimbard::HttpTransport* previous = nimbard::SetHttpTransport(&t);
  nimbard::RecordConfig record;
  record.apiKey = L"key", record.domain = L"example.com", record.record = L"www";
  for (auto _ : state) {
    std::wstring ip;
    if (!nimbard::GoDaddyLookup(record, ip) || ip != L"198.51.100.4") state.SkipWithError("wrong result");
  }
  nimbard::SetHttpTransport(previous);
}
BENCHMARK(BM_GoDaddyLookup5000Records)->Unit(benchmark::kMillisecond);

}  // namespace
