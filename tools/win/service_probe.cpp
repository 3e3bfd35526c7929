// Test helper for the end-to-end scripts: reads what the Service Control
// Manager and the registry hold for "nimbard-demo", controls the service,
// finds, reads and answers message boxes and dialogs by their caption, and
// looks at and commands the tray window from outside, as a user would.
//
//   service_probe config           display=, type=, start=, error=, path= lines
//   service_probe config2          description=, reset=, actions=TYPE:MS,...,
//                                  nonCrash= lines; KEY_error=CODE for a
//                                  level the SCM does not answer
//   service_probe state            state=N (1 stopped ... 4 running) and
//                                  accepts=N (the controls it takes), or state=absent
//   service_probe stop SECONDS     sends STOP, waits for STOPPED; prints state=N
//   service_probe start SECONDS    starts, waits for RUNNING; prints state=N
//   service_probe usercontrol N    sends the user-defined control N (128..255)
//                                  with that right alone; prints sent=1, or error=
//   service_probe runvalue [HIVE]  type=, bytes=, data= of the logon entry under
//                                  HIVE (hklm, the default, or hkcu), or
//                                  runvalue=absent
//   service_probe holdmutex NAME SDDL SECONDS
//                                  creates the named mutex, owned, with that
//                                  access list; prints held=1 (or error=)
//                                  and holds it for SECONDS
//   service_probe msgbox CAPTION SECONDS
//                                  waits for a dialog with that caption, prints
//                                  text=..., closes it with OK; exit 1 if none came
//   service_probe dialog CAPTION SECONDS ACTION...
//                                  waits for a dialog with that caption, prints
//                                  control=ID:TEXT for its controls, then acts in
//                                  order: ID=TEXT sets a control's text, ID#N
//                                  selects item N of a combo box, !ID clicks
//                                  (a command from that control), @ID clicks a
//                                  task dialog's button, gone=SECONDS waits
//                                  until the dialog is gone and prints
//                                  gone_ms= the time since the action before
//                                  (or gone=no)
//   service_probe icon SECONDS     waits until the tray window "NIMBARD" has its
//                                  notification icon; prints icon=present|absent
//   service_probe icons            icons=N: how many tray windows "NIMBARD"
//                                  have their notification icon
//   service_probe command ID       posts WM_COMMAND ID to the tray window
//   service_probe balloon TEXT SECONDS
//                                  waits until a balloon (a tooltip window of
//                                  the notification area) shows TEXT as its
//                                  title or text; prints balloon=TEXT, or
//                                  balloon=absent (exit 1)
//   service_probe sddl PATH        sddl= the file's or folder's owner and access
//                                  list as Windows reports them (SDDL)
//   service_probe pending [PATH]   with PATH: has Windows delete it at the next
//                                  start; then pending= each string of
//                                  PendingFileRenameOperations (or none)
//   service_probe desktop          what this desktop offers a new window:
//                                  station=, desktop=, owner= (the process of
//                                  its desktop window), answers=0|1, guid=,
//                                  driver= (or driver_error=CODE)
//   service_probe holddesktop      the same, then held=1 once the desktop has
//                                  its display driver, and waits until ended:
//                                  the session's desktop stays up meanwhile
//
// Output is UTF-8, one "key=value" per line. Exit 0 on success, 1 otherwise.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>

#include <commctrl.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const wchar_t kService[] = L"nimbard-demo";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

void Print(const char* key, const std::wstring& value) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), &utf8[0], size,
                        nullptr, nullptr);
  printf("%s=%s\n", key, utf8.c_str());
}

void PrintNumber(const char* key, unsigned long value) { printf("%s=%lu\n", key, value); }

struct Sc {
  SC_HANDLE h = nullptr;
  explicit Sc(SC_HANDLE handle) : h(handle) {}
  ~Sc() {
    if (h) ::CloseServiceHandle(h);
  }
  Sc(const Sc&) = delete;
  Sc& operator=(const Sc&) = delete;
};

