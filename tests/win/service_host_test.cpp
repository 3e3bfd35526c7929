// The service host's conversation with the Service Control Manager, driven
// through a recording platform: which reports in which order, with which
// checkpoints, and when passes and waits happen.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/config_store.h"
#include "engine/poll_pass.h"
#include "host/service_host.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

const auto kStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);
const DWORD kStop = SERVICE_CONTROL_STOP;

struct Script {
  bool configLoads = true, registerFails = false, realConfig = false;  // or read the file
  std::uint32_t pollMinutes = 5;
  std::map<int, std::vector<DWORD>> inPass, inWait;  // 1-based pass or wait -> controls sent in it
  int failingWait = 0, throwingPass = 0;             // that wait returns WAIT_FAILED, that pass throws
  DWORD eventError = 0;                              // the stop event cannot be created
  void (*duringPass)(int pass) = nullptr;
  Script& Minutes(std::uint32_t m) { return pollMinutes = m, *this; }
  Script& Wait(int n, std::vector<DWORD> controls) { return inWait[n] = std::move(controls), *this; }
  Script& Pass(int n, std::vector<DWORD> controls) { return inPass[n] = std::move(controls), *this; }
};
Script With(void (*edit)(Script&)) {
  Script s;
  return edit(s), s;
}

// Events and reports as one line; a report is STATE/accepts/exit/checkpoint/hint.
// The stop event is a real one: each wait asks it, without blocking, whether
// the control handler signalled it. Controls go through the handler the host
// registered, as the dispatcher would call it.
class RecordingPlatform : public ServiceHostPlatform {
 public:
  explicit RecordingPlatform(Script script) : script_(std::move(script)) {}
  std::string events;
  LPHANDLER_FUNCTION handler = nullptr;

  SERVICE_STATUS_HANDLE RegisterControlHandler(LPHANDLER_FUNCTION h) override {
    handler = h, Log("register");
    return script_.registerFails ? nullptr : kStatusHandle;
  }
  void ReportStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& s) override {
    EXPECT_TRUE(handle == kStatusHandle && s.dwServiceType == SERVICE_WIN32_OWN_PROCESS &&
                s.dwServiceSpecificExitCode == 0);
    const std::map<DWORD, std::string> kNames = {{SERVICE_STOPPED, "STOPPED"}, {SERVICE_RUNNING, "RUNNING"},
                                                 {SERVICE_START_PENDING, "START"}, {SERVICE_STOP_PENDING, "STOPPING"}};
    std::string text = kNames.at(s.dwCurrentState);
    for (DWORD n : {s.dwControlsAccepted, s.dwWin32ExitCode, s.dwCheckPoint, s.dwWaitHint}) text += "/" + std::to_string(n);
    Log(text);
  }
  HANDLE CreateStopEvent(DWORD& error) override {
    if (script_.eventError == 0) return ServiceHostPlatform::CreateStopEvent(error);
    return error = script_.eventError, nullptr;
  }
  DWORD WaitForStop(HANDLE stopEvent, DWORD milliseconds) override {
    Log("wait " + std::to_string(milliseconds));
    Send(script_.inWait, ++waits_);
    if (waits_ > 8) handler(kStop);  // a host that never stops fails the sequence, not the run
    if (waits_ == script_.failingWait) return Log("failed"), WAIT_FAILED;
    const DWORD result = ::WaitForSingleObject(stopEvent, 0);
    Log(result == WAIT_OBJECT_0 ? "signalled" : "timed-out");
    return result;
  }
  void RunPollPass() override {
    Log("pass");
    Send(script_.inPass, ++passes_);
    if (script_.duringPass) script_.duringPass(passes_);
    if (passes_ == script_.throwingPass) throw std::runtime_error("pass failed");
  }
  bool LoadFirstRecord(RecordConfig& record) override {
    if (script_.realConfig) return ServiceHostPlatform::LoadFirstRecord(record);
    return record.pollMinutes = script_.pollMinutes, script_.configLoads;
  }

 private:
  void Log(const std::string& event) { events += (events.empty() ? "" : " ") + event; }
  void Send(const std::map<int, std::vector<DWORD>>& plan, int n) {
    for (DWORD control : plan.count(n) ? plan.at(n) : std::vector<DWORD>()) handler(control);
  }
  Script script_;
  int passes_ = 0, waits_ = 0;
};

class ServiceHostTest : public ::testing::Test {
 protected:
  void TearDown() override { StopRequested.store(false); }  // as the rest of the suite expects
  static std::string Run(Script script, bool stopRequestedBefore = false) {
    RecordingPlatform platform(std::move(script));
    StopRequested.store(stopRequestedBefore);
    ServiceHost host(platform);
    host.Run();
    host.HandleControl(kStop);  // after STOPPED: must add nothing
    return platform.events;
  }
};

// Every run that gets going begins with kUp; a plain stop ends with kDown.
const std::string kUp = "register START/0/0/1/3000 RUNNING/1/0/0/0 pass ";
const std::string kDown = "STOPPING/0/0/2/3000 signalled STOPPED/0/0/0/0";
const std::string kStopInFirstWait = kUp + "wait 300000 " + kDown;

