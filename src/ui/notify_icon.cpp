#include "ui/notify_icon.h"

#include <shellapi.h>

namespace nimbard {

bool NotifyIcon::Add(HWND owner, HICON icon) {
  owner_ = owner;
  icon_ = icon;
  added_ = Notify(NIM_ADD);
  return added_;
}

bool NotifyIcon::Readd() {
  if (owner_ == nullptr) return false;
  // The shell also announces itself when nothing was lost (a change of
  // display scale): an icon it still has is refreshed instead.
  added_ = Notify(NIM_ADD) || Notify(NIM_MODIFY);
  return added_;
}

void NotifyIcon::Refresh() {
  if (added_) Notify(NIM_MODIFY);
}

void NotifyIcon::Remove() {
  if (!added_) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner_;
  data.uID = kTrayIconId;
  ::Shell_NotifyIconW(NIM_DELETE, &data);
  added_ = false;
}

bool NotifyIcon::Notify(DWORD message) const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner_;
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayIconMessage;
  data.hIcon = icon_;
  ::lstrcpynW(data.szTip, L"nimbard", ARRAYSIZE(data.szTip));
  return ::Shell_NotifyIconW(message, &data) != FALSE;
}

}  // namespace nimbard
