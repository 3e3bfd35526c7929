#include "ui/notify_icon.h"

#include <shellapi.h>

namespace nimbard {
namespace {

// Written and read on the UI thread only, as the icon itself.
std::vector<SentToShell>* g_record = nullptr;

constexpr UINT kLookFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

}  // namespace

bool NotifyIcon::Add(HWND owner, HICON icon) {
  owner_ = owner;
  icon_ = icon;
  tip_ = kTrayTip;
  added_ = Notify(NIM_ADD, kLookFlags);
  return added_;
}

bool NotifyIcon::Readd() {
  if (owner_ == nullptr) return false;
  // The shell also announces itself when nothing was lost (a change of
  // display scale): an icon it still has is refreshed instead.
  added_ = Notify(NIM_ADD, kLookFlags) || Notify(NIM_MODIFY, kLookFlags);
  return added_;
}

void NotifyIcon::Refresh() {
  if (added_) Notify(NIM_MODIFY, kLookFlags);
}

void NotifyIcon::SetLook(HICON icon, const std::wstring& tip) {
  icon_ = icon;
  tip_ = tip;
  Refresh();
}

void NotifyIcon::ShowBalloon(const std::wstring& title, const std::wstring& text, bool warning) {
  if (added_) Notify(NIM_MODIFY, NIF_INFO, title, text, warning ? NIIF_WARNING : NIIF_INFO);
}

void NotifyIcon::Remove() {
  if (!added_) return;
  Notify(NIM_DELETE, 0);
  added_ = false;
}

void NotifyIcon::RecordForTesting(std::vector<SentToShell>* sink) { g_record = sink; }

bool NotifyIcon::Notify(DWORD message, UINT flags, const std::wstring& balloonTitle,
                        const std::wstring& balloonText, DWORD balloonFlags) const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner_;
  data.uID = kTrayIconId;
  data.uFlags = flags;
  data.uCallbackMessage = kTrayIconMessage;
  data.hIcon = icon_;
  // Each text is cut to its field; the shell shows no more than that.
  ::lstrcpynW(data.szTip, tip_.c_str(), ARRAYSIZE(data.szTip));
  ::lstrcpynW(data.szInfoTitle, balloonTitle.c_str(), ARRAYSIZE(data.szInfoTitle));
  ::lstrcpynW(data.szInfo, balloonText.c_str(), ARRAYSIZE(data.szInfo));
  data.dwInfoFlags = balloonFlags;
  if (g_record) {
    g_record->push_back({message, flags, flags & NIF_ICON ? icon_ : nullptr,
                         flags & NIF_TIP ? std::wstring(data.szTip) : L"", data.szInfoTitle, data.szInfo, balloonFlags});
  }
  return ::Shell_NotifyIconW(message, &data) != FALSE;
}

}  // namespace nimbard
