// Poll passes through real WinHTTP and TLS against the local API mock. Run by
// tests/e2e/engine_pass.sh inside the isolated runner, which sets the scene
// below, runs these tests one by one and checks the records the mock holds.
//   public address 203.0.113.7
//   Cloudflare zone9/rec9 "home.engine.example" = 198.51.100.4
//   GoDaddy engine.example: www = 198.51.100.5, @ = 203.0.113.7
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/status_board.h"
#include "engine/poll_pass.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using Lines = std::vector<std::string>;

const char kConfig[] = R"({
  "records": [
    {"provider": "cloudflare", "apiKey": "cf-test-token", "domain": "engine.example",
     "record": "home", "zoneId": "zone9", "recordId": "rec9", "ttl": 300, "proxied": false},
    {"provider": "godaddy", "apiKey": "gd-test-token", "domain": "engine.example", "record": "www"},
    {"provider": "godaddy", "apiKey": "gd-test-token", "domain": "engine.example", "record": "@"}
  ]
})";

// The log of one pass over the three records, in a fresh directory.
Lines RunPass(testing::ScratchDir& dir) {
  dir.Write("nimbard-demo.json", kConfig);
  ResetStatusBoard();
  PollPass(nullptr, false);
  EXPECT_FALSE(PassRunning.load());
  EXPECT_EQ(dir.ReadBytes("nimbard.log").find("test-token"), std::string::npos);
  return dir.LogLines();
}
const char* const kNames[] = {"home", "www", "@"};

// First pass: both changed records are updated, the apex is left alone.
TEST(EnginePassNet, UpdatesBothProviders) {
  testing::ScratchDir dir("engine-net");
  EXPECT_EQ(RunPass(dir), (Lines{
      "Stored current A record for engine.example/home: 198.51.100.4.",
      "Current A record engine.example/home is 198.51.100.4; it needs to be changed to 203.0.113.7.",
      "Public IP changed to 203.0.113.7.",
      "Cloudflare A record updated for home.engine.example to 203.0.113.7.",
      "Stored current A record for engine.example/www: 198.51.100.5.",
      "Current A record engine.example/www is 198.51.100.5; it needs to be changed to 203.0.113.7.",
      "Public IP changed to 203.0.113.7.",
      R"(GoDaddy PUT body: [{"data":"203.0.113.7","ttl":600}])",
      "GoDaddy A record updated for www to 203.0.113.7.",
      "Stored current A record for engine.example/@: 203.0.113.7.",
      "Current A record engine.example/@ is 203.0.113.7; it does not need to be changed.",
      "Public IP unchanged: 203.0.113.7."}));
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), "Record: engine.example/home = 203.0.113.7 (changed; updated)\r\n"
                                             "Record: engine.example/www = 203.0.113.7 (changed; updated)\r\n"
                                             "Record: engine.example/@ = 203.0.113.7 (unchanged)");
  EXPECT_EQ(SummaryText(), L"Unchanged: 203.0.113.7");
}

// Second pass over the same records: nothing left to change.
TEST(EnginePassNet, SecondPassFindsEverythingUnchanged) {
  testing::ScratchDir dir("engine-net");
  const Lines log = RunPass(dir);
  Lines lines;
  std::string status;
  for (const std::string name : kNames) {
    const std::string p = "engine.example/" + name;
    lines.insert(lines.end(), {"Stored current A record for " + p + ": 203.0.113.7.",
                               "Current A record " + p + " is 203.0.113.7; it does not need to be changed.", "Public IP unchanged: 203.0.113.7."});
    status += (status.empty() ? "" : "\r\n") + ("Record: " + p + " = 203.0.113.7 (unchanged)");
  }
  EXPECT_EQ(log, lines);
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), status);
}

// The echo service answers 503: every record is reported, none is touched.
TEST(EnginePassNet, EchoServiceDown) {
  testing::ScratchDir dir("engine-net");
  const Lines log = RunPass(dir);
  Lines lines;
  for (const std::string name : kNames) {
    lines.insert(lines.end(), {"Stored current A record for engine.example/" + name + ": 203.0.113.7.", "Public IP lookup failed.",
                               "Public IP lookup returned an invalid IPv4 address: "});
  }
  EXPECT_EQ(log, lines);
  EXPECT_EQ(dir.ReadBytes("nimbard.status"),
            "Record: current value 203.0.113.7\r\nRecord: current value 203.0.113.7\r\nRecord: current value 203.0.113.7");
  EXPECT_EQ(SummaryText(), L"Invalid public IP");
}

}  // namespace
}  // namespace nimbard
