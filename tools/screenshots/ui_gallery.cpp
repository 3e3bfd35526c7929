// Shows the user interface one piece at a time for tools/screenshots.sh, with
// the product's own code and resources: the tray's popup menu with the
// service commands (for a service not installed yet), the status tooltip, the
// configuration dialog (once for each provider's record, then with the
// "Check failed" box that a Save with no network meets, and with the "Only
// reading was checked" box of a GoDaddy name without its record), the About
// box, and
// a monitor tray with the balloon after the first check of a Save, then with
// a failed check (its warning icon and balloon in the notification area),
// filled with a sample configuration and status. For
// each piece it prints "shown NAME X Y W H"
// (its screen rectangle), holds it still for two seconds, then closes it.
//
//   ui_gallery DIR    DIR: where the sample configuration is written
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <stdio.h>

#include <string>

#include "core/platform.h"
#include "core/status_board.h"
#include "host/service_control.h"
#include "ui/about_dialog.h"
#include "ui/config_dialog.h"
#include "ui/resource.h"
#include "ui/status_tooltip.h"
#include "engine/poll_pass.h"
#include "net/api_hosts.h"
#include "net/http_exchange.h"
#include "ui/tray_state.h"
#include "ui/tray_window.h"

namespace {

using namespace nimbard;

constexpr DWORD kHoldMs = 2000;
const POINT kPointer{620, 520};

// Two records as a user has just typed them in (not yet saved, so the provider may still change).
const char kSampleConfig[] = R"({"records": [{"provider": "cloudflare", "apiKey": "9fT3k-example-token",
  "domain": "example.com", "record": "home", "zoneId": "023e105f4ecef8ad9ca31a8372d0c353",
  "recordId": "372e67954025e0ba6aaa6d586b9e0b59", "pollMinutes": 5, "ipv6": true},
  {"provider": "godaddy", "apiKey": "dLP4wKz9mXq_Tb7RKe8hs1:Hs8Qm2kFjV7pWd3xYc", "domain": "example.net",
  "record": "@", "pollMinutes": 5}]})";

const char kSampleFailedStatus[] =
    "Record: example.com/home = 203.0.113.7 (unchanged)\r\n"
    "Record: example.net/@ lookup failed";

const char kSampleStatus[] =
    "Record: example.com/home = 203.0.113.7 (changed; updated), AAAA = 2001:db8:5:6::10 (changed; updated)\r\n"
    "Record: example.net/@ = 203.0.113.7 (unchanged)";
const wchar_t kSampleSavedHome[] =
    L"Record: example.com/home = 203.0.113.7 (changed; updated), AAAA = 2001:db8:5:6::10 (changed; updated)";
const wchar_t kSampleSavedNet[] = L"Record: example.net/@ = 203.0.113.7 (unchanged)";

const wchar_t kSampleDetail[] =
    L"Record: example.com/home = 203.0.113.7 (changed; updated), AAAA = 2001:db8:5:6::10 (changed; updated)\r\n"
    L"Record: example.net/@ = 203.0.113.7 (unchanged)";

