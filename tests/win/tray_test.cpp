// The tray in-process under Wine and Xvfb: the popup menu as a user opens it, the monitor's refreshes, passes started
// and not started, the service commands by the service's state, the warning icon and its balloons, the status
// tooltip's geometry, the shell's failures, and two processes writing the same log and status file.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/activity_log.h"
#include "core/platform.h"
#include "core/status_board.h"
#include "win32/unique_handle.h"
#include "engine/poll_pass.h"
#include "host/installed_copy.h"
#include "host/monitor_trays.h"
#include "host/service_control.h"
#include "ui/check_alert.h"
#include "ui/service_watch.h"
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

template <typename Done>
bool WaitUntil(Done done, int milliseconds = 5000) {
  for (int i = 0; i < milliseconds / 5 && !done(); ++i) Pump(5);
  return done();
}

// One tray of the given flavour; its end is "Exit" with what that leaves behind cleared.
struct TrayUnderTest {
  explicit TrayUnderTest(bool monitor) {
    static const bool registered = RegisterTrayClass(::GetModuleHandleW(nullptr));
    MonitorMode = monitor;
    started = registered && InitTray(::GetModuleHandleW(nullptr)) == TrayStart::Running;
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

// The service as the seams show it: its state, and the elevated commands the tray started ("<file> <parameters>"),
// each held until released as while Windows asks the user, then answering `answer`.
// Asks for a forced pass and monitors started count too ("ask", "monitor <exe>").
struct ServiceSeams {
  ServiceSeams() {
    SetServiceSeamsForTesting({[] { return state.load(); }, &Run, [] { return Note("ask"), askAnswer.load(); },
                               [](const std::wstring& exe) { return Note("monitor " + NarrowLow8(exe)), monitorAnswer.load(); }});
    ran.clear(), answer = askAnswer = monitorAnswer = 0;
  }
  ~ServiceSeams() { SetServiceSeamsForTesting({}), StandaloneGuards = {}, release = true; }
  static void Note(const std::string& line) { std::lock_guard<std::mutex> lock(mutex); ran.push_back(line); }
  static DWORD Run(const std::wstring& file, const std::wstring& parameters, bool wait) {
    { std::lock_guard<std::mutex> lock(mutex); ran.push_back(NarrowLow8(file + L" " + parameters) + (wait ? "" : " (not waited for)")); }
    while (!release) ::Sleep(1);
    return answer.load();
  }
  static Lines Ran() { std::lock_guard<std::mutex> lock(mutex); return ran; }
  static inline std::atomic<ServiceState> state{ServiceState::NotInstalled};
  static inline std::atomic<bool> release{true};
  static inline std::atomic<DWORD> answer{0}, askAnswer{0}, monitorAnswer{0};
  static inline std::mutex mutex;
  static inline Lines ran;
};

// The text of a box the tray opens, closed as it comes ("" while none came).
struct BoxWatcher {
  BoxWatcher() : watcher([this] {
    for (; watching; ::Sleep(10)) {
      const HWND found = ::FindWindowW(L"#32770", L"nimbard Demo");
      wchar_t text[512] = {};
      if (found && ::IsWindowVisible(found) && ::GetWindowTextW(::GetDlgItem(found, 0xFFFF), text, 512)) {
        { std::lock_guard<std::mutex> lock(mutex); box = NarrowLow8(text); }
        ::PostMessageW(found, WM_COMMAND, IDOK, 0);
      }
    }
  }) {}
  ~BoxWatcher() { watching = false, watcher.join(); }
  std::string Seen() { std::lock_guard<std::mutex> lock(mutex); return box; }
  std::atomic<bool> watching{true};
  std::mutex mutex;
  std::string box;
  std::thread watcher;  // last: starts once the rest is there
};

// Each change of the icon's picture or tip, and each balloon, as the shell was sent them.
// (The two pictures told apart: were they one, the normal icon would read as the warning one.)
Lines LooksAndBalloons(const std::vector<SentToShell>& sent) {
  const auto load = [](int id) { return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED)); };
  const HICON normal = load(IDI_SMALL), warning = load(IDI_TRAY_WARNING);
  Lines seen;
  std::wstring look = L"?";
  for (const SentToShell& s : sent) {
    const std::wstring now = (s.icon == warning ? L"warning icon, tip " : s.icon == normal ? L"normal icon, tip " : L"other icon, tip ") + s.tip;
    if ((s.flags & NIF_ICON) && now != look) seen.push_back(NarrowLow8(look = now));
    if (s.flags & NIF_INFO) seen.push_back(NarrowLow8((s.balloonFlags == NIIF_WARNING ? L"warning: " : L"info: ") + s.balloonTitle + L" / " + s.balloonText));
  }
  return seen;
}

