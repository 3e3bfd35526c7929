#include "engine/poll_pass.h"

#include <exception>
#include <string>

#include "core/activity_log.h"
#include "core/config_store.h"
#include "core/status_board.h"
#include "core/text.h"
#include "engine/provider_waits.h"
#include "net/failure_cause.h"

namespace nimbard {

std::atomic<bool> PassRunning{false};

namespace {

// Owns PassRunning for one pass: only the pass that turned it from false to
// true clears it, on every way out of the pass.
class PassGuard {
 public:
  PassGuard() {
    bool expected = false;
    owner_ = PassRunning.compare_exchange_strong(expected, true, std::memory_order_seq_cst);
  }
  ~PassGuard() {
    if (owner_) PassRunning.store(false, std::memory_order_seq_cst);
  }
  PassGuard(const PassGuard&) = delete;
  PassGuard& operator=(const PassGuard&) = delete;
  bool owner() const { return owner_; }

 private:
  bool owner_ = false;
};

// Only valid inside a catch handler.
std::wstring CurrentErrorText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return WidenBytes(e.what());
  } catch (...) {
    return L"unknown error";
  }
}

// Last resort inside a handler: when even the log line cannot be built
// (memory is exhausted) there is nowhere left to report to.
void LogFromHandler(const std::wstring& prefix) noexcept {
  try {
    LogMessage(prefix + CurrentErrorText());
  } catch (...) {
  }
}

// One record's check. Whatever goes wrong inside it, the pass goes on with
// the next record; the record's line says that its check did not finish.
RecordOutcome CheckOneRecord(const RecordConfig& record, const PassAddresses& addresses, bool manual) {
  try {
    return RecordCheck(record, addresses, manual);
  } catch (...) {
    const std::wstring path = RecordPath(record);
    LogFromHandler(L"Record check for " + path + L" stopped by an unexpected error: ");
    RecordOutcome failed;
    failed.statusLine = L"Record: " + path + L" check failed";
    failed.summary = L"Record check failed";
    return failed;
  }
}

// A record the provider asked to leave alone is not asked before its wait is
// over; one that answers "too many requests" is left alone for the wait it
// asked for.
RecordOutcome CheckUnlessWaiting(const RecordConfig& record, const PassAddresses& addresses, bool manual) {
  ProviderWaits& waits = TheProviderWaits();
  const auto now = ProviderWaits::Clock::now();
  if (const std::uint32_t left = waits.SecondsLeft(record, now)) {
    const std::wstring path = RecordPath(record);
    LogMessage(L"Record " + path + L" is not checked for another " + DecimalText(left) +
               L" seconds: its provider asked nimbard to wait.");
    RecordOutcome waiting;
    waiting.result = RecordOutcome::Result::Waiting;
    waiting.statusLine = L"Record: " + path + L" waiting (too many requests)";
    waiting.summary = L"Waiting: too many requests";
    return waiting;
  }
  RecordOutcome outcome = CheckOneRecord(record, addresses, manual);
  const bool providerFailed = outcome.result == RecordOutcome::Result::LookupFailed ||
                              outcome.result == RecordOutcome::Result::UpdateFailed;
  if (providerFailed &&
      ExplainFailure(outcome.cause, ProviderOf(record), RequestKind::RecordLookup).trouble == Trouble::RateLimited) {
    waits.Hold(record, now + std::chrono::seconds(RateLimitWaitSeconds(outcome.cause)));
  }
  return outcome;
}

void RunPass(bool manual, PassOutcome& pass) {
  RecordList records;
  if (!LoadRecords(records)) {
    LogMessage(L"Polling stopped because configuration is invalid.");
    PublishStatus(L"Record: configuration unavailable", L"Configuration error");
    return;
  }
  pass.configurationLoaded = true;
  bool keepsA = false, keepsAaaa = false;
  for (const RecordConfig& record : records) keepsA |= record.ipv4, keepsAaaa |= record.ipv6;
  PassAddresses addresses;
  if (keepsA) addresses.ipv4 = PublicIpLookup();
  if (keepsAaaa) addresses.ipv6 = FindLocalIpv6();
  pass.address = addresses.ipv4;
  pass.ipv4Skipped = !keepsA;

  std::wstring joined;
  for (const RecordConfig& record : records) {
    if (StopRequested.load()) {
      LogMessage(L"Poll pass stopped before every record was checked.");
      pass.stopped = true;
      break;
    }
    pass.records.push_back(CheckUnlessWaiting(record, addresses, manual));
    const RecordOutcome& outcome = pass.records.back();
    if (!joined.empty()) joined += L"\r\n";
    joined += outcome.statusLine;
    PublishStatus(joined, outcome.summary);
  }
}

}  // namespace

bool PassOutcome::AnyRecordFailed() const {
  for (const RecordOutcome& record : records) {
    if (record.Failed()) return true;
  }
  return false;
}

PassOutcome PollPass(bool manual) {
  PassOutcome pass;
  if (StopRequested.load()) return pass;
  PassGuard guard;
  if (!guard.owner()) return pass;
  pass.ran = true;
  // The callers are thread entry points; nothing may leave the pass.
  try {
    RunPass(manual, pass);
  } catch (...) {
    LogFromHandler(L"Poll pass stopped by an unexpected error: ");
  }
  return pass;
}

}  // namespace nimbard
