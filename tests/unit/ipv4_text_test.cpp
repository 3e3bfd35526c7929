// The IPv4 test that decides whether an address may be compared and sent.
// Run natively and under Wine: both sides of the seam must agree.
#include <gtest/gtest.h>

#include <string>

#include "core/platform.h"

namespace nimbard {
namespace {

TEST(IPv4Text, DottedDecimalOnly) {
  const struct {
    std::wstring text;
    bool valid;
  } cases[] = {
      {L"203.0.113.7", true}, {L"0.0.0.0", true}, {L"255.255.255.255", true},
      {L"", false}, {L"1.2.3", false}, {L"1.2.3.4.5", false}, {L"256.1.1.1", false},
      {L"::1", false}, {L"2001:db8::1", false}, {L"203.0.113.7 ", false},
      {L" 203.0.113.7", false}, {L"203.0.113.7\n", false}, {L"1.2.3.-4", false},
      {L"a.b.c.d", false}, {L"0x1.2.3.4", false}, {L"1..2.3", false},
      // A NUL would end the text early for the platform call.
      {std::wstring(L"1.2.3.4\0junk", 12), false},
      // A unit whose low byte is a digit must not pass as that digit.
      {std::wstring{wchar_t(0x0131), L'.', L'2', L'.', L'3', L'.', L'4'}, false},
      {std::wstring{L'1', L'.', L'2', L'.', L'3', L'.', wchar_t(0xFF34)}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::IsIPv4Text(c.text), c.valid) << "case of length " << c.text.size();
  }
}

}  // namespace
}  // namespace nimbard
