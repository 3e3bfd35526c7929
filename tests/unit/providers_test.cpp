// Providers and public address lookup over a scripted transport: requests sent, results, log lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text.h"
#include "net/cloudflare.h"
#include "net/godaddy.h"
#include "net/public_ip.h"
#include "net/request_fields.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: the scripted answers read as a table

const std::wstring kCfPath = L"/client/v4/zones/zone9/dns_records/rec7", kGdPath = L"/v3/domains/zones/example.com/dns-records";
const std::wstring kCfAuth = L"Authorization: Bearer cf-token-123\r\n", kGdAuth = L"Authorization: sso-key gd-key:secret\r\n";
const std::string kGdBody = R"([{"data":"203.0.113.7","ttl":600}])", kGdPut = "GoDaddy PUT body: " + kGdBody;

// The four provider operations; lookups leave their address in `ip`.
enum Op { CfLookup, CfUpdate, GdLookup, GdUpdate };
RecordConfig RecordFor(Op op) {
  if (op <= CfUpdate) return {L"cloudflare", false, L"cf-token-123", L"example.com", L"www", L"zone9", L"rec7"};
  return {L"godaddy", false, L"gd-key:secret", L"example.com", L"www", {}, {}};
}

class ProvidersTest : public ::testing::Test {
 protected:
  // Runs `op` on `record` against `reply`; returns the requests sent.
  std::vector<HttpRequest> Run(Op op, const RecordConfig& record, const HttpResponse& reply, bool ok, std::wstring& ip) {
    transport_.Set(L"", L"", reply);
    const bool result = op == CfLookup ? CloudflareLookup(record, ip) : op == CfUpdate ? CloudflareUpdate(record, L"203.0.113.7")
                      : op == GdLookup ? GoDaddyLookup(record, ip) : GoDaddyUpdate(record, L"203.0.113.7");
    EXPECT_EQ(result, ok) << op << " " << NarrowLow8(record.recordName) << " " << reply.body.substr(0, 80);
    const std::vector<HttpRequest> sent = transport_.Requests();
    return transport_.Clear(), sent;
  }
  ScratchDir scratch_{"providers"};
  ScriptedTransport transport_;
};

TEST_F(ProvidersTest, PublicIpAnswers) {
  const struct { HttpResponse reply; std::wstring result; bool logged; } cases[] = {
      {Ok(" \r\n203.0.113.7 \t"), L"203.0.113.7", false}, {Status(503, "busy"), L"", true}, {NoSession(), L"", false}};
  for (const auto& c : cases) {
    transport_.Set(L"", L"", c.reply);
    EXPECT_EQ(PublicIpLookup(), c.result) << c.reply.body;
    EXPECT_EQ(scratch_.TakeLog(), c.logged ? Lines{"Public IP lookup failed."} : Lines{}) << c.reply.status;
    const std::vector<HttpRequest> sent = transport_.Requests();
    EXPECT_TRUE(sent.size() == 1 && sent[0].host == kPublicIpHost && sent[0].path == L"/" && sent[0].headers.empty() && sent[0].form == ExchangeForm::Short);
    transport_.Clear();
  }
}

std::string CfBody(const std::string& name, const std::string& ttl = "3600", const char* proxied = "true") {
  return R"({"name":")" + name + R"(","ttl":)" + ttl + R"(,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":)" + proxied + "}";
}

