#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/status_board.h"
#include "engine/pass_schedule.h"
#include "engine/poll_pass.h"
#include "net/local_ipv6.h"
#include "engine/provider_waits.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: the scripted answers read as a table

std::wstring GdZonePath(const std::wstring& domain) { return L"/v3/domains/zones/" + domain + L"/dns-records"; }

// The scene every pass below runs in: a.example's www holds the public address already, b.example (Cloudflare) holds
// an old one and takes the update, c.example's zone cannot be read, d.example has no mail record yet.
void ScriptScene(ScriptedTransport& transport) {
  transport.Set(L"GET", kPublicIpHost, Ok("203.0.113.7\n"));
  transport.Set(L"GET", kGoDaddyApiHost, Ok(R"([{"type":"A","name":"www","data":"203.0.113.7","ttl":600}])"), GdZonePath(L"a.example"));
  transport.Set(L"GET", kCloudflareApiHost, Ok(R"({"result":{"name":"www.b.example","type":"A","content":"198.51.100.4"}})"));
  transport.Set(L"PATCH", kCloudflareApiHost, Ok("{}"));
  transport.Set(L"GET", kGoDaddyApiHost, Status(500), GdZonePath(L"c.example"));
  transport.Set(L"GET", kGoDaddyApiHost, Ok("[]"), GdZonePath(L"d.example"));
  transport.Set(L"PUT", kGoDaddyApiHost, Ok(""));
}

const ConfigRecord kA{"godaddy", "a.example", "www", "", ""}, kB{"cloudflare", "b.example", "www", "z1", "r1"};
const ConfigRecord kC{"godaddy", "c.example", "www", "", ""}, kD{"godaddy", "d.example", "mail", "", ""};
const std::string kLineA = "Record: a.example/www = 203.0.113.7 (unchanged)", kLineB = "Record: b.example/www = 203.0.113.7 (changed; updated)";
const std::string kLineC = "Record: c.example/www lookup failed", kLineD = "Record: d.example/mail = 203.0.113.7 (changed; updated)";
const std::string kManual = "Manual check found a changed public IP: 203.0.113.7.";

// Each record's line joined in order, the last record's summary, one address lookup for the whole pass; an unusable
// file is reported three ways and asks nobody.
TEST(PollPass, JoinsTheRecordsLinesOrReportsTheFile) {
  const std::string kUnusable = "Record: configuration unavailable", kError = "Configuration error";
  const Lines kStopped{"Polling stopped because configuration is invalid."};
  struct Case { std::string file; bool manual; std::string detail, summary; std::size_t requests; Lines keyLines; };
  const Case cases[] = {
      {ConfigFileText({kB, kA}), false, kLineB + "\r\n" + kLineA, "Unchanged: 203.0.113.7", 4, {"Public IP changed to 203.0.113.7."}},
      {ConfigFileText({kD, kC, kB}), true, kLineD + "\r\n" + kLineC + "\r\n" + kLineB, "Updated: 203.0.113.7", 6, {kManual, kManual}},  // failing one in the middle
      {ConfigFileText({kA, kC}), true, kLineA + "\r\n" + kLineC, "godaddy lookup failed", 3, {}},
      {"<missing>", false, kUnusable, kError, 0, kStopped}, {"", false, kUnusable, kError, 0, kStopped}, {" \r\n\t", false, kUnusable, kError, 0, kStopped},
      {ConfigFileText({{"godaddy", "b.example", "", "", ""}}), false, kUnusable, kError, 0, kStopped}, {R"({"records": []})", false, kUnusable, kError, 0, kStopped},
  };
  ScratchDir dir("pass-join");
  ScriptedTransport transport;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    dir.Remove("nimbard.status"), dir.Remove("nimbard-demo.json");
    transport.Clear();
    ScriptScene(transport);
    ResetStatusBoard();
    if (c.file != "<missing>") dir.Write("nimbard-demo.json", c.file);
    const PassOutcome pass = PollPass(c.manual);
    const std::size_t lines = c.requests ? std::count(c.detail.begin(), c.detail.end(), '\n') + 1 : 0;
    EXPECT_TRUE(pass.ran && pass.configurationLoaded == (c.requests > 0) && pass.records.size() == lines && !pass.stopped);
    EXPECT_EQ(pass.AnyRecordFailed(), c.detail.find("lookup failed") != std::string::npos);
    std::size_t echoes = 0;
    for (const HttpRequest& r : transport.Requests()) echoes += r.host == kPublicIpHost;
    EXPECT_EQ(echoes, c.requests ? 1u : 0u);
    EXPECT_EQ(NarrowLow8(DetailText()), c.detail);
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), c.detail);
    EXPECT_EQ(NarrowLow8(SummaryText()), c.summary);
    EXPECT_EQ(transport.Requests().size(), c.requests);
    Lines keyLines;
    for (const std::string& line : dir.TakeLog()) {
      if (line.rfind("Manual check", 0) == 0 || line.rfind("Public IP changed", 0) == 0 || line.rfind("Polling stopped", 0) == 0) keyLines.push_back(line);
    }
    EXPECT_EQ(keyLines, c.keyLines);
    EXPECT_FALSE(PassRunning.load());
  }
}

