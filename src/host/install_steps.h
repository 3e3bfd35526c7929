#pragma once
// The part of "--install" that changes what runs, from closing the monitor
// trays to starting them again, as steps that either all succeed or are
// undone, latest first: a failed upgrade leaves the earlier exe, its
// registration and its service as they were, running again as before. The
// steps call Windows through InstallActions, which tests replace.
#include <windows.h>

#include <string>

namespace nimbard {

class InstallActions {
 public:
  virtual ~InstallActions() = default;
  virtual void CloseMonitors() = 0;
  // By the shell's token only; true when a tray shows in this session after.
  virtual bool StartMonitors() = 0;
  virtual bool ServiceRuns() = 0;
  virtual DWORD StopService() = 0;
  virtual DWORD StartService() = 0;
  virtual bool TakeGuard() = 0;
  virtual void ReleaseGuard() = 0;
  virtual DWORD PlaceExecutable() = 0;  // keeps the exe it replaces aside
  virtual DWORD RestoreExecutable() = 0;
  virtual void DiscardPreviousExecutable() = 0;
  virtual DWORD CancelPendingDeletion() = 0;
  // The installed exe and configuration against the permission rule: 0 and
  // an empty `refusal` when they pass; `refusal` names who else may change
  // which of them.
  virtual DWORD CheckPermissions(std::wstring& refusal) = 0;
  // Creates or repoints the service, starts it, writes the logon entry; may
  // stop half way.
  virtual DWORD Register() = 0;
  // The registration as read before (none: the service is removed).
  virtual DWORD RestoreRegistration() = 0;
  virtual DWORD RemoveService() = 0;
};

struct InstallPlan {
  bool upgrade = false;        // the service was registered before
  bool fromElsewhere = false;  // this exe is not the installed one
  // An upgrade with an exe that the registration runs still there (the
  // installed one, or one elsewhere that an earlier version registered).
  bool earlierExecutable = false;
};

enum class InstallStep { None, StopService, TakeGuard, PlaceExecutable, CancelDeletion, CheckPermissions, Register };

struct InstallOutcome {
  InstallStep failed = InstallStep::None;
  DWORD error = 0;       // of the failed step; 0 with a refusal
  std::wstring refusal;  // CheckPermissions
  // After a failed upgrade: what ran before runs again (or, with nothing to
  // return to, the service was removed); the first error of putting it back.
  bool serviceRemoved = false;
  DWORD restoreError = 0;
  bool monitorShows = false;  // after success
};

InstallOutcome RunInstallSteps(InstallActions& actions, const InstallPlan& plan);

}  // namespace nimbard
