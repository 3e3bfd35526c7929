// Providers and public address lookup over a scripted transport: requests sent, results, log lines.
#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include <chrono>
#include <string>
#include <vector>

#include "core/text.h"
#include "net/cloudflare.h"
#include "net/dns_provider.h"
#include "net/godaddy.h"
#include "net/public_ip.h"
#include "net/request_fields.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: the scripted answers read as a table
using R = ARecordLookup::Result;

#if defined(__linux__)
// The process's peak resident memory so far; 0 where it is not measured.
std::size_t PeakMemoryBytes() {
  rusage usage{};
  return getrusage(RUSAGE_SELF, &usage) == 0 ? static_cast<std::size_t>(usage.ru_maxrss) * 1024 : 0;
}
#else
std::size_t PeakMemoryBytes() { return 0; }
#endif

const std::wstring kCfPath = L"/client/v4/zones/zone9/dns_records/rec7", kGdPath = L"/v3/domains/zones/example.com/dns-records";
const std::wstring kCfAuth = L"Authorization: Bearer cf-token-123\r\n", kGdAuth = L"Authorization: sso-key gd-key:s3cr3t\r\n";
const std::string kGdBody = R"([{"data":"203.0.113.7","ttl":600}])", kGdPut = "GoDaddy PUT body: " + kGdBody;

// The four provider operations.
enum Op { CfLookup, CfUpdate, GdLookup, GdUpdate };
RecordConfig RecordFor(Op op) {
  if (op <= CfUpdate) return {L"cloudflare", false, L"cf-token-123", L"example.com", L"www", L"zone9", L"rec7"};
  return {L"godaddy", false, L"gd-key:s3cr3t", L"example.com", L"www", {}, {}};
}
std::string CfRecord(const std::string& name, const std::string& type, const std::string& content) {
  return R"({"result":{"id":"rec7","name":")" + name + R"(","type":")" + type + R"(","content":")" + content + R"(","meta":{"auto_added":false},"ttl":1},"success":true})";
}

// What came back, in one line: a lookup's result, address and TTL, or whether an update was accepted; and the cause.
std::string Show(const ARecordLookup& l) {
  const char* names[] = {"Found", "NotFound", "Failed", "InvalidValue", "OtherRecord", "UnknownProvider", "NoZone", "NoRecord", "SeveralRecords"};
  return names[static_cast<int>(l.result)] + (" " + NarrowLow8(l.address + L" " + DecimalText(l.ttl) + L" " + l.otherName + L" " + l.otherType));
}
std::string Show(const RequestFailure& f) {
  std::string out = "HTTP " + std::to_string(f.status) + " error " + std::to_string(f.error) + (f.unsentField ? " unsent " + NarrowLow8(f.unsentField) : "");
  for (const ApiError& e : f.apiErrors) out += " [" + NarrowLow8(e.code + L": " + e.message) + "]";
  return out + (f.retryAfterSeconds ? " retry " + std::to_string(f.retryAfterSeconds) : "");
}

class ProvidersTest : public ::testing::Test {
 protected:
  // Runs `op` on `record` against `reply`; returns the result as Show gives it and keeps the requests in `sent_`.
  std::string Run(Op op, const RecordConfig& record, const HttpResponse& reply, const ARecordLookup& found = {}) {
    transport_.Clear();
    transport_.Set(L"", L"", reply);
    std::string result;
    if (op == CfLookup || op == GdLookup) {
      const ARecordLookup l = LookupRecord(record, RecordType::A);
      result = Show(l) + (l.result == R::Failed ? " " + Show(l.failure) : "");
    } else {
      const ARecordUpdate u = UpdateRecord(record, RecordType::A, L"203.0.113.7", found);
      result = u.accepted ? "accepted" : "refused " + Show(u.failure);
    }
    sent_ = transport_.Requests();
    return result;
  }
  ScratchDir scratch_{"providers"};
  ScriptedTransport transport_;
  std::vector<HttpRequest> sent_;
};