// A stop during the first record's lookup: its exchange fails, the pass ends after it and says so; while the stop
// holds, no pass starts at all.
TEST(PollPass, StopEndsThePassAfterTheRecordInHand) {
  ScratchDir dir("pass-stop");
  ScriptedTransport transport;
  ScriptScene(transport);
  transport.onRequest = [](const HttpRequest& r) {  // the stop comes while b.example's lookup hangs
    if (r.host == kCloudflareApiHost) RequestStop(), std::this_thread::sleep_for(std::chrono::milliseconds(300));
  };
  dir.Write("nimbard-demo.json", ConfigFileText({kB, kA, kD}));
  ResetStatusBoard();
  const PassOutcome first = PollPass(false), second = PollPass(false);
  ClearStopRequest();
  EXPECT_TRUE(first.ran && first.stopped && first.records.size() == 1 && !second.ran);
  EXPECT_EQ(transport.Requests().size(), 2u);  // the address and b.example's lookup in flight
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), "Record: b.example/www lookup failed");
  EXPECT_EQ(dir.TakeLog(), (Lines{"Cloudflare DNS lookup failed (HTTP 0).", "Poll pass stopped before every record was checked."}));
  EXPECT_FALSE(PassRunning.load());
}

// While the second record is being updated, readers see the first record's line and summary whole, in memory and in
// the file: never a record half reported.
TEST(PollPass, ReadersSeeFinishedRecordsOnly) {
  ScratchDir dir("pass-readers");
  ScriptedTransport transport;
  ScriptScene(transport);
  Lines seen;
  transport.onRequest = [&](const HttpRequest& r) {
    if (r.method == L"PATCH") seen = {NarrowLow8(DetailText()), NarrowLow8(SummaryText()), dir.ReadBytes("nimbard.status")};
  };
  dir.Write("nimbard-demo.json", ConfigFileText({kA, kB}));
  ResetStatusBoard();
  PollPass(false);
  EXPECT_EQ(seen, (Lines{kLineA, "Unchanged: 203.0.113.7", kLineA}));
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), kLineA + "\r\n" + kLineB);
}

// A record whose provider answers "too many requests" is not asked again before the wait it asked for is over, also
// when the 429 carries a code that means something else; the other records of each pass go on.
TEST(PollPass, RateLimitedRecordWaitsOthersGoOn) {
  for (const char* answer : {R"({"code":"TOO_MANY_REQUESTS","message":"slow","retryAfterSec":30})", R"({"code":"ACCESS_DENIED"})"}) {
    SCOPED_TRACE(answer);
    ScratchDir dir("pass-rate");
    ScriptedTransport transport;
    ScriptScene(transport);
    transport.Set(L"GET", kGoDaddyApiHost, Status(429, answer), GdZonePath(L"c.example"));
    dir.Write("nimbard-demo.json", ConfigFileText({kC, kA}));
    TheProviderWaits().Clear();
    PollPass(false);
    transport.Clear();
    ScriptScene(transport);
    dir.TakeLog();
    const PassOutcome second = PollPass(false);
    TheProviderWaits().Clear();
    std::wstring asked;
    for (const HttpRequest& r : transport.Requests()) asked += r.path + L" ";
    EXPECT_EQ(asked, L"/ " + GdZonePath(L"a.example") + L" ");  // the address and a.example, not c.example
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), "Record: c.example/www waiting (too many requests)\r\n" + kLineA);
    EXPECT_TRUE(second.AnyRecordFailed());
    const Lines log = dir.TakeLog();
    EXPECT_TRUE(!log.empty() && log[0].rfind("Record c.example/www is not checked for another ", 0) == 0 &&
                log[0].find(" seconds: its provider asked nimbard to wait.") != std::string::npos) << (log.empty() ? "" : log[0]);
  }
}