HRESULT IconEverywhere(const NOTIFYICONIDENTIFIER*, RECT* rect) { return *rect = {-30000, -30000, 30000, 30000}, S_OK; }

// One monitor tray: its status lines at start, a second later and as the menu opens; a forced pass; the shell's
// failures and restart; the tooltip; and nothing started or read while a stop holds.
TEST(Tray, MonitorAsItsUserSeesIt) {
  ScratchDir dir("tray-monitor");
  ScriptedTransport transport;
  ServiceSeams seams;
  ServiceSeams::state = ServiceState::NotInstalled;
  dir.Write("nimbard-demo.json", kConfig);
  dir.Write("nimbard.status", "Record: at start");
  TrayUnderTest tray(true);
  ASSERT_TRUE(tray.started);
  const HWND window = TrayWindowHandle();
  EXPECT_EQ(DetailText(), L"Record: at start");
  EXPECT_EQ(SummaryText(), L"Service: not installed");
  dir.Write("nimbard.status", "Record: a second later");
  Pump(1300);
  EXPECT_EQ(DetailText(), L"Record: a second later");

  dir.Write("nimbard.status", "Record: one & two\r\nRecord: three");
  EXPECT_EQ(MenuSeenByUser(), (Lines{"grey 32771 Service: not installed", "grey 32771 Record: one && two", "grey 32771 Record: three", "---",
      "32772 Open Log File", "32773 Open Configuration", "32781 Manage DNS Records", "32774 Force Update", "---",
      "grey 32775 Service: not installed", "grey 32776 Start Service", "grey 32777 Stop Service", "grey 32778 Restart Service",
      "32779 Install Service", "grey 32780 Uninstall Service", "---", "104 About", "105 Exit"}));

  // Force Update asks the service, even where this process could read the configuration: one process polls.
  ::SendMessageW(window, WM_COMMAND, IDM_FORCE_UPDATE, 0);
  EXPECT_TRUE(WaitUntil([] { return ServiceSeams::Ran() == Lines{"ask"}; }));
  Pump(50);
  EXPECT_TRUE(transport.Requests().empty() && !PassRunning.load());

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

  // The tooltip: sized to its lines where the pointer rests on the icon, never wider than the screen.
  SetIconRectQueryForTesting(&IconEverywhere);
  const std::wstring twoAddresses = L"Record: home.example.com/home = 203.0.113.7, 2001:db8:1234:5678:9abc:def0:1234:5678 (changed; update pending)";
  const std::wstring wide(300, L'W');
  const struct { std::wstring text, widest; int lines; } rows[] = {
      {L"Record: example.com/home = 203.0.113.7 (unchanged)", L"Record: example.com/home = 203.0.113.7 (unchanged)", 1},
      {L"Record: a\r\n" + twoAddresses, twoAddresses, 2},
      {wide, wide.substr(0, 200) + L"...", 1},
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
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(StatusTooltipWindow(), MONITOR_DEFAULTTONEAREST), &monitor);
    const LONG width = std::min(extent.cx + 16, monitor.rcWork.right - monitor.rcWork.left);
    EXPECT_EQ(std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top),
              std::to_string(width) + "x" + std::to_string(row.lines * 18 + 10)) << NarrowLow8(row.text);
    EXPECT_TRUE(rect.left >= monitor.rcWork.left && rect.right <= monitor.rcWork.right) << NarrowLow8(row.text);
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
  EXPECT_TRUE(ServiceSeams::Ran() == Lines{"ask"} && DetailText() != L"Record: after the stop");
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

