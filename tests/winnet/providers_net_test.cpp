// One real WinHTTP/TLS round trip per provider against the local API mock, GoDaddy's with a KEY:SECRET pair; the e2e
// script checks the requests and records at the mock afterwards.
#include <gtest/gtest.h>

#include <string>

#include "net/dns_provider.h"
#include "net/public_ip.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

const std::wstring kNewIp = L"203.0.113.7", kNewIpv6 = L"2001:db8::10";

// Each record holds 198.51.100.4 (its AAAA record 2001:db8::1) at the mock: found, updated, found again as the new
// address.
void LookupUpdateLookup(const RecordConfig& r, RecordType type = RecordType::A) {
  testing::ScratchDir scratch("providers-net");
  const bool a = type == RecordType::A;
  const ARecordLookup before = LookupRecord(r, type);
  EXPECT_TRUE(UpdateRecord(r, type, a ? kNewIp : kNewIpv6, before).accepted);
  EXPECT_EQ(before.address + L" " + LookupRecord(r, type).address,
            a ? L"198.51.100.4 " + kNewIp : L"2001:db8::1 " + kNewIpv6);
}

TEST(ProvidersNet, RoundTrips) {
  EXPECT_EQ(PublicIpLookup().address, kNewIp);
  RecordConfig cf{L"cloudflare", false, L"cf-test-token", L"example.com", L"home", L"zone1", L"rec1"};
  cf.ttl = 300, cf.proxied = false;
  LookupUpdateLookup(cf);
  LookupUpdateLookup(cf, RecordType::AAAA);  // found by its name, then by the ID found
  const RecordConfig gd{L"godaddy", false, L"gd-key:gd-secret", L"example.net", L"www.example.net", {}, {}};
  LookupUpdateLookup(gd);
  LookupUpdateLookup(gd, RecordType::AAAA);
}

}  // namespace
}  // namespace nimbard
