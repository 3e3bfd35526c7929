#pragma once
// The configuration dialog's check on Save, off the UI thread: the records
// that changed are tried one after the other (CheckRecordSetup) on a thread
// of its own, and each outcome is queued for the dialog. A failure ends the
// run, so that the dialog can ask what to do before the next record.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/record_config.h"
#include "core/worker_thread.h"
#include "engine/setup_check.h"
#include "ui/result_queue.h"

namespace nimbard {

// Posted to the dialog after each outcome queued: "look" (TakeOutcome). It
// carries nothing.
constexpr UINT kSaveCheckLook = WM_APP + 1;

struct SaveCheckOutcome {
  std::size_t item = 0;  // as given with the record to Start
  SetupCheck check;
};

class SaveCheckRun {
 public:
  SaveCheckRun() = default;
  // Gives the run up and waits for its thread, which then returns at once.
  ~SaveCheckRun();
  SaveCheckRun(const SaveCheckRun&) = delete;
  SaveCheckRun& operator=(const SaveCheckRun&) = delete;

  // Ends the previous run and drops what it left queued, then checks
  // `records` (each with an item number of the caller's) in order, queues
  // the outcomes and posts kSaveCheckLook to `dialog`. False when no thread
  // could be started.
  bool Start(HWND dialog, std::vector<std::pair<std::size_t, RecordConfig>> records);

  // Gives the current run up at once: its requests end and no further
  // outcome is queued (one may be queued as this returns).
  void Cancel();

  // The current run's next outcome, in order; none while none is queued.
  std::optional<SaveCheckOutcome> TakeOutcome() { return outcomes_.Pop(); }
  // Whether the run broke off without an outcome (no memory); true once.
  bool TakeBrokeOff() { return brokeOff_.exchange(false); }

  struct Shared;  // the run's state, shared with its thread

 private:
  void Finish();

  ResultQueue<SaveCheckOutcome> outcomes_;
  std::atomic<bool> brokeOff_{false};
  std::shared_ptr<Shared> shared_;
  JoinableThread thread_;  // joined (by Start and the destructor) before the queue it pushes to goes
};

}  // namespace nimbard