bool QueryState(SC_HANDLE service, DWORD& state) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed)) {
    return false;
  }
  state = status.dwCurrentState;
  return true;
}

int Config() {
  Sc manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.h) return 1;
  Sc service(::OpenServiceW(manager.h, kService, SERVICE_QUERY_CONFIG));
  if (!service.h) {
    printf("config=absent\n");
    return 1;
  }
  DWORD needed = 0;
  ::QueryServiceConfigW(service.h, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed ? needed : 1);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service.h, config, needed, &needed)) return 1;
  Print("display", config->lpDisplayName ? config->lpDisplayName : L"");
  printf("type=0x%lx\n", config->dwServiceType);
  PrintNumber("start", config->dwStartType);
  PrintNumber("error", config->dwErrorControl);
  Print("path", config->lpBinaryPathName ? config->lpBinaryPathName : L"");
  Print("account", config->lpServiceStartName ? config->lpServiceStartName : L"");
  return 0;
}

// One QueryServiceConfig2W level into `buffer`; on failure prints
// KEY_error=CODE for each key the level would have given.
bool QueryConfig2(SC_HANDLE service, DWORD level, std::vector<BYTE>& buffer,
                  std::initializer_list<const char*> keys) {
  DWORD needed = 0;
  ::QueryServiceConfig2W(service, level, nullptr, 0, &needed);
  buffer.assign(needed ? needed : 1, 0);
  if (::QueryServiceConfig2W(service, level, buffer.data(), needed, &needed)) return true;
  const DWORD error = ::GetLastError();
  for (const char* key : keys) printf("%s_error=%lu\n", key, error);
  return false;
}

int Config2() {
  Sc manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.h) return 1;
  Sc service(::OpenServiceW(manager.h, kService, SERVICE_QUERY_CONFIG));
  if (!service.h) return 1;
  std::vector<BYTE> buffer;
  int failed = 0;
  if (QueryConfig2(service.h, SERVICE_CONFIG_DESCRIPTION, buffer, {"description"})) {
    const auto* d = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
    Print("description", d->lpDescription ? d->lpDescription : L"");
  } else {
    failed = 1;
  }
  if (QueryConfig2(service.h, SERVICE_CONFIG_FAILURE_ACTIONS, buffer, {"reset", "actions"})) {
    const auto* f = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(buffer.data());
    static const char* const kTypes[] = {"none", "restart", "reboot", "run"};
    PrintNumber("reset", f->dwResetPeriod);
    std::string actions;
    for (DWORD i = 0; i < f->cActions; ++i) {
      const SC_ACTION& a = f->lpsaActions[i];
      actions += (i ? "," : "") + std::string(a.Type <= SC_ACTION_RUN_COMMAND ? kTypes[a.Type] : "?") +
                 ":" + std::to_string(a.Delay);
    }
    printf("actions=%s\n", actions.c_str());
  } else {
    failed = 1;
  }
  if (QueryConfig2(service.h, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, buffer, {"nonCrash"})) {
    PrintNumber("nonCrash",
                reinterpret_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(buffer.data())->fFailureActionsOnNonCrashFailures);
  } else {
    failed = 1;
  }
  return failed;
}

// Opens the service with `access`; prints state=absent and returns null when it is not there.
SC_HANDLE OpenService(SC_HANDLE manager, DWORD access) {
  SC_HANDLE service = ::OpenServiceW(manager, kService, access);
  if (!service && ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) printf("state=absent\n");
  else if (!service) printf("open_error=%lu\n", ::GetLastError());
  return service;
}

int State() {
  Sc manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.h) {
    printf("manager_error=%lu\n", ::GetLastError());
    return 1;
  }
  Sc service(OpenService(manager.h, SERVICE_QUERY_STATUS));
  if (!service.h) return 0;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.h, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed)) {
    printf("query_error=%lu\n", ::GetLastError());
    return 1;
  }
  PrintNumber("state", status.dwCurrentState);
  PrintNumber("accepts", status.dwControlsAccepted);
  return 0;
}

