// One GoDaddy lookup of a 5,000-record zone, answered at once by a fake
// transport: the cost of cutting the answer into objects and testing each.
#include <benchmark/benchmark.h>

#include <string>

#include "net/godaddy.h"
#include "net/http_exchange.h"

namespace {

class ZoneTransport : public nimbard::HttpTransport {
 public:
  explicit ZoneTransport(std::string zone) : zone_(std::move(zone)) {}
  nimbard::HttpResponse Exchange(const nimbard::HttpRequest&) override {
    nimbard::HttpResponse r;
    r.sessionOpened = r.completed = true;
    r.status = 200;
    r.body = zone_;
    return r;
  }

 private:
  std::string zone_;
};

// The wanted record comes last, so every object is looked at.
std::string ZoneOf(int records) {
  std::string zone = "[";
  for (int i = 0; i < records - 1; ++i) {
    zone += "{\"data\":\"10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) +
            "\",\"name\":\"host" + std::to_string(i) + "\",\"ttl\":600,\"type\":\"A\"},";
  }
  return zone + "{\"data\":\"198.51.100.4\",\"name\":\"www\",\"ttl\":600,\"type\":\"A\"}]";
}

void BM_GoDaddyLookup5000Records(benchmark::State& state) {
  ZoneTransport transport(ZoneOf(5000));
  nimbard::HttpTransport* previous = nimbard::SetHttpTransport(&transport);
  nimbard::RecordConfig record;
  record.apiKey = L"key";
  record.domain = L"example.com";
  record.record = L"www";
  for (auto _ : state) {
    std::wstring ip;
    bool ok = nimbard::GoDaddyLookup(record, ip);
    if (!ok || ip != L"198.51.100.4") state.SkipWithError("wrong lookup result");
    benchmark::DoNotOptimize(ip);
  }
  nimbard::SetHttpTransport(previous);
}
BENCHMARK(BM_GoDaddyLookup5000Records)->Unit(benchmark::kMillisecond);

}  // namespace

