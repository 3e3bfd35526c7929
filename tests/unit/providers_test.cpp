// The DNS providers and the public address lookup, driven through a scripted
// transport: the exact requests they send, what they return and every line
// they log for each kind of answer.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/text.h"
#include "net/api_hosts.h"
#include "net/cloudflare.h"
#include "net/godaddy.h"
#include "net/http_exchange.h"
#include "net/public_ip.h"
#include "net/request_fields.h"
#include "unit/engine_test_support.h"

namespace nimbard {
namespace {

using Lines = std::vector<std::string>;

HttpResponse Answer(std::uint32_t status, std::string body = {}) {
  HttpResponse r;
  r.sessionOpened = true;
  r.completed = true;
  r.status = status;
  r.body = std::move(body);
  return r;
}
HttpResponse Unreachable() {  // connect or send failed
  HttpResponse r;
  r.sessionOpened = true;
  return r;
}
HttpResponse NoSession() { return HttpResponse{}; }
HttpResponse CutOff(std::uint32_t status, std::string partial) {  // body read failed
  HttpResponse r = Answer(status, std::move(partial));
  r.completed = false;
  return r;
}

// Answers in the order scripted and keeps every request whole.
class RecordingTransport : public HttpTransport {
 public:
  HttpResponse Exchange(const HttpRequest& request) override {
    requests.push_back(request);
    if (replies.empty()) return Unreachable();
    HttpResponse reply = replies.front();
    replies.pop_front();
    return reply;
  }
  std::vector<HttpRequest> requests;
  std::deque<HttpResponse> replies;
};

const std::wstring kCloudflarePath = L"/client/v4/zones/zone9/dns_records/rec7";
const std::wstring kCloudflareAuth = L"Authorization: Bearer cf-token-123\r\n";
const std::wstring kGoDaddyAuth = L"Authorization: Bearer gd-key:secret\r\n";
const std::wstring kJson = L"Content-Type: application/json\r\n";

RecordConfig Cloudflare(std::wstring record = L"www") {
  RecordConfig r;
  r.provider = L"cloudflare";
  r.apiKey = L"cf-token-123";
  r.domain = L"example.com";
  r.record = std::move(record);
  r.zoneId = L"zone9";
  r.recordId = L"rec7";
  return r;
}
RecordConfig GoDaddy(std::wstring record = L"www") {
  RecordConfig r;
  r.apiKey = L"gd-key:secret";
  r.domain = L"example.com";
  r.record = std::move(record);
  return r;
}

class ProvidersTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetHttpTransport(&fake_); }
  void TearDown() override { SetHttpTransport(previous_); }
  void Reply(HttpResponse r) { fake_.replies.push_back(std::move(r)); }
  std::string LogBytes() const { return scratch_.ReadBytes("nimbard.log"); }
  // The log's messages; the log is emptied so that each case of a table
  // starts afresh.
  Lines TakeLog() {
    Lines lines;
    for (const std::wstring& message : scratch_.LogMessages()) lines.push_back(NarrowLow8(message));
    scratch_.Remove("nimbard.log");
    return lines;
  }
  // The one request made since the last check, field by field.
  void ExpectRequest(const HttpRequest& want) {
    const HttpRequest got = OnlyRequest();
    EXPECT_EQ(got.method, want.method);
    EXPECT_EQ(got.host, want.host);
    EXPECT_EQ(got.path, want.path);
    EXPECT_EQ(got.headers, want.headers);
    EXPECT_EQ(got.body, want.body);
    EXPECT_EQ(got.form, want.form);
  }
  HttpRequest OnlyRequest() {
    EXPECT_EQ(fake_.requests.size(), 1u);
    HttpRequest r = fake_.requests.empty() ? HttpRequest{} : fake_.requests.back();
    fake_.requests.clear();
    return r;
  }

  testing::ScratchDir scratch_{"providers"};
  RecordingTransport fake_;
  HttpTransport* previous_ = nullptr;
};

