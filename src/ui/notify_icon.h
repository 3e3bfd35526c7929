#pragma once
// The notification-area icon of the tray window, owned like any handle: the
// destructor removes it, so no path leaves a dead icon behind.
#include <windows.h>

#include <string>
#include <vector>

namespace nimbard {

// The icon's callback message; lParam holds the mouse message.
inline constexpr UINT kTrayIconMessage = WM_APP + 1;
inline constexpr UINT kTrayIconId = 1;
inline constexpr wchar_t kTrayTip[] = L"nimbard";

// One call to the shell, as the icon made it (tests).
struct SentToShell {
  DWORD message = 0;  // NIM_ADD, NIM_MODIFY or NIM_DELETE
  UINT flags = 0;     // NIF_*
  HICON icon = nullptr;
  std::wstring tip, balloonTitle, balloonText;
  DWORD balloonFlags = 0;  // NIIF_*
};

class NotifyIcon {
 public:
  NotifyIcon() = default;
  ~NotifyIcon() { Remove(); }
  NotifyIcon(const NotifyIcon&) = delete;
  NotifyIcon& operator=(const NotifyIcon&) = delete;

  // Adds the icon (id 1, kTrayIconMessage, tip kTrayTip) for `owner`.
  bool Add(HWND owner, HICON icon);
  // Adds it again after the shell restarted (its icons are gone then).
  bool Readd();
  // Sends the icon, its tip and callback again (after a pass, a change of
  // the service's state); nothing while the icon is not there.
  void Refresh();
  // Shows another picture and tip from now on, also after Readd.
  void SetLook(HICON icon, const std::wstring& tip);
  // One balloon notification beside the icon: a warning or an information.
  // Nothing while the icon is not there.
  void ShowBalloon(const std::wstring& title, const std::wstring& text, bool warning);
  void Remove();

  // Every later call to the shell is also appended to `sink`; nullptr ends that.
  static void RecordForTesting(std::vector<SentToShell>* sink);

 private:
  bool Notify(DWORD message, UINT flags, const std::wstring& balloonTitle = {},
              const std::wstring& balloonText = {}, DWORD balloonFlags = 0) const;

  HWND owner_ = nullptr;
  HICON icon_ = nullptr;
  std::wstring tip_ = kTrayTip;
  bool added_ = false;
};

}  // namespace nimbard
