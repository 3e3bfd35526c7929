// The tray in-process under Wine and Xvfb: the popup menu as a user opens it, the monitor's refreshes, passes started
// and not started, the status tooltip's geometry, the shell's failures, and two processes writing the same log and
// status file.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/activity_log.h"
#include "core/platform.h"
#include "core/status_board.h"
#include "win32/unique_handle.h"
#include "engine/poll_pass.h"
#include "host/service_control.h"
#include "ui/notify_icon.h"
#include "ui/resource.h"
#include "ui/status_tooltip.h"
#include "ui/tray_window.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: ScratchDir, ScriptedTransport, Lines

const char kConfig[] = R"({"records": [{"provider": "cloudflare", "apiKey": "k", "domain": "example.com",
  "record": "home", "zoneId": "z1", "recordId": "r1", "pollMinutes": 5}]})";

void Pump(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (MSG message; std::chrono::steady_clock::now() < end; ::Sleep(5)) {
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message != WM_QUIT) ::DispatchMessageW(&message);
    }
  }
}

bool WaitUntil(bool (*done)(), int milliseconds = 5000) {
  for (int i = 0; i < milliseconds / 5 && !done(); ++i) Pump(5);
  return done();
}

// One tray of the given flavour; its end is "Exit" with what that leaves behind cleared.
struct TrayUnderTest {
  explicit TrayUnderTest(bool monitor) {
    static const bool registered = RegisterTrayClass(::GetModuleHandleW(nullptr));
    MonitorMode = monitor;
    started = registered && InitTray(::GetModuleHandleW(nullptr));
  }
  ~TrayUnderTest() {
    if (TrayWindowHandle()) ::SendMessageW(TrayWindowHandle(), WM_COMMAND, IDM_EXIT, 0);
    WaitUntil([] { return !PassRunning.load(); });
    Pump(20);  // and the quit message goes
    ClearStopRequest();
  }
  bool started = false;
};

// The popup menu as the user sees it, read from inside its own modal loop, which then ends.
Lines MenuSeenByUser() {
  static Lines seen;
  seen.clear();
  ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    HMENU menu = OpenTrayMenu();
    for (int i = 0; menu && i < ::GetMenuItemCount(menu); ++i) {
      wchar_t text[512] = {};
      MENUITEMINFOW item{};
      item.cbSize = sizeof item, item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING, item.dwTypeData = text, item.cch = 511;
      ::GetMenuItemInfoW(menu, i, TRUE, &item);
      seen.push_back((item.fType & MFT_SEPARATOR) ? "---" : (item.fState & MFS_GRAYED ? "grey " : "") + std::to_string(item.wID) + " " + NarrowLow8(text));
    }
    ::EndMenu();
  });
  ::SendMessageW(TrayWindowHandle(), kTrayIconMessage, 0, WM_RBUTTONUP);
  return seen;
}

HRESULT IconEverywhere(const NOTIFYICONIDENTIFIER*, RECT* rect) { return *rect = {-30000, -30000, 30000, 30000}, S_OK; }

// One monitor tray: its status lines at start, a second later and as the menu opens; a forced pass; the shell's
// failures and restart; the tooltip; and nothing started or read while a stop holds.
TEST(Tray, MonitorAsItsUserSeesIt) {
  ScratchDir dir("tray-monitor");
  ScriptedTransport transport;
  dir.Write("nimbard-demo.json", kConfig);
  dir.Write("nimbard.status", "Record: at start");
  TrayUnderTest tray(true);
  ASSERT_TRUE(tray.started);
  const HWND window = TrayWindowHandle();
  EXPECT_EQ(DetailText(), L"Record: at start");
  const std::wstring service = GetServiceStateText();
  EXPECT_EQ(SummaryText(), service);
  dir.Write("nimbard.status", "Record: a second later");
  Pump(1300);
  EXPECT_EQ(DetailText(), L"Record: a second later");

  dir.Write("nimbard.status", "Record: one & two\r\nRecord: three");
  EXPECT_EQ(MenuSeenByUser(), (Lines{"grey 32771 " + NarrowLow8(service), "grey 32771 Record: one && two  |  Record: three", "---",
      "32772 Open Log File", "32773 Open Configuration", "32781 Manage DNS Records", "32774 Force Update", "---",
      "grey 32775 Service controls (unavailable in demo)", "grey 32775 " + NarrowLow8(service), "grey 32776 Start Service",
      "grey 32777 Stop Service", "grey 32778 Restart Service", "grey 32779 Install Service", "grey 32780 Uninstall Service",
      "---", "104 About", "105 Exit"}));

  ::SendMessageW(window, WM_COMMAND, IDM_FORCE_UPDATE, 0);  // a pass beside whatever runs
  Pump(50);
  EXPECT_TRUE(WaitUntil([] { return !PassRunning.load(); }));
  EXPECT_EQ(transport.Requests().size(), 3u);  // both echo services and the lookup, refused by the scripted server

  // A file the shell cannot open is logged with its path; after the shell restarted (it forgot every icon), its
  // broadcast brings the icon back.
  dir.Remove("nimbard.log");
  OpenWithShell(dir.File("no such file.txt"));
  EXPECT_EQ(dir.TakeLog(), Lines{"Could not open file: " + NarrowLow8(dir.File("no such file.txt"))});
  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof icon, icon.hWnd = window, icon.uID = kTrayIconId, icon.uFlags = NIF_TIP;
  ::Shell_NotifyIconW(NIM_DELETE, &icon);
  EXPECT_FALSE(::Shell_NotifyIconW(NIM_MODIFY, &icon));
  ::SendMessageW(window, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &icon));

  // The tooltip: sized to its lines where the pointer rests on the icon.
  SetIconRectQueryForTesting(&IconEverywhere);
  const struct { std::wstring text, widest; int lines; } rows[] = {
      {L"Record: example.com/home = 203.0.113.7 (unchanged)", L"Record: example.com/home = 203.0.113.7 (unchanged)", 1},
      {L"Record: a\r\nRecord: lookup failed\r\nRecord: b & c", L"Record: lookup failed", 3},
      {L"Record: ends in a line break\r\n", L"Record: ends in a line break", 2},
  };
  HDC dc = ::GetDC(nullptr);
  ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  for (const auto& row : rows) {
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, row.widest.c_str(), static_cast<int>(row.widest.size()), &extent);
    SetDetailTextWithoutFile(row.text);
    ShowStatusTooltip(window);
    RECT rect{};
    ::GetWindowRect(StatusTooltipWindow(), &rect);
    EXPECT_TRUE(::IsWindowVisible(StatusTooltipWindow()));
    EXPECT_EQ(std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top),
              std::to_string(extent.cx + 16) + "x" + std::to_string(row.lines * 18 + 10)) << NarrowLow8(row.text);
  }
  ::ReleaseDC(nullptr, dc);
  // An empty text shows nothing; neither does a pointer the shell cannot place (Wine cannot), and a tooltip already
  // shown goes at the next hover check.
  HideStatusTooltip(window);
  SetDetailTextWithoutFile(L"");
  ShowStatusTooltip(window);
  EXPECT_FALSE(::IsWindowVisible(StatusTooltipWindow()));
  SetDetailTextWithoutFile(L"Record: x");
  ShowStatusTooltip(window);
  SetIconRectQueryForTesting(nullptr);
  ::SendMessageW(window, WM_TIMER, kHoverTimerId, 0);
  EXPECT_FALSE(::IsWindowVisible(StatusTooltipWindow()));
  ShowStatusTooltip(window);
  EXPECT_FALSE(::IsWindowVisible(StatusTooltipWindow()));

  // While a stop holds, neither the timer nor the menu starts or reads anything.
  RequestStop();
  dir.Write("nimbard.status", "Record: after the stop");
  ::SendMessageW(window, WM_TIMER, kPollTimerId, 0);
  ::SendMessageW(window, WM_COMMAND, IDM_FORCE_UPDATE, 0);
  Pump(100);
  EXPECT_TRUE(transport.Requests().size() == 3 && DetailText() != L"Record: after the stop");
}

