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

enum class Fail { None, Session, Connect, OpenRequest, Send, Receive, Status };

// One answer to an availability query and the read that follows it.
struct Piece {
  std::string bytes;            // what the read hands back
  std::uint32_t available = 0;  // 0: bytes.size()
  bool availabilityFails = false;
  bool readFails = false;
};

struct Script {
  Fail fail = Fail::None;
  std::uint32_t status = 200;
  std::int64_t contentLength = -1;  // -1: none announced
  std::vector<Piece> pieces;        // then end of data
};

class FakeSteps final : public HttpSteps {
 public:
  explicit FakeSteps(Script script) : s_(std::move(script)) {}

  Handle OpenSession() override { return Open(Fail::Session); }
  Handle Connect(Handle, const std::wstring&) override { return Open(Fail::Connect); }
  Handle OpenRequest(Handle, const std::wstring&, const std::wstring&) override {
    return Open(Fail::OpenRequest);
  }
  bool Send(Handle, const std::wstring* headers, std::string_view body) override {
    sentHeaders = headers ? *headers : L"<none>";
    sentBody = std::string(body);
    return s_.fail != Fail::Send;
  }
  bool ReceiveResponse(Handle) override { return s_.fail != Fail::Receive; }
  bool QueryStatus(Handle, std::uint32_t& status) override {
    status = 555;  // garbage left behind by a failing query must not leak out
    if (s_.fail == Fail::Status) return false;
    status = s_.status;
    return true;
  }
  bool QueryContentLength(Handle, std::uint64_t& length) override {
    if (s_.contentLength < 0) return false;
    length = static_cast<std::uint64_t>(s_.contentLength);
    return true;
  }
  bool QueryDataAvailable(Handle, std::uint32_t& available) override {
    ++availabilityQueries;
    available = 0;
    if (next_ == s_.pieces.size()) return true;
    const Piece& p = s_.pieces[next_];
    available = p.available ? p.available : static_cast<std::uint32_t>(p.bytes.size());
    return !p.availabilityFails;
  }
  bool ReadData(Handle, char* buffer, std::uint32_t size, std::uint32_t& read) override {
    const Piece& p = s_.pieces[next_++];
    if (std::any_of(buffer, buffer + size, [](char c) { return c != 0; })) dirtyBuffer = true;
    if (p.readFails) return false;
    read = static_cast<std::uint32_t>(std::min<std::size_t>(size, p.bytes.size()));
    std::copy(p.bytes.begin(), p.bytes.begin() + read, buffer);
    return true;
  }
  void Close(Handle h) override { closed.push_back(reinterpret_cast<std::intptr_t>(h)); }

  std::vector<std::intptr_t> opened, closed;
  std::wstring sentHeaders;
  std::string sentBody;
  int availabilityQueries = 0;
  bool dirtyBuffer = false;

 private:
  Handle Open(Fail step) {
    if (s_.fail == step) return nullptr;
    opened.push_back(static_cast<std::intptr_t>(opened.size()) + 1);
    return reinterpret_cast<Handle>(opened.back());
  }
  Script s_;
  std::size_t next_ = 0;
};

HttpRequest Request(ExchangeForm form) {
  return {L"GET", L"api.example.test", L"/x", L"Authorization: Bearer t\r\n", "", form};
}

struct Row {
  const char* name;
  ExchangeForm form;
  Script script;
  bool completed;
  std::uint32_t status;
  std::string body;
  std::size_t handles;  // how many handles get opened
  bool bodyRead;        // whether the body was asked for at all
};

constexpr auto kFull = ExchangeForm::Full;
constexpr auto kShort = ExchangeForm::Short;
const std::vector<Piece> kHello = {{"hello "}, {"world"}};

