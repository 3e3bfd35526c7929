#include "app/install_actions.h"

#include <vector>

#include "app/app_entry.h"
#include "core/app_paths.h"
#include "host/change_access.h"
#include "host/installed_copy.h"
#include "host/monitor_trays.h"
#include "host/pending_renames.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

// The account running "--install": trusted like the administrators (Wine's
// folders grant it full control).
const std::wstring& InstallingAccount() {
  static const std::wstring sid = CurrentAccountSid();
  return sid;
}

}  // namespace

DWORD JudgeChangeAccess(const std::wstring& path, bool folder, std::wstring& refusal) {
  std::vector<ForeignChange> found;
  if (const DWORD error = ReadForeignChanges(path, ChangeRights(folder), InstallingAccount(), found)) return error;
  std::wstring parent;
  if (folder) {
    parent = DirectoryPrefix(path.substr(0, path.size() - 1));
    std::vector<ForeignChange> above;
    if (const DWORD error = ReadForeignChanges(parent, ParentChangeRights(), InstallingAccount(), above)) return error;
    for (ForeignChange& change : above) change.via = ChangeVia::ParentFolder;
    found.insert(found.end(), above.begin(), above.end());
  }
  refusal = found.empty() ? L"" : path + L" may be changed by " + DescribeForeignChanges(found, parent);
  return 0;
}

bool TrayRunsInThisSession() {
  const UniqueKernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kSessionTrayMutexName));
  return mutex || ::GetLastError() == ERROR_ACCESS_DENIED;
}

bool StartMonitorUnlessTrayRuns() {
  return TrayRunsInThisSession() || StartMonitorTray(InstalledExecutable()) == 0;
}

void SystemInstallActions::CloseMonitors() { CloseMonitorTrays(); }
bool SystemInstallActions::StartMonitors() { return StartMonitorUnlessTrayRuns(); }
bool SystemInstallActions::ServiceRuns() { return IsServiceRunning(); }
DWORD SystemInstallActions::StopService() { return StopServiceAndWait(); }
DWORD SystemInstallActions::StartService() { return StartServiceAndWait(); }

// The service held the guard until its process ended; the box is the caller's.
bool SystemInstallActions::TakeGuard() {
  return AcquireSingleInstance(kSingleInstanceMutexName) == GuardOutcome::Acquired;
}

void SystemInstallActions::ReleaseGuard() { ReleaseSingleInstance(); }

DWORD SystemInstallActions::PlaceExecutable() {
  RemoveSetAsideFiles(DirectoryPrefix(installed_));
  return nimbard::PlaceExecutable(image_, installed_, previous_);
}

DWORD SystemInstallActions::RestoreExecutable() { return RestorePreviousExecutable(installed_, previous_); }
void SystemInstallActions::DiscardPreviousExecutable() { nimbard::DiscardPreviousExecutable(previous_); }
DWORD SystemInstallActions::CancelPendingDeletion() { return nimbard::CancelPendingDeletion(installed_); }

DWORD SystemInstallActions::CheckPermissions(std::wstring& refusal) {
  if (const DWORD error = JudgeChangeAccess(installed_, false, refusal); error != 0 || !refusal.empty()) return error;
  return JudgeChangeAccess(ConfigFilePath(), false, refusal);
}

DWORD SystemInstallActions::Register() { return RegisterService(installed_); }
DWORD SystemInstallActions::RestoreRegistration() { return RestoreServiceRegistration(before_); }

DWORD SystemInstallActions::RemoveService() {
  const DWORD error = UninstallService();
  return error == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : error;
}

}  // namespace nimbard