// Who is asked: the provider's name in any ASCII case; an unknown name reaches no one, the credential stays home.
TEST_F(ProvidersTest, ProviderNamesAndRequests) {
  const std::wstring gdA = L"/v1/domains/example.com/records/A/";
  const std::string patch = R"({"content":"203.0.113.7"})";
  // apiKey, when given, replaces the record's key; auth is what it must send. An empty host: nothing sent.
  const struct { Op op; std::wstring provider, record; std::wstring method, host, path; std::string body; const wchar_t *apiKey = nullptr, *auth = nullptr; } cases[] = {
      {CfLookup, L"cloudflare", L"www", L"GET", kCloudflareApiHost, kCfPath, ""}, {CfLookup, L"Cloudflare", L"www", L"GET", kCloudflareApiHost, kCfPath, ""},
      {CfLookup, L"cloudfare", L"www", L"", L"", L"", ""}, {CfUpdate, L"cloudfare", L"www", L"", L"", L"", ""}, {GdLookup, L"go daddy", L"www", L"", L"", L"", ""},
      {GdLookup, L"GoDaddy", L"www", L"GET", kGoDaddyApiHost, kGdPath, ""}, {GdLookup, L"", L"www", L"GET", kGoDaddyApiHost, kGdPath, "", L"gd-token", L"Bearer gd-token"},
      // Cloudflare's update sends the address alone, whatever the record's name, TTL or proxy flag.
      {CfUpdate, L"CLOUDFLARE", L"@", L"PATCH", kCloudflareApiHost, kCfPath, patch, L"cf:token", L"Bearer cf:token"},
      {GdUpdate, L"godaddy", L"", L"PUT", kGoDaddyApiHost, gdA + L"@", kGdBody}, {GdUpdate, L"godaddy", L"Example.COM", L"PUT", kGoDaddyApiHost, gdA + L"@", kGdBody},
      {GdUpdate, L"godaddy", L"www.example.com", L"PUT", kGoDaddyApiHost, gdA + L"www", kGdBody},
      {GdUpdate, L"godaddy", L"www.example.com.evil", L"PUT", kGoDaddyApiHost, gdA + L"www.example.com.evil", kGdBody}};
  for (const auto& c : cases) {
    RecordConfig record = RecordFor(c.op);
    record.provider = c.provider, record.recordName = c.record, record.ttl = 120, record.proxied = false;
    if (c.apiKey) record.apiKey = c.apiKey;
    const std::string result = Run(c.op, record, Ok(""));
    const bool update = c.op == CfUpdate || c.op == GdUpdate;
    SCOPED_TRACE(NarrowLow8(c.provider + L" " + c.record) + " " + result);
    if (c.host.empty()) {
      EXPECT_TRUE(sent_.empty() && scratch_.TakeLog().empty());
      EXPECT_EQ(result, update ? "refused HTTP 0 error 0" : "UnknownProvider  0  ");
      continue;
    }
    ASSERT_EQ(sent_.size(), 1u);
    const HttpRequest& g = sent_[0];
    const std::wstring auth = c.auth ? L"Authorization: " + std::wstring(c.auth) + L"\r\n" : c.host == kCloudflareApiHost ? kCfAuth : kGdAuth;
    EXPECT_EQ(g.method + L" " + g.host + L" " + g.path + L"\n" + g.headers, c.method + L" " + c.host + L" " + c.path + L"\n" + auth + (update ? L"Content-Type: application/json\r\n" : L""));
    EXPECT_EQ(g.body, c.body);
    if (c.op == GdUpdate) { EXPECT_EQ(scratch_.TakeLog(), (Lines{kGdPut, "GoDaddy A record updated for " + NarrowLow8(c.record) + " to 203.0.113.7."})); }
    scratch_.TakeLog();
  }
}