TEST_F(ServiceHostTest, StatusReportSequences) {
  const std::vector<DWORD> kOthers = {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE,
                                      SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_PARAMCHANGE, 128u, 0u};
  const struct { const char* name; Script script; std::string expected; bool stopRequestedAfter; } cases[] = {
      // clang-format off
      {"no configuration: keeps running, waits 5 minutes", With([](Script& s) { s.configLoads = false; }).Wait(2, {kStop}),
       kUp + "wait 300000 timed-out pass wait 300000 " + kDown, true},
      {"STOP while waiting", Script().Wait(1, {kStop}), kStopInFirstWait, true},
      {"SHUTDOWN stops like STOP", Script().Wait(1, {SERVICE_CONTROL_SHUTDOWN}), kStopInFirstWait, true},
      {"STOP during a slow pass: pending at once, stopped after it, no further pass", Script().Pass(1, {kStop}),
       kUp + "STOPPING/0/0/2/3000 wait 300000 signalled STOPPED/0/0/0/0", true},
      {"two STOPs: checkpoints 2 and 3", Script().Wait(1, {kStop, kStop}),
       kUp + "wait 300000 STOPPING/0/0/2/3000 STOPPING/0/0/3/3000 signalled STOPPED/0/0/0/0", true},
      {"INTERROGATE and other controls: no report, no stop", Script().Minutes(1).Wait(1, kOthers).Wait(2, {kStop}),
       kUp + "wait 60000 timed-out pass wait 60000 " + kDown, true},
      {"pollMinutes 0 cannot make a busy loop", Script().Minutes(0).Wait(1, {kStop}), kUp + "wait 60000 " + kDown, true},
      {"huge pollMinutes is held to the longest wait", Script().Minutes(0xFFFFFFFF).Wait(1, {kStop}),
       kUp + "wait 2147460000 " + kDown, true},
      {"a failed wait runs the next pass", With([](Script& s) { s.failingWait = 1; }).Wait(2, {kStop}),
       kUp + "wait 300000 failed pass wait 300000 " + kDown, true},
      {"stop event cannot be created: STOPPED with its error, no pass",
       With([](Script& s) { s.eventError = ERROR_NOT_ENOUGH_MEMORY; }), "register START/0/0/1/3000 STOPPED/0/8/0/0", false},
      {"handler registration fails: nothing reported", With([](Script& s) { s.registerFails = true; }), "register", false},
      {"an exception out of a pass stops the service with an error", With([](Script& s) { s.throwingPass = 1; }),
       kUp + "STOPPED/0/1064/0/0", true},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Run(c.script), c.expected);
    EXPECT_EQ(StopRequested.load(), c.stopRequestedAfter);
  }
  // A stop request left set before the start is cleared: the first pass runs.
  EXPECT_EQ(Run(Script().Wait(1, {kStop}), true), kStopInFirstWait);
}

// The interval follows the configuration file as it is after each pass.
TEST_F(ServiceHostTest, ReadsPollMinutesAfterEveryPass) {
  nimbard::testing::ScratchDir dir("service-host");
  static auto save = [](std::uint32_t minutes) {
    RecordConfig r;
    r.apiKey = L"key", r.domain = L"example.com", r.record = L"home", r.pollMinutes = minutes;
    return SaveRecords({r});
  };
  ASSERT_TRUE(save(1));
  EXPECT_EQ(Run(With([](Script& s) {
              s.realConfig = true, s.duringPass = [](int pass) {
                if (pass == 2) save(7);
                if (pass == 3) ::DeleteFileW(ConfigFilePath().c_str());
              };
            }).Wait(3, {kStop})),
            kUp + "wait 60000 timed-out pass wait 420000 timed-out pass wait 300000 " + kDown);
}

// The real five-minute wait on the real event, with STOP sent from another
// thread as the dispatcher sends it: the wait must end at once.
TEST_F(ServiceHostTest, StopFromAnotherThreadEndsTheWaitAtOnce) {
  struct Threaded : RecordingPlatform {
    using RecordingPlatform::RecordingPlatform;
    UniqueKernelHandle waiting{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    DWORD WaitForStop(HANDLE stopEvent, DWORD ms) override {
      ::SetEvent(waiting.get());
      return ServiceHostPlatform::WaitForStop(stopEvent, ms);
    }
  };
  // On failure both objects stay leaked: the service thread may still use them.
  auto* platform = new Threaded(With([](Script& s) { s.configLoads = false; }));
  auto* host = new ServiceHost(*platform);
  UniqueKernelHandle thread(::CreateThread(
      nullptr, 0, [](LPVOID h) -> DWORD { return static_cast<ServiceHost*>(h)->Run(), 0; }, host, 0, nullptr));
  ASSERT_TRUE(thread);
  ASSERT_EQ(::WaitForSingleObject(platform->waiting.get(), 10000), WAIT_OBJECT_0);
  ::Sleep(50);  // into the wait
  platform->handler(kStop);
  ASSERT_EQ(::WaitForSingleObject(thread.get(), 2000), WAIT_OBJECT_0) << "the wait did not end";
  EXPECT_EQ(platform->events, kUp + "STOPPING/0/0/2/3000 STOPPED/0/0/0/0");
  delete host;
  delete platform;
}

}  // namespace
}  // namespace nimbard
