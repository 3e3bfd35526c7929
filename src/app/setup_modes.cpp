#include "app/setup_modes.h"

#include <string>

#include "app/app_entry.h"
#include "core/app_paths.h"
#include "core/config_store.h"
#include "core/platform.h"
#include "core/text.h"
#include "host/change_access.h"
#include "host/installed_copy.h"
#include "host/monitor_trays.h"
#include "host/pending_renames.h"
#include "host/service_control.h"
#include "ui/config_dialog.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

void ShowBox(const std::wstring& text, UINT icon) {
  ::MessageBoxW(nullptr, text.c_str(), kAlreadyRunningCaption, MB_OK | icon);
}

// `lead` ends in "(Windows error "; returns 0.
int ShowControlFailure(const wchar_t* lead, DWORD error) {
  ShowBox(lead + DecimalText(error) + L").", MB_ICONERROR);
  return 0;
}

int ShowInstallFailure(const std::wstring& step, DWORD error) {
  ShowBox(L"nimbard could not be installed: " + step + L" failed (Windows error " + DecimalText(error) + L").",
          MB_ICONERROR);
  return 0;
}

// The machine-wide guard for the rest of the process; false (after the box
// that says so) while the standalone tray or another installation holds it.
bool TakeMachineGuard() {
  switch (AcquireSingleInstance(kSingleInstanceMutexName)) {
    case GuardOutcome::Acquired:
      return true;
    case GuardOutcome::AlreadyRunning:
      ShowBox(kAlreadyRunningText, MB_ICONEXCLAMATION);
      return false;
    case GuardOutcome::NoHandle:
      break;
  }
  return false;
}

// False, after a box that names the path and the group, when users other
// than administrators may change it; a path whose security cannot be read
// counts as refused too.
bool OnlyAdministratorsMayChange(const std::wstring& path, bool folder) {
  BroadRight found;
  if (const DWORD error = ReadBroadRight(path, ChangeRights(folder), found)) {
    ShowInstallFailure(L"reading the permissions of " + path, error);
    return false;
  }
  if (found.group.empty()) return true;
  ShowBox(L"nimbard was not installed, because " + path + L" may be changed by " + found.group + L" (" +
              ChangeRightName(found.rights) +
              L"), not only by administrators: any program could then run its own code with full rights "
              L"through the service. Let only administrators change it (right-click it, Properties, "
              L"Security), then install again.",
          MB_ICONWARNING);
  return false;
}

// True when `source` exists and `target` is missing or was last written earlier.
bool IsNewerFile(const std::wstring& source, const std::wstring& target) {
  WIN32_FILE_ATTRIBUTE_DATA from{}, to{};
  if (!::GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &from)) return false;
  if (!::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &to)) return true;
  return ::CompareFileTime(&from.ftLastWriteTime, &to.ftLastWriteTime) > 0;
}

// Writes the installed configuration afresh, for administrators only (it
// holds the providers' keys): from `source` (itself included); nothing when
// there is no such file.
DWORD WriteInstalledConfiguration(const std::wstring& source, const std::wstring& target) {
  std::string bytes;
  if (!platform::ReadFileBytes(source, bytes)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
  }
  const bool written = platform::ReplaceFileBytes(target, bytes, true, platform::FileAccess::AdministratorsOnly);
  return written ? 0 : ::GetLastError();
}

// A tray's session guard that this process may not open (another account
// elevated this one) exists all the same.
bool TrayRunsInThisSession() {
  const UniqueKernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kSessionTrayMutexName));
  return mutex || ::GetLastError() == ERROR_ACCESS_DENIED;
}

// Whether this process runs on the desktop a user sees, not in a service's
// or a scheduled task's hidden window station.
bool OnVisibleDesktop() {
  USEROBJECTFLAGS flags{};
  const HWINSTA station = ::GetProcessWindowStation();
  return station && ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE);
}

// A standalone tray that handed its place to the service let go of the
// session's guard first: the monitor takes its icon over.
void StartMonitorUnlessTrayRuns() {
  if (!TrayRunsInThisSession()) StartMonitorTray(InstalledExecutable());
}

}  // namespace

