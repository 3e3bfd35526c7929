// Servers that hold an exchange open, through real WinHTTP against the local API mock; run by
// tests/e2e/hangs_and_stops.sh, which sets these routes up:
//   the echo service is silent once (the first request to it gets no answer for 10 minutes);
//   Cloudflare zones "dribble-head", "dribble-body", "short-held": headers dribbled, body
//   dribbled, a body shorter than announced with the connection held open;
//   zone "z1" record "r1" holds 198.51.100.4; zones "moved-get" and "moved-put" answer the
//   lookup with 302 and the update with 307, both pointing at another host.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/status_board.h"
#include "engine/poll_pass.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
bool LogHas(testing::ScratchDir& dir, const std::string& line) {
  for (const std::string& l : dir.LogLines()) if (l == line) return true;
  return false;
}
std::string CfRecord(const char* zone, const char* domain) {
  return std::string(R"({"provider": "cloudflare", "apiKey": "cf-test-token", "domain": ")") + domain +
         R"(", "record": "home", "zoneId": ")" + zone + R"(", "recordId": "r1"})";
}

TEST(BoundedExchangeNet, HungExchangesEndByTheDeadline) {
  const double kDeadline = std::chrono::duration<double>(kExchangeDeadline).count();
  const char* const kZones[] = {"dribble-head", "dribble-body", "short-held"};
  std::vector<double> seconds(3);
  std::vector<HttpResponse> answers(3);
  std::vector<std::thread> hung;
  for (int i = 0; i < 3; ++i) {
    hung.emplace_back([&, i] {
      const auto start = Clock::now();
      answers[i] = HttpExchange({L"GET", kCloudflareApiHost, L"/client/v4/zones/" + WidenBytes(kZones[i]) + L"/dns_records/r1",
                                 L"Authorization: Bearer cf-test-token\r\n", "", ExchangeForm::Full});
      seconds[i] = SecondsSince(start);
    });
  }
  // Meanwhile a pass meets the silent echo service, and the next pass updates the record.
  testing::ScratchDir dir("bounded-net");
  dir.Write("nimbard-demo.json", "{\"records\": [" + CfRecord("z1", "example.com") + "]}");
  ResetStatusBoard();
  auto start = Clock::now();
  PollPass(false);
  const double silentPass = SecondsSince(start);
  EXPECT_TRUE(LogHas(dir, "Public IP lookup failed."));
  EXPECT_EQ(SummaryText(), L"Invalid public IP");
  start = Clock::now();
  PollPass(false);
  const double nextPass = SecondsSince(start);
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), "Record: example.com/home = 203.0.113.7 (changed; updated)");
  for (std::thread& t : hung) t.join();

  std::printf("[ measure ] pass against a silent echo service %.1f s, next pass %.2f s\n", silentPass, nextPass);
  EXPECT_TRUE(silentPass >= kDeadline - 1 && silentPass < 60) << silentPass;
  for (int i = 0; i < 3; ++i) {
    std::printf("[ measure ] %s: %.1f s, status %u\n", kZones[i], seconds[i], static_cast<unsigned>(answers[i].status));
    EXPECT_TRUE(!answers[i].completed && seconds[i] >= kDeadline - 1 && seconds[i] < 60) << kZones[i] << " " << seconds[i];
  }
}

TEST(BoundedExchangeNet, RedirectsAreFinalAnswers) {
  testing::ScratchDir dir("redirect-net");
  dir.Write("nimbard-demo.json", "{\"records\": [" + CfRecord("moved-get", "get.example") + ", " + CfRecord("moved-put", "put.example") + "]}");
  PollPass(false);
  EXPECT_TRUE(LogHas(dir, "Cloudflare DNS lookup failed (HTTP 302)."));
  EXPECT_TRUE(LogHas(dir, "Cloudflare A record update failed for put.example (HTTP 307)."));
}

}  // namespace
}  // namespace nimbard
