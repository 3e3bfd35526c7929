// The DNS providers and the public address lookup, driven through a scripted
// transport: the exact requests they send, what they return and every line
// they log for each kind of answer.
#include <gtest/gtest.h>

#include <algorithm>
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
using Lines = std::vector<std::string>;

const std::wstring kCfPath = L"/client/v4/zones/zone9/dns_records/rec7";
const std::wstring kGdPath = L"/v3/domains/zones/example.com/dns-records";
const std::wstring kCfAuth = L"Authorization: Bearer cf-token-123\r\n";
const std::wstring kGdAuth = L"Authorization: Bearer gd-key:secret\r\n";
const std::wstring kJson = L"Content-Type: application/json\r\n";
const std::string kGdBody = R"([{"data":"203.0.113.7","ttl":600}])", kGdPut = "GoDaddy PUT body: " + kGdBody;

RecordConfig Cloudflare(std::wstring record = L"www") {
  RecordConfig r;
  r.provider = L"cloudflare", r.apiKey = L"cf-token-123", r.domain = L"example.com";
  r.record = std::move(record), r.zoneId = L"zone9", r.recordId = L"rec7";
  return r;
}
RecordConfig GoDaddy(std::wstring record = L"www") {
  RecordConfig r;
  r.apiKey = L"gd-key:secret", r.domain = L"example.com", r.record = std::move(record);
  return r;
}

// The four provider operations; lookups leave their address in `ip`.
enum Op { CfLookup, CfUpdate, GdLookup, GdUpdate };
struct OpInfo {
  bool cloudflare;
  bool (*run)(const RecordConfig&, std::wstring& ip);
  const char* unreachable;  // the lines of a request that never got an answer
};
const OpInfo kOps[] = {
    {true, [](const RecordConfig& r, std::wstring& ip) { return CloudflareLookup(r, ip); }, "Cloudflare DNS lookup failed (HTTP 0)."},
    {true, [](const RecordConfig& r, std::wstring&) { return CloudflareUpdate(r, L"203.0.113.7"); }, "Cloudflare A record update failed for example.com (HTTP 0)."},
    {false, [](const RecordConfig& r, std::wstring& ip) { return GoDaddyLookup(r, ip); }, "GoDaddy DNS lookup failed (HTTP 0)."},
    {false, [](const RecordConfig& r, std::wstring&) { return GoDaddyUpdate(r, L"203.0.113.7"); }, "GoDaddy A record update failed for www (HTTP 0)."},
};
RecordConfig RecordFor(Op op) { return kOps[op].cloudflare ? Cloudflare() : GoDaddy(); }

class ProvidersTest : public ::testing::Test {
 protected:
  // The one request made since the last call, field by field; forgets it.
  void ExpectRequest(const HttpRequest& w) {
    const std::vector<HttpRequest> got = transport_.Requests();
    transport_.Clear();
    ASSERT_EQ(got.size(), 1u);
    const HttpRequest& g = got[0];
    EXPECT_EQ(g.method + L" " + g.host + L" " + g.path + L"\n" + g.headers, w.method + L" " + w.host + L" " + w.path + L"\n" + w.headers);
    EXPECT_EQ(g.body, w.body);
    EXPECT_EQ(g.form, w.form);
  }
  ScratchDir scratch_{"providers"};
  ScriptedTransport transport_;
};

TEST_F(ProvidersTest, PublicIpAnswers) {
  struct Case { HttpResponse reply; std::wstring result; bool logged; };
  const Case cases[] = {
      {Ok("203.0.113.7\n"), L"203.0.113.7", false}, {Ok(" \r\n203.0.113.7 \t"), L"203.0.113.7", false},
      {Status(299, "1.2.3.4 5\n"), L"1.2.3.4 5", false}, {Ok("<html><b>hi</b></html>\r\n"), L"<html><b>hi</b></html>", false},
      {Ok("\xE9"), std::wstring(1, wchar_t(0xFFE9)), false}, {Ok(""), L"", false}, {Status(204, " \r\n\t"), L"", false},
      {Status(503, "busy"), L"", true}, {Status(199, "1.2.3.4"), L"", true}, {Status(300, "1.2.3.4"), L"", true},
      {Unreachable(), L"", true}, {NoSession(), L"", false},
  };
  for (const Case& c : cases) {
    transport_.Set(L"", L"", c.reply);
    EXPECT_EQ(PublicIpLookup(), c.result) << c.reply.body;
    EXPECT_EQ(scratch_.TakeLog(), c.logged ? Lines{"Public IP lookup failed."} : Lines{}) << c.reply.status;
    ExpectRequest({L"GET", kPublicIpHost, L"/", L"", "", ExchangeForm::Short});
  }
}