// Back from sleep (as after an address change) the standalone tray runs a pass 10 s later; a second resume meanwhile
// merges into it, a suspend does nothing.
TEST(Tray, StandalonePassSoonAfterResume) {
  ScratchDir dir("tray-resume");
  ScriptedTransport transport;
  transport.Set(L"GET", kPublicIpHost, Ok("203.0.113.7"));
  dir.Write("nimbard-demo.json", kConfig);
  TrayUnderTest tray(false);
  ASSERT_TRUE(tray.started);
  EXPECT_TRUE(WaitUntil([&] { return !transport.Requests().empty() && !PassRunning.load(); }));
  Pump(100);
  const std::size_t first = transport.Requests().size();
  const HWND window = TrayWindowHandle();
  const auto start = std::chrono::steady_clock::now();
  ::SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  Pump(3000);
  ::SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
  ::SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  EXPECT_EQ(transport.Requests().size(), first);
  EXPECT_TRUE(WaitUntil([&] { return transport.Requests().size() > first; }, 12000));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  std::printf("resume to pass: %lld ms\n", static_cast<long long>(ms));
  EXPECT_GE(ms, 9900);
  EXPECT_LT(ms, 11500);
  EXPECT_TRUE(WaitUntil([] { return !PassRunning.load(); }));
  Pump(3000);  // past the merged resume's 10 s: no second pass
  EXPECT_EQ(transport.Requests().size(), 2 * first);
}

// The menu's service lines for each state: the state, then the commands it offers enabled; none while one runs.
// A tray that gets no window (here: its class is gone) ends its start at once, and the log keeps why.
TEST(Tray, NoWindowEndsTheStartWithItsCause) {
  ScratchDir dir("tray-no-window");
  dir.Write("nimbard-demo.json", kConfig);
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterTrayClass(instance);
  ASSERT_TRUE(::UnregisterClassW(L"NIMBARD", instance));
  MonitorMode = false;
  EXPECT_EQ(InitTray(instance), TrayStart::NoWindow);
  EXPECT_EQ(TrayWindowHandle(), nullptr);
  EXPECT_NE(dir.ReadBytes("nimbard.log").find("The notification-area window could not be made (error 1411): nimbard ends."),
            std::string::npos) << dir.ReadBytes("nimbard.log");
  EXPECT_TRUE(RegisterTrayClass(instance));
}

TEST(Tray, ServiceMenuByState) {
  ScratchDir dir("tray-service-menu");
  ServiceSeams seams;
  TrayUnderTest tray(true);
  ASSERT_TRUE(tray.started);
  const struct { ServiceState state; std::string text; std::set<int> enabled; } rows[] = {
      {ServiceState::NotInstalled, "not installed", {32779}}, {ServiceState::Stopped, "stopped", {32776, 32780}},
      {ServiceState::Running, "running", {32777, 32778, 32780}}, {ServiceState::Starting, "starting", {32780}},
      {ServiceState::Stopping, "stopping", {32780}}, {ServiceState::Other, "state unknown", {32777, 32780}},
      {ServiceState::Unavailable, "unavailable", {}},
  };
  const char* names[] = {"Start Service", "Stop Service", "Restart Service", "Install Service", "Uninstall Service"};
  for (const auto& row : rows) {
    ServiceSeams::state = row.state;
    Lines want{"grey 32775 Service: " + row.text};
    for (int id = 32776; id <= 32780; ++id) want.push_back((row.enabled.count(id) ? "" : "grey ") + std::to_string(id) + " " + names[id - 32776]);
    const Lines menu = MenuSeenByUser();
    EXPECT_EQ(Lines(menu.begin() + 8, menu.begin() + 14), want);
  }
}

