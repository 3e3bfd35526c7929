#include "host/install_steps.h"

#include <functional>
#include <vector>

namespace nimbard {

InstallOutcome RunInstallSteps(InstallActions& actions, const InstallPlan& plan) {
  InstallOutcome outcome;
  std::vector<std::function<DWORD()>> undo;
  const auto fail = [&](InstallStep step, DWORD error) {
    outcome.failed = step;
    outcome.error = error;
    for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
      const DWORD undoError = (*it)();
      if (outcome.restoreError == 0) outcome.restoreError = undoError;
    }
    return outcome;
  };

  // Whatever still runs from the old exe afterwards makes it be renamed aside.
  if (plan.fromElsewhere) {
    actions.CloseMonitors();
    undo.push_back([&] { return actions.StartMonitors(), DWORD{0}; });
  }
  if (plan.upgrade) {
    // Pushed before the stop: one that did not end in time may still end.
    if (!plan.earlierExecutable) {
      undo.push_back([&] { return outcome.serviceRemoved = true, actions.RemoveService(); });
    } else if (actions.ServiceRuns()) {
      undo.push_back([&] { return actions.StartService(); });
    }
    if (const DWORD error = actions.StopService()) return fail(InstallStep::StopService, error);
    // The service held the machine-wide guard until its process ended.
    if (!actions.TakeGuard()) return fail(InstallStep::TakeGuard, ERROR_ALREADY_EXISTS);
    undo.push_back([&] { return actions.ReleaseGuard(), DWORD{0}; });
  }
  if (plan.fromElsewhere) {
    if (const DWORD error = actions.PlaceExecutable()) return fail(InstallStep::PlaceExecutable, error);
    undo.push_back([&] { return actions.RestoreExecutable(); });
  }
  // An earlier removal may have left the exe's path to be deleted at the next
  // start of Windows, which would take the new exe with it.
  if (const DWORD error = actions.CancelPendingDeletion()) return fail(InstallStep::CancelDeletion, error);
  if (const DWORD error = actions.CheckPermissions(outcome.refusal); error != 0 || !outcome.refusal.empty()) {
    return fail(InstallStep::CheckPermissions, error);
  }
  // The service takes the guard at its own start-up; holding it here would
  // send the new service straight to its exit.
  actions.ReleaseGuard();
  undo.push_back([&] { return actions.RestoreRegistration(); });
  if (const DWORD error = actions.Register()) return fail(InstallStep::Register, error);

  actions.DiscardPreviousExecutable();
  // The logon entry starts it from now on.
  outcome.monitorShows = actions.StartMonitors();
  return outcome;
}

}  // namespace nimbard