TEST_F(ProvidersTest, AnswerTable) {
  const std::string gdDoc = R"({"code":"UNABLE_TO_AUTHENTICATE","message":"Unauthorized : Could not authenticate API key/secret"})";
  const std::string cfDoc = R"({"success":false,"errors":[{"code":9109,"message":"Unauthorized to access requested resource"},{"code":"x1","message":"\u003cb\u003e"}],"result":null})";
  const std::string gdCause = " [UNABLE_TO_AUTHENTICATE: Unauthorized : Could not authenticate API key/secret]";
  std::string zone = "[";  // about 5 MB of zone with the wanted record last
  while (zone.size() < 5 * 1024 * 1024) zone += R"({"type":"A","name":"host","data":"10.0.0.1","ttl":600},)";
  zone += R"({"type":"A","name":"www","data":"198.51.100.4","ttl":3600}])";
  const auto gd = [](const char* o) { return Ok(std::string("[") + o + "]"); };
  const std::string other = "Cloudflare record rec7 is ";
  const std::string otherTail = ", not the A record www.example.com configured for example.com/www; nothing was changed. Check the Record ID.";
  const struct { Op op; HttpResponse reply; std::string result; Lines log; } cases[] = {
      // Cloudflare: only the A record of the configured name counts (ASCII case ignored); anything else is named.
      {CfLookup, Ok(CfRecord("WWW.Example.com", "A", "198.51.100.4")), "Found 198.51.100.4 0  ", {}},
      {CfLookup, Ok(CfRecord("www.example.com", "A", "")), "NotFound  0  ", {}},
      {CfLookup, Ok(CfRecord("www.example.com", "A", "2001:db8::1")), "InvalidValue 2001:db8::1 0  ", {}},
      {CfLookup, Ok(CfRecord("mail.example.com", "A", "198.51.100.4")), "OtherRecord  0 mail.example.com A", {other + "mail.example.com (A)" + otherTail}},
      {CfLookup, Ok(R"({"content":"198.51.100.4"})"), "OtherRecord  0  ", {other + "? (?)" + otherTail}},
      {CfLookup, Status(403, cfDoc), "Failed  0   HTTP 403 error 0 [9109: Unauthorized to access requested resource] [x1: <b>]", {"Cloudflare DNS lookup failed (HTTP 403)."}},
      // GoDaddy: the first A record of the name with an IPv4 value, and its TTL.
      {GdLookup, Status(401, gdDoc), "Failed  0   HTTP 401 error 0" + gdCause, {"GoDaddy DNS lookup failed (HTTP 401).", "GoDaddy response: " + gdDoc}},
      {GdLookup, Status(429, R"({"code":"TOO_MANY_REQUESTS","message":"slow down","retryAfterSec":30})"), "Failed  0   HTTP 429 error 0 [TOO_MANY_REQUESTS: slow down] retry 30",
       {"GoDaddy DNS lookup failed (HTTP 429).", R"(GoDaddy response: {"code":"TOO_MANY_REQUESTS","message":"slow down","retryAfterSec":30})"}},
      {GdLookup, Status(500, zone), "Failed  0   HTTP 500 error 0", {"GoDaddy DNS lookup failed (HTTP 500).", "GoDaddy response: " + zone.substr(0, 4000) + "..."}},
      {GdLookup, CutOff(200, "[{\"type\""), "Failed  0   HTTP 200 error 12030", {"GoDaddy DNS lookup failed (HTTP 200).", "GoDaddy response: [{\"type\""}},
      {GdLookup, Ok(zone), "Found 198.51.100.4 3600  ", {}},
      {GdLookup, gd(R"({"type":"AAAA","name":"www","data":"2001:db8::1"})"), "NotFound  0  ", {}},
      {GdLookup, gd(R"({"type":"A","name":"www","data":"192.0.2.8"}{"type":"A","name":"www","data":"192.0.2.9"})"), "Found 192.0.2.8 0  ", {}},
      {GdLookup, gd(R"({"type":"A","name":"www","data":"198.51.100.4","meta":{"x":1}})"), "NotFound  0  ", {}},
      {GdLookup, gd(R"({"outer":1,"inner":{"type":"A","name":"www","data":"192.0.2.7"}})"), "Found 192.0.2.7 0  ", {}},
      {GdUpdate, Status(422, gdDoc), "refused HTTP 422 error 0" + gdCause, {kGdPut, "GoDaddy A record update failed for www (HTTP 422).", "GoDaddy response: " + gdDoc}},
      {CfUpdate, Status(400, cfDoc), "refused HTTP 400 error 0 [9109: Unauthorized to access requested resource] [x1: <b>]", {"Cloudflare A record update failed for example.com (HTTP 400)."}}};
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.op, RecordFor(c.op), c.reply), c.result) << c.reply.body.substr(0, 80);
    EXPECT_EQ(sent_.size(), 1u);
    EXPECT_EQ(scratch_.TakeLog(), c.log) << c.op << " " << c.reply.body.substr(0, 80);
  }
}

