#include <windows.h>
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/activity_log.h"
#include "core/app_paths.h"
#include "core/status_board.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "host/installed_copy.h"
#include "ui/about_dialog.h"
#include "ui/config_dialog.h"
#include "ui/resource.h"
#include "ui/tray_state.h"

namespace nimbard {
namespace {

// The menu shows at most this much of the detail text, one item per record
// line: a line holds two addresses when a record keeps both (an IPv6 address
// alone takes up to 39 characters), and two records side by side would make
// the menu wider than a small screen.
constexpr std::size_t kMenuMaxLines = 2;
constexpr std::size_t kMenuMaxLineChars = 160;

// "&" would turn the next character into a mnemonic.
std::wstring MenuText(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'&') out += L'&';
    out += c;
  }
  return out;
}

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t directory[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? name : std::wstring(directory, length) + L"\\" + name;
}

// "Force Update". Only one process polls: the monitor asks the service to
// check now, and the service writes the log and the status file the monitor
// shows; the standalone tray is the one that polls.
void ForceUpdate(HWND window) {
  if (!MonitorMode) {
    StartPassThread(window, true);
    return;
  }
  StartCommandThread(window, IDM_FORCE_UPDATE, [ask = Seams().askForPass] { return CommandOutcome{ask()}; });
}

}  // namespace

void OpenWithShell(const std::wstring& path) {
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) LogMessage(L"Could not open file: " + path);
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
  if (MonitorMode) {
    ReloadStatusFile();
    FollowServiceState();
  }
  const ServiceState service = MonitorMode ? State().serviceState : Seams().query();
  const UniqueMenu menu = BuildTrayMenu(SummaryText(), DetailText(), service, State().serviceCommand != 0);
  if (!menu) return;
  // Without the foreground the menu would stay open after a click elsewhere.
  ::SetForegroundWindow(window);
  State().openMenu = menu.get();
  ::TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
  State().openMenu = nullptr;
  ::PostMessageW(window, WM_NULL, 0, 0);
}

// A declined prompt needs no word: the user chose it.
void ShowCommandOutcome(HWND window, const CommandEnded& ended) {
  if (ended.error == 0 || ended.error == ERROR_CANCELLED) return;
  const std::wstring number = DecimalText(ended.error);
  const std::wstring text =
      ended.command == IDM_FORCE_UPDATE
          ? L"The service could not be asked to check now (Windows error " + number + L")."
      : ended.command == IDM_OPEN_CONFIG
          ? L"Notepad could not be started with administrator rights to open " + ConfigFilePath() +
                L" (Windows error " + number + L")."
          : L"The configuration dialog could not be started with administrator rights (Windows error " + number +
                L").";
  ::MessageBoxW(window, text.c_str(), L"nimbard Demo", MB_OK | MB_ICONERROR);
}

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
      if (MonitorMode) FollowServiceState();
      return true;
    case IDM_SERVICE_START:
    case IDM_SERVICE_STOP:
    case IDM_SERVICE_RESTART:
    case IDM_SERVICE_INSTALL:
    case IDM_SERVICE_UNINSTALL:
      StartServiceCommand(window, command);
      return true;
    case IDM_MANAGE_RECORDS:
      // The monitor's dialog is the installed exe's, run with administrator
      // rights ("--configure"); the service's next pass reads the file. The
      // standalone tray checks what was saved at once.
      if (MonitorMode) {
        StartElevatedCommand(window, command, InstalledExecutable(), L"--configure", false);
      } else if (ShowConfigDialog(tray.instance, window) == IDOK) {
        ApplySavedRecords(window);
      }
      return true;
    default:
      return false;
  }
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
  std::vector<Entry> entries{{MF_GRAYED, IDM_STATUS_LINE, MenuText(summary)}};
  const std::wstring fitted = FitLines(detail, kMenuMaxLines, kMenuMaxLineChars, L"\r\n");
  for (std::wstring_view line : SplitLines(fitted)) entries.push_back({MF_GRAYED, IDM_STATUS_LINE, MenuText(line)});
  entries.insert(entries.end(), {
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
  });
  for (const Entry& entry : entries) {
    if (!::AppendMenuW(menu.get(), entry.flags, entry.id,
                       entry.flags == MF_SEPARATOR ? nullptr : entry.text.c_str())) {
      return UniqueMenu();
    }
  }
  return menu;
}

HMENU OpenTrayMenu() { return State().openMenu; }

}  // namespace nimbard