// Each command runs "<exe> <option>" elevated and waited for, on its own thread: the window answers meanwhile, its menu
// offers no second command, and the monitor's state line follows once it ends. A command the state does not offer, or
// a second one while one runs, runs nothing.
TEST(Tray, ServiceCommandsRunElevatedBesideTheWindow) {
  ScratchDir dir("tray-service-commands");
  ServiceSeams seams;
  TrayUnderTest tray(true);
  ASSERT_TRUE(tray.started);
  const std::string exe = NarrowLow8(dir.File("nimbard.exe"));
  const struct { ServiceState before; UINT command; std::string option; ServiceState after; } rows[] = {
      {ServiceState::NotInstalled, IDM_SERVICE_INSTALL, "--install", ServiceState::Running},
      {ServiceState::Running, IDM_SERVICE_STOP, "--stop", ServiceState::Stopped},
      {ServiceState::Stopped, IDM_SERVICE_START, "--start", ServiceState::Running},
      {ServiceState::Running, IDM_SERVICE_RESTART, "--restart", ServiceState::Running},
      {ServiceState::Running, IDM_SERVICE_UNINSTALL, "--uninstall", ServiceState::NotInstalled},
      {ServiceState::Running, IDM_SERVICE_INSTALL, "", ServiceState::Running},
      {ServiceState::Stopped, IDM_SERVICE_STOP, "", ServiceState::Stopped},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.option);
    ServiceSeams::ran.clear(), ServiceSeams::state = row.before, ServiceSeams::release = false;
    SetSummaryText(L"before");
    ::SendMessageW(TrayWindowHandle(), WM_COMMAND, row.command, 0);
    ::SendMessageW(TrayWindowHandle(), WM_COMMAND, row.command, 0);
    Pump(50);
    const Lines menu = MenuSeenByUser();  // the window's own modal loop runs while the command waits
    ServiceSeams::state = row.after, ServiceSeams::release = true;
    // Every state offers some command once none is under way (the refresh follows the state meanwhile).
    EXPECT_TRUE(WaitUntil([] {
      const Lines now = MenuSeenByUser();
      return std::any_of(now.begin() + 9, now.begin() + 14, [](const std::string& line) { return line.rfind("grey ", 0) != 0; });
    }));
    EXPECT_EQ(SummaryText(), ServiceStateText(row.after));
    EXPECT_EQ(ServiceSeams::Ran(), row.option.empty() ? Lines{} : Lines{exe + " " + row.option});
    EXPECT_EQ(std::count(menu.begin(), menu.end(), "grey 32780 Uninstall Service"), row.option.empty() ? 0 : 1);
  }
}

// Install and Start from the standalone tray hand its place over: the guards go before the command starts (after the
// pass under way), the tray exits once the service runs, and starts the installed exe as the monitor unless one runs
// (a box says so when it cannot); a declined prompt changes nothing and says nothing, a failure to start says why, and
// a guard taken by another meanwhile ends the tray without a word.
TEST(Tray, StandaloneHandsItsPlaceToTheService) {
  ScratchDir dir("tray-handover");
  ScriptedTransport transport;
  ServiceSeams seams;
  static std::atomic<bool> hang{true}, retakes{true};
  static Lines guards;
  transport.onRequest = [](const HttpRequest&) { while (hang) ::Sleep(1); };
  dir.Write("nimbard-demo.json", kConfig);
  const std::string monitor = "monitor " + NarrowLow8(InstalledExecutable());
  const struct { UINT command; ServiceState after; DWORD answer; bool retake, monitorRuns; DWORD monitorAnswer; std::string guards, box; bool exits; Lines alsoRan; } rows[] = {
      {IDM_SERVICE_INSTALL, ServiceState::Running, 0, true, false, 0, "release", "", true, {monitor}},
      {IDM_SERVICE_INSTALL, ServiceState::Running, 0, true, true, 0, "release", "", true, {}},
      {IDM_SERVICE_START, ServiceState::Running, 0, true, false, ERROR_ACCESS_DENIED, "release",
       "The service runs, but its monitor could not be started (Windows error 5). It starts at the next logon.", true, {monitor}},
      {IDM_SERVICE_INSTALL, ServiceState::NotInstalled, ERROR_CANCELLED, true, false, 0, "release retake", "", false, {}},
      {IDM_SERVICE_START, ServiceState::Stopped, ERROR_FILE_NOT_FOUND, true, false, 0, "release retake",
       "nimbard.exe --start could not be started with administrator rights (Windows error 2).", false, {}},
      {IDM_SERVICE_START, ServiceState::Stopped, 0, false, false, 0, "release retake", "", true, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.guards + " " + row.box);
    guards.clear(), hang = &row == rows, retakes = row.retake, ServiceSeams::ran.clear(), ServiceSeams::answer = row.answer;
    ServiceSeams::release = false, ServiceSeams::monitorAnswer = row.monitorAnswer;
    ServiceSeams::state = row.command == IDM_SERVICE_INSTALL ? ServiceState::NotInstalled : ServiceState::Stopped;
    StandaloneGuards = {[] { guards.push_back("release"); }, [] { return guards.push_back("retake"), retakes.load(); }};
    const UniqueKernelHandle sessionGuard(row.monitorRuns ? ::CreateMutexW(nullptr, FALSE, kSessionTrayMutexName) : nullptr);
    TrayUnderTest tray(false);
    ASSERT_TRUE(tray.started);
    EXPECT_TRUE(!hang || WaitUntil([] { return PassRunning.load(); }));
    ::SendMessageW(TrayWindowHandle(), WM_COMMAND, row.command, 0);
    Pump(100);
    EXPECT_EQ(ServiceSeams::Ran().size() + guards.size(), hang ? 0u : 2u);  // the first waits for the hung pass
    BoxWatcher boxes;
    ServiceSeams::state = row.after, hang = false, ServiceSeams::release = true;
    EXPECT_TRUE(WaitUntil([] { return !TrayWindowHandle() || guards.size() == 2; }));
    Pump(300);
    EXPECT_EQ(boxes.Seen(), row.box);
    EXPECT_EQ(TrayWindowHandle() == nullptr, row.exits);
    std::string seen;
    for (const std::string& g : guards) seen += (seen.empty() ? "" : " ") + g;
    EXPECT_EQ(seen, row.guards);
    const Lines ran = ServiceSeams::Ran();
    ASSERT_FALSE(ran.empty());
    EXPECT_EQ(Lines(ran.begin() + 1, ran.end()), row.alsoRan);
  }
}

