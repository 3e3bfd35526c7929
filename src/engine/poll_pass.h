#pragma once
#include <atomic>
#include "core/tray_window.h"
namespace nimbard {
// True exactly while a pass is at work in this process.
extern std::atomic<bool> PassRunning;
// Set when the service loop ends or the tray window is destroyed; while set,
// no new pass is started.
extern std::atomic<bool> StopRequested;
// One guarded sweep over every configured record; a pass that finds another
// running returns at once without a trace.
void PollPass(TrayWindow window, bool manual);
}  // namespace nimbard