TEST_F(ProvidersTest, PublicIpAnswers) {
  struct Case { HttpResponse reply; std::wstring result; Lines log; } cases[] = {
    {Answer(200, "203.0.113.7\n"), L"203.0.113.7", {}},
    {Answer(200, " \r\n203.0.113.7 \t"), L"203.0.113.7", {}},
    {Answer(299, "1.2.3.4 5\n"), L"1.2.3.4 5", {}},
    {Answer(200, "<html><b>hi</b></html>\r\n"), L"<html><b>hi</b></html>", {}},
    {Answer(200, "\xE9"), std::wstring(1, wchar_t(0xFFE9)), {}},
    {Answer(200, ""), L"", {}},
    {Answer(204, " \r\n\t"), L"", {}},
    {Answer(503, "busy"), L"", {"Public IP lookup failed."}},
    {Answer(199, "1.2.3.4"), L"", {"Public IP lookup failed."}},
    {Answer(300, "1.2.3.4"), L"", {"Public IP lookup failed."}},
    {Unreachable(), L"", {"Public IP lookup failed."}},
    {NoSession(), L"", {}},
  };
  for (const Case& c : cases) {
    Reply(c.reply);
    EXPECT_EQ(PublicIpLookup(), c.result) << c.reply.body;
    EXPECT_EQ(TakeLog(), c.log) << c.reply.status;
    ExpectRequest({L"GET", kPublicIpHost, L"/", L"", "", ExchangeForm::Short});
  }
}

TEST_F(ProvidersTest, CloudflareUpdateRequest) {
  struct Case { std::wstring record; std::uint32_t ttl; bool proxied; std::string body; } cases[] = {
    {L"@", 3600, true, R"({"name":"example.com","ttl":3600,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":true})"},
    {L"", 3600, true, R"({"name":"example.com","ttl":3600,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":true})"},
    {L"www", 120, true, R"({"name":"www.example.com","ttl":120,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":true})"},
    {L"a.b.c", 3600, true, R"({"name":"a.b.c","ttl":3600,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":true})"},
    {L"we\"ird\\x", 3600, true, R"({"name":"we\"ird\\x.example.com","ttl":3600,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":true})"},
    {L"caf\u00e9", 3600, true, "{\"name\":\"caf\xE9.example.com\",\"ttl\":3600,\"type\":\"A\",\"content\":\"203.0.113.7\",\"private_routing\":false,\"proxied\":true}"},
    {L"t\tb", 60, true, R"({"name":"t\tb.example.com","ttl":60,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":true})"},
    {L"@", 0, false, R"({"name":"example.com","ttl":0,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":false})"},
    {L"@", 4294967295u, false, R"({"name":"example.com","ttl":4294967295,"type":"A","content":"203.0.113.7","private_routing":false,"proxied":false})"},
  };
  for (const Case& c : cases) {
    RecordConfig record = Cloudflare(c.record);
    record.ttl = c.ttl;
    record.proxied = c.proxied;
    Reply(Answer(200, R"({"success":true})"));
    EXPECT_TRUE(CloudflareUpdate(record, L"203.0.113.7"));
    ExpectRequest({L"PUT", kCloudflareApiHost, kCloudflarePath, kCloudflareAuth + kJson, c.body});
  }
  TakeLog();
}

