// Real WinHTTP and TLS against the local API mock; tests/e2e/winhttp_exchange.sh sets up the /t/... routes and checks
// the mock's request log afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "net/api_hosts.h"
#include "net/http_exchange.h"

namespace nimbard {
namespace {

const std::wstring kRecordPath = L"/client/v4/zones/z1/dns_records/r1";
const std::wstring kCfAuth = L"Authorization: Bearer cf-test-token\r\n";
HttpRequest Get(const wchar_t* host, const wchar_t* path, ExchangeForm form = ExchangeForm::Full) { return {L"GET", host, path, L"", "", form}; }
HttpRequest Cf(const wchar_t* path) { return Get(kCloudflareApiHost, path); }
HttpRequest Ip(const wchar_t* path) { return Get(kPublicIpHost, path, ExchangeForm::Short); }

TEST(HttpExchangeNet, AnswersAndFailuresThroughWinHttp) {
  std::string huge;
  for (int i = 0; i < 5 * 1024; ++i) huge += std::string(1023, 'x') + "\n";
  const struct { const char* name; HttpRequest request; bool completed, ok; std::uint32_t status; std::string body; } rows[] = {
      {"204", Cf(L"/t/204"), true, true, 204, ""}, {"300", Cf(L"/t/300"), true, false, 300, "choices"},
      {"404 keeps document", Cf(L"/t/404"), true, false, 404, "{\"code\":\"NOT_FOUND\",\"message\":\"no such zone\"}"},
      {"0xE9 unchanged", Cf(L"/t/e9"), true, true, 200, "\"\xE9\""}, {"5 MB", Cf(L"/t/huge"), true, true, 200, huge},
      {"missing token refused", Cf(kRecordPath.c_str()), true, false, 401, "?"},
      {"closed port", Get(L"closed-port.test", L"/"), false, false, 0, ""},
      {"untrusted certificate", Get(kGoDaddyApiHost, L"/v3/domains/zones/example.net/dns-records"), false, false, 0, ""},
      {"cut body, full form", Cf(L"/t/cut"), false, false, 200, "{\"result\":{\"content\":\"203.0"},
      {"address, short form", Ip(L"/"), true, true, 200, "203.0.113.7"}, {"503, short form", Ip(L"/t/503"), false, false, 503, ""},
      {"cut body, short form", Ip(L"/t/cut"), false, false, 200, "203.0.113."}};
  for (const auto& row : rows) {
    const HttpResponse r = HttpExchange(row.request);
    EXPECT_TRUE(r.completed == row.completed && r.status == row.status && Succeeded(r) == row.ok) << row.name << ": " << r.status;
    if (row.body != "?") { EXPECT_TRUE(r.body == row.body) << row.name << ": " << r.body.size() << " bytes " << r.body.substr(0, 80); }
  }
  EXPECT_FALSE(Succeeded(HttpExchange(Cf(L"/t/199"))));  // a 1xx is interim in HTTP/1.1 and never ends an exchange
}

TEST(HttpExchangeNet, CloudflareGetAndPut) {
  const HttpRequest get{L"GET", kCloudflareApiHost, kRecordPath, kCfAuth, "", ExchangeForm::Full};
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 21; ++i) ASSERT_TRUE(Succeeded(HttpExchange(get)));
  std::printf("[ measure ] WinHTTP Cloudflare GET: mean of 21 %.1f ms\n", std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / 21);
  const HttpResponse put = HttpExchange({L"PUT", kCloudflareApiHost, kRecordPath, kCfAuth + L"Content-Type: application/json\r\n",
      "{\"name\":\"home.example.com\",\"ttl\":300,\"type\":\"A\",\"content\":\"203.0.113.7\",\"private_routing\":false,\"proxied\":false}", ExchangeForm::Full});
  EXPECT_TRUE(Succeeded(put));  // winhttp_exchange.sh checks what the mock received and holds
}

}  // namespace
}  // namespace nimbard
