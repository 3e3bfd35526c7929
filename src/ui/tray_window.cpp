#include "ui/tray_window.h"

#include <shellapi.h>

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "core/activity_log.h"
#include "core/app_paths.h"
#include "core/config_store.h"
#include "core/platform.h"
#include "core/status_board.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "engine/pass_schedule.h"
#include "engine/poll_pass.h"
#include "host/elevated_command.h"
#include "host/installed_copy.h"
#include "host/monitor_trays.h"
#include "host/service_control.h"
#include "ui/about_dialog.h"
#include "ui/check_alert.h"
#include "ui/config_dialog.h"
#include "ui/notify_icon.h"
#include "ui/resource.h"
#include "ui/status_tooltip.h"

namespace nimbard {

bool MonitorMode = false;
TrayGuards StandaloneGuards;

namespace {

// At logon the tray may start before the notification area exists, and a
// first icon addition then fails: it is tried again every second for a
// while, and again whenever the shell announces itself.
constexpr UINT_PTR kIconRetryTimerId = 3;
constexpr UINT kIconRetryMs = 1000;
constexpr int kIconRetries = 60;

// Messages the tray's worker threads post to its window (the icon's own is
// kTrayIconMessage, WM_APP + 1):
// - a pass has ended: wParam is whether the user forced it, lParam owns the
//   pass's outcome (a heap PassOutcome);
// - a command's thread has ended (an elevated start, or the service's answer
//   to "check now"): wParam the Win32 error (0 when done), lParam the menu
//   command.
constexpr UINT kPassEndedMessage = WM_APP + 2;
constexpr UINT kCommandEndedMessage = WM_APP + 3;

// A menu line shows at most this much of the detail text; a line of several
// records separates them, as a menu item has a single line.
constexpr std::size_t kMenuMaxLines = 2;
constexpr std::size_t kMenuMaxLineChars = 100;

// The icon's tip and balloons after a change of the last check's outcome.
// A balloon shows a few of the failing lines (its text holds 255
// characters at most).
constexpr wchar_t kFailedTitle[] = L"nimbard: the last check failed";  // the tip's text too
constexpr wchar_t kRecoveredTitle[] = L"nimbard: the check succeeded again";
constexpr wchar_t kRecoveredText[] = L"Every record is up to date.";
constexpr std::size_t kBalloonMaxLines = 3;
constexpr std::size_t kBalloonMaxLineChars = 70;

// How long a service command's thread waits, after the command, for a
// service it started to leave "starting" ("--install" does not wait).
constexpr ULONGLONG kStartingWaitMs = 10000;

// UI-thread state of the one tray window.
struct Tray {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;
  NotifyIcon icon;
  UINT taskbarCreated = 0;  // broadcast when the shell (re)starts
  UINT closeRequest = 0;    // kCloseMonitorMessageName: "--install" or "--uninstall" replaces the exe
  int iconRetriesLeft = kIconRetries;
  HMENU openMenu = nullptr;
  UINT pollIntervalMs = 0;  // the standalone flavour's interval, as read at start
  PassSchedule schedule;    // when the standalone flavour's next timed pass comes
  HICON normalIcon = nullptr;
  HICON warningIcon = nullptr;  // while the last check failed
  CheckAlert alert;
  StatusFileJudge statusJudge;  // the monitor's
  UINT serviceCommand = 0;      // the service command under way (its menu id), 0 when none
  bool handingOver = false;     // it hands the standalone tray's place to the service
  bool commandStarted = false;  // its thread runs (a hand-over waits for this process's pass first)
  wchar_t title[100] = L"nimbard";
  wchar_t className[100] = L"NIMBARD";
};

Tray& State() {
  static Tray tray;
  return tray;
}

ServiceStateQuery g_serviceStateQuery = &QueryServiceState;
ElevatedRunner g_elevatedRunner = &RunElevatedCommand;

// "&" would turn the next character into a mnemonic.
std::wstring MenuText(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'&') out += L'&';
    out += c;
  }
  return out;
}

