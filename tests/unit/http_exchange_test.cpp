#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <string>
#include <tuple>
#include <vector>

#include "core/stop_request.h"
#include "net/http_exchange.h"
#include "net/http_steps.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

// Steps before the failing one each open one handle.
enum class Fail { Session, Connect, OpenRequest, Send, Receive, Status, None };
// One availability answer (0: bytes.size()) and its read. Script.contentLength -1: none announced.
struct Piece { std::string bytes; std::uint32_t available = 0; bool availabilityFails = false, readFails = false; };
struct Script { Fail fail; std::uint32_t status; std::int64_t contentLength; std::vector<Piece> pieces; };

// Every step called is noted; a stop is requested while the step `stopIn` runs.
struct FakeSteps final : HttpSteps {
  explicit FakeSteps(Script script, int stopIn = -1) : s(std::move(script)), stopIn(stopIn) {}
  Handle OpenSession() override { return Open(Fail::Session); }
  Handle Connect(Handle, const std::wstring&) override { return Open(Fail::Connect); }
  Handle OpenRequest(Handle, const std::wstring&, const std::wstring&) override { return Open(Fail::OpenRequest); }
  bool Send(Handle, const std::wstring* headers, std::string_view body) override {
    return Step(Fail::Send), sentHeaders = headers ? *headers : L"<none>", sentBody = std::string(body), s.fail != Fail::Send; }
  bool ReceiveResponse(Handle) override { return Step(Fail::Receive), s.fail != Fail::Receive; }
  bool QueryStatus(Handle, std::uint32_t& st) override { return Step(Fail::Status), st = s.fail == Fail::Status ? 555 : s.status, s.fail != Fail::Status; }  // 555 must not leak
  bool QueryContentLength(Handle, std::uint64_t& n) override { return n = std::uint64_t(s.contentLength), s.contentLength >= 0; }
  bool QueryRetryAfter(Handle, std::uint32_t& seconds) override { return seconds = 30, s.status == 429; }
  bool QueryDataAvailable(Handle, std::uint32_t& available) override {
    if (next == s.pieces.size()) return available = 0, true;
    const Piece& p = s.pieces[next];
    available = p.available ? p.available : static_cast<std::uint32_t>(p.bytes.size());
    return !p.availabilityFails;
  }
  bool ReadData(Handle, char* buffer, std::uint32_t size, std::uint32_t& read) override {
    Step(Fail::None);
    const Piece& p = s.pieces[next++];
    read = static_cast<std::uint32_t>(std::min<std::size_t>(size, p.bytes.size()));
    std::copy(p.bytes.begin(), p.bytes.begin() + read, buffer);
    return !p.readFails;
  }
  void Close(Handle h) override { closed.push_back(reinterpret_cast<std::intptr_t>(h)); }
  std::uint32_t LastError() override { return 12000u + static_cast<std::uint32_t>(steps.back()); }  // names the step
  Handle Open(Fail step) { return Step(step), s.fail == step ? nullptr : reinterpret_cast<Handle>(++opened); }
  void Step(Fail step) { steps.push_back(static_cast<int>(step)); if (steps.back() == stopIn) RequestStop(); }
  Script s;
  int stopIn;
  std::vector<int> steps;  // in call order; a body read is Fail::None
  std::size_t next = 0;
  std::intptr_t opened = 0;  // handles are 1, 2, 3 in opening order
  std::vector<std::intptr_t> closed;
  std::wstring sentHeaders;
  std::string sentBody;
};

constexpr auto kFull = ExchangeForm::Full, kShort = ExchangeForm::Short;
const std::vector<Piece> kHello = {{"hello "}, {"world"}};
Script Answer(std::uint32_t status, std::vector<Piece> pieces = {}, std::int64_t length = -1) { return {Fail::None, status, length, std::move(pieces)}; }
struct Outcome { bool completed; std::uint32_t status; std::string body; ExchangeFault fault = ExchangeFault::None; };

