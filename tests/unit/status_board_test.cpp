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

// Written as the low 8 bits of each unit (a byte read back, U+FF80..U+FFFF, goes out as that byte), with no
// terminating zero and no cut at a NUL; read back as bytes widened, kDetailUnavailable for a missing or empty file.
// The summary goes with the detail text; alone, it never touches the file.
TEST(StatusBoard, DetailTextGoesToTheFileByteForByte) {
  ScratchDir dir("board-bytes");
  const std::wstring bytes{L'a', wchar_t(0xE9), wchar_t(0xFFE9), L'\0', L'b'};
  ResetStatusBoard();
  for (const auto& [text, written] : {std::pair<std::wstring, std::string>{L"Record: one\r\nRecord: two\r\n", "Record: one\r\nRecord: two\r\n"},
                                      {L"", ""}, {bytes, std::string("a\xE9\xE9\0b", 5)}}) {
    PublishStatus(text, L"published");
    SetSummaryText(L"service state");
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), written);
    EXPECT_TRUE(DetailText() == text && SummaryText() == L"service state");
    EXPECT_EQ(ReadStatusFile(), written.empty() ? kDetailUnavailable : WidenBytes(written));
    EXPECT_EQ(dir.ReadBytes("nimbard.status"), written);  // reading never writes
  }
  EXPECT_EQ(dir.Listing(), "nimbard.status");  // no temporary file left beside it
  dir.Remove("nimbard.status");
  EXPECT_EQ(ReadStatusFile(), kDetailUnavailable);
  // A failed write keeps the text in memory and leaves nothing behind.
  dir.MakeDir("nimbard.status");
  PublishStatus(L"Record: only in memory", L"");
  EXPECT_TRUE(DetailText() == L"Record: only in memory" && ReadStatusFile() == kDetailUnavailable && dir.Listing() == "nimbard.status");
}

// What a menu line or the tooltip shows of a long detail text: whole lines, whole characters.
TEST(StatusBoard, FitLinesLeavesOutWholeLinesOnly) {
  const std::wstring pair = {wchar_t(0xD83D), wchar_t(0xDE00)};  // one character, two units
  const struct { std::wstring text; std::size_t lines, chars; std::wstring expected; } rows[] = {
      {L"a\r\nb\r\nc", 3, 9, L"a | b | c"}, {L"a\r\nb\r\nc\r\nd", 3, 9, L"a | b | (2 more)"}, {L"a\r\n", 5, 9, L"a | "}, {L"a\rb\nc", 1, 9, L"a\rb\nc"},
      {L"abcdef", 1, 3, L"abc..."}, {L"ab" + pair + L"cd", 1, 3, L"ab..."}, {L"ab" + pair + L"cd", 1, 4, L"ab" + pair + L"..."}, {L"", 2, 9, L""},
  };
  for (const auto& row : rows) EXPECT_EQ(FitLines(row.text, row.lines, row.chars, L" | "), row.expected) << NarrowLow8(row.text);
  // Cut in the middle, a line keeps its start and its end, and whole characters on both sides.
  const struct { std::wstring text; std::size_t chars; std::wstring expected; } middle[] = {
      {L"abcdefgh", 4, L"ab...gh"}, {L"abcdefgh", 5, L"ab...fgh"}, {L"abcd", 4, L"abcd"}, {L"abcdefgh", 1, L"...h"},
      {L"a" + pair + L"bcd" + pair, 4, L"a..." + pair}, {L"abcd" + pair + L"e", 4, L"ab...e"},
  };
  for (const auto& row : middle) EXPECT_EQ(FitLines(row.text, 1, row.chars, L"", LineCut::InMiddle), row.expected) << NarrowLow8(row.text);
}

// A reader (the monitor tray, another process in real life) sees the old or the new file whole, never an empty or
// half-written one, and the tray's window thread never sees a half-replaced text.
TEST(StatusBoard, ReaderNeverSeesAPartialFileOrText) {
  ScratchDir dir("board-race");
  std::wstring a = L"end A", b = L"end B";
  for (int i = 0; i < 400; ++i) a.insert(0, L"Record: first.example/www = 198.51.100.4 (unchanged)\r\n"), b.insert(0, L"Record: second.example/mail not found\r\n");
  PublishStatus(a, L"");
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, bad{0};
  std::thread reader([&] {
    for (; !done; ++reads) {
      const std::wstring file = ReadStatusFile(), text = DetailText();
      bad += (file != a && file != b) + (text != a && text != b);
      // A monitor reads once a second; one that never let go of the file would starve every replace on Windows, where
      // an open file cannot be replaced.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  int writes = 0;
  while (writes < 3000 && std::chrono::steady_clock::now() < deadline) PublishStatus((writes++ % 2) ? a : b, L"");
  done = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_TRUE(writes >= 100 && reads >= 200) << writes << " writes, " << reads << " reads";
  EXPECT_EQ(ReadStatusFile(), DetailText());  // the file ends as the text written last
  EXPECT_EQ(dir.Listing(), "nimbard.status");
}

}  // namespace
}  // namespace nimbard
