#include "app/setup_modes.h"

#include <string>

#include "app/app_entry.h"
#include "app/install_actions.h"
#include "core/app_paths.h"
#include "core/config_store.h"
#include "core/platform.h"
#include "core/text.h"
#include "host/install_source.h"
#include "host/installed_copy.h"
#include "host/monitor_trays.h"
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

int ShowInstallFailure(const std::wstring& step, DWORD error, const std::wstring& after = L"") {
  ShowBox(L"nimbard could not be installed: " + step + L" failed (Windows error " + DecimalText(error) + L")." +
              after,
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

void ShowRefusal(const std::wstring& refusal, const std::wstring& after = L"") {
  ShowBox(L"nimbard was not installed, because " + refusal +
              L", not only by administrators: any program could then run its own code with full rights "
              L"through the service. Let only administrators change it (right-click it, Properties, "
              L"Security), then install again." +
              after,
          MB_ICONWARNING);
}

// False, after a box, when others than the trusted accounts may change `path`
// or its permissions cannot be read.
bool OnlyAdministratorsMayChange(const std::wstring& path, bool folder) {
  std::wstring refusal;
  if (const DWORD error = JudgeChangeAccess(path, folder, refusal)) {
    ShowInstallFailure(L"reading the permissions of " + path, error);
    return false;
  }
  if (refusal.empty()) return true;
  ShowRefusal(refusal);
  return false;
}

// Writes the installed configuration afresh, for administrators only (it
// holds the providers' keys); nothing when there is no text to install.
DWORD WriteInstalledConfiguration(const FileSnapshot& source, const std::wstring& target) {
  if (!source.exists) return 0;
  const bool written =
      platform::ReplaceFileBytes(target, source.bytes, true, platform::FileAccess::AdministratorsOnly);
  return written ? 0 : ::GetLastError();
}

// Whether this process runs on the desktop a user sees, not in a service's
// or a scheduled task's hidden window station.
bool OnVisibleDesktop() {
  USEROBJECTFLAGS flags{};
  const HWINSTA station = ::GetProcessWindowStation();
  return station && ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE);
}

// The box for a failed step, and what became of the earlier installation.
void ShowStepFailure(const InstallOutcome& outcome, const InstallPlan& plan, const std::wstring& folder) {
  std::wstring after;
  if (outcome.serviceRemoved) {
    after = L" With no earlier nimbard.exe to return to, the service was removed.";
  } else if (plan.upgrade && outcome.restoreError == 0) {
    after = L" The version installed before was put back as it was.";
  } else if (plan.upgrade) {
    after = L" Putting back the version installed before failed too (Windows error " +
            DecimalText(outcome.restoreError) + L").";
  }
  switch (outcome.failed) {
    case InstallStep::StopService:
      // Nothing was replaced: only a service that did not start again is news.
      if (outcome.restoreError == 0) after.clear();
      if (outcome.error == ERROR_SERVICE_REQUEST_TIMEOUT) {
        ShowBox(L"nimbard was not upgraded: the running service did not stop in time, so nothing was replaced. "
                L"Try again in a minute." + after,
                MB_ICONERROR);
        return;
      }
      ShowBox(L"nimbard was not upgraded: stopping the service failed (Windows error " +
                  DecimalText(outcome.error) + L"), so nothing was replaced." + after,
              MB_ICONERROR);
      return;
    case InstallStep::TakeGuard: ShowBox(kAlreadyRunningText, MB_ICONEXCLAMATION); return;
    case InstallStep::PlaceExecutable:
      ShowInstallFailure(L"copying nimbard.exe into " + folder, outcome.error, after);
      return;
    case InstallStep::CancelDeletion:
      ShowInstallFailure(L"keeping Windows from deleting " + folder + kExecutableName, outcome.error, after);
      return;
    case InstallStep::CheckPermissions:
      if (outcome.error != 0) {
        ShowInstallFailure(L"reading the permissions of the installed files", outcome.error, after);
      } else {
        ShowRefusal(outcome.refusal, after);
      }
      return;
    case InstallStep::Register: ShowInstallFailure(L"registering the service", outcome.error, after); return;
    case InstallStep::None: return;
  }
}

}  // namespace

