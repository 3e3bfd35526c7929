#include "ui/save_check.h"

#include "core/stop_request.h"

namespace nimbard {

// What the thread works on: its own copies, the token the dialog cancels,
// and where its outcomes go (the run's owner, which joins the thread before
// either goes).
struct SaveCheckRun::Shared {
  CancelToken token;
  HWND dialog = nullptr;
  std::vector<std::pair<std::size_t, RecordConfig>> records;
  ResultQueue<SaveCheckOutcome>* outcomes = nullptr;
  std::atomic<bool>* brokeOff = nullptr;
};

namespace {

void Hand(const SaveCheckRun::Shared& shared, SaveCheckOutcome outcome) {
  if (shared.token.Cancelled()) return;
  if (!shared.outcomes->Push(std::move(outcome))) shared.brokeOff->store(true);
  ::PostMessageW(shared.dialog, kSaveCheckLook, 0, 0);
}

// The thread's entry: nothing may escape it.
void CheckRecords(const std::shared_ptr<SaveCheckRun::Shared>& shared) noexcept {
  try {
    const ScopedCancellation cancellable(shared->token);
    for (std::size_t i = 0; i < shared->records.size(); ++i) {
      SaveCheckOutcome outcome;
      outcome.item = shared->records[i].first;
      outcome.check = CheckRecordSetup(shared->records[i].second);
      // A failure ends the run: the dialog asks before the next record.
      const bool passed = outcome.check.passed;
      Hand(*shared, std::move(outcome));
      if (!passed) return;
    }
  } catch (...) {
    // Only allocations throw here: the dialog learns that the check broke off.
    if (!shared->token.Cancelled()) {
      shared->brokeOff->store(true);
      ::PostMessageW(shared->dialog, kSaveCheckLook, 0, 0);
    }
  }
}

}  // namespace

SaveCheckRun::~SaveCheckRun() {
  Cancel();
  Finish();
}

bool SaveCheckRun::Start(HWND dialog, std::vector<std::pair<std::size_t, RecordConfig>> records) {
  Cancel();
  Finish();
  outcomes_.Clear();
  brokeOff_ = false;
  try {
    auto shared = std::make_shared<Shared>();
    shared->dialog = dialog;
    shared->records = std::move(records);
    shared->outcomes = &outcomes_;
    shared->brokeOff = &brokeOff_;
    if (!thread_.Start([shared] { CheckRecords(shared); })) return false;
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
  thread_.Join();
  shared_.reset();
}

}  // namespace nimbard