// Every exchange closes its handles once, newest first, and sends headers and body only in the full form.
void Check(ExchangeForm form, const Script& script, const Outcome& want) {
  const HttpRequest put{L"PUT", L"api.example.test", L"/x", L"Authorization: Bearer t\r\n", "{\"a\":1}", form};
  FakeSteps steps(script);
  ExchangeProgress progress;
  const HttpResponse r = RunHttpExchange(steps, put, progress);
  EXPECT_EQ(std::tie(r.completed, r.status, r.body, r.fault), std::tie(want.completed, want.status, want.body, want.fault));
  EXPECT_EQ(r.retryAfterSeconds, want.status == 429 ? 30u : 0u);
  // A failed step keeps its own error number; a failed read, the read's (step None).
  const bool stepFailed = script.fail != Fail::None || want.fault == ExchangeFault::Platform;
  EXPECT_EQ(r.error, stepFailed ? 12000u + static_cast<std::uint32_t>(script.fail) : 0u);
  const std::vector<std::intptr_t> kNewestFirst[] = {{}, {1}, {2, 1}, {3, 2, 1}};
  const int handles = std::min(static_cast<int>(script.fail), 3);
  EXPECT_EQ(steps.closed, kNewestFirst[handles]);
  if (script.fail >= Fail::Send) { EXPECT_EQ(steps.sentHeaders, form == kFull ? put.headers : L"<none>"); EXPECT_EQ(steps.sentBody, form == kFull ? put.body : ""); }
}

TEST(HttpExchangeAlgorithm, FailingStepsAnswersCutBodiesAndUnsendableRequests) {
  for (ExchangeForm form : {kFull, kShort})
    for (Fail f : {Fail::Session, Fail::Connect, Fail::OpenRequest, Fail::Send, Fail::Receive, Fail::Status}) {
      SCOPED_TRACE(::testing::Message() << "form " << int(form) << ", failing step " << int(f));
      Check(form, Script{f, 200, -1, kHello}, {false, 0, "", f == Fail::Session ? ExchangeFault::NoSession : ExchangeFault::Platform});
    }
  const std::string high("\xE9\x80\xFF\x00z", 5);
  const struct { const char* name; ExchangeForm form; Script script; Outcome want; } rows[] = {
      {"200 in pieces", kFull, Answer(200, kHello), {true, 200, "hello world"}}, {"404 keeps document", kFull, Answer(404, {{"{\"code\":1}"}}, 10), {true, 404, "{\"code\":1}"}},
      {"read fails mid-body", kFull, Answer(200, {{"abc"}, {"def", 0, false, true}}), {false, 200, "abc", ExchangeFault::Platform}},
      {"availability fails", kFull, Answer(200, {{"abc"}, {"", 9, true}}), {false, 200, "abc", ExchangeFault::Platform}},
      {"ends before announced length", kFull, Answer(200, {{"203.0."}}, 40), {false, 200, "203.0.", ExchangeFault::BodyCut}}, {"high and NUL bytes raw", kFull, Answer(200, {{high}}), {true, 200, high}},
      {"oversized body refused", kFull, Answer(200, {{"", std::uint32_t(kMaxResponseBodyBytes) + 1}}), {false, 200, "", ExchangeFault::BodyTooLarge}}, {"302 is the final answer", kFull, Answer(302, {{"moved"}}), {true, 302, "moved"}},
      {"429 with the wait it asks for", kFull, Answer(429, {{"slow down"}}), {true, 429, "slow down"}},
      {"short: 299", kShort, Answer(299, {{"x"}}), {true, 299, "x"}}, {"short: 300 skips body", kShort, Answer(300, kHello), {false, 300, ""}},
  };
  for (const auto& row : rows) { SCOPED_TRACE(row.name); Check(row.form, row.script, row.want); }
  // An unsendable request never reaches the network.
  const std::wstring nul(1, L'\0');
  const struct { std::wstring host, path, headers; } bad[] = {
      {L"", L"/", L""}, {L"h" + nul + L"evil", L"/", L""}, {L"h", L"x/", L""}, {L"h", L"/", L"A: 1"},
      {L"h", L"/", L"A: 1\n"}, {L"h", L"/", L"A: 1\rB: 2\r\n"}, {L"h", L"/", L"A: 1\r\n\r\nGET / HTTP/1.1\r\n"},
      {L"h", L"/", L"Bad Name: x\r\n"}, {L"h", L"/", L"A: 1" + nul + L"\r\n"}};
  for (const auto& b : bad) {
    FakeSteps steps(Answer(200, kHello));
    ExchangeProgress progress;
    const HttpResponse r = RunHttpExchange(steps, {L"GET", b.host, b.path, b.headers, "", kFull}, progress);
    EXPECT_TRUE(!r.completed && r.status == 0 && r.fault == ExchangeFault::NotSent && steps.opened == 0) << ::testing::PrintToString(b.host + L" " + b.path + L" " + b.headers);
  }
  EXPECT_TRUE(IsSendableRequest({L"GET", L"h", L"/", L"Authorization: Bearer a:b\r\nB:\r\n", "", kFull}));
}

