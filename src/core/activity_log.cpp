#include "core/activity_log.h"

#include <algorithm>
#include <cstdio>

#include "core/app_paths.h"

namespace nimbard {

// Constant-initialised: usable by any thread from the first instruction on.
std::mutex LogMutex;

namespace {

// U+FF80..U+FFFF are bytes 0x80..0xFF as read from a file or an answer: they
// go back out as those bytes. Any other unit beyond one byte would turn into
// an unrelated byte if cut, so it shows as '?'.
char LogByte(wchar_t c) {
  const auto code = static_cast<unsigned long>(c);
  if (code == '\r' || code == '\n') return ' ';
  if ((code < 0x20 && code != '\t') || code == 0x7F) return '?';
  if (code < 256 || (code >= 0xFF80 && code <= 0xFFFF)) return static_cast<char>(code & 0xFF);
  return '?';
}

}  // namespace

std::wstring ShortenForLog(std::wstring_view text, std::size_t maxChars) {
  if (text.size() <= maxChars) return std::wstring(text);
  std::wstring out(text.substr(0, maxChars));
  out += L"...";
  return out;
}

std::string FormatLogLine(const platform::LocalDateTime& time, std::wstring_view message) {
  char stamp[64];
  const int length = std::snprintf(stamp, sizeof stamp, "[%d-%02d-%02d %02d:%02d:%02d] ", time.year,
                                   time.month, time.day, time.hour, time.minute, time.second);
  std::string line(stamp, length < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(length), sizeof stamp - 1));
  // Every unit is one byte, so the budget counts units. The mark is ASCII:
  // an ellipsis character has no byte of its own in an 8-bit log (it would
  // show as '?').
  const std::size_t budget = kMaxLogLineBytes - line.size() - 2;  // the stamp is under 64 bytes
  std::string mark;
  if (message.size() > budget) {
    mark = "... (cut from " + std::to_string(message.size()) + " characters)";
    message = message.substr(0, budget - mark.size());
  }
  line.reserve(line.size() + message.size() + mark.size() + 2);
  for (wchar_t c : message) line.push_back(LogByte(c));
  line += mark;
  line += "\r\n";
  return line;
}

void LogMessage(std::wstring_view message) {
  // The log is the last resort for reporting trouble: it must never become
  // trouble itself, so any failure (even running out of memory) loses the line.
  try {
    std::lock_guard<std::mutex> lock(LogMutex);
    const std::wstring path = LogFilePath();
    const platform::LocalDateTime now = platform::LocalTimeNow();
    platform::AppendFileBytes(path, FormatLogLine(now, message), kLogRotateBytes, PreviousLogFilePath());
  } catch (...) {
  }
}

}  // namespace nimbard
