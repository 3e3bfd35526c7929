// The activity log: the exact line bytes, appending, whole lines under
// concurrent writers, and silence when the file cannot be opened.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/activity_log.h"
#include "core/text.h"
#include "unit/core_scratch_dir.h"

namespace nimbard {
namespace {

using core_testing::CoreScratchDir;

TEST(ActivityLog, LineFormat) {
  struct Case {
    platform::LocalDateTime time;
    std::wstring message;
    std::string line;
  };
  const Case cases[] = {
      {{2026, 3, 7, 9, 5, 2}, L"Public IP: 203.0.113.7", "[2026-03-07 09:05:02] Public IP: 203.0.113.7\r\n"},
      {{2026, 12, 31, 23, 59, 59}, L"x", "[2026-12-31 23:59:59] x\r\n"},
      {{2026, 1, 1, 0, 0, 0}, L"", "[2026-01-01 00:00:00] \r\n"},
      {{987, 10, 10, 10, 10, 10}, L"y", "[987-10-10 10:10:10] y\r\n"},
      {{12345, 9, 9, 9, 9, 9}, L"z", "[12345-09-09 09:09:09] z\r\n"},
      // One byte per character below 256; '?' for each one above, the rest kept.
      {{2026, 3, 7, 9, 5, 2}, L"caf\x00E9 \x0141x\x20AC", "[2026-03-07 09:05:02] caf\xE9 ?x?\r\n"},
      // A byte read from a file or an answer (U+FF80..U+FFFF) goes back out as that byte.
      {{2026, 3, 7, 9, 5, 2}, std::wstring{L'a', wchar_t(0xFFE9), wchar_t(0xFF80), L'b'}, "[2026-03-07 09:05:02] a\xE9\x80""b\r\n"},
      {{2026, 3, 7, 9, 5, 2}, std::wstring{L'a', L'\0', L'\xFF', L'\t'}, "[2026-03-07 09:05:02] a?\xFF\t\r\n"},
      // One call is one line: line breaks inside a message cannot forge an entry.
      {{2026, 3, 7, 9, 5, 2}, L"a\r\n[2026-01-01 00:00:00] forged\x1B\x7F", "[2026-03-07 09:05:02] a  [2026-01-01 00:00:00] forged??\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatLogLine(c.time, c.message), c.line);
}

TEST(ActivityLog, ShortenForLog) {
  const struct {
    std::wstring text;
    std::size_t max;
    std::wstring shown;
  } cases[] = {
      {L"", 4, L""}, {L"abcd", 4, L"abcd"}, {L"abcde", 4, L"abcd..."}, {L"abc", 0, L"..."},
      {std::wstring(100000, L'x'), 3, L"xxx..."},
  };
  for (const auto& c : cases) EXPECT_EQ(ShortenForLog(c.text, c.max), c.shown);
}

// "[YYYY-MM-DD hh:mm:ss] " with digits where digits belong; returns the
// message part, or "<malformed>".
std::string MessageOf(const std::string& line) {
  const std::string shape = "[dddd-dd-dd dd:dd:dd] ";
  if (line.size() < shape.size()) return "<malformed>";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool ok = shape[i] == 'd' ? (line[i] >= '0' && line[i] <= '9') : line[i] == shape[i];
    if (!ok) return "<malformed>";
  }
  return line.substr(shape.size());
}

std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (start != bytes.size()) lines.push_back("<unterminated>" + bytes.substr(start));
  return lines;
}

TEST(ActivityLog, CreatesThenAppends) {
  CoreScratchDir dir("log-append");
  LogMessage(L"first");
  std::vector<std::string> lines = SplitLines(dir.Read("nimbard.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(MessageOf(lines[0]), "first");

  dir.Write("nimbard.log", "kept line\r\nno line end");
  LogMessage(L"second");
  LogMessage(L"");
  const std::string bytes = dir.Read("nimbard.log");
  ASSERT_EQ(bytes.rfind("kept line\r\nno line end[", 0), 0u) << bytes;
  lines = SplitLines(bytes.substr(std::string("kept line\r\nno line end").size()));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(MessageOf(lines[0]), "second");
  EXPECT_EQ(MessageOf(lines[1]), "");
}

TEST(ActivityLog, ConcurrentWritersGiveWholeLinesInTimeOrder) {
  CoreScratchDir dir("log-threads");
  constexpr int kThreads = 8, kLines = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        LogMessage(L"thread " + std::to_wstring(t) + L" line " + std::to_wstring(i) +
                   L" padding padding padding padding");
      }
    });
  }
  for (std::thread& t : threads) t.join();

  const std::vector<std::string> lines = SplitLines(dir.Read("nimbard.log"));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  std::set<std::string> seen;
  std::vector<int> next(kThreads, 0);
  std::string previousStamp;
  for (const std::string& line : lines) {
    const std::string message = MessageOf(line);
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(message.c_str(), "thread %d line %d", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(i, next[t]++) << "lines of one thread out of order: " << line;
    EXPECT_EQ(message.substr(message.size() - 7), "padding") << line;
    EXPECT_TRUE(seen.insert(message).second) << line;
    const std::string stamp = line.substr(0, 21);
    EXPECT_GE(stamp, previousStamp) << "time stamps out of order";
    previousStamp = stamp;
  }
}

TEST(ActivityLog, UnopenableLogIsSkippedSilently) {
  CoreScratchDir dir("log-missing");
  platform::OverrideExecutablePathForTesting((dir.dir() / "gone" / "nimbard.exe").wstring());
  LogMessage(L"lost");
  EXPECT_EQ(dir.Listing(), "");

  // The log path taken by a directory: the line is lost, nothing else changes.
  platform::OverrideExecutablePathForTesting(dir.Path("nimbard.exe"));
  std::filesystem::create_directories(dir.dir() / "nimbard.log");
  LogMessage(L"lost too");
  EXPECT_EQ(dir.Listing(), "nimbard.log");
  EXPECT_TRUE(std::filesystem::is_directory(dir.dir() / "nimbard.log"));

  // The lock is free again afterwards.
  EXPECT_TRUE(LogMutex.try_lock());
  LogMutex.unlock();
}

}  // namespace
}  // namespace nimbard
