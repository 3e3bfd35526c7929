#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/http_exchange.h"
#include "net/http_steps.h"

namespace nimbard {
namespace {

// The step that fails; steps before it each open one handle.
enum class Fail { Session, Connect, OpenRequest, Send, Receive, Status, None };

// One answer to an availability query (available 0: bytes.size()) and the read that follows it.
struct Piece { std::string bytes; std::uint32_t available = 0; bool availabilityFails = false, readFails = false; };
// contentLength -1: none announced; after the pieces, end of data.
struct Script { Fail fail; std::uint32_t status; std::int64_t contentLength; std::vector<Piece> pieces; };

class FakeSteps final : public HttpSteps {
 public:
  explicit FakeSteps(Script script) : s_(std::move(script)) {}
  Handle OpenSession() override { return Open(Fail::Session); }
  Handle Connect(Handle, const std::wstring&) override { return Open(Fail::Connect); }
  Handle OpenRequest(Handle, const std::wstring&, const std::wstring&) override {
    return Open(Fail::OpenRequest);
  }
  bool Send(Handle, const std::wstring* headers, std::string_view body) override {
    sentHeaders = headers ? *headers : L"<none>", sentBody = std::string(body);
    return s_.fail != Fail::Send;
  }
  bool ReceiveResponse(Handle) override { return s_.fail != Fail::Receive; }
  bool QueryStatus(Handle, std::uint32_t& status) override {
    status = s_.fail == Fail::Status ? 555 : s_.status;  // garbage from a failed query must not leak
    return s_.fail != Fail::Status;
  }
  bool QueryContentLength(Handle, std::uint64_t& n) override {
    return n = std::uint64_t(s_.contentLength), s_.contentLength >= 0;
  }
  bool QueryDataAvailable(Handle, std::uint32_t& available) override {
    ++availabilityQueries;
    if (next_ == s_.pieces.size()) return available = 0, true;
    const Piece& p = s_.pieces[next_];
    available = p.available ? p.available : static_cast<std::uint32_t>(p.bytes.size());
    return !p.availabilityFails;
  }
  bool ReadData(Handle, char* buffer, std::uint32_t size, std::uint32_t& read) override {
    const Piece& p = s_.pieces[next_++];
    dirtyBuffer |= std::any_of(buffer, buffer + size, [](char c) { return c != 0; });
    read = static_cast<std::uint32_t>(std::min<std::size_t>(size, p.bytes.size()));
    std::copy(p.bytes.begin(), p.bytes.begin() + read, buffer);
    return !p.readFails;
  }
  void Close(Handle h) override { closed.push_back(reinterpret_cast<std::intptr_t>(h)); }
  Handle Open(Fail step) { return s_.fail == step ? nullptr : reinterpret_cast<Handle>(++opened); }

  std::intptr_t opened = 0;  // handles are 1, 2, 3 in opening order
  std::vector<std::intptr_t> closed;
  std::wstring sentHeaders;
  std::string sentBody;
  int availabilityQueries = 0;
  bool dirtyBuffer = false;  // a read buffer that held old bytes

