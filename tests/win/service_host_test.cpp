// The service host's conversation with the Service Control Manager, driven
// through a recording platform: which reports in which order, with which
// checkpoints, and when passes and waits happen.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/platform.h"
#include "engine/poll_pass.h"
#include "host/service_host.h"

namespace nimbard {
namespace {

using Strings = std::vector<std::string>;
using ControlPlan = std::map<int, std::vector<DWORD>>;  // 1-based pass or wait -> controls sent in it
const auto kStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);
const DWORD kStop = SERVICE_CONTROL_STOP;

std::string ReportText(const SERVICE_STATUS& s) {
  static const std::map<DWORD, std::string> kNames = {
      {SERVICE_STOPPED, "STOPPED"}, {SERVICE_START_PENDING, "START_PENDING"},
      {SERVICE_STOP_PENDING, "STOP_PENDING"}, {SERVICE_RUNNING, "RUNNING"}};
  return kNames.at(s.dwCurrentState) + " accepts=" + std::to_string(s.dwControlsAccepted) +
         " exit=" + std::to_string(s.dwWin32ExitCode) + " checkpoint=" +
         std::to_string(s.dwCheckPoint) + " hint=" + std::to_string(s.dwWaitHint);
}

const std::string kStartPending = "START_PENDING accepts=0 exit=0 checkpoint=1 hint=3000";
const std::string kRunning = "RUNNING accepts=1 exit=0 checkpoint=0 hint=0";
const std::string kStopPending2 = "STOP_PENDING accepts=0 exit=0 checkpoint=2 hint=3000";
const std::string kStopPending3 = "STOP_PENDING accepts=0 exit=0 checkpoint=3 hint=3000";
const std::string kStopped = "STOPPED accepts=0 exit=0 checkpoint=0 hint=0";

struct Script {
  bool configLoads = true;
  std::uint32_t pollMinutes = 5;
  ControlPlan inPass, inWait;
  int failingWait = 0, throwingPass = 0;  // that wait returns WAIT_FAILED, that pass throws
  DWORD eventError = 0;                   // the stop event cannot be created
  bool registerFails = false;
  bool realConfig = false;  // read the configuration file instead
  void (*duringPass)(int pass) = nullptr;
};

// The stop event is a real one: each wait asks it, without blocking, whether
// the control handler signalled it. Controls go through the handler the host
// registered, as the dispatcher would call it.
class RecordingPlatform : public ServiceHostPlatform {
 public:
  explicit RecordingPlatform(Script script) : script_(std::move(script)) {}
  Strings events;

