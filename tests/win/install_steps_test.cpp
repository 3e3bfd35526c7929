// The steps of "--install" from closing the monitors to starting them again, against a model of the PC: for each
// step that fails, what runs afterwards. A failed upgrade must leave the earlier exe running as the service.
#include <gtest/gtest.h>

#include <string>

#include "host/install_steps.h"

namespace nimbard {
namespace {

// The PC as the steps see it: which exe lies at the installed path, which one the registration names (the installed
// path, or one an earlier version registered elsewhere), which one runs as the service.
struct Pc {
  std::string exe = "old", aside, registered = "installed", runs = "old";
  bool monitors = true, guard = false;

  std::string Text() const {
    return "exe=" + exe + " registered=" + registered + " runs=" + runs + (monitors ? " monitors" : "") + (guard ? " guard" : "") + (aside.empty() ? "" : " aside=" + aside);
  }
};

class ModelActions : public InstallActions {
 public:
  ModelActions(Pc pc, InstallStep failing, bool refuse) : pc_(std::move(pc)), before_(pc_), failing_(failing), refuse_(refuse) {}
  const Pc& pc() const { return pc_; }

  void CloseMonitors() override { pc_.monitors = false; }
  bool StartMonitors() override { return pc_.monitors = true; }
  bool ServiceRuns() override { return !pc_.runs.empty(); }
  DWORD StopService() override {
    if (failing_ == InstallStep::StopService) return ERROR_SERVICE_REQUEST_TIMEOUT;  // still running
    return pc_.runs.clear(), 0;
  }
  DWORD StartService() override {
    if (pc_.registered.empty()) return ERROR_SERVICE_DOES_NOT_EXIST;
    if (!pc_.runs.empty()) return 0;
    const std::string exe = pc_.registered == "installed" ? pc_.exe : pc_.registered;
    if (exe.empty()) return ERROR_FILE_NOT_FOUND;
    if (pc_.guard) return ERROR_SERVICE_SPECIFIC_ERROR;  // the new process ends at the guard
    return pc_.runs = exe, 0;
  }
  bool TakeGuard() override { return failing_ != InstallStep::TakeGuard && (pc_.guard = true); }
  void ReleaseGuard() override { pc_.guard = false; }
  DWORD PlaceExecutable() override {
    if (failing_ == InstallStep::PlaceExecutable) return ERROR_DISK_FULL;
    pc_.aside = pc_.exe, pc_.exe = "new";
    return 0;
  }
  DWORD RestoreExecutable() override {
    if (pc_.runs == "new") return ERROR_SHARING_VIOLATION;  // rename aside only once it ends: keep it simple here
    pc_.exe = pc_.aside, pc_.aside.clear();
    return 0;
  }
  void DiscardPreviousExecutable() override { pc_.aside.clear(); }
  DWORD CancelPendingDeletion() override { return failing_ == InstallStep::CancelDeletion ? ERROR_ACCESS_DENIED : 0; }
  DWORD CheckPermissions(std::wstring& refusal) override {
    if (refuse_) refusal = L"Users (write)";
    return failing_ == InstallStep::CheckPermissions ? ERROR_ACCESS_DENIED : 0;
  }
  DWORD Register() override {
    pc_.registered = "installed";
    if (failing_ == InstallStep::Register) return ERROR_ACCESS_DENIED;  // after pointing the service at the exe
    return StartService();
  }
  DWORD RestoreRegistration() override { return pc_.runs.clear(), pc_.registered = before_.registered, 0; }
  DWORD RemoveService() override { return pc_.registered.clear(), pc_.runs.clear(), 0; }

 private:
  Pc pc_, before_;
  InstallStep failing_;
  bool refuse_;
};

const Pc kUpgrade;                                           // the old exe installed and running
const Pc kFirst{"", "", "", "", false};                      // nothing installed
const Pc kStopped{"old", "", "installed", "", true};         // installed, the service stopped by hand
const Pc kExeGone{"", "", "installed", "", true};            // registered, its exe deleted by hand
const Pc kElsewhere{"", "", "C:\\old\\nimbard.exe", "C:\\old\\nimbard.exe", true};  // an earlier version elsewhere

TEST(InstallSteps, WhatRunsAfterEachFailure) {
  const struct { const char* what; Pc before; InstallStep failing; bool refuse; std::string after; } cases[] = {
      {"upgrade", kUpgrade, InstallStep::None, false, "exe=new registered=installed runs=new monitors"},
      {"stop too slow", kUpgrade, InstallStep::StopService, false, "exe=old registered=installed runs=old monitors"},
      {"guard taken", kUpgrade, InstallStep::TakeGuard, false, "exe=old registered=installed runs=old monitors"},
      {"copy", kUpgrade, InstallStep::PlaceExecutable, false, "exe=old registered=installed runs=old monitors"},
      {"deletion", kUpgrade, InstallStep::CancelDeletion, false, "exe=old registered=installed runs=old monitors"},
      {"refused", kUpgrade, InstallStep::None, true, "exe=old registered=installed runs=old monitors"},
      {"unreadable", kUpgrade, InstallStep::CheckPermissions, false, "exe=old registered=installed runs=old monitors"},
      {"register", kUpgrade, InstallStep::Register, false, "exe=old registered=installed runs=old monitors"},
      {"first install", kFirst, InstallStep::None, false, "exe=new registered=installed runs=new monitors"},
      {"first, refused", kFirst, InstallStep::None, true, "exe= registered= runs= monitors"},
      {"first, register", kFirst, InstallStep::Register, false, "exe= registered= runs= monitors"},
      {"stopped, register", kStopped, InstallStep::Register, false, "exe=old registered=installed runs= monitors"},
      {"stopped, upgrade", kStopped, InstallStep::None, false, "exe=new registered=installed runs=new monitors"},
      // With no earlier exe to return to, a refused exe leaves no service behind.
      {"exe gone, refused", kExeGone, InstallStep::None, true, "exe= registered= runs= monitors"},
      {"exe gone, register", kExeGone, InstallStep::Register, false, "exe= registered= runs= monitors"},
      {"elsewhere, refused", kElsewhere, InstallStep::None, true, "exe= registered=C:\\old\\nimbard.exe runs=C:\\old\\nimbard.exe monitors"},
      {"elsewhere, register", kElsewhere, InstallStep::Register, false, "exe= registered=C:\\old\\nimbard.exe runs=C:\\old\\nimbard.exe monitors"},
  };
  for (const auto& c : cases) {
    ModelActions actions(c.before, c.failing, c.refuse);
    InstallPlan plan;
    plan.upgrade = !c.before.registered.empty();
    plan.fromElsewhere = true;
    plan.earlierExecutable = plan.upgrade && (!c.before.exe.empty() || c.before.registered != "installed");
    const InstallOutcome outcome = RunInstallSteps(actions, plan);
    EXPECT_EQ(actions.pc().Text(), c.after) << c.what;
    const InstallStep failed = c.refuse ? InstallStep::CheckPermissions : c.failing;
    EXPECT_EQ(outcome.failed, failed) << c.what;
    EXPECT_EQ(outcome.restoreError, 0u) << c.what;
    EXPECT_EQ(outcome.serviceRemoved, plan.upgrade && !plan.earlierExecutable && failed != InstallStep::None) << c.what;
  }
}

}  // namespace
}  // namespace nimbard