int RunInstall(HINSTANCE instance) {
  const std::wstring folder = InstalledFolder();
  const std::wstring running = platform::ExecutablePath();
  if (folder.empty() || running.empty()) {
    return ShowInstallFailure(L"finding the Program Files folder", ERROR_PATH_NOT_FOUND);
  }
  // What is installed is taken now, while it is the file this process runs
  // from and the configuration beside it as it was started.
  UniqueFile image;
  if (const DWORD error = OpenRunningImage(running, image)) {
    if (error == ERROR_FILE_INVALID) {
      ShowBox(L"nimbard was not installed, because " + running +
                  L" is no longer the file that was started: another program renamed or replaced it. "
                  L"Download nimbard again, then install again.",
              MB_ICONWARNING);
      return 0;
    }
    return ShowInstallFailure(L"opening " + running, error);
  }
  FileSnapshot beside;
  if (const DWORD error = ReadFileSnapshot(ConfigFilePath(), beside)) {
    return ShowInstallFailure(L"reading " + ConfigFilePath(), error);
  }
  const std::wstring installed = folder + kExecutableName;
  ServiceRegistration before;
  if (const DWORD error = ReadServiceRegistration(before)) {
    return ShowInstallFailure(L"reading the service's registration", error);
  }
  // A first install excludes the service and the standalone tray at once;
  // an upgrade takes the guard once it has stopped the service that holds it.
  const bool upgrade = before.exists;
  if (!upgrade && !TakeMachineGuard()) return 0;

  const bool createdFolder = ::CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
  const DWORD folderError = createdFolder ? 0 : ::GetLastError();
  if (folderError != 0 && folderError != ERROR_ALREADY_EXISTS) {
    return ShowInstallFailure(L"creating the folder " + folder, folderError);
  }
  if (!OnlyAdministratorsMayChange(folder, true)) return 0;

  // From here on this process's configuration is the installed one.
  InstallPlan plan;
  plan.upgrade = upgrade;
  plan.fromElsewhere = !IsSameFile(image.get(), installed);
  plan.earlierExecutable =
      upgrade && (::GetFileAttributesW(installed.c_str()) != INVALID_FILE_ATTRIBUTES ||
                  before.commandLine != QuotedCommandLine(installed, L"--service"));
  UseServiceFolder(folder);
  // A configuration beside the running exe replaces an older one; either
  // way the installed file is written anew, with its access list.
  const std::wstring installedConfig = ConfigFilePath();
  FileSnapshot current;
  if (const DWORD error = ReadFileSnapshot(installedConfig, current)) {
    return ShowInstallFailure(L"reading " + installedConfig, error);
  }
  const bool takeBeside = plan.fromElsewhere && IsNewerSnapshot(beside, current);
  if (const DWORD error = WriteInstalledConfiguration(takeBeside ? beside : current, installedConfig)) {
    return ShowInstallFailure(L"writing the configuration into " + folder, error);
  }
  RecordConfig first;
  if (!LoadFirstRecord(first) && ShowConfigDialog(instance, nullptr) != IDOK) {
    if (createdFolder) ::RemoveDirectoryW(folder.c_str());  // Cancel installs nothing
    return 0;
  }

  SystemInstallActions actions(image.get(), installed, before);
  const InstallOutcome outcome = RunInstallSteps(actions, plan);
  if (outcome.failed != InstallStep::None) {
    ShowStepFailure(outcome, plan, folder);
    return 0;
  }
  if (!outcome.monitorShows && OnVisibleDesktop()) {
    ShowBox(L"nimbard is installed and its service is running. Its icon in the notification area appears at "
            L"your next logon; to see it now, start nimbard.",
            MB_ICONINFORMATION);
  }
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
