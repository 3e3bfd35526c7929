// Real WinHTTP and TLS against the local API mock. Run by
// tests/e2e/winhttp_exchange.sh inside the isolated runner, which loads
// tests/e2e/winhttp_exchange_scene.json (the /t/... routes used here) and
// checks the mock's request log afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "core/text.h"
#include "net/api_hosts.h"
#include "net/http_exchange.h"
#include "net/http_steps.h"

namespace nimbard {
namespace {

constexpr auto kFull = ExchangeForm::Full;
constexpr auto kShort = ExchangeForm::Short;
const std::wstring kRecordPath = L"/client/v4/zones/z1/dns_records/r1";
const std::wstring kCfAuth = L"Authorization: Bearer cf-test-token\r\n";

HttpRequest Get(const wchar_t* host, const std::wstring& path, ExchangeForm form = kFull,
                const std::wstring& headers = L"") {
  return {L"GET", host, path, headers, "", form};
}

struct Row {
  const char* name;
  HttpRequest request;
  bool completed;
  std::uint32_t status;
  const char* body;  // exact body, or nullptr to skip
  bool sessionOpened;
};

TEST(HttpExchangeNet, AnswersAndFailuresThroughWinHttp) {
  const Row rows[] = {
      {"204 without body", Get(kCloudflareApiHost, L"/t/204"), true, 204, "", true},
      {"404 keeps document", Get(kCloudflareApiHost, L"/t/404"), true, 404,
       "{\"code\":\"NOT_FOUND\",\"message\":\"no such zone\"}", true},
      {"200", Get(kCloudflareApiHost, L"/t/200"), true, 200, "two hundred", true},
      {"299", Get(kCloudflareApiHost, L"/t/299"), true, 299, "edge", true},
      {"300", Get(kCloudflareApiHost, L"/t/300"), true, 300, "choices", true},
      {"missing token refused", Get(kCloudflareApiHost, kRecordPath), true, 401, nullptr, true},
      {"closed port", Get(L"closed-port.test", L"/"), false, 0, "", true},
      {"unknown host", Get(L"no-such-host.test", L"/"), false, 0, "", true},
      {"untrusted certificate", Get(kGoDaddyApiHost, L"/v3/domains/zones/example.net/dns-records"),
       false, 0, "", true},
      {"closed before status", Get(kCloudflareApiHost, L"/t/close"), false, 0, "", true},
      {"cut body, full form", Get(kCloudflareApiHost, L"/t/cut"), false, 200,
       "{\"result\":{\"content\":\"203.0", true},
      {"address, short form", Get(kPublicIpHost, L"/", kShort), true, 200, "203.0.113.7", true},
      {"503, short form skips body", Get(kPublicIpHost, L"/t/503", kShort), false, 503, "", true},
      {"cut body, short form", Get(kPublicIpHost, L"/t/cut", kShort), false, 200, "203.0.113.",
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const HttpResponse r = HttpExchange(row.request);
    EXPECT_EQ(r.completed, row.completed);
    EXPECT_EQ(r.status, row.status);
    if (row.body) EXPECT_EQ(r.body, row.body);
    EXPECT_EQ(r.sessionOpened, row.sessionOpened);
  }
}

// A 1xx status is interim in HTTP/1.1: no client can end an exchange with
// one, whatever the success rule says. It must fail, never succeed.
TEST(HttpExchangeNet, InterimStatusNeverSucceeds) {
  const HttpResponse r = HttpExchange(Get(kCloudflareApiHost, L"/t/199"));
  std::printf("[ measure ] 199 answer: completed=%d status=%u body=%zu bytes\n", r.completed,
              r.status, r.body.size());
  EXPECT_FALSE(Succeeded(r));
}

TEST(HttpExchangeNet, BytesArriveUnchanged) {
  const HttpResponse e9 = HttpExchange(Get(kCloudflareApiHost, L"/t/e9"));
  ASSERT_TRUE(Succeeded(e9));
  EXPECT_EQ(WidenBytes(e9.body), std::wstring({L'"', wchar_t(0xFFE9), L'"'}));

  const HttpResponse high = HttpExchange(Get(kCloudflareApiHost, L"/t/high"));
  ASSERT_TRUE(Succeeded(high));
  ASSERT_EQ(high.body.size(), 128u);
  for (std::size_t i = 0; i < high.body.size(); ++i) {
    EXPECT_EQ(static_cast<unsigned char>(high.body[i]), 0x80 + i);
  }
}

TEST(HttpExchangeNet, LargeBodies) {
  const HttpResponse huge = HttpExchange(Get(kCloudflareApiHost, L"/t/huge"));
  EXPECT_TRUE(Succeeded(huge));
  EXPECT_EQ(huge.body.size(), 5u * 1024 * 1024);

  const HttpResponse oversize = HttpExchange(Get(kCloudflareApiHost, L"/t/oversize"));
  EXPECT_FALSE(oversize.completed);
  EXPECT_EQ(oversize.status, 200u);
  EXPECT_LE(oversize.body.size(), kMaxResponseBodyBytes);
}

TEST(HttpExchangeNet, CloudflareGetAndPut) {
  const auto start = std::chrono::steady_clock::now();
  const HttpResponse first = HttpExchange(Get(kCloudflareApiHost, kRecordPath, kFull, kCfAuth));
  const auto firstDone = std::chrono::steady_clock::now();
  ASSERT_TRUE(Succeeded(first));
  EXPECT_NE(first.body.find("\"content\":\"198.51.100.4\""), std::string::npos);

  constexpr int kRounds = 20;
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_TRUE(Succeeded(HttpExchange(Get(kCloudflareApiHost, kRecordPath, kFull, kCfAuth))));
  }
  const auto end = std::chrono::steady_clock::now();
  using Ms = std::chrono::duration<double, std::milli>;
  std::printf("[ measure ] WinHTTP Cloudflare GET: first %.1f ms, mean of next %d %.1f ms\n",
              Ms(firstDone - start).count(), kRounds, Ms(end - firstDone).count() / kRounds);

  const HttpRequest put{L"PUT", kCloudflareApiHost, kRecordPath,
                        L"Authorization: Bearer cf-test-token\r\nContent-Type: application/json\r\n",
                        "{\"name\":\"home.example.com\",\"ttl\":300,\"type\":\"A\","
                        "\"content\":\"203.0.113.7\",\"private_routing\":false,\"proxied\":false}",
                        kFull};
  const HttpResponse updated = HttpExchange(put);
  ASSERT_TRUE(Succeeded(updated));
  EXPECT_NE(updated.body.find("\"content\":\"203.0.113.7\""), std::string::npos);
}

}  // namespace
}  // namespace nimbard
