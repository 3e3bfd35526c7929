#include "engine/forced_pass_spacing.h"

namespace nimbard {

bool ForcedPassSpacing::Admit(std::uint64_t nowMs, bool passUnderWay) {
  if (passUnderWay) return false;
  // A clock that went back (it should not) counts as within the gap.
  if (started_ && (nowMs < lastStartMs_ || nowMs - lastStartMs_ < kForcedPassGapMs)) return false;
  started_ = true;
  lastStartMs_ = nowMs;
  return true;
}

}  // namespace nimbard