TEST_F(ProvidersTest, CloudflareLookupAnswers) {
  const std::wstring kUntouched = L"untouched";
  const std::string big(200 * 1024, '7');
  struct Case { HttpResponse reply; bool ok; std::wstring ip; Lines log; } cases[] = {
    {Answer(200, R"({"result":{"id":"rec7","type":"A","content":"198.51.100.4","ttl":1}})"), true, L"198.51.100.4", {}},
    {Answer(200, R"({"content" : "1.1.1.1","content":"2.2.2.2"})"), true, L"1.1.1.1", {}},
    {Answer(200, R"({"content":5,"result":{"content":"1.2.3.4"}})"), true, L"1.2.3.4", {}},
    {Answer(200, R"({"result":{"content":""}})"), true, L"", {}},
    {Answer(200, R"({"result":{}})"), true, L"", {}},
    {Answer(200, ""), true, L"", {}},
    {Answer(200, R"({"content":"2001:db8::1"})"), false, L"2001:db8::1", {}},
    {Answer(200, R"({"content":"198.51.100.4 "})"), false, L"198.51.100.4 ", {}},
    {Answer(200, "{\"content\":\"1.2.3.\xE9\"}"), false, L"1.2.3." + std::wstring(1, wchar_t(0xFFE9)), {}},
    {Answer(200, "{\"content\":\"" + big + "\"}"), false, WidenBytes(big), {}},
    {Answer(200, "{\"content\":\"" + big), true, L"", {}},
    {Answer(403, R"({"success":false,"errors":[{"code":9109}]})"), false, kUntouched, {"Cloudflare DNS lookup failed (HTTP 403)."}},
    {Answer(404, ""), false, kUntouched, {"Cloudflare DNS lookup failed (HTTP 404)."}},
    {CutOff(200, R"({"content":"1.2.3.4")"), false, kUntouched, {"Cloudflare DNS lookup failed (HTTP 200)."}},
    {Unreachable(), false, kUntouched, {"Cloudflare DNS lookup failed (HTTP 0)."}},
    {NoSession(), false, kUntouched, {"Cloudflare DNS lookup failed (HTTP 0)."}},
  };
  for (const Case& c : cases) {
    Reply(c.reply);
    std::wstring ip = kUntouched;
    EXPECT_EQ(CloudflareLookup(Cloudflare(), ip), c.ok) << c.reply.body.substr(0, 80);
    EXPECT_EQ(ip, c.ip);
    EXPECT_EQ(TakeLog(), c.log);
    ExpectRequest({L"GET", kCloudflareApiHost, kCloudflarePath, kCloudflareAuth, ""});
  }
}

