#include "ui/save_check.h"

#include "core/stop_request.h"

namespace nimbard {

// What the thread works on: its own copies, and the token the dialog
// cancels. Shared, so that neither side depends on the other's lifetime.
struct SaveCheckRun::Shared {
  CancelToken token;
  HWND dialog = nullptr;
  WPARAM run = 0;
  std::vector<std::pair<std::size_t, RecordConfig>> records;
};

namespace {

void Post(const SaveCheckRun::Shared* shared, std::unique_ptr<SaveCheckOutcome> outcome) {
  if (shared->token.Cancelled()) return;
  if (::PostMessageW(shared->dialog, kSaveCheckOutcome, shared->run, reinterpret_cast<LPARAM>(outcome.get()))) {
    outcome.release();  // the dialog owns it now
  }
}

// The thread's entry: nothing may escape it.
void CheckRecords(const std::shared_ptr<SaveCheckRun::Shared>& shared) noexcept {
  try {
    const ScopedCancellation cancellable(shared->token);
    for (std::size_t i = 0; i < shared->records.size(); ++i) {
      auto outcome = std::make_unique<SaveCheckOutcome>();
      outcome->item = shared->records[i].first;
      outcome->check = CheckRecordSetup(shared->records[i].second);
      // A failure ends the run: the dialog asks before the next record.
      const bool passed = outcome->check.passed;
      Post(shared.get(), std::move(outcome));
      if (!passed) return;
    }
  } catch (...) {
    // Only allocations throw here: the dialog learns that the check broke off.
    if (!shared->token.Cancelled()) ::PostMessageW(shared->dialog, kSaveCheckOutcome, shared->run, 0);
  }
}

}  // namespace

SaveCheckRun::~SaveCheckRun() {
  Cancel();
  Finish();
}

bool SaveCheckRun::Start(HWND dialog, WPARAM run, std::vector<std::pair<std::size_t, RecordConfig>> records) {
  Cancel();
  Finish();
  try {
    auto shared = std::make_shared<Shared>();
    shared->dialog = dialog;
    shared->run = run;
    shared->records = std::move(records);
    thread_ = std::thread(CheckRecords, shared);
    shared_ = std::move(shared);
    return true;
  } catch (...) {
    return false;  // no memory or no thread: nothing runs
  }
}

void SaveCheckRun::Cancel() {
  if (shared_) shared_->token.Cancel();
}

void SaveCheckRun::Finish() {
  // A cancelled check's requests end at once, so this wait is short.
  if (thread_.joinable()) thread_.join();
  shared_.reset();
}

void DiscardQueuedOutcomes(HWND dialog) {
  MSG message;
  while (::PeekMessageW(&message, dialog, kSaveCheckOutcome, kSaveCheckOutcome, PM_REMOVE)) {
    delete reinterpret_cast<SaveCheckOutcome*>(message.lParam);
  }
}

}  // namespace nimbard
