#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/status_board.h"
#include "engine/poll_pass.h"
#include "engine/poll_pass_testing.h"
#include "engine/record_check.h"
#include "unit/engine_test_support.h"

namespace nimbard {
namespace {

using testing::ConfigFileText;
using testing::ConfigRecord;
using testing::Ok;
using testing::ScratchDir;
using testing::ScriptedTransport;
using testing::Status;

const std::wstring kCf = kCloudflareApiHost;
const std::wstring kGd = kGoDaddyApiHost;

std::string GdZone(const std::string& name, const std::string& data) {
  return R"([{"type":"A","name":")" + name + R"(","data":")" + data + R"(","ttl":600}])";
}
std::wstring GdZonePath(const std::wstring& domain) {
  return L"/v3/domains/zones/" + domain + L"/dns-records";
}

// The scene every pass below runs in: a.example's www holds the public
// address already, b.example (Cloudflare) holds an old one and takes the
// update, c.example's zone cannot be read, d.example has no mail record yet.
void ScriptScene(ScriptedTransport& transport) {
  transport.Set(L"GET", kPublicIpHost, Ok("203.0.113.7\n"));
  transport.Set(L"GET", kGd, Ok(GdZone("www", "203.0.113.7")), GdZonePath(L"a.example"));
  transport.Set(L"GET", kCf, Ok(R"({"result":{"content":"198.51.100.4"}})"));
  transport.Set(L"PUT", kCf, Ok("{}"));
  transport.Set(L"GET", kGd, Status(500), GdZonePath(L"c.example"));
  transport.Set(L"GET", kGd, Ok("[]"), GdZonePath(L"d.example"));
  transport.Set(L"PUT", kGd, Ok(""));
}

const ConfigRecord kA{"godaddy", "a.example", "www", "", ""};
const ConfigRecord kB{"cloudflare", "b.example", "www", "z1", "r1"};
const ConfigRecord kC{"godaddy", "c.example", "www", "", ""};
const ConfigRecord kD{"godaddy", "d.example", "mail", "", ""};
const wchar_t kLineA[] = L"Record: a.example/www = 203.0.113.7 (unchanged)";
const wchar_t kLineB[] = L"Record: b.example/www = 203.0.113.7 (changed; updated)";
const wchar_t kLineC[] = L"Record: lookup failed";
const wchar_t kLineD[] = L"Record: d.example/mail = 203.0.113.7 (changed; updated)";

struct PassCase {
  const char* name;
  std::vector<ConfigRecord> records;
  bool manual;
  std::wstring detail, summary;
  std::size_t requests;
  std::vector<std::wstring> changeLines;  // the log lines that tell why an update is sent
};

TEST(PollPass, JoinsTheRecordsLines) {
  const PassCase cases[] = {
      {"one", {kA}, false, kLineA, L"Unchanged: 203.0.113.7", 2, {}},
      {"two", {kB, kA}, false, std::wstring(kLineB) + L"\r\n" + kLineA, L"Unchanged: 203.0.113.7", 5,
       {L"Public IP changed to 203.0.113.7."}},
      {"three, failing one in the middle", {kD, kC, kB}, true,
       std::wstring(kLineD) + L"\r\n" + kLineC + L"\r\n" + kLineB, L"Updated: 203.0.113.7", 7,
       {L"Manual check found a changed public IP: 203.0.113.7.",
        L"Manual check found a changed public IP: 203.0.113.7."}},
      {"last one failing", {kA, kC}, true, std::wstring(kLineA) + L"\r\n" + kLineC,
       L"godaddy lookup failed", 3, {}},
  };
  ScratchDir dir("pass-join");
  ScriptedTransport transport;
  for (const PassCase& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Remove("nimbard.log");
    dir.Remove("nimbard.status");
    transport.Clear();
    ScriptScene(transport);
    ResetStatusBoard();
    dir.Write("nimbard-demo.json", ConfigFileText(c.records));

    PollPass(nullptr, c.manual);

    EXPECT_EQ(DetailText(), c.detail);
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), NarrowLow8(c.detail));
    EXPECT_EQ(SummaryText(), c.summary);
    EXPECT_EQ(transport.Requests().size(), c.requests);
    std::vector<std::wstring> changeLines;
    for (const std::wstring& line : dir.LogMessages()) {
      if (line.rfind(L"Manual check", 0) == 0 || line.rfind(L"Public IP changed", 0) == 0) {
        changeLines.push_back(line);
      }
    }
    EXPECT_EQ(changeLines, c.changeLines);
    EXPECT_FALSE(PassRunning.load());
  }
}

