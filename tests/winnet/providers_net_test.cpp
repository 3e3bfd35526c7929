// One real WinHTTP/TLS round trip per provider against the local API mock,
// GoDaddy's with a KEY:SECRET pair; the e2e script checks the requests and
// records at the mock afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/dns_provider.h"
#include "net/public_ip.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using Lines = std::vector<std::string>;
const std::wstring kNewIp = L"203.0.113.7";

void LookupUpdateLookup(const RecordConfig& r, const Lines& log) {
  testing::ScratchDir scratch("providers-net");
  std::wstring ip;
  EXPECT_TRUE(LookupARecord(r, ip));
  EXPECT_EQ(ip, L"198.51.100.4");
  EXPECT_TRUE(UpdateARecord(r, kNewIp));
  EXPECT_TRUE(LookupARecord(r, ip));
  EXPECT_EQ(ip, kNewIp);
  EXPECT_EQ(scratch.LogLines(), log);
}

TEST(ProvidersNet, RoundTrips) {
  EXPECT_EQ(PublicIpLookup(), kNewIp);
  RecordConfig cf;
  cf.provider = L"cloudflare", cf.apiKey = L"cf-test-token", cf.domain = L"example.com", cf.record = L"home";
  cf.zoneId = L"zone1", cf.recordId = L"rec1", cf.ttl = 300, cf.proxied = false;
  LookupUpdateLookup(cf, {"Cloudflare A record updated for home.example.com to 203.0.113.7."});
  RecordConfig gd;
  gd.apiKey = L"gd-key:gd-secret", gd.domain = L"example.net", gd.record = L"www.example.net";
  LookupUpdateLookup(gd, {R"(GoDaddy PUT body: [{"data":"203.0.113.7","ttl":600}])",
                          "GoDaddy A record updated for www.example.net to 203.0.113.7."});
}

}  // namespace
}  // namespace nimbard
