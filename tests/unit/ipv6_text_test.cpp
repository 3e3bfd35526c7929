// IPv6 text: every valid form read, RFC 5952's written, and anything else refused without harm.
#include <gtest/gtest.h>

#include <string>

#include "net/ipv6_text.h"

namespace nimbard {
namespace {

TEST(Ipv6Text, ReadsAnyFormWritesRfc5952) {
  struct Case { const wchar_t *text, *written; };
  const Case cases[] = {
      {L"2001:DB8:5:6:0:0:0:10", L"2001:db8:5:6::10"}, {L"2001:0db8:0005:0006:0000:0000:0000:0010", L"2001:db8:5:6::10"},
      {L"::", L"::"}, {L"::1", L"::1"}, {L"1::", L"1::"},
      {L"1:0:0:2:0:0:0:3", L"1:0:0:2::3"},                 // the longest zero run
      {L"1:0:0:2:3:0:0:4", L"1::2:3:0:0:4"},               // of equal runs, the first
      {L"2001:db8:0:1:1:1:1:1", L"2001:db8:0:1:1:1:1:1"},  // one zero group stays
      {L"1:2:3:4:5:6:7::", L"1:2:3:4:5:6:7:0"}, {L"::2:3:4:5:6:7:8", L"0:2:3:4:5:6:7:8"},
      {L"FFFF:ffff:FfFf:ffff:ffff:ffff:ffff:ffff", L"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
      {L"::ffff:192.0.2.1", L"::ffff:192.0.2.1"}, {L"0:0:0:0:0:FFFF:C000:0201", L"::ffff:192.0.2.1"},
      {L"64:ff9b::198.51.100.4", L"64:ff9b::c633:6404"}, {L"1:2:3:4:5:6:0.0.0.0", L"1:2:3:4:5:6::"},
  };
  for (const Case& c : cases) {
    Ipv6Bytes bytes{};
    ASSERT_TRUE(ParseIpv6(c.text, bytes)) << c.text;
    EXPECT_EQ(FormatIpv6(bytes), c.written) << c.text;
    Ipv6Bytes again{};
    EXPECT_TRUE(ParseIpv6(FormatIpv6(bytes), again) && again == bytes) << c.text;
  }
}

TEST(Ipv6Text, RefusesAllElse) {
  const std::wstring bad[] = {
      L"", L":", L":::", L"1:::2", L"1::2::3", L":1::", L"1::2:", L"1:2:3:4:5:6:7", L"1:2:3:4:5:6:7:8:9",
      L"1:2:3:4:5:6:7:8::", L"::1:2:3:4:5:6:7:8", L"12345::", L"g::1", L"2001:db8::1 ", L" ::1", L"fe80::1%eth0",
      L"2001:db8::/32", L"[::1]", L"203.0.113.7", L"::1.2.3", L"::1.2.3.256", L"::01.2.3.4", L"::1.2.3.4.5",
      L"1.2.3.4::", L"::1.2.3.4:5", L"1:2:3:4:5:6:7:1.2.3.4", L"::ffff:1.2.3.4x", L"2001:db8::-1",
      std::wstring(L"::1\0", 4), std::wstring{L':', L':', wchar_t(0xFF11)},  // a wide unit whose low byte is '1'
      std::wstring(100000, L':'), std::wstring(100000, L'1'), L"1" + std::wstring(50000, L':') + L"1",
  };
  for (const std::wstring& text : bad) {
    Ipv6Bytes bytes{};
    bytes[0] = 0x5a;
    EXPECT_FALSE(ParseIpv6(text, bytes)) << text.substr(0, 40);
    EXPECT_EQ(bytes[0], 0x5a) << "changed by a refused text";
  }
}

TEST(Ipv6Text, ComparesAsAddresses) {
  struct Case { const wchar_t *a, *b; bool same; };
  const Case cases[] = {
      {L"2001:DB8:5:6:0:0:0:10", L"2001:db8:5:6::10", true}, {L"2001:db8::1", L"2001:0DB8:0:0::0:1", true},
      {L"2001:db8::1", L"2001:db8::2", false}, {L"::ffff:192.0.2.1", L"::ffff:c000:201", true},
      {L"2001:db8::1", L"not an address", false}, {L"", L"", false},  // two empty texts are no address
  };
  for (const Case& c : cases) EXPECT_EQ(SameIpv6(c.a, c.b), c.same) << c.a << " / " << c.b;
}

}  // namespace
}  // namespace nimbard