// A pass on a thread of its own, detached at once: the UI thread goes back
// to its messages, and learns of the pass's end from the message the thread
// posts. Overlapping passes are refused by the pass itself.
void StartPassThread(HWND window, bool manual) {
  try {
    std::thread([window, manual] {
      try {
        auto outcome = std::make_unique<PassOutcome>(PollPass(manual));
        if (::PostMessageW(window, kPassEndedMessage, manual, reinterpret_cast<LPARAM>(outcome.get()))) {
          outcome.release();  // the window owns it now
        }
      } catch (...) {
        // Only the outcome's copy can fail here; the pass itself never throws.
      }
    }).detach();
  } catch (const std::system_error&) {
    LogMessage(L"A poll pass could not be started: no thread is available.");
  }
}

// A change of the last check's outcome shows on the icon and its tip, and
// in one balloon; the same outcome again shows nothing.
void ShowCheckResult(const CheckResult& result) {
  Tray& tray = State();
  switch (tray.alert.Update(result)) {
    case CheckChange::Failed:
      tray.icon.SetLook(tray.warningIcon, kFailedTitle);
      tray.icon.ShowBalloon(kFailedTitle,
                            FitLines(result.whatFailed, kBalloonMaxLines, kBalloonMaxLineChars, L"\n"), true);
      break;
    case CheckChange::Recovered:
      tray.icon.SetLook(tray.normalIcon, kTrayTip);
      tray.icon.ShowBalloon(kRecoveredTitle, kRecoveredText, false);
      break;
    case CheckChange::None:
      break;
  }
}

// The monitor shows what the last pass beside this executable wrote, and
// judges it: the service's passes tell it nothing else.
void ReloadStatusFile() {
  const std::wstring content = ReadStatusFile();
  SetDetailTextWithoutFile(content);
  ShowCheckResult(State().statusJudge.Judge(content, ::GetTickCount64()));
}

void ShowServiceState() {
  SetSummaryText(ServiceStateText(g_serviceStateQuery()));
  State().icon.Refresh();
}

// A service that a command has just started may still be starting; what it
// came to counts, within a bound.
void WaitWhileStarting(ServiceStateQuery query) {
  const ULONGLONG deadline = ::GetTickCount64() + kStartingWaitMs;
  while (query() == ServiceState::Starting && ::GetTickCount64() < deadline) ::Sleep(100);
}

// Commands that wait (a UAC prompt, a service command's own wait, the
// service's answer) run on a thread of their own: the tray's messages must
// not stop for them. `work` returns the Win32 error, 0 when done; it comes
// back with the command as kCommandEndedMessage.
template <typename Work>
void StartCommandThread(HWND window, UINT command, Work work) {
  try {
    std::thread([window, command, work = std::move(work)]() noexcept {
      DWORD error = ERROR_NOT_ENOUGH_MEMORY;
      try {
        error = work();
      } catch (...) {
      }
      ::PostMessageW(window, kCommandEndedMessage, error, command);
    }).detach();
  } catch (...) {
    ::PostMessageW(window, kCommandEndedMessage, ERROR_NOT_ENOUGH_MEMORY, command);  // no thread to spare
  }
}

// Runs `file` with administrator rights, waited for when `waitForExit`.
void StartElevatedCommand(HWND window, UINT command, std::wstring file, std::wstring parameters,
                          bool waitForExit) {
  StartCommandThread(window, command,
                     [runner = g_elevatedRunner, query = g_serviceStateQuery, file = std::move(file),
                      parameters = std::move(parameters), waitForExit] {
                       const DWORD error = runner(file, parameters, waitForExit);
                       if (waitForExit && error == 0) WaitWhileStarting(query);
                       return error;
                     });
}

const wchar_t* ServiceCommandOption(UINT command) {
  switch (command) {
    case IDM_SERVICE_INSTALL: return L"--install";
    case IDM_SERVICE_UNINSTALL: return L"--uninstall";
    case IDM_SERVICE_START: return L"--start";
    case IDM_SERVICE_STOP: return L"--stop";
    case IDM_SERVICE_RESTART: return L"--restart";
    default: return nullptr;
  }
}

