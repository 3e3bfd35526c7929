#include "engine/poll_pass.h"

#include <exception>
#include <string>

#include "core/activity_log.h"
#include "core/config_store.h"
#include "core/status_board.h"
#include "core/text.h"
#include "engine/record_check.h"

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
void CheckOneRecord(TrayWindow window, bool manual, const RecordConfig& record) {
  try {
    RecordCheck(window, manual, record);
  } catch (...) {
    const std::wstring path = RecordPath(record);
    LogFromHandler(L"Record check for " + path + L" stopped by an unexpected error: ");
    SetDetailTextWithoutFile(L"Record: " + path + L" check failed");
  }
}

void RunPass(TrayWindow window, bool manual) {
  RecordList records;
  if (!LoadRecords(records)) {
    LogMessage(L"Polling stopped because configuration is invalid.");
    SetDetailText(L"Record: configuration unavailable");
    SetSummaryText(window, L"Configuration error");
    return;
  }

  std::wstring joined;
  for (const RecordConfig& record : records) {
    if (StopRequested.load()) {
      LogMessage(L"Poll pass stopped before every record was checked.");
      break;
    }
    ClearDetailText();
    CheckOneRecord(window, manual, record);
    const std::wstring detail = DetailText();
    if (detail.empty()) continue;
    if (!joined.empty()) joined += L"\r\n";
    joined += detail;
  }

  if (!joined.empty()) {
    SetDetailText(joined);  // the memory text and the status file, together
    RefreshTrayTip(window);
  }
}

}  // namespace

void PollPass(TrayWindow window, bool manual) {
  if (StopRequested.load()) return;
  PassGuard guard;
  if (!guard.owner()) return;
  // The callers are thread entry points; nothing may leave the pass.
  try {
    RunPass(window, manual);
  } catch (...) {
    LogFromHandler(L"Poll pass stopped by an unexpected error: ");
  }
}

}  // namespace nimbard