// A standalone tray starts its first pass at once; "Exit" while the server hangs ends that pass at once, and a timer
// tick that arrives after "Exit" starts nothing.
TEST(Tray, StandaloneExitStopsTheHungPass) {
  ScratchDir dir("tray-standalone");
  ScriptedTransport transport;
  static std::atomic<bool> release{false};
  transport.Set(L"GET", kPublicIpHost, Ok("203.0.113.7"));
  transport.onRequest = [](const HttpRequest& r) { while (!release && r.host == kCloudflareApiHost) ::Sleep(1); };
  dir.Write("nimbard-demo.json", kConfig);
  {
    TrayUnderTest tray(false);
    ASSERT_TRUE(tray.started);
    EXPECT_TRUE(WaitUntil([] { return PassRunning.load(); }));
    Pump(100);
    const HWND window = TrayWindowHandle();
    const auto start = std::chrono::steady_clock::now();
    ::SendMessageW(window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_TRUE(WaitUntil([] { return !PassRunning.load(); }, 5000));
    // Wine's notification area takes two seconds to let go of the icon.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(TrayWindowHandle(), nullptr);
    TrayWndProc(window, WM_TIMER, kPollTimerId, 0);
    Pump(100);
    EXPECT_TRUE(!PassRunning.load() && transport.Requests().size() == 2);
  }
  release = true;
  EXPECT_EQ(dir.ReadBytes("nimbard.status"), "Record: example.com/home lookup failed");
}

// A monitor's "Force Update" may run a pass beside the service's: two processes append to one log and replace one
// status file at once, and every line and every read of the file is whole.
TEST(TwoProcesses, LogAndStatusFileStayWhole) {
  const std::wstring mine = std::wstring(300, L'a') + L"\r\nRecord: parent";
  const std::wstring theirs = std::wstring(500, L'b') + L"\r\nRecord: child";
  if (const char* exe = std::getenv("NIMBARD_SHARED_EXE")) {  // the second process
    platform::OverrideExecutablePathForTesting(WidenBytes(exe));
    for (int i = 0; i < 300; ++i) LogMessage(L"child line " + std::to_wstring(i)), PublishStatus(theirs, L"");
    return;
  }
  std::wstring commandLine = L"\"" + platform::ExecutablePath() + L"\" --gtest_filter=TwoProcesses.*";
  ScratchDir dir("two-processes");
  ::SetEnvironmentVariableW(L"NIMBARD_SHARED_EXE", dir.File("nimbard.exe").c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  ::SetEnvironmentVariableW(L"NIMBARD_SHARED_EXE", nullptr);
  const UniqueKernelHandle process(child.hProcess), thread(child.hThread);
  int badReads = 0;
  for (int i = 0; i < 300; ++i) {
    LogMessage(L"parent line " + std::to_wstring(i));
    PublishStatus(mine, L"");
    const std::wstring seen = ReadStatusFile();
    badReads += seen != mine && seen != theirs;
  }
  ::WaitForSingleObject(child.hProcess, 60000);
  EXPECT_EQ(badReads, 0);
  std::map<std::string, int> lines;  // by their first word; a torn line has another
  for (const std::string& line : dir.LogLines()) ++lines[line.substr(0, line.find(' '))];
  EXPECT_EQ(lines, (std::map<std::string, int>{{"child", 300}, {"parent", 300}}));
}

}  // namespace
}  // namespace nimbard
