#pragma once
// What "--install" does to this PC, step by step (InstallActions), and the
// checks and starts it shares with the other setup modes.
#include <windows.h>

#include <string>

#include "host/install_steps.h"
#include "host/service_control.h"

namespace nimbard {

// Who besides the trusted accounts may change `path`: a folder is judged with
// the folder above it, which could delete and so replace it. 0 or the error
// of reading the permissions; `refusal` ("<path> may be changed by ...")
// empty when nobody else may.
DWORD JudgeChangeAccess(const std::wstring& path, bool folder, std::wstring& refusal);

// A tray's session guard that this process may not open (another account
// elevated this one) exists all the same.
bool TrayRunsInThisSession();

// A standalone tray that handed its place to the service let go of the
// session's guard first: the monitor takes its icon over, started with the
// signed-in user's own token or not now. True when a tray shows in this
// session afterwards.
bool StartMonitorUnlessTrayRuns();

// The steps with the exe held open since the start (`image`), placed at
// `installed`; `before` is the service's registration as it was.
class SystemInstallActions : public InstallActions {
 public:
  SystemInstallActions(HANDLE image, std::wstring installed, ServiceRegistration before)
      : image_(image), installed_(std::move(installed)), before_(std::move(before)) {}

  void CloseMonitors() override;
  bool StartMonitors() override;
  bool ServiceRuns() override;
  DWORD StopService() override;
  DWORD StartService() override;
  bool TakeGuard() override;
  void ReleaseGuard() override;
  DWORD PlaceExecutable() override;
  DWORD RestoreExecutable() override;
  void DiscardPreviousExecutable() override;
  DWORD CancelPendingDeletion() override;
  DWORD CheckPermissions(std::wstring& refusal) override;
  DWORD Register() override;
  DWORD RestoreRegistration() override;
  DWORD RemoveService() override;

 private:
  HANDLE image_;
  std::wstring installed_;
  ServiceRegistration before_;
  std::wstring previous_;  // the exe PlaceExecutable set aside
};

}  // namespace nimbard