TEST_F(ProvidersTest, RequestTable) {
  const std::wstring gdA = L"/v1/domains/example.com/records/A/";
  // apiKey, when given, replaces the record's key (a GoDaddy KEY:SECRET pair, a Cloudflare token); auth is what it must send.
  const struct { Op op; std::wstring record; std::uint32_t ttl; bool proxied; std::wstring path; std::string body; const wchar_t *apiKey = nullptr, *auth = nullptr; } cases[] = {
      {CfLookup, L"www", 3600, true, kCfPath, ""}, {GdLookup, L"www", 3600, true, kGdPath, ""},
      {GdLookup, L"www", 3600, true, kGdPath, "", L"gd-token", L"Bearer gd-token"}, {CfUpdate, L"", 3600, true, kCfPath, CfBody("example.com")},
      {CfUpdate, L"www", 120, true, kCfPath, CfBody("www.example.com", "120"), L"cf:token", L"Bearer cf:token"}, {CfUpdate, L"a.b.c", 3600, true, kCfPath, CfBody("a.b.c")},
      {CfUpdate, L"@we\"ird\\x", 3600, true, kCfPath, CfBody("@we\\\"ird\\\\x.example.com")},  // escaped; only "@" itself is the apex
      {CfUpdate, L"@", 60, false, kCfPath, CfBody("example.com", "60", "false")},
      {GdUpdate, L"", 300, true, gdA + L"@", kGdBody}, {GdUpdate, L"Example.COM", 300, true, gdA + L"@", kGdBody, L"gd-token", L"Bearer gd-token"},
      {GdUpdate, L"www.example.com", 300, true, gdA + L"www", kGdBody}, {GdUpdate, L"www.example.com.evil", 300, true, gdA + L"www.example.com.evil", kGdBody}};
  for (const auto& c : cases) {
    RecordConfig record = RecordFor(c.op);
    record.recordName = c.record, record.ttl = c.ttl, record.proxied = c.proxied, record.apiKey = c.apiKey ? c.apiKey : record.apiKey;
    std::wstring ip;
    const std::vector<HttpRequest> sent = Run(c.op, record, Ok(""), true, ip);
    ASSERT_EQ(sent.size(), 1u);
    const bool put = c.op == CfUpdate || c.op == GdUpdate, cf = c.op <= CfUpdate;
    const HttpRequest& g = sent[0];
    EXPECT_EQ(g.method + L" " + g.host + L" " + g.path + L"\n" + g.headers,
              (put ? L"PUT " : L"GET ") + std::wstring(cf ? kCloudflareApiHost : kGoDaddyApiHost) + L" " + c.path + L"\n" + (c.auth ? L"Authorization: " + std::wstring(c.auth) + L"\r\n" : cf ? kCfAuth : kGdAuth) + (put ? L"Content-Type: application/json\r\n" : L""));
    EXPECT_EQ(g.body, c.body);
    const Lines log = scratch_.TakeLog();
    if (c.op == GdUpdate) { EXPECT_EQ(log, (Lines{kGdPut, "GoDaddy A record updated for " + NarrowLow8(c.record) + " to 203.0.113.7."})); }
  }
}

TEST_F(ProvidersTest, AnswerTable) {
  const std::string gdDoc = R"({"code":"UNABLE_TO_AUTHENTICATE"})";
  std::string zone = "[";  // about 5 MB of zone with the wanted record last
  while (zone.size() < 5 * 1024 * 1024) zone += R"({"type":"A","name":"host","data":"10.0.0.1","ttl":600},)";
  zone += R"({"type":"A","name":"www","data":"198.51.100.4","ttl":600}])";
  const auto gd = [](const char* o) { return Ok(std::string("[") + o + "]"); };
  const struct { Op op; HttpResponse reply; bool ok; std::wstring ip; Lines log; } cases[] = {
      {CfLookup, Ok(R"({"result":{"id":"rec7","type":"A","content":"198.51.100.4","ttl":1}})"), true, L"198.51.100.4", {}},
      {CfLookup, Ok(R"({"content":"2001:db8::1"})"), false, L"2001:db8::1", {}},
      {CfLookup, Status(403, "{}"), false, L"-", {"Cloudflare DNS lookup failed (HTTP 403)."}},
      {GdLookup, Status(401, gdDoc), false, L"-", {"GoDaddy DNS lookup failed (HTTP 401).", "GoDaddy response: " + gdDoc}},
      {GdLookup, Status(500, zone), false, L"-", {"GoDaddy DNS lookup failed (HTTP 500).", "GoDaddy response: " + zone.substr(0, 4096) + "..."}},
      {GdLookup, CutOff(200, "[{\"type\""), false, L"-", {"GoDaddy DNS lookup failed (HTTP 200).", "GoDaddy response: [{\"type\""}},
      {GdLookup, Ok(zone), true, L"198.51.100.4", {}},
      {GdLookup, gd(R"({"type":"AAAA","name":"www","data":"2001:db8::1"})"), true, L"", {}},
      {GdLookup, gd(R"({"type":"A","name":"www","data":"192.0.2.8"}{"type":"A","name":"www","data":"192.0.2.9"})"), true, L"192.0.2.8", {}},
      {GdLookup, gd(R"({"type":"A","name":"www","data":"198.51.100.4","meta":{"x":1}})"), true, L"", {}},
      {GdLookup, gd(R"({"outer":1,"inner":{"type":"A","name":"www","data":"192.0.2.7"}})"), true, L"192.0.2.7", {}},
      {GdUpdate, Status(422, gdDoc), false, L"-", {kGdPut, "GoDaddy A record update failed for www (HTTP 422).", "GoDaddy response: " + gdDoc}}};
  for (const auto& c : cases) {
    std::wstring ip = L"-";
    EXPECT_EQ(Run(c.op, RecordFor(c.op), c.reply, c.ok, ip).size(), 1u);
    EXPECT_EQ(ip, c.ip) << c.op << " " << c.reply.body.substr(0, 80);
    EXPECT_EQ(scratch_.TakeLog(), c.log) << c.op << " " << c.reply.body.substr(0, 80);
  }
}

