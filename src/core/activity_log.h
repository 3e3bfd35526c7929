#pragma once
// The activity log "nimbard.log": time-stamped lines appended from any thread.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/platform.h"

namespace nimbard {

// Held while one line is stamped and appended, so lines never interleave
// and stay in time order within the process.
extern std::mutex LogMutex;

// The log's bound: an append that would take nimbard.log past it first moves
// the log to nimbard.1.log (replacing the older one), so the two never hold
// more than about twice this much.
inline constexpr std::uint64_t kLogRotateBytes = 1024 * 1024;

// The longest line written, time and line end included.
inline constexpr std::size_t kMaxLogLineBytes = 4096;

// Appends "[YYYY-MM-DD hh:mm:ss] " + message + CR LF. A log that cannot be
// opened loses the line silently. One call is always one line: a CR or LF
// inside the message (server answers are logged) is written as a blank, any
// other control character as '?', so nothing can forge an entry of its own.
// A message too long for kMaxLogLineBytes is cut and ends in
// "... (cut from N characters)".
void LogMessage(std::wstring_view message);

// At most maxChars characters of text, followed by "..." when it was cut: for
// values from the network that could otherwise put megabytes in every pass.
std::wstring ShortenForLog(std::wstring_view text, std::size_t maxChars);

// The bytes of one line, line end included (exposed for tests).
std::string FormatLogLine(const platform::LocalDateTime& time, std::wstring_view message);

}  // namespace nimbard
