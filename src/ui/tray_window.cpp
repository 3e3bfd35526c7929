#include "ui/tray_window.h"

#include "core/activity_log.h"
#include "core/config_store.h"
#include "core/stop_request.h"
#include "host/monitor_trays.h"
#include "ui/config_dialog.h"
#include "ui/resource.h"
#include "ui/status_tooltip.h"
#include "ui/tray_state.h"

namespace nimbard {

bool MonitorMode = false;
TrayGuards StandaloneGuards;

namespace {

// The first start's dialog closed without a record saved.
constexpr wchar_t kNoRecordSavedText[] =
    L"No record was saved, so nimbard ends now. To set up a record, start nimbard again.";

// At logon the tray may start before the notification area exists, and a
// first icon addition then fails: it is tried again every second for a
// while, and again whenever the shell announces itself.
constexpr UINT_PTR kIconRetryTimerId = 3;
constexpr UINT kIconRetryMs = 1000;
constexpr int kIconRetries = 60;

// Every result queued for this window; those of an earlier window are
// dropped. A window destroyed on the way leaves the rest unread.
void TakeWorkerResults(HWND window) {
  while (State().window == window) {
    std::optional<WorkerResult> result = State().results.Pop();
    if (!result) return;
    if (result->window != window) continue;
    if (const auto* pass = std::get_if<PassEnded>(&result->what)) {
      OnPassEnded(window, *pass);
    } else {
      const CommandEnded& ended = std::get<CommandEnded>(result->what);
      if (ServiceCommandOption(ended.command)) {
        FinishServiceCommand(window, ended);
      } else {
        ShowCommandOutcome(window, ended);
      }
    }
  }
}

void OnDestroy(HWND window) {
  // Passes still under way give up their exchange and end after the record
  // in hand; the entry waits a moment for them before the process ends.
  RequestStop();
  ::KillTimer(window, kPollTimerId);
  ::KillTimer(window, kHoverTimerId);
  ::KillTimer(window, kIconRetryTimerId);
  StopChangeWatch(window);
  DestroyStatusTooltip();
  State().icon.Remove();
  State().window = nullptr;
  State().results.Clear();
  ::PostQuitMessage(0);
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Tray& tray = State();
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
          RefreshMonitor();
        } else if (!tray.handingOver) {
          StartPassThread(window, false);
        }
      } else if (wParam == kHoverTimerId && !IsCursorOverTrayIcon(window)) {
        HideStatusTooltip(window);
      } else if (wParam == kIconRetryTimerId && (tray.icon.Readd() || --tray.iconRetriesLeft <= 0)) {
        ::KillTimer(window, kIconRetryTimerId);
      } else if (wParam == kChangeTimerId) {
        OnChangeTimer(window);
      }
      return 0;
    case kAddressesChangedMessage:
      OnAddressesChanged(window);
      return 0;
    case WM_POWERBROADCAST:
      // Back from sleep: the network may come back with other addresses.
      if (wParam == PBT_APMRESUMEAUTOMATIC) OnAddressesChanged(window);
      return TRUE;
    case WM_COMMAND:
      if (RunCommand(window, LOWORD(wParam))) return 0;
      break;
    case kWorkerResultsMessage:
      TakeWorkerResults(window);
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
      if (message != 0 && message == tray.closeRequest) {
        // Only the monitor runs from the installed exe; it goes as "Exit" does.
        if (!MonitorMode) return 0;
        ::PostMessageW(window, WM_COMMAND, IDM_EXIT, 0);
        return 1;
      }
      if (message != 0 && message == tray.taskbarCreated) {
        // The shell (re)started: it has no icon of ours yet.
        if (tray.icon.Readd()) ::KillTimer(window, kIconRetryTimerId);
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

Tray& State() {
  // Never destroyed: a detached worker may still hand a result over while
  // the process ends.
  static Tray& tray = *new Tray;
  return tray;
}

void Deliver(HWND window, std::variant<PassEnded, CommandEnded> what) noexcept {
  if (State().results.Push(WorkerResult{window, std::move(what)})) {
    ::PostMessageW(window, kWorkerResultsMessage, 0, 0);
  }
}

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

TrayStart InitTray(HINSTANCE instance) {
  Tray& tray = State();
  tray.instance = instance;
  tray.window = ::CreateWindowW(tray.className, tray.title, WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                nullptr, instance, nullptr);
  if (tray.window == nullptr) {
    // Without its window the tray shows nothing at all: the log keeps why.
    LogMessage(L"The notification-area window could not be made (error " + std::to_wstring(::GetLastError()) +
               L"): nimbard ends.");
    return TrayStart::NoWindow;
  }
  tray.taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
  tray.closeRequest = ::RegisterWindowMessageW(kCloseMonitorMessageName);

  // The monitor needs no configuration: it shows the service's results, and
  // the service's file is for administrators only.
  RecordConfig first;
  const bool firstStart = !MonitorMode && !LoadFirstRecord(first);
  if (firstStart && !(ShowConfigDialog(instance, tray.window) == IDOK && LoadFirstRecord(first))) {
    // Ending without a word would look like a crash.
    ::MessageBoxW(tray.window, kNoRecordSavedText, L"nimbard Demo", MB_OK | MB_ICONINFORMATION);
    ::DestroyWindow(tray.window);
    return TrayStart::NoRecord;
  }

  // Nothing is known yet of the checks, the service or a service command
  // (the tests start several trays in one process).
  tray.alert = CheckAlert();
  tray.statusJudge = StatusFileJudge();
  tray.serviceWatch = ServiceWatch();
  tray.serviceCommand = 0;
  tray.handingOver = false;
  tray.passOwed = false;
  tray.confirmSave = firstStart;  // the first start's Save
  tray.iconRetriesLeft = kIconRetries;
  tray.normalIcon = LoadTrayIcon(instance, IDI_SMALL);
  tray.warningIcon = LoadTrayIcon(instance, IDI_TRAY_WARNING);
  tray.icon.SetLook(tray.normalIcon, kTrayTip);
  if (!tray.icon.Add(tray.window, tray.normalIcon)) {
    ::SetTimer(tray.window, kIconRetryTimerId, kIconRetryMs, nullptr);
  }

  if (MonitorMode) {
    RefreshMonitor();
    ::SetTimer(tray.window, kPollTimerId, kMonitorRefreshMs, nullptr);
  } else {
    tray.pollIntervalMs = PollIntervalMs(first.pollMinutes);
    ::SetTimer(tray.window, kPollTimerId, tray.pollIntervalMs, nullptr);
    StartPassThread(tray.window, false);
    StartChangeWatch(tray.window);
  }
  return TrayStart::Running;
}

HWND TrayWindowHandle() { return State().window; }

}  // namespace nimbard
