// The service host's conversation with the Service Control Manager, driven
// through a recording platform: which reports, in which order, with which
// checkpoints, and when passes and waits happen.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "core/platform.h"
#include "core/win_handle.h"
#include "engine/poll_pass.h"
#include "host/service_host.h"

namespace nimbard {
namespace {

const SERVICE_STATUS_HANDLE kFakeStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);

std::string StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    default: return "state " + std::to_string(state);
  }
}

std::string ReportText(const SERVICE_STATUS& s) {
  return StateName(s.dwCurrentState) + " accepts=" + std::to_string(s.dwControlsAccepted) +
         " exit=" + std::to_string(s.dwWin32ExitCode) +
         " checkpoint=" + std::to_string(s.dwCheckPoint) + " hint=" + std::to_string(s.dwWaitHint);
}

const std::string kStartPending = "START_PENDING accepts=0 exit=0 checkpoint=1 hint=3000";
const std::string kRunning = "RUNNING accepts=1 exit=0 checkpoint=0 hint=0";
const std::string kStopPending2 = "STOP_PENDING accepts=0 exit=0 checkpoint=2 hint=3000";
const std::string kStopPending3 = "STOP_PENDING accepts=0 exit=0 checkpoint=3 hint=3000";
const std::string kStopped = "STOPPED accepts=0 exit=0 checkpoint=0 hint=0";

struct Script {
  bool registerFails = false;
  DWORD eventError = 0;  // non-zero: the stop event cannot be created
  bool configLoads = true;
  std::uint32_t pollMinutes = 5;
  std::map<int, std::vector<DWORD>> controlsInPass;  // 1-based pass -> controls sent during it
  std::map<int, std::vector<DWORD>> controlsInWait;  // 1-based wait -> controls sent during it
  int failingWait = 0;                               // that wait returns WAIT_FAILED
  int throwingPass = 0;                              // that pass throws
  std::function<void(int)> duringPass;               // extra work inside a pass
  bool realConfig = false;                           // read the real configuration file
};

// Stands in for the Service Control Manager, the kernel wait and the engine.
// The stop event is a real one: the wait asks it (without blocking) whether
// the control handler signalled it.
class RecordingPlatform : public ServiceHostPlatform {
 public:
  explicit RecordingPlatform(Script script) : script_(std::move(script)) {}

  std::vector<std::string> events;

  SERVICE_STATUS_HANDLE RegisterControlHandler(LPHANDLER_FUNCTION handler) override {
    handler_ = handler;
    events.push_back("register");
    return script_.registerFails ? nullptr : kFakeStatusHandle;
  }
  void ReportStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) override {
    EXPECT_EQ(handle, kFakeStatusHandle);
    EXPECT_EQ(status.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    events.push_back(ReportText(status));
  }
  HANDLE CreateStopEvent(DWORD& error) override {
    if (script_.eventError != 0) {
      error = script_.eventError;
      return nullptr;
    }
    return ServiceHostPlatform::CreateStopEvent(error);
  }
  DWORD WaitForStop(HANDLE stopEvent, DWORD milliseconds) override {
    ++waits_;
    events.push_back("wait " + std::to_string(milliseconds));
    Send(script_.controlsInWait, waits_);
    // A host that never stops would loop for ever: end it, the sequence then fails.
    if (waits_ > 8) handler_(SERVICE_CONTROL_STOP);
    if (waits_ == script_.failingWait) {
      events.push_back("failed");
      return WAIT_FAILED;
    }
    const DWORD result = ::WaitForSingleObject(stopEvent, 0);
    events.push_back(result == WAIT_OBJECT_0 ? "signalled" : "timed out");
    return result;
  }
  void RunPollPass() override {
    ++passes_;
    events.push_back("pass");
    Send(script_.controlsInPass, passes_);
    if (script_.duringPass) script_.duringPass(passes_);
    if (passes_ == script_.throwingPass) throw std::runtime_error("pass failed");
  }
  bool LoadFirstRecord(RecordConfig& record) override {
    if (script_.realConfig) return ServiceHostPlatform::LoadFirstRecord(record);
    if (!script_.configLoads) return false;
    record.pollMinutes = script_.pollMinutes;
    return true;
  }

 private:
  void Send(const std::map<int, std::vector<DWORD>>& plan, int index) {
    auto it = plan.find(index);
    if (it == plan.end()) return;
    // Through the handler the host registered, as the dispatcher would call it.
    for (DWORD control : it->second) handler_(control);
  }

  Script script_;
  LPHANDLER_FUNCTION handler_ = nullptr;
  int passes_ = 0;
  int waits_ = 0;
};

struct RunOutcome {
  std::vector<std::string> events;
  bool stopRequested;
};