std::string CfBody(const std::string& name, const std::string& ttl, const char* proxied = "true") {
  return R"({"name":")" + name + R"(","ttl":)" + ttl + R"(,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":)" + proxied + "}";
}

// Every request sent for a record, and the log of a successful update.
TEST_F(ProvidersTest, RequestTable) {
  struct Case { Op op; std::wstring record; std::uint32_t ttl; bool proxied; std::wstring path; std::string body; };
  // clang-format off
  const Case cases[] = {
      {CfLookup, L"www", 3600, true, kCfPath, ""},
      {GdLookup, L"www", 3600, true, kGdPath, ""},
      {CfUpdate, L"@", 3600, true, kCfPath, CfBody("example.com", "3600")},
      {CfUpdate, L"", 3600, true, kCfPath, CfBody("example.com", "3600")},
      {CfUpdate, L"www", 120, true, kCfPath, CfBody("www.example.com", "120")},
      {CfUpdate, L"a.b.c", 3600, true, kCfPath, CfBody("a.b.c", "3600")},
      {CfUpdate, L"we\"ird\\x", 3600, true, kCfPath, CfBody("we\\\"ird\\\\x.example.com", "3600")},
      {CfUpdate, L"caf\u00e9", 3600, true, kCfPath, CfBody("caf\xE9.example.com", "3600")},
      {CfUpdate, L"t\tb", 60, true, kCfPath, CfBody("t\\tb.example.com", "60")},
      {CfUpdate, L"@", 0, false, kCfPath, CfBody("example.com", "0", "false")},
      {CfUpdate, L"@", 4294967295u, false, kCfPath, CfBody("example.com", "4294967295", "false")},
      // GoDaddy always gets ttl 600, the record's own name inside the domain.
      {GdUpdate, L"@", 300, true, L"/v1/domains/example.com/records/A/@", kGdBody},
      {GdUpdate, L"", 300, true, L"/v1/domains/example.com/records/A/@", kGdBody},
      {GdUpdate, L"example.com", 300, true, L"/v1/domains/example.com/records/A/@", kGdBody},
      {GdUpdate, L"Example.COM", 300, true, L"/v1/domains/example.com/records/A/@", kGdBody},
      {GdUpdate, L"www", 300, true, L"/v1/domains/example.com/records/A/www", kGdBody},
      {GdUpdate, L"www.example.com", 300, true, L"/v1/domains/example.com/records/A/www", kGdBody},
      {GdUpdate, L"WWW.Example.Com", 300, true, L"/v1/domains/example.com/records/A/WWW", kGdBody},
      {GdUpdate, L"a.b.example.com", 300, true, L"/v1/domains/example.com/records/A/a.b", kGdBody},
      {GdUpdate, L"a.b.c", 300, true, L"/v1/domains/example.com/records/A/a.b.c", kGdBody},
      {GdUpdate, L"wwwexample.com", 300, true, L"/v1/domains/example.com/records/A/wwwexample.com", kGdBody},
      {GdUpdate, L".example.com", 300, true, L"/v1/domains/example.com/records/A/.example.com", kGdBody},
      {GdUpdate, L"www.example.com.evil", 300, true, L"/v1/domains/example.com/records/A/www.example.com.evil", kGdBody},
  };
  // clang-format on
  for (const Case& c : cases) {
    RecordConfig record = RecordFor(c.op);
    record.record = c.record, record.ttl = c.ttl, record.proxied = c.proxied;
    transport_.Set(L"", L"", Ok(""));
    std::wstring ip;
    EXPECT_TRUE(kOps[c.op].run(record, ip)) << NarrowLow8(c.record);
    const bool put = c.op == CfUpdate || c.op == GdUpdate;
    ExpectRequest({put ? L"PUT" : L"GET", kOps[c.op].cloudflare ? kCloudflareApiHost : kGoDaddyApiHost, c.path,
                   (kOps[c.op].cloudflare ? kCfAuth : kGdAuth) + (put ? kJson : L""), c.body});
    const Lines log = scratch_.TakeLog();
    if (c.op == GdUpdate) EXPECT_EQ(log, (Lines{kGdPut, "GoDaddy A record updated for " + NarrowLow8(c.record) + " to 203.0.113.7."}));
  }
}

