// The dialog's check before a save: the record tried once, without any update, and every failure explained in words
// of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "core/stop_request.h"
#include "engine/setup_check.h"
#include "net/cloudflare.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: the scripted answers read as a table

TEST(SetupCheck, TriesTheRecordWithoutChangingIt) {
  const std::wstring kCf = kCloudflareApiHost, kGd = kGoDaddyApiHost;
  const std::string zone = R"({"result":[{"id":"z9","name":"example.com"}]})";
  const std::string record = R"({"result":[{"id":"r5","name":"home.example.com","type":"A","content":"198.51.100.4"}]})";
  const auto aaaa = [](const char* content) {
    return std::string(R"({"result":[{"id":"r6","name":"home.example.com","type":"AAAA","content":")") + content + R"("}]})";
  };
  const auto cfError = [](const char* code, const char* message) {
    return std::string(R"({"success":false,"errors":[{"code":)") + code + R"(,"message":")" + message + R"("}]})";
  };
  struct Answer { std::wstring host, path; HttpResponse reply; };
  const struct { const char* name; const wchar_t *provider, *zoneId, *recordId; std::vector<Answer> answers; std::string result; bool ipv4 = true, ipv6 = false; } cases[] = {
      {"IDs found from the names", L"cloudflare", L"", L"", {{kCf, L"/client/v4/zones?name=example.com", Ok(zone)},
       {kCf, L"/client/v4/zones/z9/dns_records?type=A&name=home.example.com", Ok(record)}}, "passed z9 r5"},
      {"GoDaddy's record not there yet: it will be created", L"godaddy", L"", L"", {{kGd, L"", Ok("[]")}}, "passed  "},
      {"no network", L"godaddy", L"", L"", {{kPublicIpHost, L"", Unreachable()}}, "nimbard could not reach the service that tells nimbard"},
      {"a VPN answers", L"godaddy", L"", L"", {{kPublicIpHost, L"", Ok("10.0.0.1")}, {kPublicIpFallbackHost, L"", Ok("10.0.0.1")}},
       "The services that tell nimbard this computer's address answered \"10.0.0.1\""},
      {"token not valid or without the permission", L"cloudflare", L"z1", L"r1", {{kCf, L"", Status(403, cfError("10000", "Authentication error"))}},
       "Cloudflare refused this API token: either it is not valid, or it lacks the permission for this zone or record."},
      {"token without zone read", L"cloudflare", L"", L"", {{kCf, L"", Status(403, cfError("9109", "Unauthorized to access requested resource"))}},
       "This Cloudflare token may not look zones up"},
      {"token for other addresses", L"cloudflare", L"z1", L"r1", {{kCf, L"", Status(403, cfError("9109", "Cannot use the access token from location: 203.0.113.7"))}},
       "This Cloudflare token may only be used from other IP addresses."},
      {"record id of another record", L"cloudflare", L"z1", L"r1", {{kCf, L"", Ok(R"({"result":{"name":"www.example.com","type":"A","content":"192.0.2.1"}})")}},
       "The Record ID belongs to another record: www.example.com (A)."},
      {"a name longer than any DNS name", L"cloudflare", L"z1", L"r1", {{kCf, L"", Ok(R"({"result":{"name":")" + std::string(1000000, 'x') + R"(","type":"A"}})")}},
       "The Record ID belongs to another record: " + std::string(250, 'x') + "... (A). Enter"},
      {"no record of that name", L"cloudflare", L"z1", L"", {{kCf, L"", Ok(R"({"result":[]})")}}, "No A record named home.example.com exists at Cloudflare."},
      {"key and secret refused", L"godaddy", L"", L"", {{kGd, L"", Status(401, R"({"code":"UNABLE_TO_AUTHENTICATE"})")}}, "GoDaddy does not accept this key and secret."},
      {"account without API access", L"godaddy", L"", L"", {{kGd, L"", Status(403, R"({"code":"ACCESS_DENIED"})")}}, "GoDaddy does not let this account use its DNS API."},
      {"domain not in the account", L"godaddy", L"", L"", {{kGd, L"", Status(404, R"({"code":"UNKNOWN_DOMAIN"})")}}, "This GoDaddy account holds no such domain."},
      // The AAAA record: by name whatever the Record ID, and no echo service asked for it.
      {"AAAA alone, found by name", L"cloudflare", L"", L"r1", {{kPublicIpHost, L"", Unreachable()}, {kCf, L"/client/v4/zones?name=example.com", Ok(zone)},
       {kCf, L"/client/v4/zones/z9/dns_records?type=AAAA&name=home.example.com", Ok(aaaa("2001:db8::5"))}}, "passed z9 ", false, true},
      {"both: the AAAA record missing", L"cloudflare", L"", L"", {{kCf, L"/client/v4/zones?name=example.com", Ok(zone)},
       {kCf, L"/client/v4/zones/z9/dns_records?type=A&name=home.example.com", Ok(record)}, {kCf, L"/client/v4/zones/z9/dns_records?type=AAAA&name=home.example.com", Ok(R"({"result":[]})")}},
       "No AAAA record named home.example.com exists at Cloudflare.", true, true},
      {"an AAAA record holding no IPv6 address", L"cloudflare", L"z9", L"", {{kCf, L"/client/v4/zones/z9/dns_records?type=AAAA&name=home.example.com", Ok(aaaa("192.0.2.1"))}},
       "The AAAA record home.example.com holds \"192.0.2.1\", which is no IPv6 address.", false, true},
      {"GoDaddy AAAA alone", L"godaddy", L"", L"", {{kPublicIpHost, L"", Unreachable()}, {kGd, L"", Ok("[]")}}, "passed  ", false, true},
      {"rate limited", L"godaddy", L"", L"", {{kGd, L"", Status(429, R"({"code":"TOO_MANY_REQUESTS","retryAfterSec":5})")}}, "GoDaddy asks nimbard to wait"},
  };
  ScratchDir dir("setup-check");
  ScriptedTransport transport;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    transport.Clear();
    ForgetCloudflareIds();
    transport.Set(L"GET", kPublicIpHost, Ok("203.0.113.7"));
    for (const Answer& a : c.answers) transport.Set(L"GET", a.host, a.reply, a.path);
    RecordConfig checked{c.provider, false, L"token", L"example.com", L"home", c.zoneId, c.recordId};
    checked.ipv4 = c.ipv4, checked.ipv6 = c.ipv6;
    const SetupCheck check = CheckRecordSetup(checked);
    EXPECT_EQ(check.passed ? "passed " + NarrowLow8(check.zoneId + L" " + check.recordId) : NarrowLow8(check.explanation).substr(0, std::string(c.result).size()), c.result);
    for (const HttpRequest& r : transport.Requests()) EXPECT_EQ(r.method, L"GET");  // a check never changes a record
  }
}

// Cancelled from another thread while the address lookup hangs: the check gives up at once.
TEST(SetupCheck, CancelGivesUpAtOnce) {
  ScriptedTransport transport;
  std::atomic<bool> release{false};
  transport.onRequest = [&](const HttpRequest&) { while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  CancelToken token;
  std::thread canceller([&] { std::this_thread::sleep_for(std::chrono::milliseconds(100)), token.Cancel(); });
  const auto start = std::chrono::steady_clock::now();
  {
    ScopedCancellation scope(token);
    EXPECT_FALSE(CheckRecordSetup({L"godaddy", false, L"token", L"example.com", L"home", {}, {}}).passed);
  }
  const auto took = std::chrono::steady_clock::now() - start;
  canceller.join();
  release = true;
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_EQ(transport.Requests().size(), 1u);  // the second echo service and the provider are never asked
  EXPECT_FALSE(GiveUpRequested());  // the scope ended, and a stop was never requested
}

}  // namespace
}  // namespace nimbard