RunOutcome RunHost(Script script) {
  RecordingPlatform platform(std::move(script));
  StopRequested.store(false);
  {
    ServiceHost host(platform);
    host.Run();
  }
  return {platform.events, StopRequested.load()};
}

struct SequenceCase {
  const char* name;
  Script script;
  std::vector<std::string> expected;
  bool stopRequestedAfter;
};

std::vector<SequenceCase> SequenceCases() {
  const DWORD kStop = SERVICE_CONTROL_STOP;
  std::vector<SequenceCase> cases;
  {
    Script s;
    s.configLoads = false;
    s.controlsInWait = {{3, {kStop}}};
    cases.push_back({"no configuration: keeps running, waits 5 minutes", s,
                     {"register", kStartPending, kRunning,
                      "pass", "wait 300000", "timed out",
                      "pass", "wait 300000", "timed out",
                      "pass", "wait 300000", kStopPending2, "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.controlsInWait = {{1, {kStop}}};
    cases.push_back({"STOP while waiting", s,
                     {"register", kStartPending, kRunning, "pass", "wait 300000", kStopPending2,
                      "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.controlsInPass = {{1, {kStop}}};
    cases.push_back({"STOP during a slow pass: pending at once, stopped after it", s,
                     {"register", kStartPending, kRunning, "pass", kStopPending2, "wait 300000",
                      "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.controlsInWait = {{1, {kStop, kStop}}};
    cases.push_back({"two STOPs: checkpoints 2 and 3", s,
                     {"register", kStartPending, kRunning, "pass", "wait 300000", kStopPending2,
                      kStopPending3, "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.controlsInWait = {{1, {SERVICE_CONTROL_SHUTDOWN}}};
    cases.push_back({"SHUTDOWN stops like STOP", s,
                     {"register", kStartPending, kRunning, "pass", "wait 300000", kStopPending2,
                      "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.controlsInWait = {{1,
                         {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE,
                          SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_PARAMCHANGE, 128u, 0u}},
                        {2, {kStop}}};
    cases.push_back({"INTERROGATE and other controls: no report, no stop", s,
                     {"register", kStartPending, kRunning, "pass", "wait 300000", "timed out",
                      "pass", "wait 300000", kStopPending2, "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.pollMinutes = 1;
    s.controlsInWait = {{2, {kStop}}};
    cases.push_back({"pollMinutes 1 waits 60000 ms", s,
                     {"register", kStartPending, kRunning, "pass", "wait 60000", "timed out",
                      "pass", "wait 60000", kStopPending2, "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.pollMinutes = 0;
    s.controlsInWait = {{1, {kStop}}};
    cases.push_back({"pollMinutes 0 never makes a busy loop", s,
                     {"register", kStartPending, kRunning, "pass", "wait 60000", kStopPending2,
                      "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.pollMinutes = 0xFFFFFFFFu;
    s.controlsInWait = {{1, {kStop}}};
    cases.push_back({"huge pollMinutes is held to the longest wait", s,
                     {"register", kStartPending, kRunning, "pass", "wait 2147460000",
                      kStopPending2, "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.failingWait = 1;
    s.controlsInWait = {{2, {kStop}}};
    cases.push_back({"a failed wait runs the next pass", s,
                     {"register", kStartPending, kRunning, "pass", "wait 300000", "failed",
                      "pass", "wait 300000", kStopPending2, "signalled", kStopped},
                     true});
  }
  {
    Script s;
    s.eventError = ERROR_NOT_ENOUGH_MEMORY;
    cases.push_back({"stop event cannot be created: STOPPED with its error, no pass", s,
                     {"register", kStartPending, "STOPPED accepts=0 exit=8 checkpoint=0 hint=0"},
                     false});
  }
  {
    Script s;
    s.registerFails = true;
    cases.push_back({"handler registration fails: nothing reported", s, {"register"}, false});
  }
  {
    Script s;
    s.throwingPass = 2;
    s.controlsInWait = {{2, {kStop}}};
    cases.push_back({"an exception out of a pass stops the service with an error", s,
                     {"register", kStartPending, kRunning, "pass", "wait 300000", "timed out",
                      "pass", "STOPPED accepts=0 exit=1064 checkpoint=0 hint=0"},
                     true});
  }
  return cases;
}

// Every test leaves the process-wide stop flag as the rest of the suite expects it.
class ServiceHostTest : public ::testing::Test {
 protected:
  void TearDown() override { StopRequested.store(false); }
};

TEST_F(ServiceHostTest, StatusReportSequences) {
  for (const SequenceCase& c : SequenceCases()) {
    SCOPED_TRACE(c.name);
    const RunOutcome outcome = RunHost(c.script);
    EXPECT_EQ(outcome.events, c.expected);
    EXPECT_EQ(outcome.stopRequested, c.stopRequestedAfter);
  }
}

TEST_F(ServiceHostTest, ClearsALeftoverStopRequest) {
  Script s;
  s.controlsInWait = {{1, {SERVICE_CONTROL_STOP}}};
  RecordingPlatform platform(s);
  StopRequested.store(true);
  ServiceHost host(platform);
  host.Run();
  EXPECT_EQ(std::count(platform.events.begin(), platform.events.end(), "pass"), 1);
  EXPECT_TRUE(StopRequested.load());
}

TEST_F(ServiceHostTest, ControlAfterStoppedIsIgnored) {
  Script s;
  s.controlsInWait = {{1, {SERVICE_CONTROL_STOP}}};
  RecordingPlatform platform(s);
  ServiceHost host(platform);
  host.Run();
  const std::size_t reports = platform.events.size();
  host.HandleControl(SERVICE_CONTROL_STOP);
  EXPECT_EQ(platform.events.size(), reports);
  EXPECT_EQ(platform.events.back(), kStopped);
}

// The interval follows the configuration file as it is after each pass.
TEST_F(ServiceHostTest, ReadsPollMinutesAfterEveryPass) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring dir = std::wstring(temp) + L"nimbard-service-host-" +
                           std::to_wstring(::GetCurrentProcessId()) + L"\\";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  platform::OverrideExecutablePathForTesting(dir + L"nimbard.exe");

  auto save = [](std::uint32_t minutes) {
    RecordConfig record;
    record.provider = L"cloudflare";
    record.apiKey = L"token";
    record.domain = L"example.com";
    record.record = L"home";
    record.zoneId = L"zone";
    record.recordId = L"rec";
    record.pollMinutes = minutes;
    ASSERT_TRUE(SaveRecords({record}));
  };
  save(1);
  Script s;
  s.realConfig = true;
  s.duringPass = [&](int pass) {
    if (pass == 2) save(7);
    if (pass == 3) ::DeleteFileW(ConfigFilePath().c_str());
  };
  s.controlsInWait = {{3, {SERVICE_CONTROL_STOP}}};
  const RunOutcome outcome = RunHost(s);
  platform::OverrideExecutablePathForTesting(L"");
  ::RemoveDirectoryW(dir.c_str());

  std::vector<std::string> waits;
  for (const std::string& e : outcome.events) {
    if (e.rfind("wait ", 0) == 0) waits.push_back(e);
  }
  EXPECT_EQ(waits, (std::vector<std::string>{"wait 60000", "wait 420000", "wait 300000"}));
}

// The real five-minute wait on the real event, with STOP sent from another
// thread the way the dispatcher sends it: the wait must end at once.
class ThreadedPlatform : public ServiceHostPlatform {
 public:
  UniqueKernelHandle passDone{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  LPHANDLER_FUNCTION handler = nullptr;
  std::vector<std::string> reports;
  std::mutex mutex;

  SERVICE_STATUS_HANDLE RegisterControlHandler(LPHANDLER_FUNCTION h) override {
    handler = h;
    return kFakeStatusHandle;
  }
  void ReportStatus(SERVICE_STATUS_HANDLE, const SERVICE_STATUS& status) override {
    std::lock_guard<std::mutex> lock(mutex);
    reports.push_back(ReportText(status));
  }
  void RunPollPass() override { ::SetEvent(passDone.get()); }
  bool LoadFirstRecord(RecordConfig&) override { return false; }
};

DWORD WINAPI RunHostThread(LPVOID param) {
  static_cast<ServiceHost*>(param)->Run();
  return 0;
}

TEST_F(ServiceHostTest, StopFromAnotherThreadEndsTheWaitAtOnce) {
  auto* platform = new ThreadedPlatform;
  auto* host = new ServiceHost(*platform);
  UniqueKernelHandle thread(::CreateThread(nullptr, 0, RunHostThread, host, 0, nullptr));
  ASSERT_TRUE(thread);
  ASSERT_EQ(::WaitForSingleObject(platform->passDone.get(), 10000), WAIT_OBJECT_0);
  ::Sleep(50);  // let the service thread enter its wait
  const DWORD start = ::GetTickCount();
  platform->handler(SERVICE_CONTROL_STOP);
  const bool ended = ::WaitForSingleObject(thread.get(), 10000) == WAIT_OBJECT_0;
  const DWORD elapsed = ::GetTickCount() - start;
  ASSERT_TRUE(ended) << "the service did not stop";  // leaks host and platform: still in use
  EXPECT_LT(elapsed, 2000u);
  EXPECT_EQ(platform->reports,
            (std::vector<std::string>{kStartPending, kRunning, kStopPending2, kStopped}));
  delete host;
  delete platform;
}

}  // namespace
}  // namespace nimbard