TEST_F(ProvidersTest, AnswerTable) {
  const std::string big(200 * 1024, '7');
  const std::string gdDoc = R"({"code":"UNABLE_TO_AUTHENTICATE","message":"Unauthorized : Could not authenticate API key/secret"})";
  const std::string gdBody = R"({"code":"INVALID_BODY","message":"Request body doesn't fulfill schema"})";
  const std::string cfOk = "Cloudflare A record updated for www.example.com to 203.0.113.7.";
  struct Case { Op op; HttpResponse reply; bool ok; std::wstring ip; Lines log; };
  // clang-format off
  const Case cases[] = {
      {CfLookup, Ok(R"({"result":{"id":"rec7","type":"A","content":"198.51.100.4","ttl":1}})"), true, L"198.51.100.4", {}},
      {CfLookup, Ok(R"({"content" : "1.1.1.1","content":"2.2.2.2"})"), true, L"1.1.1.1", {}},
      {CfLookup, Ok(R"({"content":5,"result":{"content":"1.2.3.4"}})"), true, L"1.2.3.4", {}},
      {CfLookup, Ok(R"({"result":{"content":""}})"), true, L"", {}},
      {CfLookup, Ok(R"({"result":{}})"), true, L"", {}},
      {CfLookup, Ok(""), true, L"", {}},
      {CfLookup, Ok(R"({"content":"2001:db8::1"})"), false, L"2001:db8::1", {}},
      {CfLookup, Ok(R"({"content":"198.51.100.4 "})"), false, L"198.51.100.4 ", {}},
      {CfLookup, Ok("{\"content\":\"1.2.3.\xE9\"}"), false, L"1.2.3." + std::wstring(1, wchar_t(0xFFE9)), {}},
      {CfLookup, Ok("{\"content\":\"" + big + "\"}"), false, WidenBytes(big), {}},
      {CfLookup, Ok("{\"content\":\"" + big), true, L"", {}},
      {CfLookup, Status(403, R"({"success":false,"errors":[{"code":9109}]})"), false, L"-", {"Cloudflare DNS lookup failed (HTTP 403)."}},
      {CfLookup, Status(404, ""), false, L"-", {"Cloudflare DNS lookup failed (HTTP 404)."}},
      {CfLookup, CutOff(200, R"({"content":"1.2.3.4")"), false, L"-", {"Cloudflare DNS lookup failed (HTTP 200)."}},
      {CfLookup, Unreachable(), false, L"-", {"Cloudflare DNS lookup failed (HTTP 0)."}},
      {CfLookup, NoSession(), false, L"-", {"Cloudflare DNS lookup failed (HTTP 0)."}},
      {CfUpdate, Ok("{}"), true, L"-", {cfOk}},
      {CfUpdate, Status(204), true, L"-", {cfOk}},
      {CfUpdate, Status(403, R"({"errors":[{"message":"cf-token-123 is not allowed"}]})"), false, L"-", {"Cloudflare A record update failed for example.com (HTTP 403)."}},
      {CfUpdate, CutOff(200, "{"), false, L"-", {"Cloudflare A record update failed for example.com (HTTP 200)."}},
      {CfUpdate, Unreachable(), false, L"-", {"Cloudflare A record update failed for example.com (HTTP 0)."}},
      {GdLookup, Status(401, gdDoc), false, L"-", {"GoDaddy DNS lookup failed (HTTP 401).", "GoDaddy response: " + gdDoc}},
      {GdLookup, Status(404), false, L"-", {"GoDaddy DNS lookup failed (HTTP 404)."}},
      {GdLookup, Status(300, "moved"), false, L"-", {"GoDaddy DNS lookup failed (HTTP 300).", "GoDaddy response: moved"}},
      {GdLookup, CutOff(200, "[{\"type\""), false, L"-", {"GoDaddy DNS lookup failed (HTTP 200).", "GoDaddy response: [{\"type\""}},
      {GdLookup, Unreachable(), false, L"-", {"GoDaddy DNS lookup failed (HTTP 0)."}},
      {GdUpdate, Status(422, gdBody), false, L"-", {kGdPut, "GoDaddy A record update failed for www (HTTP 422).", "GoDaddy response: " + gdBody}},
      {GdUpdate, Status(500), false, L"-", {kGdPut, "GoDaddy A record update failed for www (HTTP 500)."}},
      {GdUpdate, CutOff(200, "{\"co"), false, L"-", {kGdPut, "GoDaddy A record update failed for www (HTTP 200).", "GoDaddy response: {\"co"}},
      {GdUpdate, Unreachable(), false, L"-", {kGdPut, "GoDaddy A record update failed for www (HTTP 0)."}},
  };
  // clang-format on
  for (const Case& c : cases) {
    transport_.Set(L"", L"", c.reply);
    std::wstring ip = L"-";
    EXPECT_EQ(kOps[c.op].run(RecordFor(c.op), ip), c.ok) << c.op << " " << c.reply.body.substr(0, 80);
    EXPECT_EQ(ip, c.ip) << c.op;
    EXPECT_EQ(scratch_.TakeLog(), c.log) << c.op;
    EXPECT_EQ(transport_.Requests().size(), 1u);
    transport_.Clear();
  }
}

