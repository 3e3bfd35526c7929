#pragma once
// The detail and summary texts that tell how the last poll went, and the
// status file "nimbard.status" that mirrors the detail text.
// Every read returns a whole text, never one half replaced by another thread.
#include <string>

namespace nimbard {

inline constexpr wchar_t kDetailUnavailable[] = L"Record: status unavailable";
inline constexpr wchar_t kSummaryStarting[] = L"Starting...";

// What a pass has found: the detail text (one line per record) and the
// summary, replaced together, and the detail text written to the status file.
// A reader sees the texts before or after, never one without the other.
void PublishStatus(const std::wstring& detail, const std::wstring& summary);
// The summary alone: the service's state, in a tray that shows it.
void SetSummaryText(const std::wstring& text);
// The detail text alone, the file untouched: a monitor showing what the file says.
void SetDetailTextWithoutFile(const std::wstring& text);

// Replaces the status file's content whole; readers in other processes see
// the old or the new content, never a part.
void WriteStatusFile(const std::wstring& text);
// The status file's content, or kDetailUnavailable when missing or empty.
std::wstring ReadStatusFile();

std::wstring DetailText();
std::wstring SummaryText();

// Back to the initial texts (tests).
void ResetStatusBoard();

}  // namespace nimbard
