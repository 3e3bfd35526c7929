#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/record_check.h"
#include "net/cloudflare.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: the scripted answers read as a table

// Cloudflare answers with the record object; GoDaddy with the zone's records.
std::string CfRecord(const std::string& content, const std::string& type = "A") {
  return R"({"result":{"id":"r1","zone_id":"z1","name":"www.example.com","type":")" + type + R"(","content":")" + content +
         R"(","proxiable":true,"proxied":true,"ttl":3600,"settings":{}},"success":true})";
}
std::string GdZone(const std::string& name, const std::string& data) {
  return R"([{"type":"TXT","name":"@","data":"v=spf1 -all","ttl":600},{"type":"A","name":")" + name + R"(","data":")" +
         data + R"(","ttl":1800},{"type":"A","name":"other","data":"192.0.2.1","ttl":600}])";
}
const std::string kCfDenied = R"({"success":false,"errors":[{"code":9109,"message":"Unauthorized to access requested resource"}]})";

PublicAddress Address(const wchar_t* address, const std::wstring& lastAnswer = L"") {
  PublicAddress a;
  a.address = address, a.lastAnswer = lastAnswer, a.answered = true;
  return a;
}

const char* const kResults[] = {"LookupFailed", "UnknownProvider", "OtherRecord", "NoPublicAddress", "Unchanged", "Updated", "UpdateFailed", "CheckFailed", "Waiting", "NothingKept"};
// The outcome in one line: result, status line, summary, what the provider holds, and a failure's cause.
std::string Show(const RecordOutcome& o) {
  std::string cause = o.Failed() ? " / HTTP " + std::to_string(o.cause.status) + " error " + std::to_string(o.cause.error) : "";
  for (const ApiError& e : o.cause.apiErrors) cause += " " + NarrowLow8(e.code);
  return kResults[static_cast<int>(o.result)] + (" / " + NarrowLow8(o.statusLine + L" / " + o.summary + L" / " + o.current)) + cause;
}

struct CheckCase {
  const char* name;
  const wchar_t *provider, *record;
  bool manual;
  HttpResponse lookup;
  PublicAddress address;
  HttpResponse update;
  Lines log;  // the check's lines and the providers', in order
  std::string outcome;
  std::string updateBody;  // what the update sent; "" when none was sent
};

