// The activity log: the exact line bytes, appending, whole lines under concurrent writers, and silence when the file
// cannot be opened.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/activity_log.h"
#include "core/text.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: ScratchDir, Lines

TEST(ActivityLog, LineFormatAndShortening) {
  struct Case { platform::LocalDateTime time; std::wstring message; std::string line; };
  const platform::LocalDateTime t{2026, 3, 7, 9, 5, 2};
  const Case cases[] = {
      {t, L"Public IP: 203.0.113.7", "[2026-03-07 09:05:02] Public IP: 203.0.113.7\r\n"},
      {{987, 10, 10, 10, 10, 10}, L"", "[987-10-10 10:10:10] \r\n"},
      {{12345, 9, 9, 9, 9, 9}, L"z", "[12345-09-09 09:09:09] z\r\n"},
      // One byte per character below 256; '?' for each one above.
      {t, L"caf\x00E9 \x0141x\x20AC", "[2026-03-07 09:05:02] caf\xE9 ?x?\r\n"},
      // A byte read from a file or an answer (U+FF80..U+FFFF) goes back out as that byte; a NUL is '?'.
      {t, std::wstring{L'a', wchar_t(0xFFE9), wchar_t(0xFF80), L'b', L'\0', L'\xFF', L'\t'}, "[2026-03-07 09:05:02] a\xE9\x80""b?\xFF\t\r\n"},
      // One call is one line: line breaks inside a message cannot forge an entry.
      {t, L"a\r\n[2026-01-01 00:00:00] forged\x1B\x7F", "[2026-03-07 09:05:02] a  [2026-01-01 00:00:00] forged??\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatLogLine(c.time, c.message), c.line);
  const struct { std::wstring text; std::size_t max; std::wstring shown; } shortened[] = {
      {L"", 4, L""}, {L"abcd", 4, L"abcd"}, {L"abcde", 4, L"abcd..."}, {L"abc", 0, L"..."}, {std::wstring(100000, L'x'), 3, L"xxx..."}};
  for (const auto& c : shortened) EXPECT_EQ(ShortenForLog(c.text, c.max), c.shown);
  const struct { std::wstring text; std::size_t max; std::wstring shown; } cut[] = {
      {L"abcd", 4, L"abcd"}, {L"abcde", 4, L"a..."}, {L"abcde", 2, L".."}, {std::wstring(1000000, L'x'), 6, L"xxx..."}};
  for (const auto& c : cut) EXPECT_EQ(CutText(c.text, c.max), c.shown);
}

// No line is longer than 4 KiB, stamp and line end included; a longer message is cut and says how long it was.
TEST(ActivityLog, LongMessagesAreCut) {
  const platform::LocalDateTime t{2026, 3, 7, 9, 5, 2};
  const std::string stamp = "[2026-03-07 09:05:02] ";
  const auto mark = [](std::size_t n) { return "... (cut from " + std::to_string(n) + " characters)\r\n"; };
  const struct { std::size_t length; std::string line; } cases[] = {
      {4072, stamp + std::string(4072, 'x') + "\r\n"},
      {4073, stamp + std::string(4072 - mark(4073).size() + 2, 'x') + mark(4073)},
      {16 * 1024 * 1024, stamp + std::string(4072 - mark(16 * 1024 * 1024).size() + 2, 'x') + mark(16 * 1024 * 1024)},
  };
  for (const auto& c : cases) {
    const std::string line = FormatLogLine(t, std::wstring(c.length, L'x'));
    EXPECT_EQ(line, c.line);
    EXPECT_LE(line.size(), kMaxLogLineBytes);
  }
}

TEST(ActivityLog, ConcurrentWritersGiveWholeLinesInTimeOrder) {
  ScratchDir dir("log-threads");
  constexpr int kThreads = 8, kLines = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) LogMessage(L"thread " + std::to_wstring(t) + L" line " + std::to_wstring(i) + L" padding padding padding");
    });
  }
  for (std::thread& t : threads) t.join();
  const Lines lines = dir.LogLines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);  // each thread's lines whole, once each, in order
  for (const std::string& line : lines) {
    int t = -1, i = -1;
    ASSERT_TRUE(std::sscanf(line.c_str(), "thread %d line %d", &t, &i) == 2 && t >= 0 && t < kThreads) << line;
    EXPECT_EQ(i, next[t]++) << line;  // a torn line's rest is unstamped and fails the scan
  }
  const std::string bytes = dir.ReadBytes("nimbard.log");
  for (std::size_t at = 0, end, previous = 0; (end = bytes.find("\r\n", at)) != std::string::npos; previous = at, at = end + 2) {
    EXPECT_GE(bytes.substr(at, 21), bytes.substr(previous, 21)) << "time stamps out of order";
  }
}

