// A GoDaddy lookup of a 300 KB zone of 5,000 records, the wanted one last: mostly the byte scanners cutting the
// answer into objects and reading their members.
#include <benchmark/benchmark.h>

#include <string>

#include "net/godaddy.h"
#include "net/http_exchange.h"

namespace {

struct ZoneTransport : nimbard::HttpTransport {
  std::string zone = "[";
  nimbard::HttpResponse Exchange(const nimbard::HttpRequest&, nimbard::ExchangeProgress&) override { return {true, 200, zone, nimbard::ExchangeFault::None, 0}; }
};

void BM_GoDaddyLookup5000Records(benchmark::State& state) {
  ZoneTransport transport;
  for (int i = 0; i < 4999; ++i) transport.zone += "{\"data\":\"10.0.0.1\",\"name\":\"host" + std::to_string(i) + "\",\"ttl\":600,\"type\":\"A\"},";
  transport.zone += "{\"data\":\"198.51.100.4\",\"name\":\"www\",\"ttl\":600,\"type\":\"A\"}]";
  nimbard::HttpTransport* previous = nimbard::SetHttpTransport(&transport);
  const nimbard::RecordConfig record{L"godaddy", false, L"key", L"example.com", L"www", {}, {}};
  for (auto _ : state) {
    if (nimbard::GoDaddyLookup(record).address != L"198.51.100.4") state.SkipWithError("wrong result");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * transport.zone.size()));
  nimbard::SetHttpTransport(previous);
}
BENCHMARK(BM_GoDaddyLookup5000Records)->Unit(benchmark::kMillisecond);

}  // namespace