TEST(RecordCheck, OutcomeTable) {
  const std::string gdPut = R"(GoDaddy PUT body: [{"data":"203.0.113.7","ttl":)", notFound = "No existing A record was found for example.com/www.";
  const std::string stored = "Stored current A record for example.com/www: 198.51.100.4.", storedNew = "Stored current A record for example.com/www: 203.0.113.7.";
  const std::string needs = "Current A record example.com/www is 198.51.100.4; it needs to be changed to 203.0.113.7.";
  const std::string needsNew = "Current A record example.com/www was not found; it needs to be changed to 203.0.113.7.";
  const std::string same = "Current A record example.com/www is 203.0.113.7; it does not need to be changed.";
  const std::string timer = "Public IP changed to 203.0.113.7.", manual = "Manual check found a changed public IP: 203.0.113.7.";
  const std::string invalid = "Public IP lookup returned an invalid IPv4 address: ", sameTail = "Public IP unchanged: 203.0.113.7.";
  const std::string cfOk = "Cloudflare A record updated for www.example.com to 203.0.113.7.", gdOk = "GoDaddy A record updated for www to 203.0.113.7.";
  const std::string cfFail = "Cloudflare A record update failed for example.com (HTTP ", gdFail = "GoDaddy A record update failed for www (HTTP ";
  const std::string line = "Record: example.com/www", patch = R"({"content":"203.0.113.7"})";
  const HttpResponse none;  // never asked for
  const HttpResponse cfOld = Ok(CfRecord("198.51.100.4")), gdOld = Ok(GdZone("www", "198.51.100.4"));
  const PublicAddress ip = Address(L"203.0.113.7"), noIp = Address(L"", L"<html>" + std::wstring(1 << 20, L'h') + L"</html>");

  const CheckCase cases[] = {
      // Lookup failed: the provider's lines only, no update; the cause is kept.
      {"lookup failed, provider as written", L"Cloudflare", L"www", false, Unreachable(), ip, none, {"Cloudflare DNS lookup failed (HTTP 0)."},
       "LookupFailed / " + line + " lookup failed / Cloudflare lookup failed /  / HTTP 0 error 12029", ""},
      {"lookup refused with the provider's code", L"cloudflare", L"www", false, Status(403, kCfDenied), ip, none, {"Cloudflare DNS lookup failed (HTTP 403)."},
       "LookupFailed / " + line + " lookup failed / cloudflare lookup failed /  / HTTP 403 error 0 9109", ""},
      {"empty provider is GoDaddy", L"", L"www", false, Status(404), ip, none, {"GoDaddy DNS lookup failed (HTTP 404)."},
       "LookupFailed / " + line + " lookup failed /  lookup failed /  / HTTP 404 error 0", ""},
      // A provider nobody knows: no request at all.
      {"unknown provider", L"cloudfare", L"www", false, none, ip, none,
       {"Record example.com/www names the provider \"cloudfare\", which nimbard does not know; nothing was sent. Write \"cloudflare\" or \"godaddy\"."},
       "UnknownProvider / " + line + " unknown provider cloudfare / Unknown provider /  / HTTP 0 error 0", ""},
      // A Record ID that names a CNAME: nothing is written to it.
      {"record id of another record", L"cloudflare", L"www", false, Ok(CfRecord("example.net", "CNAME")), ip, none,
       {"Cloudflare record r1 is www.example.com (CNAME), not the A record www.example.com configured for example.com/www; nothing was changed. Check the Record ID."},
       "OtherRecord / " + line + " check failed: the Record ID names another record / Wrong Record ID /  / HTTP 0 error 0", ""},
      // No public address for the pass: the provider is not touched again.
      {"no address, huge answer", L"cloudflare", L"www", false, cfOld, noIp, none, {stored, invalid + "<html>" + std::string(250, 'h') + "..."},
       "NoPublicAddress / " + line + " current value 198.51.100.4 / Invalid public IP / 198.51.100.4 / HTTP 0 error 0", ""},
      {"no address, not found", L"godaddy", L"www", false, Ok("[]"), Address(L""), none, {notFound, invalid},
       "NoPublicAddress / " + line + " current value not found / Invalid public IP /  / HTTP 0 error 0", ""},
      // Unchanged: manual or not, the same lines; no update is sent.
      {"gd unchanged manual", L"godaddy", L"www", true, Ok(GdZone("www", "203.0.113.7")), ip, none, {storedNew, same, sameTail},
       "Unchanged / " + line + " = 203.0.113.7 (unchanged) / Unchanged: 203.0.113.7 / 203.0.113.7", ""},
      // Changed and accepted, by the timer and by hand; GoDaddy keeps the TTL it found.
      {"cf changed timer", L"cloudflare", L"www", false, cfOld, ip, Ok(CfRecord("203.0.113.7")), {stored, needs, timer, cfOk},
       "Updated / " + line + " = 203.0.113.7 (changed; updated) / Updated: 203.0.113.7 / 198.51.100.4", patch},
      {"gd changed manual", L"GODADDY", L"www", true, gdOld, ip, Status(204), {stored, needs, manual, gdPut + "1800}]", gdOk},
       "Updated / " + line + " = 203.0.113.7 (changed; updated) / Updated: 203.0.113.7 / 198.51.100.4", R"([{"data":"203.0.113.7","ttl":1800}])"},
      // Changed, update refused: the line stays pending.
      {"cf changed refused", L"cloudflare", L"www", false, cfOld, ip, Status(403, kCfDenied), {stored, needs, timer, cfFail + "403)."},
       "UpdateFailed / " + line + " = 198.51.100.4 (changed; update pending) / Cloudflare update failed / 198.51.100.4 / HTTP 403 error 0 9109", patch},
      {"gd changed refused", L"godaddy", L"www", false, gdOld, ip, Status(500), {stored, needs, timer, gdPut + "1800}]", gdFail + "500)."},
       "UpdateFailed / " + line + " = 198.51.100.4 (changed; update pending) / GoDaddy update failed / 198.51.100.4 / HTTP 500 error 0", R"([{"data":"203.0.113.7","ttl":1800}])"},
      // Not found: always an update attempt; a new GoDaddy record gets 600.
      {"gd not found accepted", L"godaddy", L"www", true, Ok(GdZone("mail", "198.51.100.4")), ip, Ok(""), {notFound, needsNew, manual, gdPut + "600}]", gdOk},
       "Updated / " + line + " = 203.0.113.7 (changed; updated) / Updated: 203.0.113.7 / ", R"([{"data":"203.0.113.7","ttl":600}])"},
      {"cf not found unreachable", L"cloudflare", L"www", false, Ok(CfRecord("")), ip, Unreachable(), {notFound, needsNew, timer, cfFail + "0)."},
       "UpdateFailed / " + line + " not found (changed; update pending) / Cloudflare update failed /  / HTTP 0 error 12029", patch},
  };

  ScratchDir dir("record-check");
  ScriptedTransport transport;
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    transport.Clear();
    const RecordConfig record{c.provider, false, L"secret-token", L"example.com", c.record, L"z1", L"r1"};
    const std::wstring host = ProviderOf(record) == Provider::Cloudflare ? kCloudflareApiHost : kGoDaddyApiHost;
    transport.Set(L"GET", host, c.lookup), transport.Set(L"PATCH", host, c.update), transport.Set(L"PUT", host, c.update);
    const RecordOutcome outcome = RecordCheck(record, {c.address, {}}, c.manual);
    EXPECT_EQ(Show(outcome), c.outcome);
    EXPECT_EQ(dir.TakeLog(), c.log);
    std::string sent;
    for (const HttpRequest& r : transport.Requests()) sent += r.method == L"GET" ? "" : r.body;
    EXPECT_EQ(sent, c.updateBody);
    EXPECT_EQ(transport.Requests().size(), (c.lookup.status || c.lookup.fault != ExchangeFault::None) + !c.updateBody.empty());
  }
  // The check writes no status file: what it found comes back, and the pass publishes it.
  EXPECT_EQ(dir.Listing(), "");
}