// Sends STOP or starts the service, then polls until `wanted` or the time is up.
int Control(bool stop, long seconds) {
  Sc manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.h) return 1;
  Sc service(OpenService(manager.h, SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP));
  if (!service.h) return 1;
  if (stop) {
    SERVICE_STATUS status{};
    if (!::ControlService(service.h, SERVICE_CONTROL_STOP, &status)) {
      printf("control_error=%lu\n", ::GetLastError());
    }
  } else if (!::StartServiceW(service.h, 0, nullptr)) {
    printf("start_error=%lu\n", ::GetLastError());
  }
  const DWORD wanted = stop ? SERVICE_STOPPED : SERVICE_RUNNING;
  DWORD state = 0;
  for (long i = 0; i <= seconds * 10; ++i) {
    if (!QueryState(service.h, state)) return 1;
    if (state == wanted) break;
    ::Sleep(100);
  }
  PrintNumber("state", state);
  return state == wanted ? 0 : 1;
}

// As an ordinary user may: the service opened for user-defined controls only.
int UserControl(DWORD control) {
  Sc manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.h) return 1;
  Sc service(OpenService(manager.h, SERVICE_USER_DEFINED_CONTROL));
  SERVICE_STATUS status{};
  if (!service.h || !::ControlService(service.h, control, &status)) {
    printf("error=%lu\n", ::GetLastError());
    return 1;
  }
  printf("sent=1\n");
  return 0;
}

int RunValue(const std::wstring& hive) {
  if (hive != L"hklm" && hive != L"hkcu") return 2;
  HKEY key = nullptr;
  const HKEY root = hive == L"hklm" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  if (::RegOpenKeyExW(root, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    printf("runvalue=absent\n");
    return 0;
  }
  DWORD type = 0, bytes = 0;
  LONG result = ::RegQueryValueExW(key, kService, nullptr, &type, nullptr, &bytes);
  if (result != ERROR_SUCCESS) {
    ::RegCloseKey(key);
    printf("runvalue=absent\n");
    return 0;
  }
  std::vector<BYTE> data(bytes + 2, 0);
  result = ::RegQueryValueExW(key, kService, nullptr, &type, data.data(), &bytes);
  ::RegCloseKey(key);
  if (result != ERROR_SUCCESS) return 1;
  PrintNumber("type", type);
  PrintNumber("bytes", bytes);
  // The stored bytes as they are: a terminating NUL shows as the last unit 0.
  const auto* units = reinterpret_cast<const wchar_t*>(data.data());
  const size_t count = bytes / sizeof(wchar_t);
  PrintNumber("last_unit", count ? units[count - 1] : 0xFFFF);
  Print("data", std::wstring(units, count && units[count - 1] == 0 ? count - 1 : count));
  return 0;
}

int HoldMutex(const wchar_t* name, const wchar_t* sddl, long seconds) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    printf("error=%lu\n", ::GetLastError());
    return 1;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  HANDLE mutex = ::CreateMutexW(&attributes, TRUE, name);
  const DWORD error = ::GetLastError();
  ::LocalFree(descriptor);
  if (!mutex || error == ERROR_ALREADY_EXISTS) {
    printf("error=%lu\n", error);
    return 1;
  }
  printf("held=1\n");
  fflush(stdout);
  ::Sleep(static_cast<DWORD>(seconds) * 1000);
  ::CloseHandle(mutex);
  return 0;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
  wchar_t className[64] = {};
  ::GetClassNameW(child, className, 64);
  if (lstrcmpiW(className, L"Static") == 0) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(child, text, 1024);
    if (text[0] != 0) {
      auto* out = reinterpret_cast<std::wstring*>(param);
      if (!out->empty()) *out += L"|";
      *out += text;
    }
  }
  return TRUE;
}