// The icon and its balloons through four passes, fail, fail, succeed, succeed: one balloon when the check fails, one
// when it succeeds again, the warning icon and its tip in between.
TEST(Tray, FailureShowsOnTheIconOncePerChange) {
  ScratchDir dir("tray-warning");
  ScriptedTransport transport;
  std::vector<SentToShell> sent;
  NotifyIcon::RecordForTesting(&sent);
  transport.Set(L"GET", kPublicIpHost, Ok("203.0.113.7"));
  dir.Write("nimbard-demo.json", kConfig);
  {
    TrayUnderTest tray(false);  // its first pass starts at once; the first two find no server for the lookup
    ASSERT_TRUE(tray.started);
    for (std::size_t pass = 1; pass <= 4; ++pass) {
      if (pass == 3) transport.Set(L"GET", kCloudflareApiHost, Ok(R"({"result":{"name":"home.example.com","type":"A","content":"203.0.113.7"}})"));
      if (pass > 1) ::SendMessageW(TrayWindowHandle(), WM_COMMAND, IDM_FORCE_UPDATE, 0);
      const auto lookups = [&] { std::size_t n = 0; for (const HttpRequest& r : transport.Requests()) n += r.host == kCloudflareApiHost; return n; };
      EXPECT_TRUE(WaitUntil([&] { return lookups() == pass && !PassRunning.load(); }));
      Pump(50);
    }
  }
  NotifyIcon::RecordForTesting(nullptr);
  EXPECT_EQ(LooksAndBalloons(sent), (Lines{"normal icon, tip nimbard", "warning icon, tip nimbard: the last check failed",
                         "warning: nimbard: the last check failed / Record: example.com/home lookup failed", "normal icon, tip nimbard",
                         "info: nimbard: the check succeeded again / Every record is up to date."}));
}

// The monitor follows the service at its one-second refresh: a stop shows within two seconds as "Service: stopped",
// with the warning icon and its tip and one balloon however long it lasts; the service running again brings the
// normal look back.
TEST(Tray, MonitorFollowsTheService) {
  ScratchDir dir("tray-follows");
  ServiceSeams seams;
  std::vector<SentToShell> sent;
  NotifyIcon::RecordForTesting(&sent);
  dir.Write("nimbard.status", "Record: example.com/home = 203.0.113.7 (unchanged)");
  ServiceSeams::state = ServiceState::Running;
  {
    TrayUnderTest tray(true);
    ASSERT_TRUE(tray.started);
    EXPECT_EQ(SummaryText(), L"Service: running");
    ServiceSeams::state = ServiceState::Stopped;
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitUntil([] { return SummaryText() == L"Service: stopped"; }, 2000));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2));
    Lines summaries;
    for (ServiceState state : {ServiceState::Stopped, ServiceState::Starting, ServiceState::Running, ServiceState::Running}) {
      ServiceSeams::state = state;
      ::SendMessageW(TrayWindowHandle(), WM_TIMER, kPollTimerId, 0);
      summaries.push_back(NarrowLow8(SummaryText()));
    }
    EXPECT_EQ(summaries, (Lines{"Service: stopped", "Service: starting", "Service: running", "Service: running"}));
  }
  NotifyIcon::RecordForTesting(nullptr);
  EXPECT_EQ(LooksAndBalloons(sent), (Lines{"normal icon, tip nimbard", "warning icon, tip nimbard: the service has stopped",
      "warning: nimbard: the service has stopped / No record is checked until the service runs again (Start Service in the menu).",
      "normal icon, tip nimbard"}));
}