// A zone answer in GoDaddy's shape: one flat object per record.
std::string Zone(std::initializer_list<const char*> objects) {
  std::string body = "[";
  for (const char* o : objects) body += std::string(body.size() > 1 ? "," : "") + o;
  return body + "]";
}

TEST_F(ProvidersTest, GoDaddyLookupPicksTheRecord) {
  const char* www = R"({"type":"A","name":"www","data":"198.51.100.4","ttl":600})";
  const char* apex = R"({"type":"A","name":"@","data":"192.0.2.1","ttl":600})";
  struct Case { std::wstring record; std::string body; std::wstring ip; };
  // clang-format off
  const Case cases[] = {
      {L"www", Zone({apex, www}), L"198.51.100.4"}, {L"www.example.com", Zone({apex, www}), L"198.51.100.4"},
      {L"@", Zone({www, apex}), L"192.0.2.1"}, {L"", Zone({www, apex}), L"192.0.2.1"}, {L"example.com", Zone({www, apex}), L"192.0.2.1"},
      {L"WWW", Zone({www}), L""}, {L"mail", Zone({www, apex}), L""},
      {L"www", Zone({R"({"type":"AAAA","name":"www","data":"2001:db8::1"})"}), L""},
      {L"www", Zone({R"({"type":"a","name":"www","data":"198.51.100.4"})"}), L""},
      {L"www", Zone({R"({"type":"A","name":"www","data":""})", R"({"data":"203.0.113.9","name":"www","type":"A"})"}), L"203.0.113.9"},
      {L"www", Zone({R"({"type":"A","name":"www","data":"host.example"})", www}), L"198.51.100.4"},
      {L"www", Zone({R"({"type":"A","name":"www","data":"198.51.100.4 "})"}), L""},
      {L"www", Zone({R"({"type":"A","name":"www","data":"198.51.100.4","meta":{"x":1}})"}), L""},
      {L"www", R"([{"outer":1,"inner":{"type":"A","name":"www","data":"192.0.2.7"}}])", L"192.0.2.7"},
      {L"www", R"([{"type":"A","name":"www","data":"192.0.2.8"}{"type":"A","name":"www","data":"192.0.2.9"}])", L"192.0.2.8"},
      {L"www", "", L""}, {L"www", "[]", L""}, {L"www", "{{{{{{", L""}, {L"www", "}}}]]", L""},
  };
  // clang-format on
  for (const Case& c : cases) {
    transport_.Set(L"", L"", Ok(c.body));
    std::wstring ip = L"untouched";
    EXPECT_TRUE(GoDaddyLookup(GoDaddy(c.record), ip)) << c.body;
    EXPECT_EQ(ip, c.ip) << c.body;
    EXPECT_EQ(scratch_.TakeLog(), Lines{});
  }
}

TEST_F(ProvidersTest, UpdateARecordChoosesByExactProviderText) {
  RecordConfig record = Cloudflare();
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {{L"cloudflare", kCloudflareApiHost}, {L"Cloudflare", kGoDaddyApiHost},
      {L"CLOUDFLARE", kGoDaddyApiHost}, {L"cloudflare ", kGoDaddyApiHost}, {L"godaddy", kGoDaddyApiHost}, {L"", kGoDaddyApiHost}};
  for (const auto& [provider, host] : cases) {
    record.provider = provider;
    transport_.Set(L"", L"", Status(200));
    EXPECT_TRUE(UpdateARecord(record, L"203.0.113.7"));
    const std::vector<HttpRequest> sent = transport_.Requests();
    transport_.Clear();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].host, host) << NarrowLow8(provider);
  }
}

