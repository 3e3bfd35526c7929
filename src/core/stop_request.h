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

// Waits until `ready` holds, a stop is requested or `deadline` passes;
// returns ready(). Whoever makes `ready` true must then call WakeStopWaiters,
// or the waiter sleeps on to the deadline.
bool WaitUntilStopOr(std::chrono::steady_clock::time_point deadline,
                     const std::function<bool()>& ready);
void WakeStopWaiters();

}  // namespace nimbard
