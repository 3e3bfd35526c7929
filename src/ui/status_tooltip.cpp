#include "ui/status_tooltip.h"

#include <optional>
#include <vector>

#include "core/status_board.h"
#include "core/text.h"
#include "win32/unique_handle.h"
#include "ui/notify_icon.h"

namespace nimbard {
namespace {

constexpr wchar_t kTooltipClass[] = L"nimbardTrayTooltip";

// Pixels at 96 DPI; every one scales with the DPI of the monitor it is on.
constexpr int kOffsetRight = 12, kOffsetDown = 18;
constexpr int kLineHeight = 18;
constexpr int kInsetX = 6, kInsetY = 4;
constexpr int kExtraWidth = 16, kExtraHeight = 10;  // insets and frame around the text
// More lines than fit on a screen would show nothing useful: whole lines
// are left out and counted instead. A line of a record that keeps both
// addresses runs to some 130 characters with a long name; one wider than the
// screen is cut to it, ending in "...".
constexpr std::size_t kMaxLines = 40;
constexpr std::size_t kMaxLineChars = 200;


// UI-thread state of the one tooltip.
struct Tooltip {
  HWND window = nullptr;
  std::wstring text;  // the copy the paint handler draws
  UINT dpi = USER_DEFAULT_SCREEN_DPI;
  UniqueFont scaledFont;  // the stock GUI font's look at `dpi` when that is not 96
  IconRectQuery iconRect = nullptr;
};

Tooltip& State() {
  static Tooltip tooltip;
  return tooltip;
}

int Scale(int pixels, UINT dpi) { return ::MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

// The monitor's own DPI (per-monitor awareness); the system's where the
// platform cannot tell (before Windows 8.1).
UINT DpiAt(POINT point) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto getDpiForMonitor = [] {
    HMODULE shcore = ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                        reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")))
                  : nullptr;
  }();
  UINT x = 0, y = 0;
  if (getDpiForMonitor &&
      SUCCEEDED(getDpiForMonitor(::MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), 0, &x, &y)) &&
      y > 0) {
    return y;
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

HFONT TooltipFont() {
  Tooltip& t = State();
  HFONT stock = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  if (t.dpi == USER_DEFAULT_SCREEN_DPI) return stock;
  if (!t.scaledFont) {
    LOGFONTW font{};
    if (::GetObjectW(stock, sizeof font, &font) == 0) return stock;
    font.lfHeight = Scale(font.lfHeight, t.dpi);
    font.lfWidth = Scale(font.lfWidth, t.dpi);
    t.scaledFont.reset(::CreateFontIndirectW(&font));
  }
  return t.scaledFont ? t.scaledFont.get() : stock;
}

bool CreateTooltipWindow() {
  static const ATOM registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = TrayTooltipWndProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
    windowClass.lpszClassName = kTooltipClass;
    return ::RegisterClassExW(&windowClass);
  }();
  if (registered == 0) return false;
  State().window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                                     kTooltipClass, nullptr, WS_POPUP, 0, 0, 0, 0, nullptr,
                                     nullptr, ::GetModuleHandleW(nullptr), nullptr);
  return State().window != nullptr;
}

// Width of the widest line and the number of lines, in the font it is drawn with.
SIZE MeasureText(HWND window, const std::wstring& text) {
  const std::vector<std::wstring_view> lines = SplitLines(text);
  SIZE size{0, static_cast<LONG>(lines.size())};
  HDC dc = ::GetDC(window);
  if (dc == nullptr) return size;
  HGDIOBJ previous = ::SelectObject(dc, TooltipFont());
  for (std::wstring_view line : lines) {
    SIZE extent{};
    if (::GetTextExtentPoint32W(dc, line.data(), static_cast<int>(line.size()), &extent) &&
        extent.cx > size.cx) {
      size.cx = extent.cx;
    }
  }
  ::SelectObject(dc, previous);
  ::ReleaseDC(window, dc);
  return size;
}

// The work area of the monitor under the pointer; none when the platform cannot tell.
std::optional<RECT> WorkAreaAt(POINT cursor) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!::GetMonitorInfoW(::MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor)) return std::nullopt;
  return monitor.rcWork;
}