int MessageBoxProbe(const wchar_t* caption, long seconds) {
  for (long i = 0; i <= seconds * 10; ++i) {
    HWND box = ::FindWindowW(L"#32770", caption);
    if (box && ::IsWindowVisible(box)) {
      std::wstring text;
      ::EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
      Print("text", text);
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return 0;
    }
    ::Sleep(100);
  }
  printf("msgbox=none\n");
  return 1;
}

BOOL CALLBACK CollectControls(HWND child, LPARAM param) {
  // WM_GETTEXT, as GetWindowTextW does not ask another process's edit boxes.
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
  auto* out = reinterpret_cast<std::vector<std::wstring>*>(param);
  out->push_back(std::to_wstring(::GetDlgCtrlID(child)) + L":" + text);
  return TRUE;
}

HWND WaitForDialog(const wchar_t* caption, long seconds) {
  for (long i = 0; i <= seconds * 10; ++i) {
    HWND dialog = ::FindWindowW(L"#32770", caption);
    if (dialog && ::IsWindowVisible(dialog)) return dialog;
    ::Sleep(100);
  }
  return nullptr;
}

int DialogProbe(const wchar_t* caption, long seconds, wchar_t** actions, int count) {
  HWND dialog = WaitForDialog(caption, seconds);
  if (!dialog) {
    printf("dialog=none\n");
    return 1;
  }
  std::vector<std::wstring> controls;
  ::EnumChildWindows(dialog, CollectControls, reinterpret_cast<LPARAM>(&controls));
  for (const std::wstring& control : controls) Print("control", control);
  auto acted = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    const std::wstring action = actions[i];
    if (action.rfind(L"gone=", 0) == 0) {
      const auto until = acted + std::chrono::seconds(_wtoi(action.c_str() + 5));
      while (::IsWindow(dialog) && std::chrono::steady_clock::now() < until) ::Sleep(5);
      if (::IsWindow(dialog)) {
        printf("gone=no\n");
        return 1;
      }
      const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - acted);
      printf("gone_ms=%lld\n", static_cast<long long>(took.count()));
      continue;
    }
    acted = std::chrono::steady_clock::now();
    if (action[0] == L'@') {
      ::SendMessageW(dialog, TDM_CLICK_BUTTON, _wtoi(action.c_str() + 1), 0);
    } else if (action[0] == L'!') {
      const int id = _wtoi(action.c_str() + 1);
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
    } else if (const size_t hash = action.find(L'#'); hash != std::wstring::npos) {
      ::SendDlgItemMessageW(dialog, _wtoi(action.c_str()), CB_SETCURSEL, _wtoi(action.c_str() + hash + 1), 0);
    } else if (const size_t equals = action.find(L'='); equals != std::wstring::npos) {
      ::SetDlgItemTextW(dialog, _wtoi(action.c_str()), action.c_str() + equals + 1);
    }
  }
  return 0;
}

// The icon exists when the shell accepts a change of its tip (the same tip).
int IconProbe(long seconds) {
  for (long i = 0; i <= seconds * 50; ++i) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = ::FindWindowW(L"NIMBARD", nullptr);
    data.uID = 1;
    data.uFlags = NIF_TIP;
    lstrcpynW(data.szTip, L"nimbard", ARRAYSIZE(data.szTip));
    if (data.hWnd && ::Shell_NotifyIconW(NIM_MODIFY, &data)) {
      printf("icon=present\n");
      return 0;
    }
    ::Sleep(20);
  }
  printf("icon=absent\n");
  return 1;
}

// Counts the tray windows whose icon the shell knows: it accepts a change of
// nothing for them.
int IconCountProbe() {
  int count = 0;
  for (HWND window = nullptr; (window = ::FindWindowExW(nullptr, window, L"NIMBARD", nullptr)) != nullptr;) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;
    count += ::Shell_NotifyIconW(NIM_MODIFY, &data) ? 1 : 0;
  }
  printf("icons=%d\n", count);
  return 0;
}