void Shown(const char* name, const RECT& rect) {
  printf("shown %s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  fflush(stdout);
}

void Shown(const char* name, HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  Shown(name, rect);
}

// Wine's notification area (no X11 one runs on the virtual display) shows
// its own window with the icons, and a balloon two seconds after it was
// asked for.
BOOL CALLBACK FindBalloon(HWND window, LPARAM found) {
  wchar_t kind[32] = {};
  ::GetClassNameW(window, kind, 32);
  if (::IsWindowVisible(window) && lstrcmpW(kind, TOOLTIPS_CLASSW) == 0 &&
      (::GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void Pump(DWORD milliseconds) {
  const DWORD end = ::GetTickCount() + milliseconds;
  MSG message;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::Sleep(10);
  }
}

// Runs inside the modal loop of a menu or dialog: lets it paint, reports the
// window that the loop is showing, holds still, then ends the loop. A
// configuration dialog first shows the record g_record, as if chosen.
const char* g_pieceName = nullptr;
int g_record = 0;
void CALLBACK ShowThenClose(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  HWND shown = ::FindWindowW(L"#32768", nullptr);  // a popup menu
  if (shown == nullptr || !::IsWindowVisible(shown)) shown = ::GetActiveWindow();
  if (const HWND selector = ::GetDlgItem(shown, IDC_CONFIG_RECORD_SELECTOR); selector && g_record > 0) {
    ::SendMessageW(selector, CB_SETCURSEL, g_record, 0);
    ::SendMessageW(shown, WM_COMMAND, MAKEWPARAM(IDC_CONFIG_RECORD_SELECTOR, CBN_SELCHANGE), reinterpret_cast<LPARAM>(selector));
    ::UpdateWindow(shown);
  }
  Shown(g_pieceName, shown);
  ::Sleep(kHoldMs);
  if (::FindWindowW(L"#32768", nullptr)) {
    ::EndMenu();
  } else {
    ::PostMessageW(shown, WM_COMMAND, IDCANCEL, 0);
  }
}

// No network: every exchange fails as an unreachable server does.
class OfflineTransport : public HttpTransport {
 public:
  HttpResponse Exchange(const HttpRequest&, ExchangeProgress&) override {
    return {false, 0, {}, ExchangeFault::Platform, 12029};  // ERROR_WINHTTP_CANNOT_CONNECT
  }
};

// The providers as a GoDaddy name without its record meets them: the
// address, then an empty zone.
class NoRecordYetTransport : public HttpTransport {
 public:
  HttpResponse Exchange(const HttpRequest& request, ExchangeProgress&) override {
    return {true, 200, request.host == kGoDaddyApiHost ? "[]" : "203.0.113.7"};
  }
};

// The box a Save meets, by its title, and the picture's name.
struct SaveScene {
  const wchar_t* boxTitle;
  const char* name;
};
SaveScene g_saveScene{};

// In the dialog's loop: the box of g_saveScene, once it shows, is reported,
// held, and answered with Back.
void CALLBACK AwaitCheckBox(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND box = ::FindWindowW(nullptr, g_saveScene.boxTitle);
  if (box == nullptr || !::IsWindowVisible(box)) return;
  ::KillTimer(nullptr, timer);
  ::UpdateWindow(box);
  Shown(g_saveScene.name, box);
  ::Sleep(kHoldMs);
  const HWND dialog = ::GetWindow(box, GW_OWNER);
  ::SendMessageW(box, TDM_CLICK_BUTTON, IDCANCEL, 0);
  ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}
// Record g_record of the list, its domain changed, then Save.
void CALLBACK SaveChangedDomain(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  const HWND dialog = ::GetActiveWindow();
  const HWND selector = ::GetDlgItem(dialog, IDC_CONFIG_RECORD_SELECTOR);
  ::SendMessageW(selector, CB_SETCURSEL, g_record, 0);
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_CONFIG_RECORD_SELECTOR, CBN_SELCHANGE), reinterpret_cast<LPARAM>(selector));
  ::SetDlgItemTextW(dialog, IDC_CONFIG_DOMAIN, L"example.org");
  ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  ::SetTimer(nullptr, 0, 200, AwaitCheckBox);
}

// Waits for the notification area's balloon and reports it with the area.
bool ShowBalloonScene(const char* name, HWND area) {
  HWND balloon = nullptr;
  for (int tries = 0; tries < 100 && !balloon; ++tries) {
    Pump(100);
    ::EnumWindows(FindBalloon, reinterpret_cast<LPARAM>(&balloon));
  }
  if (!balloon) return false;
  RECT both{}, areaRect{}, balloonRect{};
  ::GetWindowRect(area, &areaRect);
  ::GetWindowRect(balloon, &balloonRect);
  ::UnionRect(&both, &areaRect, &balloonRect);
  Shown(name, both);
  Pump(kHoldMs);
  // The next balloon comes once this one has gone.
  for (int tries = 0; tries < 600 && balloon && ::IsWindowVisible(balloon); ++tries) Pump(100);
  return true;
}

void ShowModal(const char* name, HWND owner, void (*show)(HWND)) {
  g_pieceName = name;
  ::SetTimer(nullptr, 0, 700, ShowThenClose);
  show(owner);
}

HRESULT IconAtPointer(const NOTIFYICONIDENTIFIER*, RECT* rect) {
  *rect = {kPointer.x - 8, kPointer.y - 8, kPointer.x + 8, kPointer.y + 8};
  return S_OK;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return 2;
  const std::wstring dir = argv[1];
  platform::OverrideExecutablePathForTesting(dir + L"\\nimbard.exe");
  platform::ReplaceFileBytes(dir + L"\\nimbard-demo.json", kSampleConfig);
  SetSummaryText(L"Updated: 203.0.113.7");
  SetDetailTextWithoutFile(kSampleDetail);

  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HWND owner = ::CreateWindowW(L"STATIC", L"nimbard", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  ::SetCursorPos(kPointer.x, kPointer.y);

  ShowModal("tray-menu", owner, [](HWND window) {
    const UniqueMenu menu = BuildTrayMenu(SummaryText(), DetailText(), ServiceState::NotInstalled, false);
    ::SetForegroundWindow(window);
    ::TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, kPointer.x, kPointer.y, 0, window, nullptr);
  });

  SetIconRectQueryForTesting(&IconAtPointer);
  ShowStatusTooltip(owner);
  Pump(700);
  Shown("status-tooltip", StatusTooltipWindow());
  Pump(kHoldMs);
  HideStatusTooltip(owner);

  ShowModal("config-dialog", owner, [](HWND window) { ShowConfigDialog(::GetModuleHandleW(nullptr), window); });
  g_record = 1;
  ShowModal("config-dialog-godaddy", owner, [](HWND window) { ShowConfigDialog(::GetModuleHandleW(nullptr), window); });
  g_record = 0;
  // A Save of the Cloudflare record offline, then one of the GoDaddy record
  // whose name has no record yet.
  const auto saveScene = [&](HttpTransport& transport, int record, SaveScene scene) {
    HttpTransport* const previous = SetHttpTransport(&transport);
    g_record = record, g_saveScene = scene;
    ::SetTimer(nullptr, 0, 700, SaveChangedDomain);
    ShowConfigDialog(instance, owner);
    g_record = 0;
    SetHttpTransport(previous);
  };
  OfflineTransport offline;
  saveScene(offline, 0, {L"Check failed", "check-failed"});
  NoRecordYetTransport noRecordYet;
  saveScene(noRecordYet, 1, {L"Only reading was checked", "only-reading-checked"});
  ShowModal("about-box", owner, [](HWND window) { ShowAboutDialog(::GetModuleHandleW(nullptr), window); });

  // Last, as its Exit ends the message loop: the monitor tray itself, first
  // with the balloon that the first check after a Save shows, then on a
  // status file with a failed record.
  platform::ReplaceFileBytes(dir + L"\\nimbard.status", std::string(kSampleStatus));
  SetIconRectQueryForTesting(nullptr);
  MonitorMode = true;
  RegisterTrayClass(instance);
  if (InitTray(instance) != TrayStart::Running) return 1;
  // Wine's notification area moved where a taskbar's lies: the balloon then
  // opens above the icon, and its stem leaves the badge in the lower right
  // corner in sight.
  HWND area = nullptr;
  for (int tries = 0; tries < 50 && !area; ++tries) {
    Pump(20);
    area = ::FindWindowW(L"__winex11_standalone_tray", nullptr);
  }
  if (!area) return 1;
  RECT screen{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
  RECT placed{};
  ::GetWindowRect(area, &placed);
  ::SetWindowPos(area, nullptr, screen.right - (placed.right - placed.left) - 40,
                 screen.bottom - (placed.bottom - placed.top) - 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PassOutcome saved;
  saved.ran = saved.configurationLoaded = true;
  for (const wchar_t* line : {kSampleSavedHome, kSampleSavedNet}) {
    RecordOutcome record;
    record.result = RecordOutcome::Result::Updated;
    record.statusLine = line;
    saved.records.push_back(record);
  }
  saved.records.back().result = RecordOutcome::Result::Unchanged;
  ShowSavedRecordsChecked(saved);
  if (!ShowBalloonScene("first-check-balloon", area)) return 1;
  platform::ReplaceFileBytes(dir + L"\\nimbard.status", kSampleFailedStatus);
  if (!ShowBalloonScene("tray-warning", area)) return 1;
  ::SendMessageW(TrayWindowHandle(), WM_COMMAND, IDM_EXIT, 0);
  return 0;
}