// Cloudflare IDs typed into the file versus found from the names, through two passes: what is asked, what is logged
// about the IDs, and which record is changed. An ID that answers 404 is searched by name, like a found one that has
// gone; an ID of another record changes nothing.
TEST(RecordCheck, CloudflareIdsTypedOrFound) {
  const std::wstring byIdZ1R1 = L"/client/v4/zones/z1/dns_records/r1", searchZ1 = L"/client/v4/zones/z1/dns_records?type=A&name=www.example.com";
  const std::wstring zones = L"/client/v4/zones?name=example.com", searchZ9 = L"/client/v4/zones/z9/dns_records?type=A&name=www.example.com";
  const std::string r5 = R"({"result":[{"id":"r5","name":"www.example.com","type":"A","content":"198.51.100.4"}]})";
  const std::string stale = " in the configuration file for example.com/www ";
  struct Case { const char* name; const wchar_t *zoneId, *recordId; std::vector<std::pair<std::wstring, HttpResponse>> answers; std::string asked; Lines log; std::string results; };
  const Case cases[] = {
      {"typed and right: by ID, no search", L"z1", L"r1", {{byIdZ1R1, Ok(CfRecord("198.51.100.4"))}},
       "GET z1/r1, PATCH z1/r1 | GET z1/r1, PATCH z1/r1", {}, "Updated Updated"},
      {"empty: found once, then by the IDs found", L"", L"", {{zones, Ok(R"({"result":[{"id":"z9"}]})")}, {searchZ9, Ok(r5)}},
       "GET zones?example.com, GET z9?www, PATCH z9/r5 | GET z9/r5, PATCH z9/r5", {"Cloudflare IDs of www.example.com: zone z9, record r5."}, "Updated Updated"},
      {"typed Record ID gone: searched in its zone, one line", L"z1", L"r1", {{searchZ1, Ok(r5)}},
       "GET z1/r1, GET z1?www, PATCH z1/r5 | GET z1/r5, PATCH z1/r5",
       {"Cloudflare IDs of www.example.com: zone z1, record r5.", "The Record ID r1" + stale + "is out of date (Cloudflare answered 404); the A record www.example.com is now zone z1, record r5, and nimbard updates that one. Enter the new ID, or leave the box empty so that nimbard finds it."},
       "Updated Updated"},
      {"typed Zone ID gone too: the zone by the domain", L"z1", L"r1", {{zones, Ok(R"({"result":[{"id":"z9"}]})")}, {searchZ9, Ok(r5)}},
       "GET z1/r1, GET z1?www, GET zones?example.com, GET z9?www, PATCH z9/r5 | GET z9/r5, PATCH z9/r5",
       {"Cloudflare IDs of www.example.com: zone z9, record r5.", "The Zone ID z1" + stale + "is out of date (Cloudflare answered 404); the A record www.example.com is now zone z9, record r5, and nimbard updates that one. Enter the new IDs, or leave both boxes empty so that nimbard finds them."},
       "Updated Updated"},
      {"typed ID of another record: nothing changed, nothing searched", L"z1", L"r1", {{byIdZ1R1, Ok(CfRecord("example.net", "CNAME"))}},
       "GET z1/r1 | GET z1/r1", Twice({"Cloudflare record r1 is www.example.com (CNAME), not the A record www.example.com configured for example.com/www; nothing was changed. Check the Record ID."}), "OtherRecord OtherRecord"},
      {"typed ID gone, no record of the name: nothing changed", L"z1", L"r1", {{searchZ1, Ok(R"({"result":[]})")}},
       "GET z1/r1, GET z1?www | GET z1/r1, GET z1?www", Twice({"Cloudflare has no A record named www.example.com in example.com; nimbard creates none. Add it in the Cloudflare dashboard (any address), or check the Record box."}), "LookupFailed LookupFailed"},
  };
  ScratchDir dir("record-ids");
  ScriptedTransport transport;
  // Any other path answers 404, as Cloudflare does; the records found, r5 in z1 and in z9, answer by their IDs.
  const auto script = [&](const Case& c) {
    transport.Clear();
    transport.Set(L"GET", kCloudflareApiHost, Status(404, R"({"errors":[{"code":81044,"message":"Record does not exist."}]})"));
    transport.Set(L"PATCH", kCloudflareApiHost, Ok(CfRecord("203.0.113.7")));
    for (const wchar_t* path : {L"/client/v4/zones/z1/dns_records/r5", L"/client/v4/zones/z9/dns_records/r5"}) transport.Set(L"GET", kCloudflareApiHost, Ok(CfRecord("198.51.100.4")), path);
    for (const auto& [path, answer] : c.answers) transport.Set(L"GET", kCloudflareApiHost, answer, path);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetCloudflareIds();
    script(c);
    const RecordConfig record{L"cloudflare", true, L"token", L"example.com", L"www", c.zoneId, c.recordId};
    std::string results, asked;
    for (int pass = 0; pass < 2; ++pass) {
      results += std::string(pass ? " " : "") + kResults[static_cast<int>(RecordCheck(record, {Address(L"203.0.113.7"), {}}, false).result)];
      asked += pass ? " | " : "";
      const std::vector<HttpRequest> sent = transport.Requests();
      for (const HttpRequest& r : sent) {
        std::string path = NarrowLow8(r.path.substr(std::wstring(L"/client/v4/zones").size()));
        const std::size_t query = path.find("/dns_records?type=A&name=");
        if (path.rfind("?name=", 0) == 0) path = "zones?" + path.substr(6);
        else if (query != std::string::npos) path = path.substr(1, query - 1) + "?www";
        else if (path.find("/dns_records/") != std::string::npos) path = path.substr(1, path.find("/dns_records/") - 1) + "/" + path.substr(path.find("/dns_records/") + 13);
        asked += std::string(&r == &sent[0] ? "" : ", ") + NarrowLow8(r.method) + " " + path;
      }
      script(c);
    }
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(results, c.results);
    Lines ids;
    for (const std::string& line : dir.TakeLog()) {
      if (line.find(" IDs of ") != std::string::npos || line.find("out of date") != std::string::npos || line.find("Cloudflare record ") == 0 ||
          line.find("Cloudflare has ") == 0) ids.push_back(line);
    }
    EXPECT_EQ(ids, c.log);
  }
}