// The append that would take the log past its bound first moves it to the previous log (replacing that one); an
// append that reaches the bound exactly, or meets an empty log, moves nothing.
TEST(ActivityLog, MovesAsideBeforePassingTheBound) {
  ScratchDir dir("log-rotate");
  const std::string line = "[2026-01-01 00:00:00] a line\r\n";
  const struct { std::size_t before, lineBytes, limit; bool moved; } cases[] = {
      {100 - line.size(), line.size(), 100, false}, {101 - line.size(), line.size(), 100, true}, {0, 300, 100, false}, {60, 300, 100, true}};
  for (const auto& c : cases) {
    dir.Write("nimbard.log", std::string(c.before, 'o')), dir.Write("nimbard.1.log", "older");
    const std::string appended(c.lineBytes, 'n');
    EXPECT_TRUE(platform::AppendFileBytes(dir.File("nimbard.log"), appended, c.limit, dir.File("nimbard.1.log")));
    EXPECT_EQ(dir.ReadBytes("nimbard.log"), c.moved ? appended : std::string(c.before, 'o') + appended) << c.before;
    EXPECT_EQ(dir.ReadBytes("nimbard.1.log"), c.moved ? std::string(c.before, 'o') : "older") << c.before;
  }
  // LogMessage at the real bound.
  dir.Write("nimbard.log", std::string(kLogRotateBytes - 10, 'o'));
  LogMessage(L"the first line of a new log");
  EXPECT_EQ(dir.LogLines(), Lines{"the first line of a new log"});
  EXPECT_EQ(dir.ReadBytes("nimbard.1.log").size(), kLogRotateBytes - 10);
  EXPECT_EQ(dir.Listing(), "nimbard.1.log|nimbard.log");
}

// Two writers, each with a file handle of its own as two processes have, append across the bound: the two files hold
// every line once, whole, each writer's lines in order.
TEST(ActivityLog, TwoWritersRotatingLoseAndSplitNothing) {
  ScratchDir dir("log-rotate-two");
  constexpr int kLines = 400;
  constexpr std::uint64_t kLimit = 16384;  // about 24 KB in all: one move aside, and both files keep everything
  const auto writer = [&](char who) {
    for (int i = 0; i < kLines; ++i) {
      platform::AppendFileBytes(dir.File("nimbard.log"), FormatLogLine({2026, 1, 1, 0, 0, 0}, std::wstring(1, who) + L" " + std::to_wstring(i)),
                                kLimit, dir.File("nimbard.1.log"));
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join(), b.join();
  const std::string older = dir.ReadBytes("nimbard.1.log"), newer = dir.ReadBytes("nimbard.log");
  EXPECT_TRUE(older.size() <= kLimit && newer.size() <= kLimit && !older.empty()) << older.size() << " " << newer.size();
  int next[2] = {0, 0};
  std::istringstream both(older + newer);
  for (std::string l; std::getline(both, l);) {
    char who = 0;
    int i = -1;
    ASSERT_EQ(std::sscanf(l.c_str(), "[2026-01-01 00:00:00] %c %d\r", &who, &i), 2) << l;
    EXPECT_EQ(i, next[who - 'a']++) << l;
  }
  EXPECT_TRUE(next[0] == kLines && next[1] == kLines) << next[0] << " " << next[1];
}

TEST(ActivityLog, UnopenableLogIsSkippedSilently) {
  ScratchDir dir("log-unopenable");
  dir.MakeDir("nimbard.log");  // the log path taken by a directory: the line is lost, nothing else changes
  LogMessage(L"lost");
  EXPECT_TRUE(dir.Listing() == "nimbard.log" && dir.ReadBytes("nimbard.log") == "<missing>");
  EXPECT_TRUE(LogMutex.try_lock());  // and the lock is free again
  LogMutex.unlock();
}

}  // namespace
}  // namespace nimbard