TEST(PollPass, InvalidConfigurationIsReportedThreeWays) {
  struct {
    const char* name;
    bool present;
    std::string text;
  } cases[] = {
      {"missing file", false, ""},
      {"empty file", true, ""},
      {"blanks only", true, " \r\n\t"},
      {"incomplete record", true, ConfigFileText({{"cloudflare", "b.example", "www", "z1", ""}})},
      {"empty array", true, R"({"records": []})"},
  };
  ScratchDir dir("pass-invalid");
  ScriptedTransport transport;
  ScriptScene(transport);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Remove("nimbard.log");
    dir.Remove("nimbard-demo.json");
    if (c.present) dir.Write("nimbard-demo.json", c.text);
    ResetStatusBoard();
    transport.Clear();

    PollPass(nullptr, false);

    EXPECT_EQ(dir.LogMessages(),
              std::vector<std::wstring>{L"Polling stopped because configuration is invalid."});
    EXPECT_EQ(DetailText(), L"Record: configuration unavailable");
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), "Record: configuration unavailable");
    EXPECT_EQ(SummaryText(), L"Configuration error");
    EXPECT_TRUE(transport.Requests().empty());
    EXPECT_FALSE(PassRunning.load());
  }
}

// A check that throws (memory exhausted, say) must not stop the pass nor
// leave it marked running.
void ThrowingForC(TrayWindow window, bool manual, const RecordConfig& record) {
  if (record.domain == L"c.example") throw std::runtime_error("boom");
  RecordCheck(window, manual, record);
}
void ThrowingAll(TrayWindow, bool, const RecordConfig&) { throw 42; }

TEST(PollPass, ThrowingRecordDoesNotStopThePass) {
  ScratchDir dir("pass-throw");
  ScriptedTransport transport;
  ScriptScene(transport);
  dir.Write("nimbard-demo.json", ConfigFileText({kC, kA}));
  ResetStatusBoard();

  SetRecordCheckForTesting(ThrowingForC);
  PollPass(nullptr, false);
  EXPECT_FALSE(PassRunning.load());
  const std::wstring detail = std::wstring(L"Record: c.example/www check failed\r\n") + kLineA;
  EXPECT_EQ(DetailText(), detail);
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), NarrowLow8(detail));
  auto log = dir.LogMessages();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log.front(), L"Record check for c.example/www stopped by an unexpected error: boom");
  EXPECT_EQ(log.back(), L"Public IP unchanged: 203.0.113.7.");

  dir.Remove("nimbard.log");
  SetRecordCheckForTesting(ThrowingAll);
  PollPass(nullptr, false);
  SetRecordCheckForTesting(nullptr);
  EXPECT_FALSE(PassRunning.load());
  EXPECT_EQ(DetailText(), L"Record: c.example/www check failed\r\nRecord: a.example/www check failed");
  log = dir.LogMessages();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], L"Record check for a.example/www stopped by an unexpected error: unknown error");
}

// Fifty threads start a pass at once: one works, the others return at once
// without a trace while it is still under way.
TEST(PollPass, OnlyOnePassRunsAtATime) {
  ScratchDir dir("pass-guard");
  ScriptedTransport transport;
  ScriptScene(transport);
  dir.Write("nimbard-demo.json", ConfigFileText({kB}));
  ResetStatusBoard();

  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  int blocked = 0, returned = 0;
  transport.onRequest = [&](const HttpRequest&) {
    std::unique_lock<std::mutex> lock(mutex);
    ++blocked;
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(20), [&] { return released; });
  };
  auto release = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    changed.notify_all();
  };

  constexpr int kThreads = 50;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      PollPass(nullptr, false);
      std::lock_guard<std::mutex> lock(mutex);
      ++returned;
      changed.notify_all();
    });
  }
  go = true;
  {
    std::unique_lock<std::mutex> lock(mutex);
    const bool settled = changed.wait_for(lock, std::chrono::seconds(20),
                                          [&] { return blocked > 1 || (blocked == 1 && returned == kThreads - 1); });
    EXPECT_TRUE(settled) << "blocked " << blocked << ", returned " << returned;
  }
  // The working pass sits in its first request; nobody else left a trace.
  EXPECT_TRUE(PassRunning.load());
  EXPECT_EQ(transport.Requests().size(), 1u);
  EXPECT_TRUE(dir.LogMessages().empty());
  EXPECT_EQ(SummaryText(), L"Starting...");

  release();
  for (std::thread& t : threads) t.join();
  EXPECT_FALSE(PassRunning.load());
  EXPECT_EQ(transport.Requests().size(), 3u);
  EXPECT_EQ(dir.LogMessages().size(), 4u);
  EXPECT_EQ(DetailText(), kLineB);

  // A pass that finds the flag set leaves it set and does nothing.
  PassRunning = true;
  PollPass(nullptr, true);
  EXPECT_TRUE(PassRunning.load());
  EXPECT_EQ(transport.Requests().size(), 3u);
  PassRunning = false;
  // The flag released, the next pass works again.
  PollPass(nullptr, false);
  EXPECT_EQ(transport.Requests().size(), 6u);
}

}  // namespace
}  // namespace nimbard