// The service commands each state offers. A service between states takes
// no control but its removal; a state the tray cannot learn offers nothing.
bool Offered(ServiceState state, UINT command) {
  switch (state) {
    case ServiceState::NotInstalled:
      return command == IDM_SERVICE_INSTALL;
    case ServiceState::Stopped:
      return command == IDM_SERVICE_START || command == IDM_SERVICE_UNINSTALL;
    case ServiceState::Running:
      return command == IDM_SERVICE_STOP || command == IDM_SERVICE_RESTART || command == IDM_SERVICE_UNINSTALL;
    case ServiceState::Other:  // paused
      return command == IDM_SERVICE_STOP || command == IDM_SERVICE_UNINSTALL;
    case ServiceState::Starting:
    case ServiceState::Stopping:
      return command == IDM_SERVICE_UNINSTALL;
    case ServiceState::Unavailable:
      break;
  }
  return false;
}

// Runs the service command under way: "<this exe> <option>" with
// administrator rights, waited for. A hand-over lets go of the guards first.
void RunServiceCommand(HWND window) {
  Tray& tray = State();
  tray.commandStarted = true;
  if (tray.handingOver) StandaloneGuards.release();
  StartElevatedCommand(window, tray.serviceCommand, platform::ExecutablePath(),
                       ServiceCommandOption(tray.serviceCommand), true);
}

// One service command at a time; one the service's state does not offer
// (chosen from a menu opened before the state changed) does nothing.
void StartServiceCommand(HWND window, UINT command) {
  Tray& tray = State();
  if (tray.serviceCommand != 0 || !Offered(g_serviceStateQuery(), command)) return;
  tray.serviceCommand = command;
  // Install and Start from the standalone tray hand its place to the service
  // and its monitor tray. This process's passes stop for that, and one still
  // at work ends first: only one process checks at a time.
  tray.handingOver = !MonitorMode && StandaloneGuards.release && StandaloneGuards.retake &&
                     (command == IDM_SERVICE_INSTALL || command == IDM_SERVICE_START);
  tray.commandStarted = false;
  if (!(tray.handingOver && PassRunning.load())) RunServiceCommand(window);
}

// The end of a service command. After a hand-over, the standalone tray exits
// once the service runs (its monitor tray shows the icon now), or when
// another tray took the guards meanwhile; else it goes on as before. A
// declined prompt shows nothing.
void FinishServiceCommand(HWND window, DWORD error) {
  Tray& tray = State();
  const UINT command = std::exchange(tray.serviceCommand, 0);
  if (std::exchange(tray.handingOver, false) &&
      (g_serviceStateQuery() == ServiceState::Running || !StandaloneGuards.retake())) {
    ::DestroyWindow(window);
    return;
  }
  if (error != 0 && error != ERROR_CANCELLED) {
    const std::wstring text = std::wstring(L"nimbard.exe ") + ServiceCommandOption(command) +
                              L" could not be started with administrator rights (Windows error " +
                              DecimalText(error) + L").";
    ::MessageBoxW(window, text.c_str(), L"nimbard Demo", MB_OK | MB_ICONERROR);
  }
  if (MonitorMode) ShowServiceState();
}

// "Force Update". A monitor that may not read the service's configuration
// (it is for administrators only) asks the service to check now, and the
// service writes the log and the status file the monitor shows; anyone else
// checks here.
void ForceUpdate(HWND window) {
  RecordList records;
  if (!MonitorMode || LoadRecords(records)) {
    StartPassThread(window, true);
    return;
  }
  StartCommandThread(window, IDM_FORCE_UPDATE, [] { return AskServiceForPass(); });
}