// What the monitor makes of the service's state from one refresh to the next.
TEST(ServiceWatch, AlertsOnceOnAStopAndRecoversOnARun) {
  using S = ServiceState;
  using C = ServiceChange;
  const struct { S state; C change; } rows[] = {
      {S::Running, C::None}, {S::Stopping, C::None}, {S::Stopped, C::StoppedAlert}, {S::Stopped, C::None},
      {S::Unavailable, C::None}, {S::Starting, C::None}, {S::Other, C::None}, {S::Running, C::Recovered},
      {S::Running, C::None}, {S::NotInstalled, C::None}, {S::Stopped, C::StoppedAlert}, {S::NotInstalled, C::None},
      {S::Running, C::Recovered},
  };
  ServiceWatch watch;
  int row = 0;
  for (const auto& r : rows) EXPECT_EQ(watch.Update(r.state), r.change) << "row " << row++;
  EXPECT_EQ(ServiceWatch().Update(S::Stopped), C::StoppedAlert);  // a monitor that starts on a stopped service says so
}

// WM_APP messages that another program posts with made-up values find nothing to take: the tray neither crashes nor
// changes (no look, balloon or box; the command it waits for still waits), and its own results still come through.
TEST(Tray, ForeignMessagesChangeNothing) {
  ScratchDir dir("tray-foreign");
  ServiceSeams seams;
  dir.Write("nimbard.status", "Record: example.com/home = 203.0.113.7 (unchanged)");
  ServiceSeams::state = ServiceState::NotInstalled, ServiceSeams::release = false;
  TrayUnderTest tray(true);
  ASSERT_TRUE(tray.started);
  ::SendMessageW(TrayWindowHandle(), WM_COMMAND, IDM_SERVICE_INSTALL, 0);  // held as while Windows asks
  Pump(50);
  const Lines before = MenuSeenByUser();
  std::vector<SentToShell> sent;
  NotifyIcon::RecordForTesting(&sent);
  BoxWatcher boxes;
  const std::pair<WPARAM, LPARAM> values[] = {{0, 0}, {1, 0x12345678}, {~WPARAM(0), ~LPARAM(0)}, {5, IDM_SERVICE_INSTALL}, {0, IDM_FORCE_UPDATE}};
  for (UINT message : {WM_APP + 2, WM_APP + 3}) {
    for (const auto& [w, l] : values) ::PostMessageW(TrayWindowHandle(), message, w, l);
  }
  Pump(300);
  NotifyIcon::RecordForTesting(nullptr);
  EXPECT_EQ(MenuSeenByUser(), before);
  EXPECT_EQ(boxes.Seen(), "");
  EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](const SentToShell& s) { return s.tip == L"nimbard" && !(s.flags & NIF_INFO); }));
  ServiceSeams::state = ServiceState::Running, ServiceSeams::release = true;
  EXPECT_TRUE(WaitUntil([] { return SummaryText() == L"Service: running"; }));
  EXPECT_EQ(ServiceSeams::Ran(), Lines{NarrowLow8(platform::ExecutablePath()) + " --install"});
}

