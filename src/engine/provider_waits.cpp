#include "engine/provider_waits.h"

namespace nimbard {

std::wstring ProviderWaits::Key(const RecordConfig& record) {
  return record.provider + L'\n' + record.apiKey + L'\n' + RecordPath(record);
}

void ProviderWaits::Hold(const RecordConfig& record, Clock::time_point until) {
  std::lock_guard<std::mutex> lock(mutex_);
  until_[Key(record)] = until;
}

std::uint32_t ProviderWaits::SecondsLeft(const RecordConfig& record, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = until_.find(Key(record));
  if (found == until_.end()) return 0;
  if (found->second <= now) {
    until_.erase(found);
    return 0;
  }
  const auto left = std::chrono::ceil<std::chrono::seconds>(found->second - now).count();
  return static_cast<std::uint32_t>(left);
}

void ProviderWaits::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  until_.clear();
}

ProviderWaits& TheProviderWaits() {
  static ProviderWaits waits;
  return waits;
}

}  // namespace nimbard
