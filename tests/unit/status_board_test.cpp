#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/status_board.h"
#include "core/text.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using testing::ScratchDir;

TEST(StatusBoard, DetailTextGoesToTheFileByteForByte) {
  ScratchDir dir("board-bytes");
  struct { std::wstring text; std::string bytes; } cases[] = {
      {L"Record: a.example/www = 203.0.113.7 (unchanged)", "Record: a.example/www = 203.0.113.7 (unchanged)"},
      {L"Record: one\r\nRecord: two\r\nRecord: three", "Record: one\r\nRecord: two\r\nRecord: three"},
      {L"", ""},
      {std::wstring(1, wchar_t(0xE9)), "\xE9"},            // low 8 bits, not UTF-8
      {std::wstring(1, wchar_t(0xFFE9)), "\xE9"},          // a byte read back, written again
      {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},  // no terminating zero, no cut
  };
  ResetStatusBoard();
  for (const auto& c : cases) {
    SetSummaryText(nullptr, L"summary stays");
    SetDetailText(c.text);
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), c.bytes);
    EXPECT_EQ(DetailText(), c.text);
    EXPECT_EQ(SummaryText(), L"summary stays");
  }
  EXPECT_EQ(dir.Listing(), "nimbard.status");  // no temporary file left beside it
}

TEST(StatusBoard, ReadStatusFile) {
  ScratchDir dir("board-read");
  struct { std::string bytes; std::wstring expected; } cases[] = {
      {"<missing>", kDetailUnavailable}, {"", kDetailUnavailable}, {"Record: lookup failed", L"Record: lookup failed"},
      {"Record: a\r\nRecord: b", L"Record: a\r\nRecord: b"}, {"\xE9", std::wstring(1, wchar_t(0xFFE9))},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)}, {"x\r\n", L"x\r\n"},
  };
  for (const auto& c : cases) {
    dir.Remove("nimbard.status");
    if (c.bytes != "<missing>") dir.Write("nimbard.status", c.bytes);
    EXPECT_EQ(ReadStatusFile(), c.expected) << c.bytes;
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), c.bytes);  // reading never writes
  }
}

TEST(StatusBoard, UnwritableFileKeepsTheTextInMemory) {
  ScratchDir dir("board-unwritable");
  dir.MakeDir("nimbard.status");  // every write fails
  SetDetailText(L"Record: only in memory");
  EXPECT_EQ(DetailText(), L"Record: only in memory");
  EXPECT_EQ(ReadStatusFile(), kDetailUnavailable);
  // The next write that can succeed brings the file up to date.
  dir.Remove("nimbard.status");
  SetDetailText(L"Record: on disk again");
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), "Record: on disk again");
  EXPECT_EQ(dir.Listing(), "nimbard.status");
}

// What a menu line or the tooltip shows of a long detail text: whole lines, whole characters.
TEST(StatusBoard, FitLinesLeavesOutWholeLinesOnly) {
  const std::wstring pair = {wchar_t(0xD83D), wchar_t(0xDE00)};  // one character, two units
  const struct { std::wstring text; std::size_t lines, chars; std::wstring expected; } rows[] = {
      {L"a\r\nb\r\nc", 3, 9, L"a | b | c"}, {L"a\r\nb\r\nc\r\nd", 3, 9, L"a | b | (2 more)"},
      {L"a\r\n", 5, 9, L"a | "}, {L"a\rb\nc", 1, 9, L"a\rb\nc"}, {L"abcdef", 1, 3, L"abc..."},
      {L"ab" + pair + L"cd", 1, 3, L"ab..."}, {L"ab" + pair + L"cd", 1, 4, L"ab" + pair + L"..."}, {L"", 2, 9, L""},
  };
  for (const auto& row : rows) EXPECT_EQ(FitLines(row.text, row.lines, row.chars, L" | "), row.expected) << NarrowLow8(row.text);
}

// A reader (the monitor tray, another process in real life) must see the old
// or the new file whole, never an empty or half-written one, and the tray's
// window thread must never see a half-replaced text.
TEST(StatusBoard, ReaderNeverSeesAPartialFileOrText) {
  ScratchDir dir("board-race");
  std::wstring a, b;
  for (int i = 0; i < 400; ++i) {
    a += L"Record: first.example/www = 198.51.100.4 (unchanged)\r\n";
    b += L"Record: second.example/mail not found (changed; update pending)\r\n";
  }
  a += L"end A";
  b += L"end B";
  SetDetailText(a);
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, badFile{0}, badText{0};
  std::wstring firstBad;
  std::thread reader([&] {
    while (!done.load()) {
      const std::wstring file = ReadStatusFile();
      if (file != a && file != b && badFile++ == 0) firstBad = file.substr(0, 80);
      const std::wstring text = DetailText();
      if (text != a && text != b) ++badText;
      ++reads;
      // A monitor reads once a second; a reader that never lets go of the
      // file would starve every replace on Windows, where an open file
      // cannot be replaced.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  int writes = 0;
  while (writes < 3000 && std::chrono::steady_clock::now() < deadline) SetDetailText((writes++ % 2) ? a : b);
  done = true;
  reader.join();
  EXPECT_EQ(badFile.load(), 0) << "first bad read: " << NarrowLow8(firstBad);
  EXPECT_EQ(badText.load(), 0);
  EXPECT_GE(writes, 100);
  EXPECT_GE(reads.load(), 200);
  EXPECT_EQ(ReadStatusFile(), DetailText());  // the file ends as the text written last
  EXPECT_EQ(dir.Listing(), "nimbard.status");
}

}  // namespace
}  // namespace nimbard
