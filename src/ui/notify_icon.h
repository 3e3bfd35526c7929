#pragma once
// The notification-area icon of the tray window, owned like any handle: the
// destructor removes it, so no path leaves a dead icon behind.
#include <windows.h>

namespace nimbard {

// The icon's callback message; lParam holds the mouse message.
inline constexpr UINT kTrayIconMessage = WM_APP + 1;
inline constexpr UINT kTrayIconId = 1;

class NotifyIcon {
 public:
  NotifyIcon() = default;
  ~NotifyIcon() { Remove(); }
  NotifyIcon(const NotifyIcon&) = delete;
  NotifyIcon& operator=(const NotifyIcon&) = delete;

  // Adds the icon (id 1, kTrayIconMessage, tip "nimbard") for `owner`.
  bool Add(HWND owner, HICON icon);
  // Adds it again after the shell restarted (its icons are gone then).
  bool Readd();
  // Sends the icon, its tip and callback again (after a pass, a change of
  // the service's state); nothing while the icon is not there.
  void Refresh();
  void Remove();

 private:
  bool Notify(DWORD message) const;

  HWND owner_ = nullptr;
  HICON icon_ = nullptr;
  bool added_ = false;
};

}  // namespace nimbard
