// Real WinHTTP and TLS against the local API mock. Run by
// tests/e2e/winhttp_exchange.sh inside the isolated runner, which loads
// tests/e2e/winhttp_exchange_scene.json (the /t/... routes used here) and
// checks the mock's request log afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "net/api_hosts.h"
#include "net/http_exchange.h"
#include "net/http_steps.h"

namespace nimbard {
namespace {

const std::wstring kRecordPath = L"/client/v4/zones/z1/dns_records/r1";
const std::wstring kCfAuth = L"Authorization: Bearer cf-test-token\r\n";

HttpRequest Get(const wchar_t* host, const wchar_t* path, ExchangeForm form = ExchangeForm::Full) {
  return {L"GET", host, path, L"", "", form};
}
HttpRequest Cf(const wchar_t* path) { return Get(kCloudflareApiHost, path); }
HttpRequest Ip(const wchar_t* path) { return Get(kPublicIpHost, path, ExchangeForm::Short); }
const HttpRequest kRecordGet{L"GET", kCloudflareApiHost, kRecordPath, kCfAuth, "", ExchangeForm::Full};

TEST(HttpExchangeNet, AnswersAndFailuresThroughWinHttp) {
  std::string high, huge;  // as the mock sends them
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  for (int i = 0; i < 5 * 1024; ++i) huge += std::string(1023, 'x') + "\n";
  const struct { const char* name; HttpRequest request; bool completed; std::uint32_t status;
                 std::optional<std::string> body; /* exact bytes, when given */ } rows[] = {
      // clang-format off
      {"204 without body", Cf(L"/t/204"), true, 204, ""},
      {"404 keeps document", Cf(L"/t/404"), true, 404, "{\"code\":\"NOT_FOUND\",\"message\":\"no such zone\"}"},
      {"200", Cf(L"/t/200"), true, 200, "two hundred"},
      {"299", Cf(L"/t/299"), true, 299, "edge"},
      {"300", Cf(L"/t/300"), true, 300, "choices"},
      {"0xE9 unchanged", Cf(L"/t/e9"), true, 200, "\"\xE9\""},
      {"0x80..0xFF unchanged", Cf(L"/t/high"), true, 200, high},
      {"5 MB", Cf(L"/t/huge"), true, 200, huge},
      {"over the size limit", Cf(L"/t/oversize"), false, 200, std::nullopt},
      {"missing token refused", Cf(kRecordPath.c_str()), true, 401, std::nullopt},
      {"closed port", Get(L"closed-port.test", L"/"), false, 0, ""},
      {"unknown host", Get(L"no-such-host.test", L"/"), false, 0, ""},
      {"untrusted certificate", Get(kGoDaddyApiHost, L"/v3/domains/zones/example.net/dns-records"), false, 0, ""},
      {"closed before status", Cf(L"/t/close"), false, 0, ""},
      {"cut body, full form", Cf(L"/t/cut"), false, 200, "{\"result\":{\"content\":\"203.0"},
      {"address, short form", Ip(L"/"), true, 200, "203.0.113.7"},
      {"503, short form skips body", Ip(L"/t/503"), false, 503, ""},
      {"cut body, short form", Ip(L"/t/cut"), false, 200, "203.0.113."},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const HttpResponse r = HttpExchange(row.request);
    EXPECT_EQ(r.completed, row.completed);
    EXPECT_EQ(r.status, row.status);
    if (row.body) EXPECT_TRUE(r.body == *row.body) << r.body.size() << " bytes: " << r.body.substr(0, 80);
    EXPECT_LE(r.body.size(), kMaxResponseBodyBytes);
    EXPECT_TRUE(r.sessionOpened);
  }
  // A 1xx status is interim in HTTP/1.1: no client can end an exchange with
  // one, whatever the success rule says. It must fail, never succeed.
  const HttpResponse early = HttpExchange(Cf(L"/t/199"));
  std::printf("[ measure ] 199 answer: completed=%d status=%u body=%zu bytes\n", early.completed,
              early.status, early.body.size());
  EXPECT_FALSE(Succeeded(early));
}

TEST(HttpExchangeNet, CloudflareGetAndPut) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const HttpResponse first = HttpExchange(kRecordGet);
  const auto firstDone = Clock::now();
  ASSERT_TRUE(Succeeded(first));
  EXPECT_NE(first.body.find("\"content\":\"198.51.100.4\""), std::string::npos);
  constexpr int kRounds = 20;
  for (int i = 0; i < kRounds; ++i) ASSERT_TRUE(Succeeded(HttpExchange(kRecordGet)));
  using Ms = std::chrono::duration<double, std::milli>;
  std::printf("[ measure ] WinHTTP Cloudflare GET: first %.1f ms, mean of next %d %.1f ms\n",
              Ms(firstDone - start).count(), kRounds, Ms(Clock::now() - firstDone).count() / kRounds);

  const HttpResponse updated = HttpExchange(
      {L"PUT", kCloudflareApiHost, kRecordPath, kCfAuth + L"Content-Type: application/json\r\n",
       "{\"name\":\"home.example.com\",\"ttl\":300,\"type\":\"A\",\"content\":\"203.0.113.7\","
       "\"private_routing\":false,\"proxied\":false}",
       ExchangeForm::Full});
  ASSERT_TRUE(Succeeded(updated));
  EXPECT_NE(updated.body.find("\"content\":\"203.0.113.7\""), std::string::npos);
}

}  // namespace
}  // namespace nimbard
