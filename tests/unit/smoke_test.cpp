#include <gtest/gtest.h>
#include "core/platform.h"
TEST(Platform, IPv4Texts) {
  struct { const wchar_t* text; bool ok; } cases[] = {
    {L"203.0.113.7", true}, {L"1.2.3", false}, {L"::1", false}, {L"", false},
    {L"203.0.113.7 ", false}, {L"256.1.1.1", false},
  };
  for (auto& c : cases) EXPECT_EQ(nimbard::platform::IsIPv4Text(c.text), c.ok);
}