int RunInstall(HINSTANCE instance) {
  const std::wstring folder = InstalledFolder();
  const std::wstring running = platform::ExecutablePath();
  if (folder.empty() || running.empty()) {
    return ShowInstallFailure(L"finding the Program Files folder", ERROR_PATH_NOT_FOUND);
  }
  const std::wstring installed = folder + kExecutableName;
  // A first install excludes the service and the standalone tray at once;
  // an upgrade takes the guard once it has stopped the service that holds it.
  const bool upgrade = IsServiceInstalled();
  if (!upgrade && !TakeMachineGuard()) return 0;

  const bool createdFolder = ::CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
  const DWORD folderError = createdFolder ? 0 : ::GetLastError();
  if (folderError != 0 && folderError != ERROR_ALREADY_EXISTS) {
    return ShowInstallFailure(L"creating the folder " + folder, folderError);
  }
  if (!OnlyAdministratorsMayChange(folder, true)) return 0;

  // From here on this process's configuration is the installed one.
  const bool fromElsewhere = !IsSameFile(running, installed);
  const std::wstring besideRunning = ConfigFilePath();
  UseServiceFolder(folder);
  // A configuration beside the running exe replaces an older one; either
  // way the installed file is written anew, with its access list.
  const std::wstring installedConfig = ConfigFilePath();
  const bool takeBeside = fromElsewhere && IsNewerFile(besideRunning, installedConfig);
  if (const DWORD error =
          WriteInstalledConfiguration(takeBeside ? besideRunning : installedConfig, installedConfig)) {
    return ShowInstallFailure(L"writing the configuration into " + folder, error);
  }
  RecordConfig first;
  if (!LoadFirstRecord(first) && ShowConfigDialog(instance, nullptr) != IDOK) {
    if (createdFolder) ::RemoveDirectoryW(folder.c_str());  // Cancel installs nothing
    return 0;
  }

  // Whatever still runs from the old exe afterwards makes it be renamed aside.
  if (fromElsewhere) CloseMonitorTrays();
  if (upgrade) {
    StopServiceAndWait();
    if (!TakeMachineGuard()) return 0;
  }
  RemoveSetAsideFiles(folder);
  if (fromElsewhere) {
    if (const DWORD error = PlaceExecutable(running, installed)) {
      return ShowInstallFailure(L"copying nimbard.exe into " + folder, error);
    }
  }
  // An earlier removal may have left the exe's path to be deleted at the next
  // start of Windows, which would take the new exe with it.
  if (const DWORD error = CancelPendingDeletion(installed)) {
    return ShowInstallFailure(L"keeping Windows from deleting " + installed, error);
  }
  if (!OnlyAdministratorsMayChange(installed, false)) return 0;

  // The service takes the guard at its own start-up; holding it here would
  // send the new service straight to its exit.
  ReleaseSingleInstance();
  if (const DWORD error = RegisterService(installed)) {
    return ShowInstallFailure(L"registering the service", error);
  }
  // The logon entry starts it from now on; a monitor that does not start now
  // starts then.
  if (!TrayRunsInThisSession()) StartMonitorTray(installed);
  return 1;
}

int RunUninstall() {
  const DWORD error = UninstallService();
  if (error == ERROR_SERVICE_DOES_NOT_EXIST) return 0;
  if (error != 0) {
    ShowBox(L"nimbard could not be removed (Windows error " + DecimalText(error) + L").", MB_ICONERROR);
    return 0;
  }
  const std::wstring folder = InstalledFolder();
  if (folder.empty()) return 1;
  CloseMonitorTrays();
  const std::wstring installed = folder + kExecutableName;
  RemoveSetAsideFiles(folder);
  const DWORD removeError = RemoveExecutable(installed);
  if (removeError != 0) {
    ShowBox(L"nimbard was removed, but " + installed + L" could not be deleted (Windows error " +
                DecimalText(removeError) + L").",
            MB_ICONWARNING);
  } else if (OnVisibleDesktop()) {
    ShowBox(L"nimbard was removed. Your configuration, log and status files are kept in " + folder +
                L" for a later install; delete that folder to remove them too.",
            MB_ICONINFORMATION);
  }
  return 1;
}

int RunConfigure(HINSTANCE instance) {
  // The installed exe edits the service's file, which it saves for administrators only.
  if (IsSameFile(platform::ExecutablePath(), InstalledExecutable())) UseServiceFolder(InstalledFolder());
  return ShowConfigDialog(instance, nullptr) == IDOK ? 1 : 0;
}

int RunStart() {
  if (const DWORD error = StartServiceAndWait()) {
    return ShowControlFailure(L"The service could not be started (Windows error ", error);
  }
  StartMonitorUnlessTrayRuns();
  return 1;
}

int RunStop() {
  if (const DWORD error = StopServiceAndWait()) {
    return ShowControlFailure(L"The service could not be stopped (Windows error ", error);
  }
  return 1;
}

int RunRestart() {
  // The old process must have ended: it holds the guard the new one takes.
  DWORD error = StopServiceAndWait();
  if (error == 0) error = StartServiceAndWait();
  if (error != 0) return ShowControlFailure(L"The service could not be restarted (Windows error ", error);
  StartMonitorUnlessTrayRuns();
  return 1;
}

}  // namespace nimbard
