#pragma once
#include <atomic>
#include "core/stop_request.h"
#include "core/tray_window.h"
namespace nimbard {
// True exactly while a pass is at work in this process.
extern std::atomic<bool> PassRunning;
// One guarded sweep over every configured record; a pass that finds another
// running returns at once without a trace, and so does one started while a
// stop is requested. A stop during the pass ends it after the record in
// hand (whose exchanges fail at once), with the lines checked so far.
void PollPass(TrayWindow window, bool manual);
}  // namespace nimbard