TEST_F(ProvidersTest, CloudflareUpdateOutcomes) {
  struct Case { HttpResponse reply; bool ok; Lines log; } cases[] = {
    {Answer(200, "{}"), true, {"Cloudflare A record updated for www.example.com to 203.0.113.7."}},
    {Answer(204), true, {"Cloudflare A record updated for www.example.com to 203.0.113.7."}},
    {Answer(403, R"({"errors":[{"message":"cf-token-123 is not allowed"}]})"), false,
     {"Cloudflare A record update failed for example.com (HTTP 403)."}},
    {CutOff(200, "{"), false, {"Cloudflare A record update failed for example.com (HTTP 200)."}},
    {Unreachable(), false, {"Cloudflare A record update failed for example.com (HTTP 0)."}},
  };
  for (const Case& c : cases) {
    Reply(c.reply);
    EXPECT_EQ(CloudflareUpdate(Cloudflare(), L"203.0.113.7"), c.ok);
    EXPECT_EQ(TakeLog(), c.log);
    OnlyRequest();
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
  struct Case { std::wstring record; std::string body; std::wstring ip; } cases[] = {
    {L"www", Zone({apex, www}), L"198.51.100.4"},
    {L"www.example.com", Zone({apex, www}), L"198.51.100.4"},
    {L"@", Zone({www, apex}), L"192.0.2.1"},
    {L"", Zone({www, apex}), L"192.0.2.1"},
    {L"example.com", Zone({www, apex}), L"192.0.2.1"},
    {L"WWW", Zone({www}), L""},
    {L"mail", Zone({www, apex}), L""},
    {L"www", Zone({R"({"type":"AAAA","name":"www","data":"2001:db8::1"})"}), L""},
    {L"www", Zone({R"({"type":"a","name":"www","data":"198.51.100.4"})"}), L""},
    {L"www", Zone({R"({"type":"A","name":"www","data":""})", R"({"data":"203.0.113.9","name":"www","type":"A"})"}), L"203.0.113.9"},
    {L"www", Zone({R"({"type":"A","name":"www","data":"host.example"})", www}), L"198.51.100.4"},
    {L"www", Zone({R"({"type":"A","name":"www","data":"198.51.100.4 "})"}), L""},
    {L"www", Zone({R"({"type":"A","name":"www","data":"198.51.100.4","meta":{"x":1}})"}), L""},
    {L"www", R"([{"outer":1,"inner":{"type":"A","name":"www","data":"192.0.2.7"}}])", L"192.0.2.7"},
    {L"www", R"([{"type":"A","name":"www","data":"192.0.2.8"}{"type":"A","name":"www","data":"192.0.2.9"}])", L"192.0.2.8"},
    {L"www", "", L""},
    {L"www", "[]", L""},
    {L"www", "{{{{{{", L""},
    {L"www", "}}}]]", L""},
  };
  for (const Case& c : cases) {
    Reply(Answer(200, c.body));
    std::wstring ip = L"untouched";
    EXPECT_TRUE(GoDaddyLookup(GoDaddy(c.record), ip)) << c.body;
    EXPECT_EQ(ip, c.ip) << c.body;
    EXPECT_EQ(TakeLog(), Lines{});
    ExpectRequest({L"GET", kGoDaddyApiHost, L"/v3/domains/zones/example.com/dns-records", kGoDaddyAuth, ""});
  }
}

TEST_F(ProvidersTest, GoDaddyLookupFailures) {
  const std::string doc = R"({"code":"UNABLE_TO_AUTHENTICATE","message":"Unauthorized : Could not authenticate API key/secret"})";
  struct Case { HttpResponse reply; Lines log; } cases[] = {
    {Answer(401, doc), {"GoDaddy DNS lookup failed (HTTP 401).", "GoDaddy response: " + doc}},
    {Answer(404), {"GoDaddy DNS lookup failed (HTTP 404)."}},
    {Answer(300, "moved"), {"GoDaddy DNS lookup failed (HTTP 300).", "GoDaddy response: moved"}},
    {CutOff(200, "[{\"type\""), {"GoDaddy DNS lookup failed (HTTP 200).", "GoDaddy response: [{\"type\""}},
    {Unreachable(), {"GoDaddy DNS lookup failed (HTTP 0)."}},
  };
  for (const Case& c : cases) {
    Reply(c.reply);
    std::wstring ip = L"untouched";
    EXPECT_FALSE(GoDaddyLookup(GoDaddy(), ip));
    EXPECT_EQ(ip, L"untouched");
    EXPECT_EQ(TakeLog(), c.log);
    OnlyRequest();
  }
}

TEST_F(ProvidersTest, GoDaddyUpdateRequest) {
  struct Case { std::wstring record; std::wstring path; } cases[] = {
    {L"@", L"/v1/domains/example.com/records/A/@"},
    {L"", L"/v1/domains/example.com/records/A/@"},
    {L"example.com", L"/v1/domains/example.com/records/A/@"},
    {L"Example.COM", L"/v1/domains/example.com/records/A/@"},
    {L"www", L"/v1/domains/example.com/records/A/www"},
    {L"www.example.com", L"/v1/domains/example.com/records/A/www"},
    {L"WWW.Example.Com", L"/v1/domains/example.com/records/A/WWW"},
    {L"a.b.example.com", L"/v1/domains/example.com/records/A/a.b"},
    {L"a.b.c", L"/v1/domains/example.com/records/A/a.b.c"},
    {L"wwwexample.com", L"/v1/domains/example.com/records/A/wwwexample.com"},
    {L".example.com", L"/v1/domains/example.com/records/A/.example.com"},
    {L"www.example.com.evil", L"/v1/domains/example.com/records/A/www.example.com.evil"},
  };
  for (const Case& c : cases) {
    RecordConfig record = GoDaddy(c.record);
    record.ttl = 300;  // GoDaddy always gets 600
    Reply(Answer(200));
    EXPECT_TRUE(GoDaddyUpdate(record, L"203.0.113.7"));
    ExpectRequest({L"PUT", kGoDaddyApiHost, c.path, kGoDaddyAuth + kJson, R"([{"data":"203.0.113.7","ttl":600}])"});
    EXPECT_EQ(TakeLog(), (Lines{R"(GoDaddy PUT body: [{"data":"203.0.113.7","ttl":600}])",
                                "GoDaddy A record updated for " + NarrowLow8(c.record) + " to 203.0.113.7."}));
  }
}

TEST_F(ProvidersTest, GoDaddyUpdateFailures) {
  const std::string put = R"(GoDaddy PUT body: [{"data":"203.0.113.7","ttl":600}])";
  const std::string doc = R"({"code":"INVALID_BODY","message":"Request body doesn't fulfill schema"})";
  struct Case { HttpResponse reply; Lines log; } cases[] = {
    {Answer(422, doc), {put, "GoDaddy A record update failed for www (HTTP 422).", "GoDaddy response: " + doc}},
    {Answer(500), {put, "GoDaddy A record update failed for www (HTTP 500)."}},
    {CutOff(200, "{\"co"), {put, "GoDaddy A record update failed for www (HTTP 200).", "GoDaddy response: {\"co"}},
    {Unreachable(), {put, "GoDaddy A record update failed for www (HTTP 0)."}},
  };
  for (const Case& c : cases) {
    Reply(c.reply);
    EXPECT_FALSE(GoDaddyUpdate(GoDaddy(), L"203.0.113.7"));
    EXPECT_EQ(TakeLog(), c.log);
    OnlyRequest();
  }
}

TEST_F(ProvidersTest, UpdateARecordChoosesByExactProviderText) {
  struct Case { const wchar_t* provider; const wchar_t* host; } cases[] = {
    {L"cloudflare", kCloudflareApiHost}, {L"Cloudflare", kGoDaddyApiHost},
    {L"CLOUDFLARE", kGoDaddyApiHost},    {L"cloudflare ", kGoDaddyApiHost},
    {L"godaddy", kGoDaddyApiHost},       {L"", kGoDaddyApiHost},
  };
  for (const Case& c : cases) {
    RecordConfig record = Cloudflare();
    record.provider = c.provider;
    Reply(Answer(200));
    EXPECT_TRUE(UpdateARecord(record, L"203.0.113.7"));
    EXPECT_EQ(OnlyRequest().host, c.host) << NarrowLow8(c.provider);
  }
  TakeLog();
}

enum class Op { CfLookup, CfUpdate, GdLookup, GdUpdate };

TEST_F(ProvidersTest, FieldsThatWouldReshapeTheRequestAreNeverSent) {
  using F = std::wstring RecordConfig::*;
  struct Case { Op op; F field; std::wstring value; const char* refused; } cases[] = {
    {Op::CfLookup, &RecordConfig::apiKey, L"k\r\nX-Evil: 1", "apiKey"},
    {Op::CfUpdate, &RecordConfig::apiKey, L"k\n", "apiKey"},
    {Op::GdLookup, &RecordConfig::apiKey, L"k\x01", "apiKey"},
    {Op::GdUpdate, &RecordConfig::apiKey, L"k\x7f", "apiKey"},
    {Op::CfLookup, &RecordConfig::apiKey, L"k\u00e9", "apiKey"},
    {Op::GdLookup, &RecordConfig::apiKey, std::wstring(L"k\0z", 3), "apiKey"},
    {Op::CfLookup, &RecordConfig::zoneId, L"z/../../user/tokens", "zoneId"},
    {Op::CfUpdate, &RecordConfig::zoneId, L"..", "zoneId"},
    {Op::CfLookup, &RecordConfig::recordId, L"r?x=1", "recordId"},
    {Op::CfUpdate, &RecordConfig::recordId, L"r#f", "recordId"},
    {Op::CfLookup, &RecordConfig::recordId, L".", "recordId"},
    {Op::GdLookup, &RecordConfig::domain, L"example.com%2f", "domain"},
    {Op::GdLookup, &RecordConfig::domain, L"a\\b", "domain"},
    {Op::GdUpdate, &RecordConfig::domain, L"exa mple.com", "domain"},
    {Op::GdUpdate, &RecordConfig::domain, L"example.com\t", "domain"},
    {Op::GdUpdate, &RecordConfig::domain, L"\u0435xample.com", "domain"},
    {Op::GdUpdate, &RecordConfig::record, L"www/x", "record"},
    {Op::GdUpdate, &RecordConfig::record, L"..", "record"},
    {Op::GdUpdate, &RecordConfig::record, L"w\u00e9b", "record"},
    {Op::GdUpdate, &RecordConfig::record, L"\x7f", "record"},
    // Sent: allowed characters, or a field that does not reach the path.
    {Op::CfLookup, &RecordConfig::apiKey, L"abc-DEF_1.2~+/= x", nullptr},
    {Op::CfLookup, &RecordConfig::zoneId, L"...", nullptr},
    {Op::CfLookup, &RecordConfig::zoneId, L"", nullptr},
    {Op::CfUpdate, &RecordConfig::domain, L"a/b", nullptr},
    {Op::GdLookup, &RecordConfig::record, L"www/x", nullptr},
    {Op::GdUpdate, &RecordConfig::record, L"*.a-b_c", nullptr},
  };
  for (const Case& c : cases) {
    RecordConfig record = (c.op == Op::CfLookup || c.op == Op::CfUpdate) ? Cloudflare() : GoDaddy();
    record.*(c.field) = c.value;
    Reply(Answer(200));
    std::wstring ip;
    bool ok = false;
    switch (c.op) {
      case Op::CfLookup: ok = CloudflareLookup(record, ip); break;
      case Op::CfUpdate: ok = CloudflareUpdate(record, L"203.0.113.7"); break;
      case Op::GdLookup: ok = GoDaddyLookup(record, ip); break;
      case Op::GdUpdate: ok = GoDaddyUpdate(record, L"203.0.113.7"); break;
    }
    const Lines log = TakeLog();
    // The log keeps one line per entry: line breaks show as blanks, other
    // control characters as '?'.
    auto AsLogged = [](std::string text) {
      for (char& ch : text) {
        if (ch == '\r' || ch == '\n') ch = ' ';
        else if ((ch >= 0 && ch < 0x20 && ch != '\t') || ch == 0x7F) ch = '?';
      }
      return text;
    };
    const std::string label = std::string(c.refused ? c.refused : "sent") + " " + NarrowLow8(c.value);
    EXPECT_EQ(ok, c.refused == nullptr) << label;
    EXPECT_EQ(fake_.requests.size(), c.refused ? 0u : 1u) << label;
    fake_.requests.clear();
    fake_.replies.clear();
    if (!c.refused) continue;
    Lines expected;
    switch (c.op) {
      case Op::CfLookup: expected = {"Cloudflare DNS lookup failed (HTTP 0)."}; break;
      case Op::CfUpdate: expected = {"Cloudflare A record update failed for example.com (HTTP 0)."}; break;
      case Op::GdLookup: expected = {"GoDaddy DNS lookup failed (HTTP 0)."}; break;
      case Op::GdUpdate:
        expected = {R"(GoDaddy PUT body: [{"data":"203.0.113.7","ttl":600}])",
                    "GoDaddy A record update failed for " + AsLogged(NarrowLow8(record.record)) +
                        " (HTTP 0)."};
        break;
    }
    expected.push_back(std::string("Request not sent: the ") + c.refused +
                       " field holds characters that cannot be sent.");
    EXPECT_EQ(log, expected) << label;
  }
}

TEST_F(ProvidersTest, FirstUnsendableFieldIsNamed) {
  RecordConfig record = GoDaddy(L"a/b");
  record.apiKey = L"bad\n";
  record.domain = L"bad/";
  EXPECT_FALSE(GoDaddyUpdate(record, L"203.0.113.7"));
  EXPECT_EQ(TakeLog().back(), "Request not sent: the apiKey field holds characters that cannot be sent.");
  record.apiKey = L"good";
  EXPECT_FALSE(GoDaddyUpdate(record, L"203.0.113.7"));
  EXPECT_EQ(TakeLog().back(), "Request not sent: the domain field holds characters that cannot be sent.");
  EXPECT_TRUE(fake_.requests.empty());
}

TEST_F(ProvidersTest, ApiKeyNeverReachesTheLog) {
  const std::wstring key = L"K3y\"with\\odd/chars";
  const std::string plain = NarrowLow8(key);
  const std::string escaped = JsonEscape(key);
  const std::string echo = "{\"message\":\"bad key " + plain + "\",\"detail\":\"" + escaped + "\"}" + plain + plain;
  auto withKey = [&](RecordConfig r) { r.apiKey = key; return r; };
  std::wstring ip;
  for (HttpResponse reply : {Answer(401, echo), CutOff(200, echo), Answer(500, plain), Unreachable()}) {
    Reply(reply);
    GoDaddyLookup(withKey(GoDaddy()), ip);
    Reply(reply);
    GoDaddyUpdate(withKey(GoDaddy()), L"203.0.113.7");
    Reply(reply);
    CloudflareLookup(withKey(Cloudflare()), ip);
    Reply(reply);
    CloudflareUpdate(withKey(Cloudflare()), L"203.0.113.7");
  }
  RecordConfig refused = withKey(GoDaddy());
  refused.apiKey += L"\r\n";
  GoDaddyUpdate(refused, L"203.0.113.7");
  const std::string log = LogBytes();
  EXPECT_NE(log.find("GoDaddy response: {\"message\":\"bad key ***\",\"detail\":\"***\"}******"), std::string::npos);
  EXPECT_EQ(log.find(plain), std::string::npos);
  EXPECT_EQ(log.find(escaped), std::string::npos);
  EXPECT_EQ(log.find("K3y"), std::string::npos);
}

TEST(MaskSecret, ReplacesEveryFormOfTheKey) {
  struct Case { std::string bytes; std::wstring key; std::string masked; } cases[] = {
    {"xKEYyKEY", L"KEY", "x***y***"},
    {"KEYKEYKE", L"KEY", "******KE"},
    {"", L"KEY", ""},
    {"no key here", L"", "no key here"},
    {"a\\\\ a\\", L"a\\", "*** ***"},
    {"q\\\" q\"", L"q\"", "*** ***"},
    {std::string("\xE9KEY\0KEY", 8), L"KEY", std::string("\xE9***\0***", 8)},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskSecret(c.bytes, c.key), c.masked) << c.bytes;
}

TEST_F(ProvidersTest, HugeAnswersAreHandled) {
  // About 5 MB of zone with the wanted record last.
  std::string zone = "[";
  for (int i = 0; zone.size() < 5 * 1024 * 1024; ++i) {
    zone += R"({"type":"A","name":"host)" + std::to_string(i) + R"(","data":"10.0.0.1","ttl":600},)";
  }
  zone += R"({"type":"A","name":"www","data":"198.51.100.4","ttl":600}])";
  struct Case { std::string body; std::wstring ip; } cases[] = {
    {zone, L"198.51.100.4"},
    {std::string(5 * 1024 * 1024, '{'), L""},
    {"[{\"name\":\"" + std::string(5 * 1024 * 1024, '\\') + "}]", L""},
    {"[{\"type\":\"A\",\"name\":\"" + std::string(5 * 1024 * 1024, 'w') + "\"}]", L""},
    {"[{" + std::string(5 * 1024 * 1024, '\xE9') + "}]", L""},
    {std::string(5 * 1024 * 1024, '\0'), L""},
  };
  for (const Case& c : cases) {
    Reply(Answer(200, c.body));
    std::wstring ip = L"untouched";
    EXPECT_TRUE(GoDaddyLookup(GoDaddy(), ip));
    EXPECT_EQ(ip, c.ip);
  }
  // A failed lookup logs the start of the answer, not megabytes of it.
  Reply(Answer(500, zone));
  std::wstring ip;
  EXPECT_FALSE(GoDaddyLookup(GoDaddy(), ip));
  const Lines log = TakeLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "GoDaddy response: " + zone.substr(0, 4096) + "...");
  fake_.requests.clear();
}

}  // namespace
}  // namespace nimbard
