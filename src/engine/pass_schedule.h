#pragma once
// When the next timed pass comes. Normally one poll interval after the last.
// While the network is not there yet (at boot the service starts before it),
// a pass whose address lookup got no answer at all is followed sooner: after
// 30 seconds, then 60, 120 and so on, never later than the poll interval.
// The first pass that gets any answer returns to the poll interval.
#include <cstdint>

#include "engine/poll_pass.h"

namespace nimbard {

inline constexpr std::uint32_t kFirstRetryMs = 30000;

class PassSchedule {
 public:
  // The wait after a timed pass with this outcome; `pollIntervalMs` is the
  // configured interval. Passes the user forced do not count.
  std::uint32_t NextWaitMs(const PassOutcome& pass, std::uint32_t pollIntervalMs);

 private:
  std::uint32_t retryMs_ = 0;  // the last wait while retrying; 0 when not
};

}  // namespace nimbard
