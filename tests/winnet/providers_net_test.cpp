// One real WinHTTP/TLS round trip per provider against the local API mock, GoDaddy's with a KEY:SECRET pair; the e2e
// script checks the requests and records at the mock afterwards.
#include <gtest/gtest.h>

#include <string>

#include "net/dns_provider.h"
#include "net/public_ip.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

const std::wstring kNewIp = L"203.0.113.7";

// Each record holds 198.51.100.4 at the mock: found, updated, found again as the new address.
void LookupUpdateLookup(const RecordConfig& r) {
  testing::ScratchDir scratch("providers-net");
  const ARecordLookup before = LookupARecord(r);
  EXPECT_TRUE(UpdateARecord(r, kNewIp, before).accepted);
  EXPECT_EQ(before.address + L" " + LookupARecord(r).address, L"198.51.100.4 " + kNewIp);
}

TEST(ProvidersNet, RoundTrips) {
  EXPECT_EQ(PublicIpLookup().address, kNewIp);
  RecordConfig cf{L"cloudflare", false, L"cf-test-token", L"example.com", L"home", L"zone1", L"rec1"};
  cf.ttl = 300, cf.proxied = false;
  LookupUpdateLookup(cf);
  LookupUpdateLookup({L"godaddy", false, L"gd-key:gd-secret", L"example.net", L"www.example.net", {}, {}});
}

}  // namespace
}  // namespace nimbard
