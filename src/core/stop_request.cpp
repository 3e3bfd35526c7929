#include "core/stop_request.h"

#include <condition_variable>
#include <mutex>

namespace nimbard {

std::atomic<bool> StopRequested{false};

namespace {

// One lock and one condition for every waiter: stops are rare and at most a
// few exchanges wait at a time, so a shared wake-up costs nothing.
std::mutex g_mutex;
std::condition_variable g_changed;

}  // namespace

void RequestStop() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    StopRequested.exchange(true);
  }
  g_changed.notify_all();
}

void ClearStopRequest() { StopRequested.exchange(false); }

bool WaitUntilStopOr(std::chrono::steady_clock::time_point deadline,
                     const std::function<bool()>& ready) {
  std::unique_lock<std::mutex> lock(g_mutex);
  g_changed.wait_until(lock, deadline, [&] { return StopRequested.load() || ready(); });
  return ready();
}

void WakeStopWaiters() {
  // Taking the lock orders the waker's change before a waiter's next test of
  // its condition: a wake-up cannot fall between that test and the sleep.
  { std::lock_guard<std::mutex> lock(g_mutex); }
  g_changed.notify_all();
}

}  // namespace nimbard
