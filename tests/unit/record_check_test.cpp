#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/status_board.h"
#include "engine/record_check.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: the scripted answers read as a table

// Cloudflare answers with the record object; GoDaddy with the zone's records.
std::string CfRecord(const std::string& content) {
  return R"({"result":{"id":"r1","zone_id":"z1","name":"www.example.com","type":"A","content":")" + content +
         R"(","proxiable":true,"proxied":true,"ttl":3600,"settings":{}},"success":true})";
}
std::string GdZone(const std::string& name, const std::string& data) {
  return R"([{"type":"TXT","name":"@","data":"v=spf1 -all","ttl":600},{"type":"A","name":")" + name + R"(","data":")" +
         data + R"(","ttl":600},{"type":"A","name":"other","data":"192.0.2.1","ttl":600}])";
}
const std::string kErrorDoc = R"({"code":"ACCESS_DENIED","message":"denied"})";

struct CheckCase {
  const char* name;
  const wchar_t *provider, *record;
  bool manual;
  HttpResponse lookup, ip, update;
  Lines log;  // the check's lines and the providers', in order
  std::string detail, summary;
  std::size_t asks;  // of: GET the record, GET the address, PUT the record
};

TEST(RecordCheck, OutcomeTable) {
  const std::string gdPut = R"(GoDaddy PUT body: [{"data":"203.0.113.7","ttl":600}])", notFound = "No existing A record was found for example.com/www.";
  const std::string stored = "Stored current A record for example.com/www: 198.51.100.4.", storedNew = "Stored current A record for example.com/www: 203.0.113.7.";
  const std::string needs = "Current A record example.com/www is 198.51.100.4; it needs to be changed to 203.0.113.7.";
  const std::string needsNew = "Current A record example.com/www was not found; it needs to be changed to 203.0.113.7.";
  const std::string same = "Current A record example.com/www is 203.0.113.7; it does not need to be changed.";
  const std::string timer = "Public IP changed to 203.0.113.7.", manual = "Manual check found a changed public IP: 203.0.113.7.";
  const std::string invalid = "Public IP lookup returned an invalid IPv4 address: ", sameTail = "Public IP unchanged: 203.0.113.7.";
  const std::string cfOk = "Cloudflare A record updated for www.example.com to 203.0.113.7.", gdOk = "GoDaddy A record updated for www to 203.0.113.7.";
  const std::string cfFail = "Cloudflare A record update failed for example.com (HTTP ", gdFail = "GoDaddy A record update failed for www (HTTP ";
  const std::string pending = "Record: example.com/www = 198.51.100.4 (changed; update pending)", pendingNew = "Record: example.com/www not found (changed; update pending)";
  const std::string updated = "Record: example.com/www = 203.0.113.7 (changed; updated)", upd = "Updated: 203.0.113.7";
  const std::string unchanged = "Record: example.com/www = 203.0.113.7 (unchanged)", lookupFailed = "Record: lookup failed";
  const std::string current = "Record: current value 198.51.100.4", notFoundDetail = "Record: current value not found", badIp = "Invalid public IP";
  const HttpResponse none;  // never asked for
  const HttpResponse cfOld = Ok(CfRecord("198.51.100.4")), gdOld = Ok(GdZone("www", "198.51.100.4")), newIp = Ok("203.0.113.7");

  const CheckCase cases[] = {
      // Lookup failed: the provider's lines only, nothing else asked.
      {"provider text as configured", L"Cloudflare", L"www", false, Unreachable(), none, none, {"GoDaddy DNS lookup failed (HTTP 0)."}, lookupFailed, "Cloudflare lookup failed", 1},
      {"empty provider is GoDaddy", L"", L"www", false, Status(404), none, none, {"GoDaddy DNS lookup failed (HTTP 404)."}, lookupFailed, " lookup failed", 1},
      // Public address missing or not IPv4: the provider is not touched again.
      {"cf ip 503", L"cloudflare", L"www", false, cfOld, Status(503), none, {stored, "Public IP lookup failed.", invalid}, current, badIp, 2},
      {"gd ip empty body, not found", L"godaddy", L"www", false, Ok("[]"), Ok(" \r\n"), none, {notFound, invalid}, notFoundDetail, badIp, 2},
      {"cf ip huge page", L"cloudflare", L"www", false, cfOld, Ok("<html>" + std::string(1 << 20, 'h') + "</html>"), none, {stored, invalid + "<html>" + std::string(250, 'h') + "..."}, current, badIp, 2},
      // Unchanged: manual or not, the same lines; no update is sent.
      {"gd unchanged manual", L"godaddy", L"www", true, Ok(GdZone("www", "203.0.113.7")), Ok("203.0.113.7\n"), none, {storedNew, same, sameTail}, unchanged, "Unchanged: 203.0.113.7", 2},
      // Changed and accepted, by the timer and by hand.
      {"cf changed timer", L"cloudflare", L"www", false, cfOld, newIp, Ok(CfRecord("203.0.113.7")), {stored, needs, timer, cfOk}, updated, upd, 3},
      {"gd changed manual", L"godaddy", L"www", true, gdOld, newIp, Status(204), {stored, needs, manual, gdPut, gdOk}, updated, upd, 3},
      // Changed, update refused: the detail stays pending.
      {"cf changed refused", L"cloudflare", L"www", false, cfOld, newIp, Status(403, kErrorDoc), {stored, needs, timer, cfFail + "403)."}, pending, "Cloudflare update failed", 3},
      {"Cloudflare capitalised updates at GoDaddy", L"Cloudflare", L"www", false, gdOld, newIp, Status(500), {stored, needs, timer, gdPut, gdFail + "500)."}, pending, "GoDaddy update failed", 3},
      // Not found: always an update attempt.
      {"gd not found accepted", L"godaddy", L"www", true, Ok(GdZone("mail", "198.51.100.4")), newIp, Ok(""), {notFound, needsNew, manual, gdPut, gdOk}, updated, upd, 3},
      {"cf not found unreachable", L"cloudflare", L"www", false, Ok(CfRecord("")), newIp, Unreachable(), {notFound, needsNew, timer, cfFail + "0)."}, pendingNew, "Cloudflare update failed", 3},
      // The record is named domain/record whatever record holds.
      {"cf empty record", L"cloudflare", L"", false, cfOld, newIp, Ok("{}"), {"Stored current A record for example.com/: 198.51.100.4.", "Current A record example.com/ is 198.51.100.4; it needs to be changed to 203.0.113.7.", timer, "Cloudflare A record updated for example.com to 203.0.113.7."}, "Record: example.com/ = 203.0.113.7 (changed; updated)", upd, 3},
  };

  ScratchDir dir("record-check");
  ScriptedTransport transport;
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Remove("nimbard.status");
    ResetStatusBoard();
    transport.Clear();
    const std::wstring host = std::wstring(c.provider) == L"cloudflare" ? kCloudflareApiHost : kGoDaddyApiHost;
    transport.Set(L"GET", host, c.lookup), transport.Set(L"GET", kPublicIpHost, c.ip), transport.Set(L"PUT", host, c.update);
    // While the update is under way the summary shows the address and the file the record as pending.
    Lines atUpdate;
    transport.onRequest = [&](const HttpRequest& request) {
      if (request.method == L"PUT") atUpdate = {NarrowLow8(SummaryText()), NarrowLow8(DetailText()), dir.ReadBytes("nimbard.status")};
    };
    RecordCheck(nullptr, c.manual, {c.provider, false, L"secret-token", L"example.com", c.record, L"z1", L"r1"});
    transport.onRequest = nullptr;
    EXPECT_EQ(dir.TakeLog(), c.log);
    EXPECT_EQ(NarrowLow8(DetailText() + L" / " + SummaryText()), c.detail + " / " + c.summary);
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), c.detail);
    std::vector<std::wstring> asked, all = {L"GET " + host, L"GET " + std::wstring(kPublicIpHost), L"PUT " + host};
    for (const HttpRequest& r : transport.Requests()) asked.push_back(r.method + L" " + r.host);
    EXPECT_EQ(asked, std::vector<std::wstring>(all.begin(), all.begin() + c.asks));
    if (c.asks < 3) EXPECT_TRUE(atUpdate.empty());
    else EXPECT_TRUE(atUpdate[0] == "Public IP: 203.0.113.7" && atUpdate[1].find("(changed; update pending)") != std::string::npos && atUpdate[2] == atUpdate[1]) << atUpdate[1];
  }
}

}  // namespace
}  // namespace nimbard
