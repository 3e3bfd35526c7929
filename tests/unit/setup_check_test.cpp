// The dialog's check before a save: the record tried once, written back only where that changes nothing, and every
// failure explained in words of its own.
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
  const auto gdZone = [](const std::string& records) { return "[" + records + "]"; };
  const char* gdHome = R"({"type":"A","name":"home","data":"198.51.100.4","ttl":1200})";
  const std::string cfPatchR5 = R"(PATCH /client/v4/zones/z9/dns_records/r5 {"content":"198.51.100.4"})";
  struct Answer { std::wstring host, path; HttpResponse reply; std::wstring method = L"GET"; };
  // result: "passed <zone> <record>", with " | <why only reading was checked>", or the explanation's start;
  // writes: every request but a GET, "<method> <path> <body>".
  const struct { const char* name; const wchar_t *provider, *zoneId, *recordId; std::vector<Answer> answers; std::string result, writes = ""; bool ipv4 = true, ipv6 = false; } cases[] = {
      {"IDs found from the names; the record written back as it was", L"cloudflare", L"", L"", {{kCf, L"/client/v4/zones?name=example.com", Ok(zone)},
       {kCf, L"/client/v4/zones/z9/dns_records?type=A&name=home.example.com", Ok(record)}}, "passed z9 r5", cfPatchR5},
      {"a token that may only read", L"cloudflare", L"", L"", {{kCf, L"/client/v4/zones?name=example.com", Ok(zone)},
       {kCf, L"/client/v4/zones/z9/dns_records?type=A&name=home.example.com", Ok(record)}, {kCf, L"", Status(403, cfError("10000", "Authentication error")), L"PATCH"}},
       "This Cloudflare token may not change the DNS records of this domain.", cfPatchR5},
      {"GoDaddy's record not there yet: only read", L"godaddy", L"", L"", {{kGd, L"", Ok("[]")}},
       "passed   | GoDaddy has no A record named home.example.com yet; the first update makes it."},
      {"GoDaddy's one record put back with its TTL", L"godaddy", L"", L"", {{kGd, L"", Ok(gdZone(gdHome))}}, "passed  ",
       R"(PUT /v1/domains/example.com/records/A/home [{"data":"198.51.100.4","ttl":1200}])"},
      {"GoDaddy's two records of the name: only read", L"godaddy", L"", L"",
       {{kGd, L"", Ok(gdZone(R"({"type":"A","name":"home","data":"192.0.2.9","ttl":600},{"type":"A","name":"www","data":"192.0.2.8","ttl":600},)" + std::string(gdHome)))}},
       "passed   | GoDaddy has 2 A records named home.example.com; the first update replaces them with one."},
      {"GoDaddy's record without its TTL: only read", L"godaddy", L"", L"", {{kGd, L"", Ok(gdZone(R"({"type":"A","name":"home","data":"192.0.2.9"})"))}},
       "passed   | GoDaddy did not say the TTL of the A record home.example.com"},
      {"a GoDaddy account that may not write", L"godaddy", L"", L"", {{kGd, L"", Ok(gdZone(gdHome))}, {kGd, L"", Status(403, R"({"code":"ACCESS_DENIED"})"), L"PUT"}},
       "GoDaddy does not let this account use its DNS API.", R"(PUT /v1/domains/example.com/records/A/home [{"data":"198.51.100.4","ttl":1200}])"},
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
       {kCf, L"/client/v4/zones/z9/dns_records?type=AAAA&name=home.example.com", Ok(aaaa("2001:db8::5"))}}, "passed z9 ",
       R"(PATCH /client/v4/zones/z9/dns_records/r6 {"content":"2001:db8::5"})", false, true},
      {"both: the AAAA record missing", L"cloudflare", L"", L"", {{kCf, L"/client/v4/zones?name=example.com", Ok(zone)},
       {kCf, L"/client/v4/zones/z9/dns_records?type=A&name=home.example.com", Ok(record)}, {kCf, L"/client/v4/zones/z9/dns_records?type=AAAA&name=home.example.com", Ok(R"({"result":[]})")}},
       "No AAAA record named home.example.com exists at Cloudflare.", cfPatchR5, true, true},
      {"an AAAA record holding no IPv6 address", L"cloudflare", L"z9", L"", {{kCf, L"/client/v4/zones/z9/dns_records?type=AAAA&name=home.example.com", Ok(aaaa("192.0.2.1"))}},
       "The AAAA record home.example.com holds \"192.0.2.1\", which is no IPv6 address.", "", false, true},
      {"GoDaddy AAAA alone", L"godaddy", L"", L"", {{kPublicIpHost, L"", Unreachable()}, {kGd, L"", Ok(gdZone(R"({"type":"AAAA","name":"home","data":"2001:DB8::5","ttl":600})"))}},
       "passed  ", R"(PUT /v1/domains/example.com/records/AAAA/home [{"data":"2001:DB8::5","ttl":600}])", false, true},
      {"rate limited", L"godaddy", L"", L"", {{kGd, L"", Status(429, R"({"code":"TOO_MANY_REQUESTS","retryAfterSec":5})")}}, "GoDaddy asks nimbard to wait"},
  };
  ScratchDir dir("setup-check");
  ScriptedTransport transport;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    transport.Clear();
    ForgetCloudflareIds();
    transport.Set(L"GET", kPublicIpHost, Ok("203.0.113.7"));
    transport.Set(L"PATCH", kCf, Ok(R"({"success":true})"));
    transport.Set(L"PUT", kGd, Ok(""));
    for (const Answer& a : c.answers) transport.Set(a.method, a.host, a.reply, a.path);
    RecordConfig checked{c.provider, false, L"token", L"example.com", L"home", c.zoneId, c.recordId};
    checked.ipv4 = c.ipv4, checked.ipv6 = c.ipv6;
    const SetupCheck check = CheckRecordSetup(checked);
    const std::string seen = check.passed ? "passed " + NarrowLow8(check.zoneId + L" " + check.recordId) + (check.onlyRead.empty() ? "" : " | " + NarrowLow8(check.onlyRead))
                                          : NarrowLow8(check.explanation);
    EXPECT_EQ(seen.substr(0, c.result.size()), c.result);
    std::string writes;
    for (const HttpRequest& r : transport.Requests()) {
      if (r.method != L"GET") writes += (writes.empty() ? "" : "; ") + NarrowLow8(r.method + L" " + r.path) + " " + r.body;
    }
    EXPECT_EQ(writes, c.writes);
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