// GoDaddy's update replaces the record whole: the TTL the lookup found goes back (never below 600); a new record gets 600.
TEST_F(ProvidersTest, GoDaddyKeepsTheTtlItFound) {
  const struct { R found; std::uint32_t ttl; const char* sent; } cases[] = {{R::Found, 3600, "3600"}, {R::Found, 300, "600"}, {R::Found, 0, "600"}, {R::NotFound, 7200, "600"}};
  for (const auto& c : cases) {
    ARecordLookup found;
    found.result = c.found, found.ttl = c.ttl;
    EXPECT_EQ(Run(GdUpdate, RecordFor(GdUpdate), Ok(""), found), "accepted");
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sent_[0].body, std::string(R"([{"data":"203.0.113.7","ttl":)") + c.sent + "}]");
    scratch_.TakeLog();
  }
}

// IDs left empty are found from the names, once: the zone by the domain, the record by its full name and type A; the
// next lookup goes by the IDs found, and a remembered record that has gone is looked for again.
TEST_F(ProvidersTest, CloudflareIdsFromTheNames) {
  const std::wstring zones = L"/client/v4/zones?name=example.com", records = L"/client/v4/zones/z9/dns_records?type=A&name=www.example.com";
  const std::string zone = R"({"result":[{"id":"z9","name":"example.com","status":"active"}],"result_info":{"count":1}})";
  const auto found = [](std::initializer_list<const char*> ids) {
    std::string list;
    for (const char* id : ids) list += std::string(list.empty() ? "" : ",") + R"({"id":")" + id + R"(","name":"www.example.com","type":"A","content":"198.51.100.4","meta":{"a":{"b":1}}})";
    return Ok(R"({"result":[)" + list + R"(],"result_info":{"page":1}})");
  };
  const std::string denied = R"({"success":false,"errors":[{"code":9109,"message":"Unauthorized to access requested resource"}]})";
  const std::string noZone = "Cloudflare has no zone example.com that this token can see; nothing was changed. Check the Domain box, and that the token covers this zone.";
  const struct { const char* name; HttpResponse zones, records, byId; std::string first, second; Lines log; std::size_t asked; } cases[] = {
      {"one match: searched once", Ok(zone), found({"r5"}), Ok(CfRecord("www.example.com", "A", "198.51.100.4")), "Found 198.51.100.4 z9 r5", "Found 198.51.100.4 z9 r5",
       {"Cloudflare IDs of www.example.com: zone z9, record r5."}, 3},
      {"no zone", Ok(R"({"result":[]})"), HttpResponse{}, HttpResponse{}, "NoZone  ", "NoZone  ", Twice({noZone}), 2},
      {"zone search refused", Status(403, denied), HttpResponse{}, HttpResponse{}, "Failed  ", "Failed  ",
       Twice({"Cloudflare zone search for example.com failed (HTTP 403).", "Cause: Cloudflare error 9109 (Unauthorized to access requested resource): finding the Zone ID needs the permission Zone, Zone, Read: add it to the token, or enter the Zone ID."}), 2},
      {"no record", Ok(zone), Ok(R"({"result":[]})"), HttpResponse{}, "NoRecord z9 ", "NoRecord z9 ",
       Twice({"Cloudflare has no A record named www.example.com in example.com; nimbard creates none. Add it in the Cloudflare dashboard (any address), or check the Record box."}), 4},
      {"two records of the name", Ok(zone), found({"r5", "r6"}), HttpResponse{}, "SeveralRecords z9 ", "SeveralRecords z9 ",
       Twice({"Cloudflare has 2 A records named www.example.com in example.com; nimbard changes one record only. Enter the Record ID of the one to keep up to date."}), 4},
      {"a remembered record gone: searched again", Ok(zone), found({"r5"}), Status(404, R"({"errors":[{"code":81044,"message":"Record does not exist."}]})"),
       "Found 198.51.100.4 z9 r5", "Found 198.51.100.4 z9 r5",
       {"Cloudflare IDs of www.example.com: zone z9, record r5.", "Cloudflare record r5 of www.example.com is gone; looking for it by its name.",
        "Cloudflare IDs of www.example.com: zone z9, record r5."}, 5},
  };
  RecordConfig record = RecordFor(CfLookup);
  record.zoneId.clear(), record.recordId.clear();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetCloudflareIds();
    transport_.Clear();
    transport_.Set(L"GET", kCloudflareApiHost, c.zones, zones), transport_.Set(L"GET", kCloudflareApiHost, c.records, records);
    transport_.Set(L"GET", kCloudflareApiHost, c.byId, L"/client/v4/zones/z9/dns_records/r5");
    std::string results;
    for (int pass = 0; pass < 2; ++pass) {
      const ARecordLookup l = LookupRecord(record, RecordType::A);
      results += (pass ? "|" : "") + Show(l).substr(0, Show(l).find(' ')) + (l.address.empty() ? " " : " " + NarrowLow8(l.address) + " ") + NarrowLow8(l.zoneId + L" " + l.recordId);
    }
    EXPECT_EQ(results, c.first + "|" + c.second);
    EXPECT_EQ(scratch_.TakeLog(true), c.log);
    EXPECT_EQ(transport_.Requests().size(), c.asked);
  }
}

