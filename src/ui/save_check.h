#pragma once
// The configuration dialog's check on Save, off the UI thread: the records
// that changed are tried one after the other (CheckRecordSetup) on a thread
// of its own, and each outcome is posted to the dialog. A failure ends the
// run, so that the dialog can ask what to do before the next record.
#include <windows.h>

#include <cstddef>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "core/record_config.h"
#include "engine/setup_check.h"

namespace nimbard {

// Posted to the dialog once per record checked. lParam: a SaveCheckOutcome*
// that the receiver owns; 0 when the check broke off without one (no
// memory). wParam: the run it belongs to.
constexpr UINT kSaveCheckOutcome = WM_APP + 1;

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

  // Ends the previous run, then checks `records` (each with an item number
  // of the caller's) in order and posts the outcomes, tagged `run`, to
  // `dialog`. False when no thread could be started.
  bool Start(HWND dialog, WPARAM run, std::vector<std::pair<std::size_t, RecordConfig>> records);

  // Gives the current run up at once: its requests end and no further
  // outcome is posted. A posted one may still be in the queue.
  void Cancel();

  struct Shared;  // the run's state, shared with its thread

 private:
  void Finish();

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

// Takes the outcomes still queued for `dialog` and deletes them (at its
// WM_DESTROY, once the run has ended: nothing is posted after that).
void DiscardQueuedOutcomes(HWND dialog);

}  // namespace nimbard