 private:
  Script s_;
  std::size_t next_ = 0;
};

constexpr auto kFull = ExchangeForm::Full;
constexpr auto kShort = ExchangeForm::Short;
const std::vector<Piece> kHello = {{"hello "}, {"world"}};
Script Answer(std::uint32_t status, std::vector<Piece> pieces = {}, std::int64_t length = -1) {
  return {Fail::None, status, length, std::move(pieces)};
}
Piece ReadFails(const char* bytes) { return {bytes, 0, false, true}; }

struct Outcome { bool completed; std::uint32_t status; std::string body; bool bodyRead; };

// Runs one exchange of a PUT with headers and a body and checks what every
// exchange owes: handles closed once newest first, the session flag, what
// Send was given, fresh read buffers.
void Check(ExchangeForm form, const Script& script, const Outcome& want) {
  const HttpRequest put{L"PUT", L"api.example.test", L"/x",
                        L"Authorization: Bearer t\r\nContent-Type: application/json\r\n",
                        "{\"a\":1}", form};
  FakeSteps steps(script);
  const HttpResponse r = RunHttpExchange(steps, put);
  EXPECT_EQ(r.completed, want.completed);
  EXPECT_EQ(r.status, want.status);
  EXPECT_EQ(r.body, want.body);
  const std::vector<std::intptr_t> kNewestFirst[] = {{}, {1}, {2, 1}, {3, 2, 1}};
  const int handles = std::min(static_cast<int>(script.fail), 3);
  EXPECT_EQ(steps.opened, handles);
  EXPECT_EQ(r.sessionOpened, handles > 0);
  EXPECT_EQ(steps.closed, kNewestFirst[handles]);
  if (script.fail >= Fail::Send) {  // Send was reached: the short form sends neither
    EXPECT_EQ(steps.sentHeaders, form == kFull ? put.headers : L"<none>");
    EXPECT_EQ(steps.sentBody, form == kFull ? put.body : "");
  }
  EXPECT_EQ(steps.availabilityQueries > 0, want.bodyRead);
  EXPECT_FALSE(steps.dirtyBuffer);
}

TEST(HttpExchangeAlgorithm, FailingStepsAnswersAndCutBodies) {
  for (ExchangeForm form : {kFull, kShort}) {
    for (Fail f : {Fail::Session, Fail::Connect, Fail::OpenRequest, Fail::Send, Fail::Receive,
                   Fail::Status}) {
      SCOPED_TRACE(testing::Message() << "form " << int(form) << ", failing step " << int(f));
      Check(form, Script{f, 200, -1, kHello}, {false, 0, "", false});
    }
  }
  const std::string high("\xE9\x80\xFF\x00z", 5);
  const struct { const char* name; ExchangeForm form; Script script; Outcome want; } rows[] = {
      // clang-format off
      {"200 in pieces", kFull, Answer(200, kHello), {true, 200, "hello world", true}},
      {"404 keeps document, announced length met", kFull, Answer(404, {{"{\"code\":1}"}}, 10), {true, 404, "{\"code\":1}", true}},
      {"204 no body", kFull, Answer(204), {true, 204, "", true}},
      {"199 read whole", kFull, Answer(199, kHello), {true, 199, "hello world", true}},
      {"300 read whole", kFull, Answer(300, kHello), {true, 300, "hello world", true}},
      {"read fails mid-body", kFull, Answer(200, {{"abc"}, ReadFails("def")}), {false, 200, "abc", true}},
      {"availability fails mid-body", kFull, Answer(200, {{"abc"}, {"", 9, true}}), {false, 200, "abc", true}},
      {"short read keeps what came", kFull, Answer(200, {{"ab", 8}, {"cd"}}), {true, 200, "abcd", true}},
      {"ends before announced length", kFull, Answer(200, {{"203.0."}}, 40), {false, 200, "203.0.", true}},
      {"high and NUL bytes kept raw", kFull, Answer(200, {{high}}), {true, 200, high, true}},
      {"oversized body refused", kFull, Answer(200, {{"", std::uint32_t(kMaxResponseBodyBytes) + 1}}), {false, 200, "", true}},
      {"short: 200", kShort, Answer(200, {{"203.0.113.7\n"}}), {true, 200, "203.0.113.7\n", true}},
      {"short: 299", kShort, Answer(299, {{"x"}}), {true, 299, "x", true}},
      {"short: 199 skips body", kShort, Answer(199, kHello), {false, 199, "", false}},
      {"short: 300 skips body", kShort, Answer(300, kHello), {false, 300, "", false}},
      {"short: 503 skips body", kShort, Answer(503, kHello), {false, 503, "", false}},
      // A cut answer could still parse as a different, wrong address.
      {"short: read fails mid-body", kShort, Answer(200, {{"203.0.113."}, ReadFails("75")}), {false, 200, "203.0.113.", true}},
      {"short: ends before announced length", kShort, Answer(200, {{"203.0.113.7"}}, 12), {false, 200, "203.0.113.7", true}},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Check(row.form, row.script, row.want);
  }
}

TEST(HttpExchangeAlgorithm, UnsendableRequestsNeverReachTheNetwork) {
  const std::wstring nul(1, L'\0');
  const struct { std::wstring host, path, headers; } bad[] = {
      {L"", L"/", L""}, {L"h" + nul + L"evil", L"/", L""},  // host
      {L"h", L"", L""}, {L"h", L"x/", L""}, {L"h", L"/a" + nul + L"b", L""},  // path
      {L"h", L"/", L"A: 1"},                            // no CR LF at the end
      {L"h", L"/", L"A: 1\n"},                          // bare LF
      {L"h", L"/", L"A: 1\rB: 2\r\n"},                  // bare CR
      {L"h", L"/", L"A: 1\r\n\r\nGET / HTTP/1.1\r\n"},  // empty line ends the headers
      {L"h", L"/", L"Authorization: Bearer t\r\nnot a header\r\n"},
      {L"h", L"/", L": empty name\r\n"},
      {L"h", L"/", L"Bad Name: x\r\n"},
      {L"h", L"/", L"A: 1" + nul + L"\r\n"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(testing::PrintToString(b.host + L" " + b.path + L" " + b.headers));
    FakeSteps steps(Answer(200, kHello));
    const HttpResponse r = RunHttpExchange(steps, {L"GET", b.host, b.path, b.headers, "", kFull});
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(steps.opened, 0);
  }
  for (const wchar_t* good : {L"", L"Authorization: Bearer a:b\r\n", L"A: 1\r\nB:\r\n"}) {
    EXPECT_TRUE(IsSendableRequest({L"GET", L"h", L"/", good, "", kFull})) << good;
  }
}

TEST(HttpExchange, SuccessIsCompletedWith2xx) {
  const struct { bool completed; std::uint32_t status; bool ok; } cases[] = {
      {true, 199, false}, {true, 200, true},   {true, 204, true},         {true, 299, true},
      {true, 300, false}, {true, 0, false},    {true, 0xFFFFFFFFu, false}, {false, 200, false},
      {false, 0, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(Succeeded({c.completed, c.status, "", true}), c.ok) << c.completed << " " << c.status;
  }
}

struct CannedTransport final : HttpTransport {
  HttpResponse Exchange(const HttpRequest& request) override {
    if ((seen = request.path) == L"/throw") throw std::runtime_error("transport broke");
    return {true, 201, "made", true};
  }
  std::wstring seen;
};

TEST(HttpExchange, RoutesToInstalledTransportAndNeverThrows) {
  CannedTransport canned;
  HttpTransport* before = SetHttpTransport(&canned);
  EXPECT_EQ(HttpExchange({L"GET", L"h", L"/route", L"", "", kFull}).body, "made");
  EXPECT_EQ(canned.seen, L"/route");
  const HttpResponse thrown = HttpExchange({L"GET", L"h", L"/throw", L"", "", kFull});
  EXPECT_FALSE(thrown.completed || thrown.sessionOpened);
  EXPECT_EQ(thrown.status, 0u);
  EXPECT_EQ(SetHttpTransport(before), &canned);
}

}  // namespace
}  // namespace nimbard
