// The providers through real WinHTTP and TLS against the local API mock. Run
// by tests/e2e/providers.sh inside the isolated runner, which sets the scene
// these constants describe and checks the mock's request log and records
// afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text.h"
#include "net/cloudflare.h"
#include "net/godaddy.h"
#include "net/public_ip.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using Lines = std::vector<std::string>;
const std::wstring kNewIp = L"203.0.113.7";

RecordConfig CloudflareHome() {
  RecordConfig r;
  r.provider = L"cloudflare", r.apiKey = L"cf-test-token", r.domain = L"example.com", r.record = L"home";
  r.zoneId = L"zone1", r.recordId = L"rec1", r.ttl = 300, r.proxied = false;
  return r;
}
RecordConfig GoDaddyWww() {
  RecordConfig r;
  r.apiKey = L"gd-test-token", r.domain = L"example.net", r.record = L"www.example.net";
  return r;
}

TEST(ProvidersNet, PublicAddress) {
  testing::ScratchDir scratch("providers-net");
  EXPECT_EQ(PublicIpLookup(), kNewIp);
  EXPECT_TRUE(scratch.LogLines().empty());
}

// Lookup, update, lookup again: the second lookup sees the new address.
void LookupUpdateLookup(bool (*lookup)(const RecordConfig&, std::wstring&), const RecordConfig& record) {
  std::wstring ip;
  EXPECT_TRUE(lookup(record, ip));
  EXPECT_EQ(ip, L"198.51.100.4");
  EXPECT_TRUE(UpdateARecord(record, kNewIp));
  ip.clear();
  EXPECT_TRUE(lookup(record, ip));
  EXPECT_EQ(ip, kNewIp);
}

TEST(ProvidersNet, CloudflareLookupUpdateLookup) {
  testing::ScratchDir scratch("providers-net");
  LookupUpdateLookup(CloudflareLookup, CloudflareHome());
  EXPECT_EQ(scratch.LogLines(), Lines{"Cloudflare A record updated for home.example.com to 203.0.113.7."});
}

TEST(ProvidersNet, GoDaddyLookupUpdateLookup) {
  testing::ScratchDir scratch("providers-net");
  LookupUpdateLookup(GoDaddyLookup, GoDaddyWww());
  EXPECT_EQ(scratch.LogLines(), (Lines{R"(GoDaddy PUT body: [{"data":"203.0.113.7","ttl":600}])",
                                       "GoDaddy A record updated for www.example.net to 203.0.113.7."}));
}

TEST(ProvidersNet, RefusedKeysAreReportedButNeverLogged) {
  testing::ScratchDir scratch("providers-net");
  RecordConfig godaddy = GoDaddyWww(), cloudflare = CloudflareHome();
  godaddy.apiKey = L"gd-wrong-token";
  cloudflare.apiKey = L"cf-wrong-token";
  std::wstring ip = L"untouched";
  EXPECT_FALSE(GoDaddyLookup(godaddy, ip));
  EXPECT_FALSE(CloudflareLookup(cloudflare, ip));
  EXPECT_FALSE(UpdateARecord(cloudflare, kNewIp));
  EXPECT_EQ(ip, L"untouched");
  EXPECT_EQ(scratch.LogLines(), (Lines{"GoDaddy DNS lookup failed (HTTP 403).",
                                       R"(GoDaddy response: {"code":"ACCESS_DENIED","message":"Authenticated user is not allowed access"})",
                                       "Cloudflare DNS lookup failed (HTTP 403).",
                                       "Cloudflare A record update failed for example.com (HTTP 403)."}));
  EXPECT_EQ(scratch.ReadBytes("nimbard.log").find("wrong-token"), std::string::npos);
}

TEST(ProvidersNet, HugeAnswers) {
  testing::ScratchDir scratch("providers-net");
  RecordConfig zone = GoDaddyWww();  // about 5 MB of zone, the wanted record last
  zone.domain = L"big.example", zone.record = L"www";
  std::wstring ip;
  EXPECT_TRUE(GoDaddyLookup(zone, ip));
  EXPECT_EQ(ip, L"198.51.100.9");
  RecordConfig big = CloudflareHome();  // a "content" of 200 KB is no address
  big.recordId = L"big";
  ip.clear();
  EXPECT_FALSE(CloudflareLookup(big, ip));
  EXPECT_EQ(ip.size(), 200u * 1024u);
  EXPECT_TRUE(scratch.LogLines().empty());
}

}  // namespace
}  // namespace nimbard
