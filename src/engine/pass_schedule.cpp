#include "engine/pass_schedule.h"

#include <algorithm>

namespace nimbard {

std::uint32_t PassSchedule::NextWaitMs(const PassOutcome& pass, std::uint32_t pollIntervalMs) {
  // No status from any echo service: no network yet (a server that answers
  // with an error is a network that works).
  const bool noNetwork = pass.ran && pass.configurationLoaded && !pass.stopped && !pass.ipv4Skipped &&
                         !pass.address.answered && pass.address.address.empty();
  if (!noNetwork) {
    retryMs_ = 0;
    return pollIntervalMs;
  }
  retryMs_ = retryMs_ == 0 ? kFirstRetryMs
                           : static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{retryMs_} * 2, pollIntervalMs));
  return std::min(retryMs_, pollIntervalMs);
}

}  // namespace nimbard