// Two echo services, asked in turn until one gives a public address; which one answered, and why the first did
// not, goes to the log.
TEST_F(ProvidersTest, PublicAddressFromTheFirstServiceThatGivesOne) {
  const std::string ipify = "Public IP lookup at api.ipify.org ", asking = " Asking checkip.amazonaws.com.", failed = "Public IP lookup failed.";
  const std::string vpn = ", which is not a public address: a VPN, proxy or sign-in page may be answering.";
  const HttpResponse none;  // never asked
  const struct { HttpResponse first, second; std::wstring address, lastAnswer; bool answered; Lines log; } cases[] = {
      {Ok(" \r\n203.0.113.7 \t"), none, L"203.0.113.7", L"", true, {}},
      {Status(503, "busy"), Ok("192.0.2.9\n"), L"192.0.2.9", L"", true, {ipify + "failed (HTTP 503)." + asking, "Public IP from checkip.amazonaws.com: 192.0.2.9."}},
      {Ok("10.1.2.3"), Unreachable(), L"", L"10.1.2.3", true, {ipify + "returned 10.1.2.3" + vpn, failed}},
      {Ok("<html>sign in</html>"), Ok("100.64.0.1"), L"", L"100.64.0.1", true,
       {ipify + "returned an invalid IPv4 address: <html>sign in</html>." + asking, "Public IP lookup at checkip.amazonaws.com returned 100.64.0.1" + vpn, failed}},
      {Unreachable(), Ok("not an address"), L"", L"not an address", true, {ipify + "failed (HTTP 0)." + asking, failed}},
      {Unreachable(), Unreachable(), L"", L"", false, {ipify + "failed (HTTP 0)." + asking, failed}},
      {NoSession(), none, L"", L"", false, {}}};
  for (const auto& c : cases) {
    transport_.Clear();
    transport_.Set(L"GET", kPublicIpHost, c.first), transport_.Set(L"GET", kPublicIpFallbackHost, c.second);
    const PublicAddress a = PublicIpLookup();
    EXPECT_EQ(NarrowLow8(a.address + L"|" + a.lastAnswer) + (a.answered ? "|answered" : "|silent"), NarrowLow8(c.address + L"|" + c.lastAnswer) + (c.answered ? "|answered" : "|silent"));
    EXPECT_EQ(scratch_.TakeLog(), c.log) << c.first.body;
    std::wstring asked;
    for (const HttpRequest& r : transport_.Requests()) asked += r.host + r.path + (r.headers.empty() && r.form == ExchangeForm::Short ? L" " : L"!");
    EXPECT_EQ(asked, std::wstring(kPublicIpHost) + L"/ " + (c.second.status || c.second.fault != ExchangeFault::None ? kPublicIpFallbackHost + std::wstring(L"/ ") : L""));
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
    const std::string result = Run(c.op, record, Status(200));
    EXPECT_EQ(sent_.size(), c.refused ? 0u : 1u) << NarrowLow8(c.value);
    if (!c.refused) continue;
    EXPECT_NE(result.find(std::string("HTTP 0 error 0 unsent ") + c.refused), std::string::npos) << result;
    const std::string why = std::string("Request not sent: the ") + c.refused + " field holds characters that cannot be sent.";
    EXPECT_EQ(scratch_.TakeLog(), c.op == GdUpdate ? Lines({kGdPut, c.first, why}) : Lines({c.first, why}));
  }
}

