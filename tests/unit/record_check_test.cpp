#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/status_board.h"
#include "engine/record_check.h"
#include "unit/engine_test_support.h"

namespace nimbard {
namespace {

using testing::Answer;
using testing::Ok;
using testing::ScratchDir;
using testing::ScriptedTransport;
using testing::Status;
using testing::Unreachable;

const std::wstring kCf = kCloudflareApiHost;
const std::wstring kGd = kGoDaddyApiHost;
const std::wstring kIp = kPublicIpHost;

// Cloudflare answers with the record object; GoDaddy with the zone's records.
std::string CfRecord(const std::string& content) {
  return R"({"result":{"id":"r1","zone_id":"z1","name":"www.example.com","type":"A","content":")" +
         content + R"(","proxiable":true,"proxied":true,"ttl":3600,"settings":{}},"success":true})";
}
std::string GdZone(const std::string& name, const std::string& data) {
  return R"([{"type":"TXT","name":"@","data":"v=spf1 -all","ttl":600},{"type":"A","name":")" + name +
         R"(","data":")" + data + R"(","ttl":600},{"type":"A","name":"other","data":"192.0.2.1","ttl":600}])";
}
const std::string kErrorDoc = R"({"code":"ACCESS_DENIED","message":"denied"})";

struct CheckCase {
  const char* name;
  const wchar_t* provider;
  const wchar_t* record;
  bool manual;
  Answer lookup, ip, update;
  std::vector<std::wstring> log;  // the check's lines and the providers', in order
  std::wstring detail, summary;
  std::vector<std::wstring> requests;  // "METHOD host"
};

const wchar_t* const kA = L"203.0.113.7";

