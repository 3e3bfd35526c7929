// Forced passes asked for in a row: which start a pass and which merge into one.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/forced_pass_spacing.h"

namespace nimbard {
namespace {

TEST(ForcedPassSpacing, MergesAsksDuringAPassOrWithinTheGap) {
  const struct { std::uint64_t at; bool passUnderWay, starts; const char* why; } rows[] = {
      {5000, true, false, "the first ask, during a timed pass"},
      {5001, false, true, "the first ask between passes"},
      {5002, true, false, "during that pass"},
      {9000, false, false, "after it, within 10 s of its start"},
      {15000, false, false, "1 ms short of the gap"},
      {15001, false, true, "at the gap"},
      {15001 + 60000, true, false, "long after, but a pass runs"},
      {15001 + 60001, false, true, "long after, between passes"},
      {1000, false, false, "a clock that went back"},
      {15001 + 70001, false, true, "the gap counted from the last start"},
  };
  ForcedPassSpacing spacing;
  for (const auto& row : rows) EXPECT_EQ(spacing.Admit(row.at, row.passUnderWay), row.starts) << row.why;
}

}  // namespace
}  // namespace nimbard
