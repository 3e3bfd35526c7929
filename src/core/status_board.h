#pragma once
// The detail and summary texts that tell how the last poll went, and the
// status file "nimbard.status" that mirrors the detail text.
// Every read returns a whole text, never one half replaced by another thread.
#include <string>

#include "core/tray_window.h"

namespace nimbard {

inline constexpr wchar_t kDetailUnavailable[] = L"Record: status unavailable";
inline constexpr wchar_t kSummaryStarting[] = L"Starting...";

// Replaces the detail text, then writes it to the status file.
void SetDetailText(const std::wstring& text);
// Replaces the summary text, then refreshes the tray tip of `window`.
void SetSummaryText(TrayWindow window, const std::wstring& text);
// Re-sends the tip "nimbard" of the window's notification icon; no window: nothing.
void RefreshTrayTip(TrayWindow window);

// Replaces the status file's content whole; readers in other processes see
// the old or the new content, never a part.
void WriteStatusFile(const std::wstring& text);
// The status file's content, or kDetailUnavailable when missing or empty.
std::wstring ReadStatusFile();

std::wstring DetailText();
std::wstring SummaryText();
void ClearDetailText();                           // status file untouched
void SetDetailTextWithoutFile(const std::wstring& text);

// Back to the initial texts (tests).
void ResetStatusBoard();

}  // namespace nimbard