// A declined prompt needs no word: the user chose it.
void ShowCommandOutcome(HWND window, DWORD error, UINT command) {
  if (error == 0 || error == ERROR_CANCELLED) return;
  const std::wstring number = DecimalText(error);
  const std::wstring text =
      command == IDM_FORCE_UPDATE
          ? L"The service could not be asked to check now (Windows error " + number + L")."
      : command == IDM_OPEN_CONFIG
          ? L"Notepad could not be started with administrator rights to open " + ConfigFilePath() +
                L" (Windows error " + number + L")."
          : L"The configuration dialog could not be started with administrator rights (Windows error " + number +
                L").";
  ::MessageBoxW(window, text.c_str(), L"nimbard Demo", MB_OK | MB_ICONERROR);
}

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t directory[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? name : std::wstring(directory, length) + L"\\" + name;
}

void OpenPopupMenu(HWND window) {
  // While one of the tray's dialogs or message boxes is open, a click on the
  // icon brings it back to the front instead of opening a second one.
  const HWND popup = ::GetLastActivePopup(window);
  if (popup != window && ::IsWindowVisible(popup)) {
    ::SetForegroundWindow(popup);
    return;
  }
  POINT cursor{};
  ::GetCursorPos(&cursor);
  if (MonitorMode) ReloadStatusFile();
  const UniqueMenu menu =
      BuildTrayMenu(SummaryText(), DetailText(), g_serviceStateQuery(), State().serviceCommand != 0);
  if (!menu) return;
  // Without the foreground the menu would stay open after a click elsewhere.
  ::SetForegroundWindow(window);
  State().openMenu = menu.get();
  ::TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
  State().openMenu = nullptr;
  ::PostMessageW(window, WM_NULL, 0, 0);
}

// False for ids the window does not handle itself.
bool RunCommand(HWND window, UINT command) {
  Tray& tray = State();
  switch (command) {
    case IDM_ABOUT:
      ShowAboutDialog(tray.instance, window);
      return true;
    case IDM_EXIT:
      ::DestroyWindow(window);
      return true;
    case IDM_OPEN_LOG:
      OpenWithShell(LogFilePath());
      return true;
    case IDM_OPEN_CONFIG:
      // The monitor's file is the service's: only administrators may change it.
      if (MonitorMode) {
        StartElevatedCommand(window, command, SystemProgram(L"notepad.exe"), L"\"" + ConfigFilePath() + L"\"",
                             false);
      } else {
        OpenWithShell(ConfigFilePath());
      }
      return true;
    case IDM_FORCE_UPDATE:
      if (!StopRequested.load() && !tray.handingOver) ForceUpdate(window);
      return true;
    case IDM_SERVICE_STATE:
      ShowServiceState();
      return true;
    case IDM_SERVICE_START:
    case IDM_SERVICE_STOP:
    case IDM_SERVICE_RESTART:
    case IDM_SERVICE_INSTALL:
    case IDM_SERVICE_UNINSTALL:
      StartServiceCommand(window, command);
      return true;
    case IDM_MANAGE_RECORDS:
      // The next pass reads the file afresh. The monitor's dialog is the
      // installed exe's, run with administrator rights ("--configure").
      if (MonitorMode) {
        StartElevatedCommand(window, command, InstalledExecutable(), L"--configure", false);
      } else {
        ShowConfigDialog(tray.instance, window);
      }
      return true;
    default:
      return false;
  }
}

