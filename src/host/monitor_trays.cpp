#include "host/monitor_trays.h"

#include <vector>

#include "core/app_paths.h"
#include "host/service_control.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

constexpr wchar_t kTrayWindowClass[] = L"NIMBARD";  // string IDC_NIMBARD of the tray's resources
constexpr UINT kCloseAnswerTimeoutMs = 2000;
constexpr DWORD kCloseWaitMs = 5000;

// The token of the desktop shell's process: the signed-in user without
// administrator rights, even when this process has them. Null when there is
// no shell window or its token cannot be had.
UniqueKernelHandle ShellUserToken() {
  DWORD shellProcessId = 0;
  const HWND shell = ::GetShellWindow();
  if (!shell || !::GetWindowThreadProcessId(shell, &shellProcessId) || shellProcessId == 0) return {};
  const UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcessId));
  UniqueKernelHandle shellToken;
  if (!process || !::OpenProcessToken(process.get(), TOKEN_DUPLICATE, shellToken.put())) return {};
  UniqueKernelHandle primary;
  constexpr DWORD kAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                            TOKEN_ADJUST_SESSIONID;
  if (!::DuplicateTokenEx(shellToken.get(), kAccess, nullptr, SecurityImpersonation, TokenPrimary,
                          primary.put())) {
    return {};
  }
  return primary;
}

}  // namespace

void CloseMonitorTrays() {
  const UINT closeMessage = ::RegisterWindowMessageW(kCloseMonitorMessageName);
  if (closeMessage == 0) return;
  std::vector<UniqueKernelHandle> closing;
  for (HWND window = nullptr; (window = ::FindWindowExW(nullptr, window, kTrayWindowClass, nullptr)) != nullptr;) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutW(window, closeMessage, 0, 0, SMTO_ABORTIFHUNG, kCloseAnswerTimeoutMs, &answer) &&
        answer == 1 && process) {
      closing.push_back(std::move(process));
    }
  }
  const ULONGLONG deadline = ::GetTickCount64() + kCloseWaitMs;
  for (const UniqueKernelHandle& process : closing) {
    const ULONGLONG now = ::GetTickCount64();
    ::WaitForSingleObject(process.get(), now < deadline ? static_cast<DWORD>(deadline - now) : 0);
  }
}

DWORD StartMonitorTray(const std::wstring& executable) {
  std::wstring commandLine = QuotedCommandLine(executable, L"--tray");
  const std::wstring directory = DirectoryPrefix(executable);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  // CreateProcessWithTokenW needs the impersonation privilege, which an
  // elevated administrator holds. Without the shell's token (no shell window,
  // a shell of another account out of reach; always under Wine, whose
  // GetShellWindow returns null) or its start (the Secondary Logon service
  // off) no monitor starts
  // now: this process's own token would put an elevated program on the
  // user's desktop. The logon entry starts it, and so does a plain start.
  const UniqueKernelHandle token = ShellUserToken();
  if (!token) return ERROR_NO_TOKEN;
  if (!::CreateProcessWithTokenW(token.get(), 0, executable.c_str(), &commandLine[0], 0, nullptr, directory.c_str(),
                                 &startup, &started)) {
    return ::GetLastError();
  }
  const UniqueKernelHandle process(started.hProcess), thread(started.hThread);
  return 0;
}

}  // namespace nimbard
