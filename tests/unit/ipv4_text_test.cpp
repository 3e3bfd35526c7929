// The IPv4 test that decides whether an address may be compared and sent. Run natively and under Wine: both sides of
// the seam must agree.
#include <gtest/gtest.h>

#include <string>

#include "core/platform.h"

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

}  // namespace
}  // namespace nimbard