  SERVICE_STATUS_HANDLE RegisterControlHandler(LPHANDLER_FUNCTION handler) override {
    handler_ = handler;
    events.push_back("register");
    return script_.registerFails ? nullptr : kStatusHandle;
  }
  void ReportStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) override {
    EXPECT_EQ(handle, kStatusHandle);
    EXPECT_EQ(status.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    events.push_back(ReportText(status));
  }
  HANDLE CreateStopEvent(DWORD& error) override {
    if (script_.eventError == 0) return ServiceHostPlatform::CreateStopEvent(error);
    error = script_.eventError;
    return nullptr;
  }
  DWORD WaitForStop(HANDLE stopEvent, DWORD milliseconds) override {
    events.push_back("wait " + std::to_string(milliseconds));
    Send(script_.inWait, ++waits_);
    if (waits_ > 8) handler_(kStop);  // a host that never stops fails the sequence, not the run
    if (waits_ == script_.failingWait) return events.push_back("failed"), WAIT_FAILED;
    const DWORD result = ::WaitForSingleObject(stopEvent, 0);
    events.push_back(result == WAIT_OBJECT_0 ? "signalled" : "timed out");
    return result;
  }
  void RunPollPass() override {
    events.push_back("pass");
    Send(script_.inPass, ++passes_);
    if (script_.duringPass) script_.duringPass(passes_);
    if (passes_ == script_.throwingPass) throw std::runtime_error("pass failed");
  }
  bool LoadFirstRecord(RecordConfig& record) override {
    if (script_.realConfig) return ServiceHostPlatform::LoadFirstRecord(record);
    record.pollMinutes = script_.pollMinutes;
    return script_.configLoads;
  }

 private:
  void Send(const ControlPlan& plan, int index) {
    auto it = plan.find(index);
    if (it != plan.end()) for (DWORD control : it->second) handler_(control);
  }
  Script script_;
  LPHANDLER_FUNCTION handler_ = nullptr;
  int passes_ = 0, waits_ = 0;
};

class ServiceHostTest : public ::testing::Test {
 protected:
  void TearDown() override { StopRequested.store(false); }  // as the rest of the suite expects
  static Strings Run(Script script, bool stopRequestedBefore = false) {
    RecordingPlatform platform(std::move(script));
    StopRequested.store(stopRequestedBefore);
    ServiceHost host(platform);
    host.Run();
    host.HandleControl(kStop);  // after STOPPED: must add nothing
    return platform.events;
  }
};

Script With(void (*edit)(Script&)) {
  Script s;
  edit(s);
  return s;
}

TEST_F(ServiceHostTest, StatusReportSequences) {
  const Strings stopInFirstWait = {"register", kStartPending, kRunning, "pass", "wait 300000",
                                   kStopPending2, "signalled", kStopped};
  struct Case {
    const char* name;
    Script script;
    Strings expected;
    bool stopRequestedAfter;
  } cases[] = {
      {"no configuration: keeps running, waits 5 minutes",
       With([](Script& s) { s.configLoads = false, s.inWait = {{2, {kStop}}}; }),
       {"register", kStartPending, kRunning, "pass", "wait 300000", "timed out", "pass",
        "wait 300000", kStopPending2, "signalled", kStopped},
       true},
      {"STOP while waiting", With([](Script& s) { s.inWait = {{1, {kStop}}}; }), stopInFirstWait,
       true},
      {"SHUTDOWN stops like STOP",
       With([](Script& s) { s.inWait = {{1, {SERVICE_CONTROL_SHUTDOWN}}}; }), stopInFirstWait, true},
      {"STOP during a slow pass: pending at once, stopped after it, no further pass",
       With([](Script& s) { s.inPass = {{1, {kStop}}}; }),
       {"register", kStartPending, kRunning, "pass", kStopPending2, "wait 300000", "signalled",
        kStopped},
       true},
      {"two STOPs: checkpoints 2 and 3", With([](Script& s) { s.inWait = {{1, {kStop, kStop}}}; }),
       {"register", kStartPending, kRunning, "pass", "wait 300000", kStopPending2, kStopPending3,
        "signalled", kStopped},
       true},
      {"INTERROGATE and other controls: no report, no stop",
       With([](Script& s) {
         s.pollMinutes = 1;
         s.inWait = {{1, {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE,
                          SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_PARAMCHANGE, 128u, 0u}},
                     {2, {kStop}}};
       }),
       {"register", kStartPending, kRunning, "pass", "wait 60000", "timed out", "pass",
        "wait 60000", kStopPending2, "signalled", kStopped},
       true},
      {"pollMinutes 0 cannot make a busy loop",
       With([](Script& s) { s.pollMinutes = 0, s.inWait = {{1, {kStop}}}; }),
       {"register", kStartPending, kRunning, "pass", "wait 60000", kStopPending2, "signalled",
        kStopped},
       true},
      {"huge pollMinutes is held to the longest wait",
       With([](Script& s) { s.pollMinutes = 0xFFFFFFFF, s.inWait = {{1, {kStop}}}; }),
       {"register", kStartPending, kRunning, "pass", "wait 2147460000", kStopPending2, "signalled",
        kStopped},
       true},
      {"a failed wait runs the next pass",
       With([](Script& s) { s.failingWait = 1, s.inWait = {{2, {kStop}}}; }),
       {"register", kStartPending, kRunning, "pass", "wait 300000", "failed", "pass",
        "wait 300000", kStopPending2, "signalled", kStopped},
       true},
      {"stop event cannot be created: STOPPED with its error, no pass",
       With([](Script& s) { s.eventError = ERROR_NOT_ENOUGH_MEMORY; }),
       {"register", kStartPending, "STOPPED accepts=0 exit=8 checkpoint=0 hint=0"}, false},
      {"handler registration fails: nothing reported",
       With([](Script& s) { s.registerFails = true; }), {"register"}, false},
      {"an exception out of a pass stops the service with an error",
       With([](Script& s) { s.throwingPass = 1; }),
       {"register", kStartPending, kRunning, "pass",
        "STOPPED accepts=0 exit=1064 checkpoint=0 hint=0"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Run(c.script), c.expected);
    EXPECT_EQ(StopRequested.load(), c.stopRequestedAfter);
  }
  // A stop request left set before the start is cleared: the first pass runs.
  EXPECT_EQ(Run(With([](Script& s) { s.inWait = {{1, {kStop}}}; }), true), stopInFirstWait);
}

// The interval follows the configuration file as it is after each pass.
TEST_F(ServiceHostTest, ReadsPollMinutesAfterEveryPass) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring dir =
      temp + (L"nimbard-service-host-" + std::to_wstring(::GetCurrentProcessId()) + L"\\");
  ::CreateDirectoryW(dir.c_str(), nullptr);
  platform::OverrideExecutablePathForTesting(dir + L"nimbard.exe");
  static auto save = [](std::uint32_t minutes) {
    RecordConfig r;
    r.apiKey = L"key", r.domain = L"example.com", r.record = L"home", r.pollMinutes = minutes;
    return SaveRecords({r});
  };
  ASSERT_TRUE(save(1));
  Strings waits;
  for (const std::string& e : Run(With([](Script& s) {
         s.realConfig = true, s.inWait = {{3, {kStop}}};
         s.duringPass = [](int pass) {
           if (pass == 2) save(7);
           if (pass == 3) ::DeleteFileW(ConfigFilePath().c_str());
         };
       }))) {
    if (e.rfind("wait ", 0) == 0) waits.push_back(e);
  }
  platform::OverrideExecutablePathForTesting(L"");
  ::RemoveDirectoryW(dir.c_str());
  EXPECT_EQ(waits, (Strings{"wait 60000", "wait 420000", "wait 300000"}));
}

// The real five-minute wait on the real event, with STOP sent from another
// thread as the dispatcher sends it: the wait must end at once.
class ThreadedPlatform : public ServiceHostPlatform {
 public:
  UniqueKernelHandle passDone{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  LPHANDLER_FUNCTION handler = nullptr;
  Strings reports;
  SERVICE_STATUS_HANDLE RegisterControlHandler(LPHANDLER_FUNCTION h) override {
    return handler = h, kStatusHandle;
  }
  void ReportStatus(SERVICE_STATUS_HANDLE, const SERVICE_STATUS& s) override {
    reports.push_back(ReportText(s));  // the host serialises its reports
  }
  void RunPollPass() override { ::SetEvent(passDone.get()); }
  bool LoadFirstRecord(RecordConfig&) override { return false; }
};

TEST_F(ServiceHostTest, StopFromAnotherThreadEndsTheWaitAtOnce) {
  auto* platform = new ThreadedPlatform;
  auto* host = new ServiceHost(*platform);
  UniqueKernelHandle thread(::CreateThread(
      nullptr, 0, [](LPVOID h) -> DWORD { return static_cast<ServiceHost*>(h)->Run(), 0; }, host,
      0, nullptr));
  ASSERT_TRUE(thread);
  ASSERT_EQ(::WaitForSingleObject(platform->passDone.get(), 10000), WAIT_OBJECT_0);
  ::Sleep(50);  // into the wait
  platform->handler(kStop);
  // On failure both objects stay leaked: the service thread may still use them.
  ASSERT_EQ(::WaitForSingleObject(thread.get(), 2000), WAIT_OBJECT_0) << "the wait did not end";
  EXPECT_EQ(platform->reports, (Strings{kStartPending, kRunning, kStopPending2, kStopped}));
  delete host;
  delete platform;
}

}  // namespace
}  // namespace nimbard