// Beside the pointer as a tooltip sits; moved back onto the monitor's work
// area when that would put it off screen (the notification area is usually
// at the screen's bottom right, where "below and right" is off screen).
POINT PlaceOnScreen(POINT cursor, SIZE size, UINT dpi, const std::optional<RECT>& workArea) {
  POINT at{cursor.x + Scale(kOffsetRight, dpi), cursor.y + Scale(kOffsetDown, dpi)};
  if (!workArea) return at;
  const RECT& area = *workArea;
  if (at.y + size.cy > area.bottom) at.y = cursor.y - size.cy;  // above the pointer instead
  if (at.x + size.cx > area.right) at.x = area.right - size.cx;
  if (at.x < area.left) at.x = area.left;
  if (at.y < area.top) at.y = area.top;
  return at;
}

}  // namespace

void SetIconRectQueryForTesting(IconRectQuery query) { State().iconRect = query; }

HWND StatusTooltipWindow() { return State().window; }

bool IsCursorOverTrayIcon(HWND trayWindow) {
  NOTIFYICONIDENTIFIER icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = trayWindow;
  icon.uID = kTrayIconId;
  RECT rect{};
  const IconRectQuery query = State().iconRect ? State().iconRect : &::Shell_NotifyIconGetRect;
  if (FAILED(query(&icon, &rect))) return false;
  POINT cursor{};
  return ::GetCursorPos(&cursor) && ::PtInRect(&rect, cursor);
}

void ShowStatusTooltip(HWND trayWindow) {
  const std::wstring detail = DetailText();
  if (detail.empty() || !IsCursorOverTrayIcon(trayWindow)) return;
  Tooltip& t = State();
  if (t.window == nullptr && !CreateTooltipWindow()) return;
  t.text = FitLines(detail, kMaxLines, kMaxLineChars, L"\r\n");

  POINT cursor{};
  ::GetCursorPos(&cursor);
  const UINT dpi = DpiAt(cursor);
  if (dpi != t.dpi) {
    t.dpi = dpi;
    t.scaledFont.reset();
  }
  const SIZE text = MeasureText(t.window, t.text);
  SIZE size{text.cx + Scale(kExtraWidth, dpi), text.cy * Scale(kLineHeight, dpi) + Scale(kExtraHeight, dpi)};
  // Never wider than the screen: the paint ends a line that does not fit in "...".
  const std::optional<RECT> workArea = WorkAreaAt(cursor);
  if (workArea && size.cx > workArea->right - workArea->left) size.cx = workArea->right - workArea->left;
  const POINT at = PlaceOnScreen(cursor, size, dpi, workArea);
  ::SetWindowPos(t.window, HWND_TOPMOST, at.x, at.y, size.cx, size.cy,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
  ::InvalidateRect(t.window, nullptr, TRUE);
  ::SetTimer(trayWindow, kHoverTimerId, kHoverTimerMs, nullptr);
}

void HideStatusTooltip(HWND trayWindow) {
  if (State().window) ::ShowWindow(State().window, SW_HIDE);
  ::KillTimer(trayWindow, kHoverTimerId);
}

void DestroyStatusTooltip() {
  Tooltip& t = State();
  if (t.window) ::DestroyWindow(t.window);
  t.window = nullptr;
}

namespace {

void PaintTooltip(HWND window) {
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(window, &paint);
  if (dc) {
    RECT rect{};
    ::GetClientRect(window, &rect);
    ::FillRect(dc, &rect, ::GetSysColorBrush(COLOR_INFOBK));
    ::FrameRect(dc, &rect, ::GetSysColorBrush(COLOR_INFOTEXT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_INFOTEXT));
    HGDIOBJ previous = ::SelectObject(dc, TooltipFont());
    const UINT dpi = State().dpi;
    ::InflateRect(&rect, -Scale(kInsetX, dpi), -Scale(kInsetY, dpi));
    // Lines are placed at the fixed line height, whatever the font's own.
    try {
      int top = rect.top;
      for (std::wstring_view line : SplitLines(State().text)) {
        RECT lineRect{rect.left, top, rect.right, top + Scale(kLineHeight, dpi)};
        ::DrawTextW(dc, line.data(), static_cast<int>(line.size()), &lineRect,
                    DT_NOPREFIX | DT_SINGLELINE | DT_END_ELLIPSIS);
        top += Scale(kLineHeight, dpi);
      }
    } catch (...) {
      // No memory for the lines: the tooltip stays blank until the next paint.
    }
    ::SelectObject(dc, previous);
  }
  ::EndPaint(window, &paint);
}

}  // namespace

LRESULT CALLBACK TrayTooltipWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      PaintTooltip(window);
      return 0;
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // clicks reach the window underneath
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace nimbard