// Answers of a million elements or characters: at most 5 errors kept, each text at most 300 characters, no log line
// past 4 KiB, and little time and memory spent.
TEST_F(ProvidersTest, ErrorsAreBoundedWhateverTheAnswerHolds) {
  const auto times = [](const std::string& piece, std::size_t n) { std::string out; for (; n; --n) out += piece; return out; };
  const std::string ones = "{\"errors\":[" + times("1,", 8 * 1024 * 1024) + "1]}";  // 16 MiB
  const std::string many = "{\"errors\":[" + times(R"({"code":1000,"message":"m"},)", 1000000) + "1]}";
  const std::string mega = std::string(1000000, 'x'), cutText = std::string(297, 'x') + "...";
  const std::string gdFields = R"({"code":"INVALID_BODY","message":"bad","fields":[)" + times(R"({"code":"MISMATCH_FORMAT","path":"records[0].data"},)", 1000000) + "1]}";
  const struct { Op op; std::string body; std::string errors; } cases[] = {
      {CfLookup, ones, ""},
      {CfLookup, "{\"errors\":" + std::string(8 * 1024 * 1024, '[') + "}", ""},
      {CfLookup, many, times(" [1000: m]", 5)},
      {CfUpdate, R"({"errors":[1,"x",{"code":7003,"message":")" + mega + R"("},{"code":")" + mega + R"("}]})", " [7003: " + cutText + "] [" + cutText + ": ]"},
      {GdLookup, gdFields, " [INVALID_BODY: bad]" + times(" [MISMATCH_FORMAT: ]", 4)},
      {GdLookup, R"({"code":"X","message":")" + mega + R"(","fields":[)" + times("1,", 8 * 1024 * 1024) + "1]}", " [X: " + cutText + "]"},
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const std::size_t rssBefore = PeakMemoryBytes();
    const std::string result = Run(c.op, RecordFor(c.op), Status(403, c.body));
    const std::string expected = (c.op == CfUpdate ? "refused HTTP 403 error 0" : "Failed  0   HTTP 403 error 0") + c.errors;
    EXPECT_EQ(result, expected) << c.body.substr(0, 40);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << c.body.substr(0, 40);
    // A few copies of the answer on its way (transport, exchange, masking), never a structure per element.
    if (rssBefore) {
      EXPECT_LT(PeakMemoryBytes() - rssBefore, 8 * c.body.size() + (32u << 20)) << c.body.substr(0, 40);
    }
    for (const std::string& line : scratch_.TakeLog(true)) EXPECT_LE(line.size() + 24, 4096u) << line.substr(0, 80);
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
      record.apiKey = key, Run(op, record, reply);
    }
  const std::string log = scratch_.ReadBytes("nimbard.log");
  EXPECT_NE(log.find("GoDaddy response: {\"message\":\"bad key ***\",\"detail\":\"***\",\"secret\":\"***\"}***"), std::string::npos);
  EXPECT_EQ(log.find("S3c"), std::string::npos);
}

