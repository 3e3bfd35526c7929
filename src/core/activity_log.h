#pragma once
// The activity log "nimbard.log": time-stamped lines appended from any thread.
#include <mutex>
#include <string>
#include <string_view>

#include "core/platform.h"

namespace nimbard {

// Held while one line is stamped and appended, so lines never interleave
// and stay in time order within the process.
extern std::mutex LogMutex;

// Appends "[YYYY-MM-DD hh:mm:ss] " + message + CR LF. A log that cannot be
// opened loses the line silently.
void LogMessage(std::wstring_view message);

// The bytes of one line, line end included (exposed for tests).
std::string FormatLogLine(const platform::LocalDateTime& time, std::wstring_view message);

}  // namespace nimbard
