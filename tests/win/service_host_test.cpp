// The service host's conversation with the Service Control Manager, as seen by a recording platform.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/poll_pass.h"
#include "host/service_host.h"

namespace nimbard {
namespace {

const auto kStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);
const DWORD kStop = SERVICE_CONTROL_STOP, kPreshutdown = SERVICE_CONTROL_PRESHUTDOWN;
// Not controls: what the script sends for the address watch and for power events.
const DWORD kChange = 0x10000, kResume = 0x10001, kSuspend = 0x10002;

struct Script {
  bool configLoads = true;
  std::uint32_t pollMinutes = 5;
  DWORD eventError = 0;  // CreateStopEvent fails with it
  int throwingPass = 0;  // that pass throws
  int slowPass = 0;      // that pass sends slowControl, then ends only once two more checkpoints were reported
  std::map<int, std::vector<DWORD>> inPass = {}, inWait = {};  // 1-based pass or wait -> controls sent in it
  std::string offline = "";  // '1' at index n: no echo service answered pass n + 1 (no network yet)
  ULONGLONG msPerWait = 60000;  // the clock moves on this much at each wait
  bool clockFollowsWaits = false;  // instead: a wait that times out moves it on by its length
  Script& Follow() { return clockFollowsWaits = true, *this; }
  Script& Wait(int n, std::vector<DWORD> controls) { return inWait[n] = std::move(controls), *this; }
  Script& Offline(std::string passes) { return offline = std::move(passes), *this; }
  Script& Pass(int n, std::vector<DWORD> controls) { return inPass[n] = std::move(controls), *this; }
  DWORD slowControl = kStop;
  Script& Slow(int n, DWORD control) { return slowPass = n, slowControl = control, *this; }
};

// Events and reports as one line; a report is STATE/accepts/exit/checkpoint/hint. The stop event is real: each wait
// asks it, without blocking, whether the registered control handler signalled it.
struct RecordingPlatform : ServiceHostPlatform {
  explicit RecordingPlatform(Script script) : script(std::move(script)) {}
  Script script;
  std::string events;
  LPHANDLER_FUNCTION_EX handler = nullptr;
  int passes = 0, waits = 0;
  ULONGLONG clock = 0;
  ServiceHost* host = nullptr;
  SERVICE_STATUS_HANDLE RegisterControlHandler(LPHANDLER_FUNCTION_EX h) override { return handler = h, Log("register"), kStatusHandle; }
  void ReportStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& s) override {
    EXPECT_TRUE(handle == kStatusHandle && s.dwServiceType == SERVICE_WIN32_OWN_PROCESS);
    std::string text = std::vector<std::string>{"?", "STOPPED", "START", "STOPPING", "RUNNING"}.at(s.dwCurrentState);
    for (DWORD n : {s.dwControlsAccepted, s.dwWin32ExitCode, s.dwCheckPoint, s.dwWaitHint}) text += "/" + std::to_string(n);
    Log(text);
  }
  HANDLE CreateStopEvent(DWORD& error) override {
    return script.eventError ? (error = script.eventError, nullptr) : ServiceHostPlatform::CreateStopEvent(error);
  }
  DWORD WaitForStopOrPass(HANDLE stopEvent, HANDLE passEvent, DWORD milliseconds) override {
    Log("wait " + std::to_string(milliseconds));
    Send(script.inWait, ++waits);
    if (waits > 8) Control(kStop);  // a host that never stops fails the sequence, not the run
    const HANDLE events[] = {stopEvent, passEvent};
    const DWORD result = ::WaitForMultipleObjects(2, events, FALSE, 0);
    if (result == WAIT_TIMEOUT) clock += milliseconds;
    return Log(result == WAIT_OBJECT_0 ? "signalled" : result == WAIT_OBJECT_0 + 1 ? "woken" : "timed-out"), result;
  }
  PassOutcome RunPollPass(bool manual) override {
    Log(manual ? "forced pass" : "pass"), Send(script.inPass, ++passes);
    if (passes == script.throwingPass) throw std::runtime_error("pass failed");
    PassOutcome pass;
    pass.ran = pass.configurationLoaded = true;
    pass.address.answered = std::size_t(passes) > script.offline.size() || script.offline[std::size_t(passes) - 1] != '1';
    if (passes != script.slowPass) return pass;
    Control(script.slowControl);
    for (int i = 0; i < 5000 && Events().find("STOPPING/0/0/4/") == std::string::npos; ++i) ::Sleep(1);
    return pass;
  }
  bool LoadFirstRecord(RecordConfig& r) override { return r.pollMinutes = script.pollMinutes, script.configLoads; }
  ULONGLONG NowMs() override { return script.clockFollowsWaits ? clock : waits * script.msPerWait; }
  DWORD WatchAddressChanges(Ipv6ChangeWatch&, Ipv6ChangeWatch::Callback, void*) override { return NO_ERROR; }
  std::mutex mutex;  // the pass runs on a thread of its own
  void Log(const std::string& event) { std::lock_guard<std::mutex> lock(mutex); events += (events.empty() ? "" : " ") + event; }
  std::string Events() { std::lock_guard<std::mutex> lock(mutex); return events; }
  void Send(const std::map<int, std::vector<DWORD>>& plan, int n) {
    for (DWORD control : plan.count(n) ? plan.at(n) : std::vector<DWORD>()) Control(control);
  }
  void Control(DWORD control) {
    if (control == kChange) return host->AddressesChanged();
    if (control == kResume || control == kSuspend) {
      handler(SERVICE_CONTROL_POWEREVENT, control == kResume ? PBT_APMRESUMEAUTOMATIC : PBT_APMSUSPEND, nullptr, nullptr);
      return;
    }
    handler(control, 0, nullptr, nullptr);
  }
};