int CommandProbe(int id) {
  HWND tray = ::FindWindowW(L"NIMBARD", nullptr);
  return tray && ::PostMessageW(tray, WM_COMMAND, MAKEWPARAM(id, 0), 0) ? 0 : 1;
}

// A balloon's title and text as its tooltip reports them (TTM_GETTITLE;
// TTM_ENUMTOOLSW, then TTM_GETTEXTW for its one tool). The tooltip belongs to
// the notification area's process, so the answers go into memory of that
// process. Wine answers the text but leaves the title empty.
struct Balloon {
  std::wstring title, text;
};
Balloon ReadBalloon(HWND tooltip) {
  Balloon balloon;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(tooltip, &pid);
  HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return balloon;
  constexpr size_t kRequest = 0, kUnits = 1024, kTitle = 512, kText = 4096;
  char* remote = static_cast<char*>(::VirtualAllocEx(process, nullptr, 8192 + 1024, MEM_COMMIT, PAGE_READWRITE));
  const auto send = [&](UINT message, WPARAM wParam) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(tooltip, message, wParam, reinterpret_cast<LPARAM>(remote + kRequest), SMTO_ABORTIFHUNG, 2000,
                          &ignored);
  };
  const auto read = [&](size_t at) {
    std::vector<wchar_t> text(kUnits, 0);
    if (!::ReadProcessMemory(process, remote + at, text.data(), kUnits * sizeof(wchar_t), nullptr)) return std::wstring();
    text.back() = 0;
    return std::wstring(text.data());
  };
  if (remote) {
    TTGETTITLE request{};
    request.dwSize = sizeof request;
    request.cch = 256;
    request.pszTitle = reinterpret_cast<WCHAR*>(remote + kTitle);
    if (::WriteProcessMemory(process, remote + kRequest, &request, sizeof request, nullptr)) {
      send(TTM_GETTITLE, 0);
      balloon.title = read(kTitle);
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    if (::WriteProcessMemory(process, remote + kRequest, &tool, sizeof tool, nullptr)) {
      send(TTM_ENUMTOOLSW, 0);
      if (::ReadProcessMemory(process, remote + kRequest, &tool, sizeof tool, nullptr)) {
        tool.cbSize = sizeof tool;
        tool.lpszText = reinterpret_cast<LPWSTR>(remote + kText);
        if (::WriteProcessMemory(process, remote + kRequest, &tool, sizeof tool, nullptr)) {
          send(TTM_GETTEXTW, kUnits);
          balloon.text = read(kText);
        }
      }
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  ::CloseHandle(process);
  return balloon;
}

int BalloonProbe(const wchar_t* wanted, long seconds) {
  for (long i = 0; i <= seconds * 10; ++i) {
    for (HWND tip = nullptr; (tip = ::FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr;) {
      if (!::IsWindowVisible(tip) || !(::GetWindowLongW(tip, GWL_STYLE) & TTS_BALLOON)) continue;
      const Balloon balloon = ReadBalloon(tip);
      if (balloon.title == wanted || balloon.text == wanted) {
        Print("balloon", wanted);
        return 0;
      }
    }
    ::Sleep(100);
  }
  printf("balloon=absent\n");
  return 1;
}

int SddlProbe(const wchar_t* path) {
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetNamedSecurityInfoW(path, SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    printf("sddl_error=%lu\n", error);
    return 1;
  }
  LPWSTR text = nullptr;
  const BOOL converted = ::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what, &text, nullptr);
  if (converted) Print("sddl", text);
  ::LocalFree(text);
  ::LocalFree(descriptor);
  return converted ? 0 : 1;
}

int PendingProbe(const wchar_t* path) {
  if (path && !::MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    printf("schedule_error=%lu\n", ::GetLastError());
    return 1;
  }
  std::vector<wchar_t> data(32768, 0);
  DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                     L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &bytes) != ERROR_SUCCESS) {
    printf("pending=none\n");
    return 0;
  }
  // Pairs of source and destination; an empty destination means "delete".
  const size_t units = bytes / sizeof(wchar_t);
  for (size_t start = 0; start < units;) {
    const std::wstring text(&data[start]);
    Print("pending", text);
    start += text.size() + 1;
  }
  return 0;
}

