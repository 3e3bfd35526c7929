#include "core/status_board.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "core/app_paths.h"
#include "core/platform.h"
#include "core/text.h"

namespace nimbard {
namespace {

// The texts are written by the pass thread and read by the tray's window
// thread. A reader copies a text out under the lock, so it never sees one
// that is half replaced.
struct Board {
  std::mutex textMutex;
  std::wstring detail = kDetailUnavailable;
  std::wstring summary = kSummaryStarting;

  // Held from the change of the detail text until its file write has ended,
  // so that two writers leave the file holding the text that is also in
  // memory, not the older of the two.
  std::mutex fileMutex;
};

Board& TheBoard() {
  static Board board;
  return board;
}

// The file is replaced whole, so readers see the old or the new text. A
// replace can fail for a moment while a reader holds the old file open, so
// it is tried a few times. A program that holds the file open without
// delete sharing (an editor, a backup tool) makes it fail for as long as it
// holds it: the text is then written in place, so that the file still says
// what the pass found. The file is not flushed to disk: it is rewritten at
// every step of every pass, and after a power cut the next pass writes it
// afresh.
constexpr int kReplaceAttempts = 4;

void WriteStatusFileLocked(const std::wstring& text) {
  const std::string bytes = NarrowLow8(text);
  const std::wstring path = StatusFilePath();
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    if (platform::ReplaceFileBytes(path, bytes, /*flushToDisk=*/false)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1 << attempt));
  }
  platform::OverwriteFileBytes(path, bytes);
}

}  // namespace

void PublishStatus(const std::wstring& detail, const std::wstring& summary) {
  Board& board = TheBoard();
  std::lock_guard<std::mutex> fileLock(board.fileMutex);
  {
    std::lock_guard<std::mutex> lock(board.textMutex);
    board.detail = detail;
    board.summary = summary;
  }
  WriteStatusFileLocked(detail);
}

void SetSummaryText(const std::wstring& text) {
  Board& board = TheBoard();
  std::lock_guard<std::mutex> lock(board.textMutex);
  board.summary = text;
}

void WriteStatusFile(const std::wstring& text) {
  std::lock_guard<std::mutex> fileLock(TheBoard().fileMutex);
  WriteStatusFileLocked(text);
}

std::wstring ReadStatusFile() {
  std::string bytes;
  if (!platform::ReadFileBytes(StatusFilePath(), bytes) || bytes.empty()) {
    return kDetailUnavailable;
  }
  return WidenBytes(bytes);
}

std::wstring DetailText() {
  Board& board = TheBoard();
  std::lock_guard<std::mutex> lock(board.textMutex);
  return board.detail;
}

std::wstring SummaryText() {
  Board& board = TheBoard();
  std::lock_guard<std::mutex> lock(board.textMutex);
  return board.summary;
}

void SetDetailTextWithoutFile(const std::wstring& text) {
  Board& board = TheBoard();
  std::lock_guard<std::mutex> lock(board.textMutex);
  board.detail = text;
}

void ResetStatusBoard() {
  Board& board = TheBoard();
  std::lock_guard<std::mutex> lock(board.textMutex);
  board.detail = kDetailUnavailable;
  board.summary = kSummaryStarting;
}

}  // namespace nimbard