void OnDestroy(HWND window) {
  // Passes still under way give up their exchange and end after the record
  // in hand; the entry waits a moment for them before the process ends.
  RequestStop();
  ::KillTimer(window, kPollTimerId);
  ::KillTimer(window, kHoverTimerId);
  ::KillTimer(window, kIconRetryTimerId);
  DestroyStatusTooltip();
  State().icon.Remove();
  State().window = nullptr;
  ::PostQuitMessage(0);
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kTrayIconMessage:
      if (LOWORD(lParam) == WM_MOUSEMOVE) {
        ShowStatusTooltip(window);
      } else {
        HideStatusTooltip(window);
        if (LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == WM_RBUTTONUP) OpenPopupMenu(window);
      }
      return 0;
    case WM_TIMER:
      if (wParam == kPollTimerId && !StopRequested.load()) {
        if (MonitorMode) {
          ReloadStatusFile();
          State().icon.Refresh();
        } else if (!State().handingOver) {
          StartPassThread(window, false);
        }
      } else if (wParam == kHoverTimerId && !IsCursorOverTrayIcon(window)) {
        HideStatusTooltip(window);
      } else if (wParam == kIconRetryTimerId &&
                 (State().icon.Readd() || --State().iconRetriesLeft <= 0)) {
        ::KillTimer(window, kIconRetryTimerId);
      }
      return 0;
    case WM_COMMAND:
      if (RunCommand(window, LOWORD(wParam))) return 0;
      break;
    case kPassEndedMessage: {
      const std::unique_ptr<PassOutcome> outcome(reinterpret_cast<PassOutcome*>(lParam));
      Tray& tray = State();
      // A timed pass sets when the next comes: sooner while the network is
      // not there yet. A pass the user forced changes nothing of that.
      if (!MonitorMode && !wParam && outcome->ran && tray.window) {
        ::SetTimer(window, kPollTimerId, tray.schedule.NextWaitMs(*outcome, tray.pollIntervalMs), nullptr);
      }
      tray.icon.Refresh();
      ShowCheckResult(JudgePass(*outcome));
      if (tray.serviceCommand != 0 && !tray.commandStarted && tray.window) RunServiceCommand(window);
      return 0;
    }
    case kCommandEndedMessage:
      if (ServiceCommandOption(static_cast<UINT>(lParam))) {
        FinishServiceCommand(window, static_cast<DWORD>(wParam));
      } else {
        ShowCommandOutcome(window, static_cast<DWORD>(wParam), static_cast<UINT>(lParam));
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      ::BeginPaint(window, &paint);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      OnDestroy(window);
      return 0;
    default:
      if (message != 0 && message == State().closeRequest) {
        // Only the monitor runs from the installed exe; it goes as "Exit" does.
        if (!MonitorMode) return 0;
        ::PostMessageW(window, WM_COMMAND, IDM_EXIT, 0);
        return 1;
      }
      if (message != 0 && message == State().taskbarCreated) {
        // The shell (re)started: it has no icon of ours yet.
        if (State().icon.Readd()) ::KillTimer(window, kIconRetryTimerId);
        return 0;
      }
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// Shared icons belong to the module: nothing to destroy.
HICON LoadTrayIcon(HINSTANCE instance, int id) {
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                         ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

}  // namespace

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return HandleMessage(window, message, wParam, lParam);
  } catch (...) {
    // Nothing may unwind into the system's message dispatch.
    return 0;
  }
}

bool RegisterTrayClass(HINSTANCE instance) {
  Tray& tray = State();
  ::LoadStringW(instance, IDS_APP_TITLE, tray.title, ARRAYSIZE(tray.title));
  ::LoadStringW(instance, IDC_NIMBARD, tray.className, ARRAYSIZE(tray.className));
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = TrayWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_NIMBARD));
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_NIMBARD);
  windowClass.lpszClassName = tray.className;
  windowClass.hIconSm = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  return ::RegisterClassExW(&windowClass) != 0;
}

