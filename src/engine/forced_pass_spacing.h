#pragma once
// How often forced passes may come. Any interactive user may ask the service
// for one (Force Update, or any program that sends the control), so asks are
// spaced: one that comes while a pass runs, or within kForcedPassGapMs of the
// start of the last forced pass, is merged into that pass, not queued.
#include <cstdint>

namespace nimbard {

inline constexpr std::uint64_t kForcedPassGapMs = 10000;

class ForcedPassSpacing {
 public:
  // Whether an ask at `nowMs` (a monotonic millisecond count) starts a forced
  // pass; true also records that pass's start.
  bool Admit(std::uint64_t nowMs, bool passUnderWay);

 private:
  bool started_ = false;  // a forced pass was admitted before
  std::uint64_t lastStartMs_ = 0;
};

}  // namespace nimbard