TEST(ServiceHost, StatusReportSequences) {
  // Running, the service takes STOP (1), SHUTDOWN (4), power events (0x40) and PRESHUTDOWN (0x100).
  const std::string kUp = "register START/0/0/1/3000 RUNNING/325/0/0/0 pass ";
  const std::string kDown = "STOPPING/0/0/2/3000 signalled STOPPED/0/0/0/0", kNext = "timed-out pass ";
  const struct { const char* name; Script script; std::string expected; } cases[] = {
      {"no configuration: keeps running, waits 5 minutes", Script{false}.Wait(2, {kStop}),
       kUp + "wait 300000 timed-out pass wait 300000 " + kDown},
      {"STOP during a pass: pending at once, no further pass", Script().Pass(1, {kStop}),
       kUp + "STOPPING/0/0/2/3000 wait 300000 signalled STOPPED/0/0/0/0"},
      {"two STOPs: checkpoints 2 and 3", Script().Wait(1, {kStop, kStop}),
       kUp + "wait 300000 STOPPING/0/0/2/3000 STOPPING/0/0/3/3000 signalled STOPPED/0/0/0/0"},
      {"INTERROGATE and others: no report; pollMinutes 0 cannot make a busy loop", Script{true, 0}.Wait(1, {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE, 128u, 0u}).Wait(2, {kStop}),
       kUp + "wait 60000 timed-out pass wait 60000 " + kDown},
      {"STOP while waiting; huge pollMinutes is held to the longest wait", Script{true, 0xFFFFFFFF}.Wait(1, {kStop}), kUp + "wait 2147460000 " + kDown},
      {"STOP during a slow pass: STOP_PENDING again with each checkpoint until it ends", Script{true, 5, 0, 0, 1},
       kUp + "STOPPING/0/0/2/3000 STOPPING/0/0/3/3000 STOPPING/0/0/4/3000 wait 300000 signalled STOPPED/0/0/0/0"},
      {"SHUTDOWN while waiting: stops as STOP does", Script().Wait(1, {SERVICE_CONTROL_SHUTDOWN}), kUp + "wait 300000 " + kDown},
      {"PRESHUTDOWN during a (slow) pass: stops as STOP does, STOP_PENDING again with each checkpoint", Script().Slow(1, kPreshutdown),
       kUp + "STOPPING/0/0/2/3000 STOPPING/0/0/3/3000 STOPPING/0/0/4/3000 wait 300000 signalled STOPPED/0/0/0/0"},
      {"stop event cannot be created: STOPPED with its error, no pass", Script{true, 5, ERROR_NOT_ENOUGH_MEMORY}, "register START/0/0/1/3000 STOPPED/0/8/0/0"},
      {"an exception out of a pass stops the service with an error", Script{true, 5, 0, 1}, kUp + "STOPPED/0/1064/0/0"},
      // While no echo service answers (no network yet), the next pass comes sooner, doubling up to the interval;
      // the first pass with an answer returns to the interval.
      {"network after two passes", Script{true, 5}.Offline("11").Wait(4, {kStop}),
       kUp + "wait 30000 " + kNext + "wait 60000 " + kNext + "wait 300000 " + kNext + "wait 300000 " + kDown},
      {"held to a one-minute interval", Script{true, 1}.Offline("1111").Wait(4, {kStop}),
       kUp + "wait 30000 " + kNext + "wait 60000 " + kNext + "wait 60000 " + kNext + "wait 60000 " + kDown},
      {"a forced pass asked for while waiting: run at once, the timed pass still due when it was", Script{true, 5}.Follow().Wait(1, {kForcePassControl, 128}).Wait(2, {kStop}),
       kUp + "wait 300000 woken forced pass wait 300000 " + kDown},
      {"asked for during a pass: merged into it", Script{true, 5}.Pass(1, {kForcePassControl}).Wait(1, {kStop}),
       kUp + "wait 300000 " + kDown},
      {"asked for again 6 s after a forced pass started: merged; 12 s after: a pass",
       Script{true, 5, 0, 0, 0, {}, {}, "", 6000}.Wait(1, {kForcePassControl}).Wait(2, {kForcePassControl}).Wait(3, {kForcePassControl}).Wait(4, {kStop}),
       kUp + "wait 300000 woken forced pass wait 294000 " + kNext + "wait 300000 woken forced pass wait 294000 " + kDown},
      // After an address change (or the resume from sleep) a pass comes 10 s later, on the service's clock; changes
      // meanwhile merge into it, and such passes come at most once a minute. The timed pass stays due when it was.
      {"a change while waiting: a pass 10 s later", Script().Follow().Wait(1, {kChange}).Wait(3, {kStop}),
       kUp + "wait 300000 woken wait 10000 timed-out pass wait 290000 " + kDown},
      {"a burst merges; the next change waits for the minute",
       Script().Follow().Wait(1, {kChange}).Wait(2, {kChange}).Wait(4, {kChange}).Wait(6, {kStop}),
       kUp + "wait 300000 woken wait 10000 woken wait 10000 timed-out pass wait 290000 woken wait 60000 timed-out pass wait 230000 " + kDown},
      {"resume from sleep as a change; suspend: nothing", Script().Follow().Wait(1, {kSuspend}).Wait(2, {kResume}).Wait(4, {kStop}),
       kUp + "wait 300000 timed-out pass wait 300000 woken wait 10000 timed-out pass wait 290000 " + kDown},
      {"a change during a pass: 10 s after it", Script().Follow().Pass(1, {kChange}).Wait(3, {kStop}),
       kUp + "wait 10000 woken wait 10000 timed-out pass wait 290000 " + kDown},
      {"an answer between: back to the start", Script{true, 5}.Offline("1011").Wait(4, {kStop}),
       kUp + "wait 30000 " + kNext + "wait 300000 " + kNext + "wait 30000 " + kNext + "wait 60000 " + kDown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingPlatform platform(c.script);
    ServiceHost host(platform);
    platform.host = &host;
    host.Run();
    EXPECT_EQ(host.HandleControl(kStop), DWORD(NO_ERROR));  // after STOPPED: must add nothing
    EXPECT_EQ(platform.Events(), c.expected);
    ClearStopRequest();
  }
}

TEST(ServiceHost, ControlAnswers) {
  const struct { DWORD control, expected; } cases[] = {
      {SERVICE_CONTROL_INTERROGATE, NO_ERROR}, {kForcePassControl, NO_ERROR}, {kPreshutdown, NO_ERROR},
      {SERVICE_CONTROL_POWEREVENT, NO_ERROR},
      {SERVICE_CONTROL_PAUSE, ERROR_CALL_NOT_IMPLEMENTED}, {SERVICE_CONTROL_PARAMCHANGE, ERROR_CALL_NOT_IMPLEMENTED},
      {129, ERROR_CALL_NOT_IMPLEMENTED},
  };
  RecordingPlatform platform{Script()};
  ServiceHost host(platform);  // never run: no report may follow any control
  for (const auto& c : cases) EXPECT_EQ(host.HandleControl(c.control), c.expected) << c.control;
  EXPECT_EQ(platform.Events(), "");
  ClearStopRequest();
}

}  // namespace
}  // namespace nimbard