// A stop while any step blocks: no later step runs, every handle is closed, the exchange fails with the status read
// so far.
TEST(HttpExchangeAlgorithm, StopDuringEachStepEndsTheExchange) {
  for (Fail stopIn : {Fail::Session, Fail::Connect, Fail::OpenRequest, Fail::Send, Fail::Receive, Fail::Status, Fail::None}) {
    SCOPED_TRACE(static_cast<int>(stopIn));
    FakeSteps steps(Answer(200, kHello, 11), static_cast<int>(stopIn));
    ExchangeProgress progress;
    const HttpResponse r = RunHttpExchange(steps, {L"GET", L"h", L"/", L"", "", kFull}, progress);
    ClearStopRequest();
    std::vector<int> expected;  // every step up to the one that met the stop
    for (int step = 0; step <= std::min(static_cast<int>(stopIn), static_cast<int>(Fail::Status)); ++step) expected.push_back(step);
    if (stopIn == Fail::None) expected.push_back(static_cast<int>(Fail::None));  // the first read
    EXPECT_EQ(steps.steps, expected);
    EXPECT_EQ(steps.closed.size(), static_cast<std::size_t>(steps.opened));
    EXPECT_TRUE(!r.completed && r.fault == ExchangeFault::Stopped);
    EXPECT_EQ(r.status, stopIn >= Fail::Status ? 200u : 0u);
  }
}

// Through the seam: a transport that never answers is given up at the deadline or at a stop, and no exchange starts
// while a stop is requested.
TEST(HttpExchange, DeadlineAndStopEndTheWait) {
  using Clock = std::chrono::steady_clock;
  const struct { const char* name; bool stopFirst, stopLater; std::chrono::milliseconds deadline; long minMs, maxMs; std::size_t requests; ExchangeFault fault; } cases[] = {
      {"deadline", false, false, std::chrono::milliseconds(300), 290, 2000, 1, ExchangeFault::TimedOut},
      {"stop while waiting", false, true, std::chrono::milliseconds(60000), 0, 2000, 1, ExchangeFault::Stopped},
      {"stop before the exchange", true, false, std::chrono::milliseconds(60000), 0, 200, 0, ExchangeFault::Stopped},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScriptedTransport transport;
    transport.Set(L"", L"", testing::Ok("late"));
    std::atomic<bool> release{false};
    transport.onRequest = [&](const HttpRequest&) { while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    if (c.stopFirst) RequestStop();
    std::thread stopper([&] { if (c.stopLater) std::this_thread::sleep_for(std::chrono::milliseconds(100)), RequestStop(); });
    const auto start = Clock::now();
    const HttpResponse r = HttpExchange({L"GET", L"h", L"/", L"", "", kFull, c.deadline});
    const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    stopper.join();
    release = true;
    ClearStopRequest();
    EXPECT_TRUE(!r.completed && r.status == 0 && r.body.empty() && r.fault == c.fault);
    EXPECT_TRUE(ms >= c.minMs && ms <= c.maxMs) << ms << " ms";
    EXPECT_EQ(transport.Requests().size(), c.requests);
  }
}

TEST(HttpExchange, SuccessIsCompletedWith2xx) {
  const struct { bool completed; std::uint32_t status; bool ok; } cases[] = {
      {true, 199, false}, {true, 200, true}, {true, 299, true}, {true, 300, false}, {false, 200, false}};
  for (const auto& c : cases) EXPECT_EQ(Succeeded({c.completed, c.status, "", ExchangeFault::None, 0}), c.ok) << c.completed << " " << c.status;
}

}  // namespace
}  // namespace nimbard