TEST_F(ProvidersTest, FieldsThatWouldReshapeTheRequestAreNeverSent) {
  using F = std::wstring RecordConfig::*;
  struct Case { Op op; F field; std::wstring value; const char* refused; };
  // clang-format off
  const Case cases[] = {
      {CfLookup, &RecordConfig::apiKey, L"k\r\nX-Evil: 1", "apiKey"}, {CfUpdate, &RecordConfig::apiKey, L"k\n", "apiKey"},
      {GdLookup, &RecordConfig::apiKey, L"k\x01", "apiKey"}, {GdUpdate, &RecordConfig::apiKey, L"k\x7f", "apiKey"},
      {CfLookup, &RecordConfig::apiKey, L"k\u00e9", "apiKey"}, {GdLookup, &RecordConfig::apiKey, std::wstring(L"k\0z", 3), "apiKey"},
      {CfLookup, &RecordConfig::zoneId, L"z/../../user/tokens", "zoneId"}, {CfUpdate, &RecordConfig::zoneId, L"..", "zoneId"},
      {CfLookup, &RecordConfig::recordId, L"r?x=1", "recordId"}, {CfUpdate, &RecordConfig::recordId, L"r#f", "recordId"},
      {CfLookup, &RecordConfig::recordId, L".", "recordId"},
      {GdLookup, &RecordConfig::domain, L"example.com%2f", "domain"}, {GdLookup, &RecordConfig::domain, L"a\\b", "domain"},
      {GdUpdate, &RecordConfig::domain, L"exa mple.com", "domain"}, {GdUpdate, &RecordConfig::domain, L"example.com\t", "domain"},
      {GdUpdate, &RecordConfig::domain, L"\u0435xample.com", "domain"},
      {GdUpdate, &RecordConfig::record, L"www/x", "record"}, {GdUpdate, &RecordConfig::record, L"..", "record"},
      {GdUpdate, &RecordConfig::record, L"w\u00e9b", "record"}, {GdUpdate, &RecordConfig::record, L"\x7f", "record"},
      // Sent: allowed characters, or a field that does not reach the path.
      {CfLookup, &RecordConfig::apiKey, L"abc-DEF_1.2~+/= x", nullptr}, {CfLookup, &RecordConfig::zoneId, L"...", nullptr},
      {CfLookup, &RecordConfig::zoneId, L"", nullptr}, {CfUpdate, &RecordConfig::domain, L"a/b", nullptr},
      {GdLookup, &RecordConfig::record, L"www/x", nullptr}, {GdUpdate, &RecordConfig::record, L"*.a-b_c", nullptr},
  };
  // clang-format on
  for (const Case& c : cases) {
    RecordConfig record = RecordFor(c.op);
    record.*(c.field) = c.value;
    transport_.Set(L"", L"", Status(200));
    std::wstring ip;
    const std::string label = std::string(c.refused ? c.refused : "sent") + " " + NarrowLow8(c.value);
    EXPECT_EQ(kOps[c.op].run(record, ip), c.refused == nullptr) << label;
    EXPECT_EQ(transport_.Requests().size(), c.refused ? 0u : 1u) << label;
    transport_.Clear();
    const Lines log = scratch_.TakeLog();
    if (!c.refused) continue;
    Lines expected = {kOps[c.op].unreachable};
    if (c.op == GdUpdate) {
      // The update names the record as logged: one line, DEL shown as '?'.
      std::string name = NarrowLow8(record.record);
      std::replace(name.begin(), name.end(), '\x7f', '?');
      expected = {kGdPut, "GoDaddy A record update failed for " + name + " (HTTP 0)."};
    }
    expected.push_back(std::string("Request not sent: the ") + c.refused + " field holds characters that cannot be sent.");
    EXPECT_EQ(log, expected) << label;
  }
}