TEST(RecordCheck, OutcomeTable) {
  const std::wstring gdPut = L"GoDaddy PUT body: [{\"data\":\"203.0.113.7\",\"ttl\":600}]";
  const std::wstring gdResp = L"GoDaddy response: " + WidenBytes(kErrorDoc);
  const std::wstring stored = L"Stored current A record for example.com/www: 198.51.100.4.";
  const std::wstring notFound = L"No existing A record was found for example.com/www.";
  const std::wstring needs =
      L"Current A record example.com/www is 198.51.100.4; it needs to be changed to 203.0.113.7.";
  const std::wstring needsNew =
      L"Current A record example.com/www was not found; it needs to be changed to 203.0.113.7.";
  const std::wstring timer = L"Public IP changed to 203.0.113.7.";
  const std::wstring manual = L"Manual check found a changed public IP: 203.0.113.7.";
  const std::wstring invalid = L"Public IP lookup returned an invalid IPv4 address: ";
  const std::wstring same = L"Current A record example.com/www is 203.0.113.7; it does not need to be changed.";
  const std::wstring sameTail = L"Public IP unchanged: 203.0.113.7.";
  const std::wstring cfOk = L"Cloudflare A record updated for www.example.com to 203.0.113.7.";
  const std::wstring gdOk = L"GoDaddy A record updated for www to 203.0.113.7.";
  const std::wstring pending = L"Record: example.com/www = 198.51.100.4 (changed; update pending)";
  const std::wstring pendingNew = L"Record: example.com/www not found (changed; update pending)";
  const std::wstring updated = L"Record: example.com/www = 203.0.113.7 (changed; updated)";
  const std::wstring unchanged = L"Record: example.com/www = 203.0.113.7 (unchanged)";
  const Answer none;  // never asked for

  const std::vector<std::wstring> cfAll = {L"GET " + kCf, L"GET " + kIp, L"PUT " + kCf};
  const std::vector<std::wstring> gdAll = {L"GET " + kGd, L"GET " + kIp, L"PUT " + kGd};
  const std::vector<std::wstring> cfTwo = {L"GET " + kCf, L"GET " + kIp};
  const std::vector<std::wstring> gdTwo = {L"GET " + kGd, L"GET " + kIp};

  const CheckCase cases[] = {
      // Lookup failed: the provider's lines only, nothing else asked.
      {"cf lookup 500", L"cloudflare", L"www", false, Status(500, kErrorDoc), none, none,
       {L"Cloudflare DNS lookup failed (HTTP 500)."}, L"Record: lookup failed",
       L"cloudflare lookup failed", {L"GET " + kCf}},
      {"gd lookup 401", L"godaddy", L"www", false, Status(401, kErrorDoc), none, none,
       {L"GoDaddy DNS lookup failed (HTTP 401).", gdResp}, L"Record: lookup failed",
       L"godaddy lookup failed", {L"GET " + kGd}},
      {"cf value not IPv4", L"cloudflare", L"www", false, Ok(CfRecord("2001:db8::1")), none, none,
       {}, L"Record: lookup failed", L"cloudflare lookup failed", {L"GET " + kCf}},
      {"provider text as configured", L"Cloudflare", L"www", false, Unreachable(), none, none,
       {L"GoDaddy DNS lookup failed (HTTP 0)."}, L"Record: lookup failed",
       L"Cloudflare lookup failed", {L"GET " + kGd}},
      {"empty provider is GoDaddy", L"", L"www", false, Status(404), none, none,
       {L"GoDaddy DNS lookup failed (HTTP 404)."}, L"Record: lookup failed", L" lookup failed",
       {L"GET " + kGd}},

      // Public address missing or not IPv4: the provider is not touched again.
      {"cf ip 503", L"cloudflare", L"www", false, Ok(CfRecord("198.51.100.4")), Status(503), none,
       {stored, L"Public IP lookup failed.", invalid}, L"Record: current value 198.51.100.4",
       L"Invalid public IP", cfTwo},
      {"gd ip empty body, not found", L"godaddy", L"www", false, Ok("[]"), Ok(" \r\n"), none,
       {notFound, invalid}, L"Record: current value not found", L"Invalid public IP", gdTwo},
      {"gd ip IPv6", L"godaddy", L"www", false, Ok(GdZone("www", "198.51.100.4")),
       Ok("2001:db8::7\n"), none, {stored, invalid + L"2001:db8::7"},
       L"Record: current value 198.51.100.4", L"Invalid public IP", gdTwo},
      {"cf ip three parts", L"cloudflare", L"www", true, Ok(CfRecord("")), Ok("203.0.113"), none,
       {notFound, invalid + L"203.0.113"}, L"Record: current value not found",
       L"Invalid public IP", cfTwo},
      {"gd ip forged log line", L"godaddy", L"www", false, Ok(GdZone("www", "198.51.100.4")),
       Ok("x\r\n[2026-01-01 00:00:00] Cloudflare A record updated\r\ny"), none,
       {stored, invalid + L"x  [2026-01-01 00:00:00] Cloudflare A record updated  y"},
       L"Record: current value 198.51.100.4", L"Invalid public IP", gdTwo},
      {"cf ip huge page", L"cloudflare", L"www", false, Ok(CfRecord("198.51.100.4")),
       Ok("<html>" + std::string(1 << 20, 'h') + "</html>"), none,
       {stored, invalid + L"<html>" + std::wstring(250, L'h') + L"..."},
       L"Record: current value 198.51.100.4", L"Invalid public IP", cfTwo},

      // Unchanged: manual or not, the same lines; no update is sent.
      {"cf unchanged", L"cloudflare", L"www", false, Ok(CfRecord("203.0.113.7")), Ok(" 203.0.113.7\t"),
       none, {L"Stored current A record for example.com/www: 203.0.113.7.", same, sameTail},
       unchanged, L"Unchanged: 203.0.113.7", cfTwo},
      {"gd unchanged manual", L"godaddy", L"www", true, Ok(GdZone("www", "203.0.113.7")),
       Ok("203.0.113.7\n"), none,
       {L"Stored current A record for example.com/www: 203.0.113.7.", same, sameTail}, unchanged,
       L"Unchanged: 203.0.113.7", gdTwo},

      // Changed and accepted, by the timer and by hand.
      {"cf changed timer", L"cloudflare", L"www", false, Ok(CfRecord("198.51.100.4")), Ok("203.0.113.7"),
       Ok(CfRecord("203.0.113.7")), {stored, needs, timer, cfOk}, updated, L"Updated: 203.0.113.7",
       cfAll},
      {"cf changed manual", L"cloudflare", L"www", true, Ok(CfRecord("198.51.100.4")), Ok("203.0.113.7"),
       Ok(CfRecord("203.0.113.7")), {stored, needs, manual, cfOk}, updated, L"Updated: 203.0.113.7",
       cfAll},
      {"gd changed timer", L"godaddy", L"www", false, Ok(GdZone("www", "198.51.100.4")),
       Ok("203.0.113.7"), Ok(""), {stored, needs, timer, gdPut, gdOk}, updated,
       L"Updated: 203.0.113.7", gdAll},
      {"gd changed manual", L"godaddy", L"www", true, Ok(GdZone("www", "198.51.100.4")),
       Ok("203.0.113.7"), Status(204), {stored, needs, manual, gdPut, gdOk}, updated,
       L"Updated: 203.0.113.7", gdAll},

      // Changed, update refused: the detail stays pending.
      {"cf changed refused", L"cloudflare", L"www", false, Ok(CfRecord("198.51.100.4")),
       Ok("203.0.113.7"), Status(403, kErrorDoc),
       {stored, needs, timer, L"Cloudflare A record update failed for example.com (HTTP 403)."}, pending,
       L"Cloudflare update failed", cfAll},
      {"gd changed refused", L"godaddy", L"www", false, Ok(GdZone("www", "198.51.100.4")),
       Ok("203.0.113.7"), Status(403, kErrorDoc),
       {stored, needs, timer, gdPut, L"GoDaddy A record update failed for www (HTTP 403).", gdResp},
       pending, L"GoDaddy update failed", gdAll},
      {"Cloudflare capitalised updates at GoDaddy", L"Cloudflare", L"www", false,
       Ok(GdZone("www", "198.51.100.4")), Ok("203.0.113.7"), Status(500),
       {stored, needs, timer, gdPut, L"GoDaddy A record update failed for www (HTTP 500)."}, pending,
       L"GoDaddy update failed", gdAll},

      // Not found: always an update attempt.
      {"cf not found accepted", L"cloudflare", L"www", false, Ok(R"({"result":{"type":"A"}})"),
       Ok("203.0.113.7"), Ok("{}"), {notFound, needsNew, timer, cfOk}, updated,
       L"Updated: 203.0.113.7", cfAll},
      {"gd not found accepted", L"godaddy", L"www", true, Ok(GdZone("mail", "198.51.100.4")),
       Ok("203.0.113.7"), Ok(""), {notFound, needsNew, manual, gdPut, gdOk}, updated,
       L"Updated: 203.0.113.7", gdAll},
      {"cf not found unreachable", L"cloudflare", L"www", false, Ok(CfRecord("")), Ok("203.0.113.7"),
       Unreachable(),
       {notFound, needsNew, timer, L"Cloudflare A record update failed for example.com (HTTP 0)."},
       pendingNew, L"Cloudflare update failed", cfAll},
      {"gd not found unreachable", L"godaddy", L"www", false, Ok("[]"), Ok("203.0.113.7"),
       Unreachable(),
       {notFound, needsNew, timer, gdPut, L"GoDaddy A record update failed for www (HTTP 0)."},
       pendingNew, L"GoDaddy update failed", gdAll},

      // The record is named domain/record whatever record holds.
      {"gd apex @", L"godaddy", L"@", false, Ok(GdZone("@", "203.0.113.7")), Ok("203.0.113.7"), none,
       {L"Stored current A record for example.com/@: 203.0.113.7.",
        L"Current A record example.com/@ is 203.0.113.7; it does not need to be changed.", sameTail},
       L"Record: example.com/@ = 203.0.113.7 (unchanged)", L"Unchanged: 203.0.113.7", gdTwo},
      {"cf empty record", L"cloudflare", L"", false, Ok(CfRecord("198.51.100.4")), Ok("203.0.113.7"),
       Ok("{}"),
       {L"Stored current A record for example.com/: 198.51.100.4.",
        L"Current A record example.com/ is 198.51.100.4; it needs to be changed to 203.0.113.7.", timer,
        L"Cloudflare A record updated for example.com to 203.0.113.7."},
       L"Record: example.com/ = 203.0.113.7 (changed; updated)", L"Updated: 203.0.113.7", cfAll},
  };

  ScratchDir dir("record-check");
  ScriptedTransport transport;
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Remove("nimbard.log");
    dir.Remove("nimbard.status");
    ResetStatusBoard();
    transport.Clear();
    const std::wstring host = std::wstring(c.provider) == L"cloudflare" ? kCf : kGd;
    transport.Set(L"GET", host, c.lookup);
    transport.Set(L"GET", kIp, c.ip);
    transport.Set(L"PUT", host, c.update);
    // While the update is under way the summary shows the address and the
    // file shows the record as pending.
    std::vector<std::wstring> atUpdate;
    transport.onRequest = [&](const HttpRequest& request) {
      if (request.method == L"PUT") {
        atUpdate = {SummaryText(), DetailText(), WidenBytes(dir.ReadBytes("nimbard.status"))};
      }
    };

    RecordConfig record;
    record.provider = c.provider;
    record.apiKey = L"secret-token";
    record.domain = L"example.com";
    record.record = c.record;
    record.zoneId = L"z1";
    record.recordId = L"r1";
    RecordCheck(nullptr, c.manual, record);

    EXPECT_EQ(dir.LogMessages(), c.log);
    EXPECT_EQ(DetailText(), c.detail);
    EXPECT_EQ(SummaryText(), c.summary);
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), NarrowLow8(c.detail));
    std::vector<std::wstring> requests;
    for (const std::wstring& r : transport.Requests()) requests.push_back(r.substr(0, r.find(L' ', 4)));
    EXPECT_EQ(requests, c.requests);
    if (!atUpdate.empty()) {
      EXPECT_EQ(atUpdate[0], std::wstring(L"Public IP: ") + kA);
      EXPECT_NE(atUpdate[1].find(L"(changed; update pending)"), std::wstring::npos) << NarrowLow8(atUpdate[1]);
      EXPECT_EQ(atUpdate[2], atUpdate[1]);
    }
    transport.onRequest = nullptr;
  }
}

}  // namespace
}  // namespace nimbard
