#pragma once
// Passes that follow a change of the PC's addresses, or its wake from sleep.
// A change starts a pass kChangeSettleMs later, so that the new address has
// settled and changes in a burst (a router reconnecting) merge into one
// pass; such passes come at most once each kChangePassGapMs. The host
// supplies the clock (a monotonic millisecond count) and runs the passes.
#include <cstdint>
#include <optional>
#include <string>

namespace nimbard {

inline constexpr std::uint64_t kChangeSettleMs = 10000;
inline constexpr std::uint64_t kChangePassGapMs = 60000;

class ChangeTrigger {
 public:
  // An address came or went, or the PC resumed, at `nowMs`.
  void Changed(std::uint64_t nowMs);
  // Milliseconds from `nowMs` until the pass owed is due (0: due now);
  // nothing when no change waits for a pass.
  std::optional<std::uint64_t> MsUntilDue(std::uint64_t nowMs) const;
  // Whether the pass owed is due at `nowMs`; true also records that pass's
  // start and clears what it owes.
  bool TakeDue(std::uint64_t nowMs);

 private:
  std::uint64_t DueMs() const;

  bool owed_ = false;
  std::uint64_t firstChangeMs_ = 0;  // the first change not yet in a pass
  bool started_ = false;             // a change pass ran before
  std::uint64_t lastStartMs_ = 0;
};

// The log line when the system will not tell of address changes.
std::wstring UnwatchedChangesMessage(unsigned long error);

}  // namespace nimbard