// Fifty threads start a pass at once: one works, the others return at once without a trace while it is still under
// way.
TEST(PollPass, OnlyOnePassRunsAtATime) {
  ScratchDir dir("pass-guard");
  ScriptedTransport transport;
  ScriptScene(transport);
  dir.Write("nimbard-demo.json", ConfigFileText({kB}));
  ResetStatusBoard();
  constexpr int kThreads = 50;
  std::atomic<bool> go{false}, released{false};
  std::atomic<int> blocked{0}, returned{0};
  transport.onRequest = [&](const HttpRequest&) {
    ++blocked;
    for (int i = 0; i < 20000 && !released; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back([&] { while (!go) std::this_thread::yield(); PollPass(false), ++returned; });
  go = true;
  for (int i = 0; i < 20000 && !(blocked > 1 || (blocked == 1 && returned == kThreads - 1)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(blocked == 1 && returned == kThreads - 1) << blocked << " blocked, " << returned << " returned";
  // The working pass sits in its first request; nobody else left a trace.
  EXPECT_TRUE(PassRunning.load() && transport.Requests().size() == 1 && dir.LogLines().empty());
  EXPECT_EQ(SummaryText(), L"Starting...");
  released = true;
  for (std::thread& t : threads) t.join();
  EXPECT_FALSE(PassRunning.load());
  EXPECT_EQ(transport.Requests().size(), 3u);
  EXPECT_EQ(NarrowLow8(DetailText()), kLineB);
}

// The echo services are asked only when a record of the pass keeps an A record; the PC's IPv6 address serves every
// AAAA record. A pass that did not need the echo services is no sign of a missing network.
TEST(PollPass, AsksForTheAddressesItsRecordsKeep) {
  const auto record = [](const char* domain, const char* keys) {
    return std::string(R"({"provider": "godaddy", "apiKey": "k", "domain": ")") + domain + R"(", "record": "www")" + keys + "}";
  };
  const std::string v6Only = record("v.example", R"(, "ipv4": false, "ipv6": true)"), both = record("a.example", R"(, "ipv6": true)");
  const std::string kV6Line = "Record: v.example/www AAAA = 2001:db8::10 (changed; updated)";
  struct Case { std::string records; std::size_t echoes; std::string detail; };
  const Case cases[] = {
      {v6Only, 0, kV6Line},
      {v6Only + ", " + both, 1, kV6Line + "\r\nRecord: a.example/www = 203.0.113.7 (unchanged), AAAA = 2001:db8::10 (changed; updated)"},
      {record("a.example", ""), 1, kLineA},
  };
  LocalIpv6 v6;
  v6.found = true, v6.address = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
  SetLocalIpv6ForTesting(&v6);
  ScratchDir dir("pass-types");
  ScriptedTransport transport;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.records);
    transport.Clear();
    ScriptScene(transport);
    transport.Set(L"GET", kGoDaddyApiHost, Ok(R"([{"type":"A","name":"www","data":"203.0.113.7"}])"));
    dir.Write("nimbard-demo.json", R"({"records": [)" + c.records + "]}");
    const PassOutcome pass = PollPass(false);
    std::size_t echoes = 0;
    for (const HttpRequest& r : transport.Requests()) echoes += r.host == kPublicIpHost;
    EXPECT_EQ(echoes, c.echoes);
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), c.detail);
    PassSchedule schedule;
    EXPECT_EQ(schedule.NextWaitMs(pass, 300000), 300000u);
  }
  SetLocalIpv6ForTesting(nullptr);
}

}  // namespace
}  // namespace nimbard
