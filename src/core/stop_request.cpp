#include "core/stop_request.h"

#include <condition_variable>
#include <mutex>

namespace nimbard {

std::atomic<bool> StopRequested{false};

namespace {

// One lock and one condition for every waiter: stops are rare and at most a
// few exchanges wait at a time, so a shared wake-up costs nothing. Never
// destroyed: an exchange given up at a stop may still finish on its own
// thread while the process runs its exit.
struct Signal {
  std::mutex mutex;
  std::condition_variable changed;
};

Signal& TheSignal() {
  static Signal* const signal = new Signal;
  return *signal;
}

// The cancellable work the current thread does, if any.
thread_local const CancelToken* t_currentWork = nullptr;

}  // namespace

void CancelToken::Cancel() {
  cancelled_.store(true);
  WakeStopWaiters();
}

ScopedCancellation::ScopedCancellation(const CancelToken& token) : previous_(t_currentWork) {
  t_currentWork = &token;
}

ScopedCancellation::~ScopedCancellation() { t_currentWork = previous_; }

bool GiveUpRequested() { return StopRequested.load() || (t_currentWork && t_currentWork->Cancelled()); }

void RequestStop() {
  Signal& signal = TheSignal();
  {
    std::lock_guard<std::mutex> lock(signal.mutex);
    StopRequested.exchange(true);
  }
  signal.changed.notify_all();
}

void ClearStopRequest() { StopRequested.exchange(false); }

bool WaitUntilStopOr(std::chrono::steady_clock::time_point deadline,
                     const std::function<bool()>& ready) {
  Signal& signal = TheSignal();
  std::unique_lock<std::mutex> lock(signal.mutex);
  signal.changed.wait_until(lock, deadline, [&] { return GiveUpRequested() || ready(); });
  return ready();
}

void WakeStopWaiters() {
  // Taking the lock orders the waker's change before a waiter's next test of
  // its condition: a wake-up cannot fall between that test and the sleep.
  Signal& signal = TheSignal();
  { std::lock_guard<std::mutex> lock(signal.mutex); }
  signal.changed.notify_all();
}

}  // namespace nimbard