bool InitTray(HINSTANCE instance) {
  Tray& tray = State();
  tray.instance = instance;
  tray.window = ::CreateWindowW(tray.className, tray.title, WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                nullptr, instance, nullptr);
  if (tray.window == nullptr) return false;
  tray.taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
  tray.closeRequest = ::RegisterWindowMessageW(kCloseMonitorMessageName);

  // The monitor needs no configuration: it shows the service's results, and
  // the service's file is for administrators only.
  RecordConfig first;
  if (!MonitorMode && !LoadFirstRecord(first) &&
      !(ShowConfigDialog(instance, tray.window) == IDOK && LoadFirstRecord(first))) {
    ::DestroyWindow(tray.window);
    return false;
  }

  // Nothing is known yet of the checks or a service command (the tests start
  // several trays in one process).
  tray.alert = CheckAlert();
  tray.statusJudge = StatusFileJudge();
  tray.serviceCommand = 0;
  tray.handingOver = false;
  tray.normalIcon = LoadTrayIcon(instance, IDI_SMALL);
  tray.warningIcon = LoadTrayIcon(instance, IDI_TRAY_WARNING);
  if (!tray.icon.Add(tray.window, tray.normalIcon)) {
    ::SetTimer(tray.window, kIconRetryTimerId, kIconRetryMs, nullptr);
  }

  if (MonitorMode) {
    ReloadStatusFile();
    ::SetTimer(tray.window, kPollTimerId, kMonitorRefreshMs, nullptr);
    ShowServiceState();
  } else {
    tray.pollIntervalMs = PollIntervalMs(first.pollMinutes);
    ::SetTimer(tray.window, kPollTimerId, tray.pollIntervalMs, nullptr);
    StartPassThread(tray.window, false);
  }
  return true;
}

void OpenWithShell(const std::wstring& path) {
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) LogMessage(L"Could not open file: " + path);
}

UniqueMenu BuildTrayMenu(const std::wstring& summary, const std::wstring& detail, ServiceState service,
                         bool serviceCommandUnderWay) {
  UniqueMenu menu(::CreatePopupMenu());
  if (!menu) return menu;
  const auto offered = [&](UINT command) -> UINT {
    return !serviceCommandUnderWay && Offered(service, command) ? MF_STRING : MF_GRAYED;
  };
  struct Entry {
    UINT flags;
    UINT id;
    std::wstring text;
  };
  const Entry entries[] = {
      {MF_GRAYED, IDM_STATUS_LINE, MenuText(summary)},
      {MF_GRAYED, IDM_STATUS_LINE, MenuText(FitLines(detail, kMenuMaxLines, kMenuMaxLineChars, L"  |  "))},
      {MF_SEPARATOR, 0, L""},
      {MF_STRING, IDM_OPEN_LOG, L"Open Log File"},
      {MF_STRING, IDM_OPEN_CONFIG, L"Open Configuration"},
      {MF_STRING, IDM_MANAGE_RECORDS, L"Manage DNS Records"},
      {MF_STRING, IDM_FORCE_UPDATE, L"Force Update"},
      {MF_SEPARATOR, 0, L""},
      {MF_GRAYED, IDM_SERVICE_STATE, MenuText(ServiceStateText(service))},
      {offered(IDM_SERVICE_START), IDM_SERVICE_START, L"Start Service"},
      {offered(IDM_SERVICE_STOP), IDM_SERVICE_STOP, L"Stop Service"},
      {offered(IDM_SERVICE_RESTART), IDM_SERVICE_RESTART, L"Restart Service"},
      {offered(IDM_SERVICE_INSTALL), IDM_SERVICE_INSTALL, L"Install Service"},
      {offered(IDM_SERVICE_UNINSTALL), IDM_SERVICE_UNINSTALL, L"Uninstall Service"},
      {MF_SEPARATOR, 0, L""},
      {MF_STRING, IDM_ABOUT, L"About"},
      {MF_STRING, IDM_EXIT, L"Exit"},
  };
  for (const Entry& entry : entries) {
    if (!::AppendMenuW(menu.get(), entry.flags, entry.id,
                       entry.flags == MF_SEPARATOR ? nullptr : entry.text.c_str())) {
      return UniqueMenu();
    }
  }
  return menu;
}

HWND TrayWindowHandle() { return State().window; }

void SetServiceSeamsForTesting(ServiceStateQuery query, ElevatedRunner runner) {
  g_serviceStateQuery = query ? query : &QueryServiceState;
  g_elevatedRunner = runner ? runner : &RunElevatedCommand;
}
HMENU OpenTrayMenu() { return State().openMenu; }

}  // namespace nimbard
