// Poll passes through real WinHTTP and TLS against the local API mock. Run by tests/e2e/engine_pass.sh inside the
// isolated runner, which sets the scene below, runs these tests one by one and checks the records the mock holds.
//   public address 203.0.113.7
//   Cloudflare zone9/rec9 "home.engine.example" = 198.51.100.4
//   GoDaddy engine.example: www = 198.51.100.5, @ = 203.0.113.7
//   AAAA records: Cloudflare home.engine.example = 2001:DB8:0:0::10, GoDaddy v6 = 2001:db8::1 (TTL 1200)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/status_board.h"
#include "engine/poll_pass.h"
#include "net/local_ipv6.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

const char kConfig[] = R"({"records": [
  {"provider": "cloudflare", "apiKey": "cf-test-token", "domain": "engine.example", "record": "home", "zoneId": "zone9", "recordId": "rec9", "ttl": 3600, "proxied": true},
  {"provider": "godaddy", "apiKey": "gd-test-token", "domain": "engine.example", "record": "www"},
  {"provider": "godaddy", "apiKey": "gd-test-token", "domain": "engine.example", "record": "@"}]})";

// The status file of one pass over the three records, in a fresh directory (the log lines of each outcome are the
// record check's table); the tokens never reach the log.
std::string RunPass() {
  testing::ScratchDir dir("engine-net");
  dir.Write("nimbard-demo.json", kConfig);
  ResetStatusBoard();
  PollPass(false);
  EXPECT_FALSE(PassRunning.load());
  EXPECT_EQ(dir.ReadBytes("nimbard.log").find("test-token"), std::string::npos);
  return dir.ReadBytes("nimbard.status");
}
std::string Lines(const char* home, const char* www, const char* apex) {
  return std::string("Record: engine.example/home") + home + "\r\nRecord: engine.example/www" + www + "\r\nRecord: engine.example/@" + apex;
}
const char kUpdated[] = " = 203.0.113.7 (changed; updated)", kUnchanged[] = " = 203.0.113.7 (unchanged)";

// First pass: both changed records are updated, the apex is left alone.
TEST(EnginePassNet, UpdatesBothProviders) {
  EXPECT_EQ(RunPass(), Lines(kUpdated, kUpdated, kUnchanged));
  EXPECT_EQ(SummaryText(), L"Unchanged: 203.0.113.7");
}

// Second pass over the same records: nothing left to change.
TEST(EnginePassNet, SecondPassFindsEverythingUnchanged) { EXPECT_EQ(RunPass(), Lines(kUnchanged, kUnchanged, kUnchanged)); }

// Both echo services answer 503: every record is reported, none is touched.
TEST(EnginePassNet, EchoServiceDown) {
  const char kCurrent[] = " current value 203.0.113.7";
  EXPECT_EQ(RunPass(), Lines(kCurrent, kCurrent, kCurrent));
  EXPECT_EQ(SummaryText(), L"Invalid public IP");
}

// AAAA records only, while the echo services are still down: none is asked. The PC's address 2001:db8::10 comes
// through the seam here; Cloudflare holds it in another form (no update), GoDaddy an old one (updated, TTL kept).
TEST(EnginePassNet, KeepsAaaaRecordsWithoutEchoService) {
  LocalIpv6 v6;
  v6.found = true, v6.address = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
  SetLocalIpv6ForTesting(&v6);
  testing::ScratchDir dir("engine-net-v6");
  dir.Write("nimbard-demo.json", R"({"records": [
    {"provider": "cloudflare", "apiKey": "cf-test-token", "domain": "engine.example", "record": "home", "ipv4": false, "ipv6": true},
    {"provider": "godaddy", "apiKey": "gd-test-token", "domain": "engine.example", "record": "v6", "ipv4": false, "ipv6": true}]})");
  ResetStatusBoard();
  const PassOutcome pass = PollPass(false);
  SetLocalIpv6ForTesting(nullptr);
  EXPECT_TRUE(pass.ipv4Skipped);
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), "Record: engine.example/home AAAA = 2001:DB8:0:0::10 (unchanged)\r\n"
                                             "Record: engine.example/v6 AAAA = 2001:db8::10 (changed; updated)");
}

}  // namespace
}  // namespace nimbard
