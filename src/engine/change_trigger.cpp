#include "engine/change_trigger.h"

#include <algorithm>

namespace nimbard {

void ChangeTrigger::Changed(std::uint64_t nowMs) {
  if (owed_) return;  // merged into the pass already owed
  owed_ = true;
  firstChangeMs_ = nowMs;
}

std::uint64_t ChangeTrigger::DueMs() const {
  const std::uint64_t settled = firstChangeMs_ + kChangeSettleMs;
  return started_ ? std::max(settled, lastStartMs_ + kChangePassGapMs) : settled;
}

std::optional<std::uint64_t> ChangeTrigger::MsUntilDue(std::uint64_t nowMs) const {
  if (!owed_) return std::nullopt;
  const std::uint64_t due = DueMs();
  return due > nowMs ? due - nowMs : 0;
}

bool ChangeTrigger::TakeDue(std::uint64_t nowMs) {
  if (!owed_ || nowMs < DueMs()) return false;
  owed_ = false;
  started_ = true;
  lastStartMs_ = nowMs;
  return true;
}

std::wstring UnwatchedChangesMessage(unsigned long error) {
  return L"Address changes are not watched (error " + std::to_wstring(error) +
         L"); they are found at the next timed pass.";
}

}  // namespace nimbard