// The AAAA record: Cloudflare finds it by name (the Record ID is the A record's) and then asks by the ID found;
// GoDaddy reads the zone's AAAA entry of the name and PUTs to the AAAA path with the TTL found, at least 600.
TEST_F(ProvidersTest, AaaaRecordsFoundAndUpdated) {
  const std::wstring search = L"/client/v4/zones/zone9/dns_records?type=AAAA&name=www.example.com";
  const std::string cfFound = R"({"result":[{"id":"v6","name":"www.example.com","type":"AAAA","content":"2001:DB8::5"}]})";
  const std::string gdZone = R"([{"type":"A","name":"www","data":"203.0.113.7","ttl":900},{"type":"AAAA","name":"mail","data":"2001:db8::9","ttl":900},)";
  struct Case {
    const char* name;
    Op op;
    std::wstring path;  // where the answer below is given; any other request answers 404
    std::string answer, found, asked;
    Lines log;
  };
  const Case cases[] = {
      {"cf found by name, then by its ID", CfLookup, search, cfFound, "Found 2001:DB8::5 0  ",
       "GET ?type=AAAA&name=www.example.com, PATCH /v6 {\"content\":\"2001:db8::10\"}, GET /v6",
       {"Cloudflare IDs of www.example.com (AAAA): zone zone9, record v6.", "Cloudflare AAAA record updated for www.example.com to 2001:db8::10."}},
      {"cf none: nothing made", CfLookup, search, R"({"result":[]})", "NoRecord  0  ", "GET ?type=AAAA&name=www.example.com",
       {"Cloudflare has no AAAA record named www.example.com in example.com; nimbard creates none. Add it in the Cloudflare dashboard (2001:db8::1 will do), or keep only the A record of this name."}},
      {"gd its TTL kept", GdLookup, kGdPath, gdZone + R"({"type":"AAAA","name":"www","data":"2001:db8::5","ttl":1200}])", "Found 2001:db8::5 1200  ",
       "GET /v3/domains/zones/example.com/dns-records, PUT /v1/domains/example.com/records/AAAA/www [{\"data\":\"2001:db8::10\",\"ttl\":1200}]",
       {"GoDaddy PUT body: [{\"data\":\"2001:db8::10\",\"ttl\":1200}]", "GoDaddy AAAA record updated for www to 2001:db8::10."}},
      {"gd short TTL raised, an IPv4 value is none", GdLookup, kGdPath, gdZone + R"({"type":"AAAA","name":"www","data":"192.0.2.1","ttl":300}])", "NotFound  0  ",
       "GET /v3/domains/zones/example.com/dns-records, PUT /v1/domains/example.com/records/AAAA/www [{\"data\":\"2001:db8::10\",\"ttl\":600}]",
       {"GoDaddy PUT body: [{\"data\":\"2001:db8::10\",\"ttl\":600}]", "GoDaddy AAAA record updated for www to 2001:db8::10."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetCloudflareIds(), transport_.Clear(), scratch_.TakeLog();
    const RecordConfig record = RecordFor(c.op);
    const std::wstring host = c.op == CfLookup ? kCloudflareApiHost : kGoDaddyApiHost;
    transport_.Set(L"GET", host, Status(404)), transport_.Set(L"GET", host, Ok(c.answer), c.path);
    transport_.Set(L"PATCH", host, Ok("{}")), transport_.Set(L"PUT", host, Ok(""));
    transport_.Set(L"GET", host, Ok(R"({"result":{"id":"v6","name":"www.example.com","type":"AAAA","content":"2001:db8::10"}})"), L"/client/v4/zones/zone9/dns_records/v6");
    const ARecordLookup found = LookupRecord(record, RecordType::AAAA);
    EXPECT_EQ(Show(found), c.found);
    if (found.result == R::Found || found.result == R::NotFound) {
      EXPECT_TRUE(UpdateRecord(record, RecordType::AAAA, L"2001:db8::10", found).accepted);
      if (c.op == CfLookup) {
        EXPECT_EQ(Show(LookupRecord(record, RecordType::AAAA)), "Found 2001:db8::10 0  ");
      }
    }
    std::string asked;
    for (const HttpRequest& r : transport_.Requests()) {
      std::wstring path = r.path;
      if (path.rfind(L"/client/v4/zones/zone9/dns_records", 0) == 0) path = path.substr(34);
      asked += (asked.empty() ? "" : ", ") + NarrowLow8(r.method + L" " + path) + (r.body.empty() ? "" : " " + r.body);
    }
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(scratch_.TakeLog(), c.log);
  }
  // A failed lookup's line names the type.
  transport_.Clear(), transport_.Set(L"GET", kGoDaddyApiHost, Status(500));
  EXPECT_EQ(LookupRecord(RecordFor(GdLookup), RecordType::AAAA).result, R::Failed);
  const Lines log = scratch_.TakeLog();
  EXPECT_TRUE(!log.empty() && log[0] == "GoDaddy AAAA lookup failed (HTTP 500).") << (log.empty() ? "" : log[0]);
}

}  // namespace
}  // namespace nimbard