TEST_F(ProvidersTest, FirstUnsendableFieldIsNamed) {
  RecordConfig record = GoDaddy(L"a/b");
  record.apiKey = L"bad\n", record.domain = L"bad/";
  EXPECT_FALSE(GoDaddyUpdate(record, L"203.0.113.7"));
  EXPECT_EQ(scratch_.TakeLog().back(), "Request not sent: the apiKey field holds characters that cannot be sent.");
  record.apiKey = L"good";
  EXPECT_FALSE(GoDaddyUpdate(record, L"203.0.113.7"));
  EXPECT_EQ(scratch_.TakeLog().back(), "Request not sent: the domain field holds characters that cannot be sent.");
  EXPECT_TRUE(transport_.Requests().empty());
}

TEST_F(ProvidersTest, ApiKeyNeverReachesTheLog) {
  const std::wstring key = L"K3y\"with\\odd/chars";
  const std::string plain = NarrowLow8(key), escaped = JsonEscape(key);
  const std::string echo = "{\"message\":\"bad key " + plain + "\",\"detail\":\"" + escaped + "\"}" + plain + plain;
  for (const HttpResponse& reply : {Status(401, echo), CutOff(200, echo), Status(500, plain), Unreachable()}) {
    for (const OpInfo& op : kOps) {
      RecordConfig record = op.cloudflare ? Cloudflare() : GoDaddy();
      record.apiKey = key;
      transport_.Set(L"", L"", reply);
      std::wstring ip;
      op.run(record, ip);
    }
  }
  RecordConfig refused = GoDaddy();
  refused.apiKey = key + L"\r\n";
  GoDaddyUpdate(refused, L"203.0.113.7");
  const std::string log = scratch_.ReadBytes("nimbard.log");
  EXPECT_NE(log.find("GoDaddy response: {\"message\":\"bad key ***\",\"detail\":\"***\"}******"), std::string::npos);
  EXPECT_EQ(log.find(plain), std::string::npos);
  EXPECT_EQ(log.find(escaped), std::string::npos);
  EXPECT_EQ(log.find("K3y"), std::string::npos);
}

TEST(MaskSecret, ReplacesEveryFormOfTheKey) {
  struct Case { std::string bytes; std::wstring key; std::string masked; };
  const Case cases[] = {
      {"xKEYyKEY", L"KEY", "x***y***"}, {"KEYKEYKE", L"KEY", "******KE"}, {"", L"KEY", ""}, {"no key here", L"", "no key here"},
      {"a\\\\ a\\", L"a\\", "*** ***"}, {"q\\\" q\"", L"q\"", "*** ***"}, {std::string("\xE9KEY\0KEY", 8), L"KEY", std::string("\xE9***\0***", 8)},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskSecret(c.bytes, c.key), c.masked) << c.bytes;
}

TEST_F(ProvidersTest, HugeAnswersAreHandled) {
  const std::size_t mb5 = 5 * 1024 * 1024;
  std::string zone = "[";  // about 5 MB of zone with the wanted record last
  for (int i = 0; zone.size() < mb5; ++i) zone += R"({"type":"A","name":"host)" + std::to_string(i) + R"(","data":"10.0.0.1","ttl":600},)";
  zone += R"({"type":"A","name":"www","data":"198.51.100.4","ttl":600}])";
  struct Case { std::string body; std::wstring ip; };
  const Case cases[] = {
      {zone, L"198.51.100.4"}, {std::string(mb5, '{'), L""}, {"[{\"name\":\"" + std::string(mb5, '\\') + "}]", L""},
      {"[{\"type\":\"A\",\"name\":\"" + std::string(mb5, 'w') + "\"}]", L""}, {"[{" + std::string(mb5, '\xE9') + "}]", L""}, {std::string(mb5, '\0'), L""},
  };
  for (const Case& c : cases) {
    transport_.Set(L"", L"", Ok(c.body));
    std::wstring ip = L"untouched";
    EXPECT_TRUE(GoDaddyLookup(GoDaddy(), ip));
    EXPECT_EQ(ip, c.ip);
  }
  // A failed lookup logs the start of the answer, not megabytes of it.
  transport_.Set(L"", L"", Status(500, zone));
  std::wstring ip;
  EXPECT_FALSE(GoDaddyLookup(GoDaddy(), ip));
  EXPECT_EQ(scratch_.TakeLog(), (Lines{"GoDaddy DNS lookup failed (HTTP 500).", "GoDaddy response: " + zone.substr(0, 4096) + "..."}));
}

}  // namespace
}  // namespace nimbard
