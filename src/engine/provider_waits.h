#pragma once
// The records a provider asked nimbard to leave alone for a while (a
// rate-limited answer, HTTP 429), and until when. Kept while the process
// runs; a record is not asked again before its wait is over, while the other
// records of a pass go on.
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "core/record_config.h"

namespace nimbard {

class ProviderWaits {
 public:
  using Clock = std::chrono::steady_clock;

  void Hold(const RecordConfig& record, Clock::time_point until);
  // The whole seconds left to wait for `record` at `now` (rounded up); 0
  // when it may be asked.
  std::uint32_t SecondsLeft(const RecordConfig& record, Clock::time_point now);
  void Clear();

 private:
  static std::wstring Key(const RecordConfig& record);
  std::mutex mutex_;
  std::map<std::wstring, Clock::time_point> until_;
};

// The process's one list, shared by every pass.
ProviderWaits& TheProviderWaits();

}  // namespace nimbard