// The monitor judges the status file: a line that is not "(unchanged)" or "(changed; updated)" failed; a read during
// a pass (the first records of the last whole read) keeps the remaining lines of that read until it lasts too long.
TEST(StatusFileJudge, TellsAFailureFromThePassUnderWay) {
  const std::wstring a = L"Record: a.example/www = 203.0.113.7 (unchanged)", bFailed = L"Record: b.example/@ lookup failed";
  const std::wstring bUpdated = L"Record: b.example/@ = 203.0.113.7 (changed; updated)", c = L"Record: c.example/www waiting (too many requests)";
  const ULONGLONG later = StatusFileJudge::kPassUnderWayMs;
  const struct { std::wstring file; ULONGLONG at; int failed; std::wstring whatFailed; CheckChange change; } rows[] = {
      {L"Record: status unavailable", 0, -1, L"", CheckChange::None}, {a, 0, 0, L"", CheckChange::None},
      {a + L"\r\n" + bFailed + L"\r\n" + c, 10, 1, bFailed + L"\r\n" + c, CheckChange::Failed},
      {a, 20, 1, bFailed + L"\r\n" + c, CheckChange::None}, {a + L"\r\n" + bUpdated, 30, 1, c, CheckChange::None},
      {a + L"\r\n" + bUpdated + L"\r\n" + a, 40, 0, L"", CheckChange::Recovered},
      {a + L"\r\n" + bFailed, 50, 1, bFailed, CheckChange::Failed},  // under way: the third record's last line counts
      {a, 60, 1, bFailed, CheckChange::None}, {a, 60 + later, 0, L"", CheckChange::Recovered},
      {L"", 70 + later, -1, L"", CheckChange::None}, {bFailed, 80 + later, 1, bFailed, CheckChange::Failed},
  };
  StatusFileJudge judge;
  CheckAlert alert;
  for (const auto& row : rows) {
    const CheckResult result = judge.Judge(row.file, row.at);
    EXPECT_EQ(result.known ? int(result.failed) : -1, row.failed) << NarrowLow8(row.file);
    EXPECT_EQ(result.whatFailed, row.whatFailed) << NarrowLow8(row.file);
    EXPECT_EQ(alert.Update(result), row.change) << NarrowLow8(row.file);
  }
}

// A record keeping both types has one line; it failed when either part did.
TEST(StatusFileJudge, JudgesEachPartOfOneLine) {
  const struct { const wchar_t* line; bool failed; } rows[] = {
      {L"Record: a.example/www = 203.0.113.7 (unchanged), AAAA = 2001:db8::10 (changed; updated)", false},
      {L"Record: a.example/www AAAA = 2001:db8::10 (unchanged)", false},
      {L"Record: a.example/www = 198.51.100.4 (changed; update pending), AAAA = 2001:db8::10 (unchanged)", true},
      {L"Record: a.example/www lookup failed, AAAA = 2001:db8::10 (unchanged)", true},
      {L"Record: a.example/www = 203.0.113.7 (unchanged), AAAA: no global IPv6 address on this PC", true},
      {L"Record: a.example/www AAAA not found (changed; update pending)", true},
  };
  for (const auto& row : rows) {
    StatusFileJudge judge;
    const CheckResult result = judge.Judge(row.line, 0);
    EXPECT_TRUE(result.known && result.failed == row.failed) << NarrowLow8(row.line);
  }
}

// The balloon of the first check after a Save names every record, failed or not, and says nothing of a pass that
// did not run or was stopped.
TEST(SavedRecordsReport, EveryRecordOfAPassThatRan) {
  const auto record = [](std::wstring line) { RecordOutcome r; r.statusLine = std::move(line); return r; };
  PassOutcome two;
  two.ran = two.configurationLoaded = true;
  two.records = {record(L"Record: example.com/home = 203.0.113.7 (unchanged)"), record(L"Record: example.net/@ lookup failed")};
  PassOutcome stopped = two, notRun, noConfiguration;
  stopped.stopped = true;
  noConfiguration.ran = true;
  const struct { const PassOutcome& pass; std::wstring report; } rows[] = {
      {two, L"example.com/home = 203.0.113.7 (unchanged)\r\nexample.net/@ lookup failed"},
      {stopped, L""}, {notRun, L""}, {noConfiguration, L"configuration unavailable"}};
  for (const auto& row : rows) EXPECT_EQ(SavedRecordsReport(row.pass), row.report);
}

// Two processes append to one log and replace one status file at once (a standalone tray's last pass as the service
// it handed over to starts its first), and every line and every read of the file is whole.
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