const Row kRows[] = {
    {"session fails", kFull, {Fail::Session}, false, 0, "", 0, false},
    {"connect fails", kFull, {Fail::Connect}, false, 0, "", 1, false},
    {"open request fails", kFull, {Fail::OpenRequest}, false, 0, "", 2, false},
    {"send fails", kFull, {Fail::Send}, false, 0, "", 3, false},
    {"receive fails", kFull, {Fail::Receive}, false, 0, "", 3, false},
    {"status query fails", kFull, {Fail::Status}, false, 0, "", 3, false},
    {"200 in pieces", kFull, {Fail::None, 200, -1, kHello}, true, 200, "hello world", 3, true},
    {"404 keeps document", kFull, {Fail::None, 404, 17, {{"{\"code\":\"NOPE\"}\r\n"}}},
     true, 404, "{\"code\":\"NOPE\"}\r\n", 3, true},
    {"204 no body", kFull, {Fail::None, 204}, true, 204, "", 3, true},
    {"199 read whole", kFull, {Fail::None, 199, -1, kHello}, true, 199, "hello world", 3, true},
    {"300 read whole", kFull, {Fail::None, 300, -1, kHello}, true, 300, "hello world", 3, true},
    {"read fails mid-body", kFull, {Fail::None, 200, -1, {{"abc"}, {"def", 0, false, true}}},
     false, 200, "abc", 3, true},
    {"availability fails mid-body", kFull, {Fail::None, 200, -1, {{"abc"}, {"", 9, true}}},
     false, 200, "abc", 3, true},
    {"short read keeps what came", kFull, {Fail::None, 200, -1, {{"ab", 8}, {"cd"}}},
     true, 200, "abcd", 3, true},
    {"ends before announced length", kFull, {Fail::None, 200, 40, {{"203.0."}}},
     false, 200, "203.0.", 3, true},
    {"announced length met", kFull, {Fail::None, 200, 11, kHello}, true, 200, "hello world", 3, true},
    {"high bytes kept raw", kFull, {Fail::None, 200, -1, {{std::string("\xE9\x80\xFF\x00z", 5)}}},
     true, 200, std::string("\xE9\x80\xFF\x00z", 5), 3, true},
    {"oversized body refused", kFull,
     {Fail::None, 200, -1, {{"", static_cast<std::uint32_t>(kMaxResponseBodyBytes) + 1}}},
     false, 200, "", 3, true},
    {"short: session fails", kShort, {Fail::Session}, false, 0, "", 0, false},
    {"short: receive fails", kShort, {Fail::Receive}, false, 0, "", 3, false},
    {"short: 200", kShort, {Fail::None, 200, -1, {{"203.0.113.7\n"}}}, true, 200, "203.0.113.7\n", 3, true},
    {"short: 299", kShort, {Fail::None, 299, -1, {{"x"}}}, true, 299, "x", 3, true},
    {"short: 199 skips body", kShort, {Fail::None, 199, -1, kHello}, false, 199, "", 3, false},
    {"short: 300 skips body", kShort, {Fail::None, 300, -1, kHello}, false, 300, "", 3, false},
    {"short: 503 skips body", kShort, {Fail::None, 503, -1, kHello}, false, 503, "", 3, false},
    // A cut answer could still parse as a different, wrong address.
    {"short: read fails mid-body", kShort,
     {Fail::None, 200, -1, {{"203.0.113."}, {"75", 0, false, true}}}, false, 200, "203.0.113.", 3, true},
    {"short: ends before announced length", kShort, {Fail::None, 200, 12, {{"203.0.113.7"}}},
     false, 200, "203.0.113.7", 3, true},
};

TEST(HttpExchangeAlgorithm, FailureTableAndHandleLifetimes) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    FakeSteps steps(row.script);
    const HttpResponse r = RunHttpExchange(steps, Request(row.form));
    EXPECT_EQ(r.completed, row.completed);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.body, row.body);
    EXPECT_EQ(r.sessionOpened, row.handles > 0);
    EXPECT_EQ(steps.opened.size(), row.handles);
    // Every opened handle closed once, newest first.
    EXPECT_EQ(steps.closed, std::vector<std::intptr_t>(steps.opened.rbegin(), steps.opened.rend()));
    EXPECT_EQ(steps.availabilityQueries > 0, row.bodyRead);
    EXPECT_FALSE(steps.dirtyBuffer);
  }
}

