#pragma once
// The process-wide request to stop: set when the service is told to stop or
// the tray's window goes away. While it is set no pass starts, no exchange
// starts, and an exchange in flight is given up, so that a stop is prompt
// even while a server hangs.
#include <atomic>
#include <chrono>
#include <functional>

namespace nimbard {

// Changed only by RequestStop and ClearStopRequest (atomic exchanges).
extern std::atomic<bool> StopRequested;

// Sets StopRequested and wakes every WaitUntilStopOr.
void RequestStop();
// Clears it (a service that starts again).
void ClearStopRequest();

// One piece of work that its owner may give up from another thread (a
// check that the user cancelled). Exchanges made on a thread that carries
// it (ScopedCancellation) end at once when it is cancelled, as at a stop.
class CancelToken {
 public:
  void Cancel();  // wakes every WaitUntilStopOr
  bool Cancelled() const { return cancelled_.load(); }

 private:
  std::atomic<bool> cancelled_{false};
};

// While it lives, the calling thread carries `token`.
class ScopedCancellation {
 public:
  explicit ScopedCancellation(const CancelToken& token);
  ~ScopedCancellation();
  ScopedCancellation(const ScopedCancellation&) = delete;
  ScopedCancellation& operator=(const ScopedCancellation&) = delete;

 private:
  const CancelToken* previous_;
};

// A stop is requested, or the calling thread's work was cancelled.
bool GiveUpRequested();

// Waits until `ready` holds, GiveUpRequested() or `deadline` passes;
// returns ready(). Whoever makes `ready` true must then call WakeStopWaiters,
// or the waiter sleeps on to the deadline.
bool WaitUntilStopOr(std::chrono::steady_clock::time_point deadline,
                     const std::function<bool()>& ready);
void WakeStopWaiters();

}  // namespace nimbard