TEST_F(ProvidersTest, FieldsThatWouldReshapeTheRequestAreNeverSent) {
  const struct { Op op; std::wstring RecordConfig::*field; std::wstring value; const char* refused; std::string first; } cases[] = {
      {CfLookup, &RecordConfig::apiKey, L"k\r\nX-Evil: 1", "apiKey", "Cloudflare DNS lookup failed (HTTP 0)."},
      {CfUpdate, &RecordConfig::zoneId, L"..", "zoneId", "Cloudflare A record update failed for example.com (HTTP 0)."},
      {CfLookup, &RecordConfig::recordId, L"r?x=1", "recordId", "Cloudflare DNS lookup failed (HTTP 0)."},
      {GdLookup, &RecordConfig::domain, L"example.com%2f", "domain", "GoDaddy DNS lookup failed (HTTP 0)."},
      {GdUpdate, &RecordConfig::recordName, L"www/x\x7f", "record", "GoDaddy A record update failed for www/x? (HTTP 0)."},
      {CfLookup, &RecordConfig::apiKey, L"abc-DEF_1.2~+/= x", nullptr, ""}, {GdLookup, &RecordConfig::recordName, L"www/x", nullptr, ""}};
  for (const auto& c : cases) {
    RecordConfig record = RecordFor(c.op);
    record.*(c.field) = c.value;
    std::wstring ip;
    EXPECT_EQ(Run(c.op, record, Status(200), !c.refused, ip).size(), c.refused ? 0u : 1u) << NarrowLow8(c.value);
    const std::string why = std::string("Request not sent: the ") + (c.refused ? c.refused : "") + " field holds characters that cannot be sent.";
    if (c.refused) { EXPECT_EQ(scratch_.TakeLog(), c.op == GdUpdate ? Lines({kGdPut, c.first, why}) : Lines({c.first, why})); }
  }
}

// A GoDaddy KEY:SECRET pair, echoed whole and as its secret half, plain and JSON-escaped.
TEST_F(ProvidersTest, SecretNeverReachesTheLog) {
  const std::wstring key = L"K3y:S3c\"ret\\/x", secret = key.substr(4);
  const std::string plain = NarrowLow8(key), escaped = JsonEscape(key);
  const std::string echo = "{\"message\":\"bad key " + plain + "\",\"detail\":\"" + escaped + "\",\"secret\":\"" + JsonEscape(secret) + "\"}" + NarrowLow8(secret);
  for (const HttpResponse& reply : {Status(401, echo), CutOff(200, echo)})
    for (Op op : {CfLookup, CfUpdate, GdLookup, GdUpdate}) {
      RecordConfig record = RecordFor(op);
      std::wstring ip;
      record.apiKey = key, Run(op, record, reply, false, ip);
    }
  const std::string log = scratch_.ReadBytes("nimbard.log");
  EXPECT_NE(log.find("GoDaddy response: {\"message\":\"bad key ***\",\"detail\":\"***\",\"secret\":\"***\"}***"), std::string::npos);
  EXPECT_EQ(log.find("S3c"), std::string::npos);
}

}  // namespace
}  // namespace nimbard