TEST(HttpExchangeAlgorithm, FullFormSendsHeadersAndBodyShortFormNeither) {
  HttpRequest put{L"PUT", L"h", L"/p", L"A: 1\r\nContent-Type: application/json\r\n", "{\"a\":1}",
                  kFull};
  FakeSteps full(Script{Fail::Receive});
  RunHttpExchange(full, put);
  EXPECT_EQ(full.sentHeaders, put.headers);
  EXPECT_EQ(full.sentBody, put.body);

  put.form = kShort;
  FakeSteps brief(Script{Fail::Receive});
  RunHttpExchange(brief, put);
  EXPECT_EQ(brief.sentHeaders, L"<none>");
  EXPECT_EQ(brief.sentBody, "");
}

TEST(HttpExchangeAlgorithm, UnsendableRequestsNeverReachTheNetwork) {
  const std::wstring nul(1, L'\0');
  const struct {
    std::wstring host, path, headers;
  } bad[] = {
      {L"", L"/", L""},
      {L"h" + nul + L"evil", L"/", L""},
      {L"h", L"", L""},
      {L"h", L"x/", L""},
      {L"h", L"/a" + nul + L"b", L""},
      {L"h", L"/", L"A: 1"},                        // no CR LF at the end
      {L"h", L"/", L"A: 1\n"},                      // bare LF
      {L"h", L"/", L"A: 1\rB: 2\r\n"},              // bare CR
      {L"h", L"/", L"A: 1\r\n\r\nGET / HTTP/1.1\r\n"},  // empty line ends the headers
      {L"h", L"/", L"Authorization: Bearer t\r\nnot a header\r\n"},
      {L"h", L"/", L": empty name\r\n"},
      {L"h", L"/", L"Bad Name: x\r\n"},
      {L"h", L"/", L"A: 1" + nul + L"\r\n"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(testing::PrintToString(b.headers));
    FakeSteps steps(Script{Fail::None, 200, -1, kHello});
    const HttpResponse r = RunHttpExchange(steps, {L"GET", b.host, b.path, b.headers, "", kFull});
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.status, 0u);
    EXPECT_TRUE(steps.opened.empty());
  }
  for (const wchar_t* good : {L"", L"Authorization: Bearer a:b\r\n", L"A: 1\r\nB:\r\n"}) {
    EXPECT_TRUE(IsSendableRequest({L"GET", L"h", L"/", good, "", kFull})) << good;
  }
}

TEST(HttpExchange, SuccessIsCompletedWith2xx) {
  const struct {
    bool completed;
    std::uint32_t status;
    bool ok;
  } cases[] = {{true, 199, false}, {true, 200, true}, {true, 204, true}, {true, 299, true},
               {true, 300, false}, {true, 0, false},  {true, 0xFFFFFFFFu, false},
               {false, 200, false}, {false, 0, false}};
  for (const auto& c : cases) {
    HttpResponse r;
    r.completed = c.completed;
    r.status = c.status;
    EXPECT_EQ(Succeeded(r), c.ok) << c.completed << " " << c.status;
  }
}

class CannedTransport final : public HttpTransport {
 public:
  HttpResponse Exchange(const HttpRequest& request) override {
    seen = request.path;
    if (request.path == L"/throw") throw std::runtime_error("transport broke");
    return {true, 201, "made", true};
  }
  std::wstring seen;
};

TEST(HttpExchange, RoutesToInstalledTransportAndNeverThrows) {
  CannedTransport canned;
  HttpTransport* before = SetHttpTransport(&canned);
  const HttpResponse r = HttpExchange({L"GET", L"h", L"/route", L"", "", kFull});
  EXPECT_EQ(canned.seen, L"/route");
  EXPECT_TRUE(Succeeded(r));
  EXPECT_EQ(r.body, "made");
  const HttpResponse thrown = HttpExchange({L"GET", L"h", L"/throw", L"", "", kFull});
  EXPECT_FALSE(thrown.completed);
  EXPECT_EQ(thrown.status, 0u);
  EXPECT_EQ(SetHttpTransport(before), &canned);
}

}  // namespace
}  // namespace nimbard
