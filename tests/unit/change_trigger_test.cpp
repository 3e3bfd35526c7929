// Passes after address changes: the settling delay, the merging, the one-a-minute bound.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "engine/change_trigger.h"

namespace nimbard {
namespace {

TEST(ChangeTrigger, SettlesMergesAndSpacesPasses) {
  enum Step { kChange, kAsk };
  const std::optional<std::uint64_t> none;
  const struct { Step step; std::uint64_t at; bool starts; std::optional<std::uint64_t> untilDue; const char* why; } rows[] = {
      {kAsk, 0, false, none, "nothing changed: nothing owed"},
      {kChange, 1000, false, 10000, "a change: due 10 s later"},
      {kChange, 4000, false, 7000, "a second change merges: still due at 11 s"},
      {kAsk, 10999, false, 1, "1 ms early"},
      {kAsk, 11000, true, none, "due: the pass starts, nothing owed after it"},
      {kAsk, 30000, false, none, "no second pass without a change"},
      {kChange, 20000, false, 51000, "a change 9 s after that start: held to a minute after it"},
      {kAsk, 70999, false, 1, "1 ms short of the minute"},
      {kAsk, 71000, true, none, "a minute after the last: the pass"},
      {kChange, 200000, false, 10000, "long after: 10 s again"},
      {kAsk, 215000, true, none, "asked late: starts then"},
      {kChange, 216000, false, 59000, "the minute counts from the late start"},
      {kAsk, 275000, true, none, "one minute after 215 s"},
  };
  ChangeTrigger trigger;
  for (const auto& row : rows) {
    if (row.step == kChange) {
      trigger.Changed(row.at);
    } else {
      EXPECT_EQ(trigger.TakeDue(row.at), row.starts) << row.why;
    }
    EXPECT_EQ(trigger.MsUntilDue(row.at), row.untilDue) << row.why;
  }
}

}  // namespace
}  // namespace nimbard