// The desktop a new window would go to, and the display driver it names.
int DesktopProbe() {
  const auto objectName = [](HANDLE object) {
    wchar_t name[256] = L"";
    ::GetUserObjectInformationW(object, UOI_NAME, name, sizeof name, nullptr);
    return std::wstring(name);
  };
  Print("station", objectName(::GetProcessWindowStation()));
  Print("desktop", objectName(::GetThreadDesktop(::GetCurrentThreadId())));
  const HWND window = ::GetDesktopWindow();
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  PrintNumber("owner", owner);
  DWORD_PTR answer = 0;
  PrintNumber("answers", ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) ? 1 : 0);
  const ATOM atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(::GetPropW(window, L"__wine_display_device_guid")));
  wchar_t guid[64] = L"";
  if (!atom || !::GlobalGetAtomNameW(atom, guid, 64)) {
    printf("guid=none\n");
    return 1;
  }
  Print("guid", guid);
  const std::wstring key = std::wstring(L"System\\CurrentControlSet\\Control\\Video\\{") + guid + L"}\\0000";
  wchar_t driver[MAX_PATH] = L"";
  DWORD bytes = sizeof driver;
  const LSTATUS read =
      ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"GraphicsDriver", RRF_RT_REG_SZ, nullptr, driver, &bytes);
  if (read != ERROR_SUCCESS) {
    PrintNumber("driver_error", static_cast<unsigned long>(read));
    return 1;
  }
  Print("driver", driver);
  return 0;
}

// A desktop of Wine's ends with the last program on it and starts again with
// the next; this keeps it up, as a signed-in user's shell does.
int HoldDesktop() {
  const int found = DesktopProbe();
  if (found == 0) printf("held=1\n");
  fflush(stdout);
  if (found != 0) return found;
  ::Sleep(INFINITE);
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv) return 2;
  const std::wstring command = argc > 1 ? argv[1] : L"";
  const long seconds = argc > 2 ? wcstol(argv[argc - 1], nullptr, 10) : 0;
  if (command == L"config") return Config();
  if (command == L"config2") return Config2();
  if (command == L"state") return State();
  if (command == L"stop" && argc == 3) return Control(true, seconds);
  if (command == L"start" && argc == 3) return Control(false, seconds);
  if (command == L"runvalue" && argc <= 3) return RunValue(argc == 3 ? argv[2] : L"hklm");
  if (command == L"holdmutex" && argc == 5) return HoldMutex(argv[2], argv[3], seconds);
  if (command == L"usercontrol" && argc == 3) return UserControl(static_cast<DWORD>(_wtoi(argv[2])));
  if (command == L"msgbox" && argc == 4) return MessageBoxProbe(argv[2], seconds);
  if (command == L"dialog" && argc >= 4) return DialogProbe(argv[2], wcstol(argv[3], nullptr, 10), argv + 4, argc - 4);
  if (command == L"icon" && argc == 3) return IconProbe(seconds);
  if (command == L"icons") return IconCountProbe();
  if (command == L"command" && argc == 3) return CommandProbe(_wtoi(argv[2]));
  if (command == L"balloon" && argc == 4) return BalloonProbe(argv[2], seconds);
  if (command == L"sddl" && argc == 3) return SddlProbe(argv[2]);
  if (command == L"desktop") return DesktopProbe();
  if (command == L"holddesktop") return HoldDesktop();
  if (command == L"pending" && argc <= 3) return PendingProbe(argc == 3 ? argv[2] : nullptr);
  fprintf(stderr, "usage: service_probe config|config2|state|runvalue [hklm|hkcu]|holdmutex NAME SDDL S|stop S|start S|msgbox CAPTION S|dialog CAPTION S ACTION...|icon S|icons|command ID|balloon TEXT S|sddl PATH|pending [PATH]\n");
  return 2;
}
