// The IPv4 test that decides whether an address may be compared and sent. Run natively and under Wine: both sides of
// the seam must agree.
#include <gtest/gtest.h>

#include <string>

#include "core/platform.h"
#include "net/public_ip.h"

namespace nimbard {
namespace {

TEST(IPv4Text, DottedDecimalOnly) {
  const std::wstring valid[] = {L"203.0.113.7", L"0.0.0.0", L"255.255.255.255"};
  const std::wstring invalid[] = {
      L"", L"1.2.3", L"1.2.3.4.5", L"256.1.1.1", L"2001:db8::1", L"203.0.113.7 ", L" 203.0.113.7", L"1.2.3.-4", L"0x1.2.3.4", L"1..2.3",
      std::wstring(L"1.2.3.4\0junk", 12),  // a NUL would end the text early for the platform call
      // A unit whose low byte is a digit must not pass as that digit.
      std::wstring{wchar_t(0x0131), L'.', L'2', L'.', L'3', L'.', L'4'}, std::wstring{L'1', L'.', L'2', L'.', L'3', L'.', wchar_t(0xFF34)}};
  for (const std::wstring& text : valid) EXPECT_TRUE(platform::IsIPv4Text(text));
  for (const std::wstring& text : invalid) EXPECT_FALSE(platform::IsIPv4Text(text)) << text.size() << " units";
}

// Only an address the internet can see a home as is ever published; each range is checked at both of its edges.
TEST(IPv4Text, PublicAddressesOnly) {
  const wchar_t* const kPublic[] = {L"1.0.0.0", L"9.255.255.255", L"11.0.0.0", L"100.63.255.255", L"100.128.0.0", L"126.255.255.255",
      L"128.0.0.0", L"169.253.255.255", L"169.255.0.0", L"172.15.255.255", L"172.32.0.0", L"192.167.255.255", L"192.169.0.0",
      L"223.255.255.255", L"192.0.2.1", L"198.51.100.4", L"203.0.113.7"};
  const wchar_t* const kNotPublic[] = {L"0.0.0.0", L"0.255.255.255", L"10.0.0.0", L"10.255.255.255", L"100.64.0.0", L"100.127.255.255",
      L"127.0.0.1", L"169.254.0.0", L"169.254.255.255", L"172.16.0.0", L"172.31.255.255", L"192.168.0.0", L"192.168.255.255",
      L"224.0.0.0", L"239.255.255.255", L"240.0.0.0", L"255.255.255.255", L"8.8.8", L""};
  for (const wchar_t* address : kPublic) EXPECT_TRUE(IsPublicIPv4(address)) << address;
  for (const wchar_t* address : kNotPublic) EXPECT_FALSE(IsPublicIPv4(address)) << address;
}

}  // namespace
}  // namespace nimbard
