// A poll pass over 100 records against an exchange that answers at once: what is left is the engine's own work plus
// the real log and status file writes (in a scratch directory).
#include <benchmark/benchmark.h>

#include "core/status_board.h"
#include "engine/poll_pass.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

constexpr int kRecords = 100;

void RunPasses(benchmark::State& state, const std::string& storedAddress) {
  testing::ScratchDir dir("bench");
  testing::ScriptedTransport transport;
  const auto script = [&] {
    transport.Clear();  // keeps the request list from growing across passes
    transport.Set(L"GET", kPublicIpHost, testing::Ok("203.0.113.7\n"));
    transport.Set(L"GET", kGoDaddyApiHost, testing::Ok(R"([{"type":"A","name":"www","data":")" + storedAddress + R"(","ttl":600}])"));
    transport.Set(L"PUT", kGoDaddyApiHost, testing::Ok(""));
  };
  std::vector<testing::ConfigRecord> records;
  for (int i = 0; i < kRecords; ++i) records.push_back({"godaddy", "host" + std::to_string(i) + ".example", "www", "", ""});
  dir.Write("nimbard-demo.json", testing::ConfigFileText(records));
  script();
  for (auto _ : state) {
    benchmark::DoNotOptimize(PollPass(false));
    state.PauseTiming();
    script();
    dir.Remove("nimbard.log");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);  // items_per_second is records per second
}

// Three log lines and one status file write per record; five when the address changed.
void BM_PassUnchanged(benchmark::State& state) { RunPasses(state, "203.0.113.7"); }
void BM_PassChanged(benchmark::State& state) { RunPasses(state, "198.51.100.4"); }
BENCHMARK(BM_PassUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PassChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace nimbard

BENCHMARK_MAIN();