// Which types a record keeps, against a GoDaddy zone holding both: one line for the record, the AAAA compared as an
// address, never sent without an IPv6 address on the PC, and nothing at all for a record keeping neither.
TEST(RecordCheck, KeepsAAaaaOrBoth) {
  const auto zone = [](const std::string& v6) {
    return Ok(R"([{"type":"A","name":"www","data":"203.0.113.7","ttl":900},{"type":"AAAA","name":"www","data":")" + v6 + R"(","ttl":1800}])");
  };
  LocalIpv6 v6;
  v6.found = true, v6.address = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
  LocalIpv6 none, unreadable;
  unreadable.error = 8;
  const std::string line = "Record: example.com/www", put = R"([{"data":"2001:db8::10","ttl":1800}])";
  const std::string storedA = "Stored current A record for example.com/www: 203.0.113.7.", sameA = "Current A record example.com/www is 203.0.113.7; it does not need to be changed.";
  const std::string storedOld = "Stored current AAAA record for example.com/www: 2001:db8::5.", notHere = "No global IPv6 address on this PC; the AAAA record of example.com/www is left as it is.";
  const Lines changed{storedOld, "Current AAAA record example.com/www is 2001:db8::5; it needs to be changed to 2001:db8::10.", "IPv6 address changed to 2001:db8::10.",
                      "GoDaddy PUT body: " + put, "GoDaddy AAAA record updated for www to 2001:db8::10."};
  struct Case { const char* name; bool ipv4, ipv6; std::string v6Data; LocalIpv6 address; std::string outcome, sent; Lines log; };
  const Case cases[] = {
      {"A only", true, false, "2001:db8::5", v6, "Unchanged / " + line + " = 203.0.113.7 (unchanged) / Unchanged: 203.0.113.7 / 203.0.113.7", "GET", {storedA, sameA, "Public IP unchanged: 203.0.113.7."}},
      {"AAAA only, changed", false, true, "2001:db8::5", v6, "Updated / " + line + " AAAA = 2001:db8::10 (changed; updated) / Updated: 2001:db8::10 / 2001:db8::5", "GET PUT /AAAA/www " + put, changed},
      {"both, AAAA changed", true, true, "2001:db8::5", v6,
       "Updated / " + line + " = 203.0.113.7 (unchanged), AAAA = 2001:db8::10 (changed; updated) / Updated: 203.0.113.7, 2001:db8::10 / 203.0.113.7", "GET GET PUT /AAAA/www " + put,
       {storedA, sameA, "Public IP unchanged: 203.0.113.7.", changed[0], changed[1], changed[2], changed[3], changed[4]}},
      {"AAAA in another form of the address", false, true, "2001:DB8:0:0:0:0:0:10", v6, "Unchanged / " + line + " AAAA = 2001:DB8:0:0:0:0:0:10 (unchanged) / Unchanged: 2001:db8::10 / 2001:DB8:0:0:0:0:0:10", "GET",
       {"Stored current AAAA record for example.com/www: 2001:DB8:0:0:0:0:0:10.", "Current AAAA record example.com/www is 2001:DB8:0:0:0:0:0:10; it does not need to be changed.", "IPv6 address unchanged: 2001:db8::10."}},
      {"both, no IPv6 address: AAAA left alone", true, true, "2001:db8::5", none,
       "NoPublicAddress / " + line + " = 203.0.113.7 (unchanged), AAAA: no global IPv6 address on this PC / No global IPv6 address / 203.0.113.7 / HTTP 0 error 0", "GET",
       {storedA, sameA, "Public IP unchanged: 203.0.113.7.", notHere}},
      {"AAAA only, addresses unreadable: nothing sent", false, true, "2001:db8::5", unreadable,
       "NoPublicAddress / " + line + " AAAA: no global IPv6 address on this PC / No global IPv6 address /  / HTTP 0 error 0", "",
       {"The IPv6 addresses of this PC could not be read (error 8); the AAAA record of example.com/www is left as it is."}},
      {"neither: nothing sent", false, false, "2001:db8::5", v6, "NothingKept / " + line + " keeps no record: IPv4 and IPv6 are both off / No record kept /  / HTTP 0 error 0", "",
       {"Record example.com/www keeps neither an A nor an AAAA record (\"ipv4\" and \"ipv6\" are both false); nothing was sent."}},
  };
  ScratchDir dir("record-types");
  ScriptedTransport transport;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    transport.Clear();
    transport.Set(L"GET", kGoDaddyApiHost, zone(c.v6Data)), transport.Set(L"PUT", kGoDaddyApiHost, Ok(""));
    RecordConfig record{L"godaddy", false, L"key:secret", L"example.com", L"www", L"", L""};
    record.ipv4 = c.ipv4, record.ipv6 = c.ipv6;
    EXPECT_EQ(Show(RecordCheck(record, {Address(L"203.0.113.7"), c.address}, false)), c.outcome);
    std::string sent;
    for (const HttpRequest& r : transport.Requests()) {
      const std::wstring tail = r.method == L"PUT" ? L" " + r.path.substr(r.path.find(L"/records") + 8) + L" " + WidenBytes(r.body) : L"";
      sent += (sent.empty() ? "" : " ") + NarrowLow8(r.method + tail);
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(dir.TakeLog(), c.log);
  }
}

}  // namespace
}  // namespace nimbard
