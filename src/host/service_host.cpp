#include "host/service_host.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "core/activity_log.h"
#include "core/config_store.h"
#include "core/worker_thread.h"
#include "engine/pass_schedule.h"
#include "engine/poll_pass.h"

namespace nimbard {
namespace {

// The host whose handler the Service Control Manager calls. The handler's
// context is not used: so the handler finds its host here.
std::atomic<ServiceHost*> g_activeHost{nullptr};

bool IsPendingState(DWORD state) {
  return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
}

}  // namespace

SERVICE_STATUS_HANDLE ServiceHostPlatform::RegisterControlHandler(LPHANDLER_FUNCTION_EX handler) {
  return ::RegisterServiceCtrlHandlerExW(kServiceName, handler, nullptr);
}

void ServiceHostPlatform::ReportStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
  SERVICE_STATUS copy = status;
  ::SetServiceStatus(handle, &copy);
}

HANDLE ServiceHostPlatform::CreateStopEvent(DWORD& error) {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  error = event ? 0 : ::GetLastError();
  return event;
}

DWORD ServiceHostPlatform::WaitForStopOrPass(HANDLE stopEvent, HANDLE passEvent, DWORD milliseconds) {
  const HANDLE events[] = {stopEvent, passEvent};
  return ::WaitForMultipleObjects(passEvent ? 2 : 1, events, FALSE, milliseconds);
}

PassOutcome ServiceHostPlatform::RunPollPass(bool manual) { return PollPass(manual); }

bool ServiceHostPlatform::LoadFirstRecord(RecordConfig& record) {
  return ::nimbard::LoadFirstRecord(record);
}

ULONGLONG ServiceHostPlatform::NowMs() { return ::GetTickCount64(); }

DWORD ServiceHostPlatform::WatchAddressChanges(Ipv6ChangeWatch& watch, Ipv6ChangeWatch::Callback onChange,
                                               void* context) {
  return watch.Start(onChange, context);
}

ServiceHostPlatform& DefaultServiceHostPlatform() {
  static ServiceHostPlatform platform;
  return platform;
}

DWORD PollWaitMilliseconds(bool configLoaded, std::uint32_t pollMinutes) {
  return PollIntervalMs(configLoaded ? pollMinutes : kFallbackPollMinutes);
}

ServiceHost::ServiceHost(ServiceHostPlatform& platform) : platform_(platform) {}

ServiceHost::~ServiceHost() {
  ServiceHost* self = this;
  g_activeHost.compare_exchange_strong(self, nullptr);
}

void ServiceHost::Run() noexcept {
  try {
    RunLoop();
  } catch (...) {
    // Whatever escaped a pass must not end the process behind the Service
    // Control Manager's back: the service stops and says it failed.
    try {
      RequestStop();
      std::lock_guard<std::mutex> lock(mutex_);
      FinishLocked(ERROR_EXCEPTION_IN_SERVICE);
    } catch (...) {
    }
  }
}

void ServiceHost::RunLoop() {
  g_activeHost.store(this);
  HANDLE stopEvent = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    statusHandle_ = platform_.RegisterControlHandler(&ServiceCtrlHandler);
    if (!statusHandle_) return;
    ReportLocked(SERVICE_START_PENDING, 0, 0);
    DWORD error = 0;
    stopEvent_.reset(platform_.CreateStopEvent(error));
    if (!stopEvent_) {
      FinishLocked(error);
      return;
    }
    stopEvent = stopEvent_.get();  // only this thread replaces it, under the lock, below
    // Without it the service still runs its timed passes; a forced pass is
    // then not available.
    passEvent_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ClearStopRequest();
    ReportLocked(SERVICE_RUNNING, kRunningControlsAccepted, 0);
  }
  // Without it the timed passes still come; the change is found at the next.
  Ipv6ChangeWatch watch;
  const DWORD watchError = platform_.WatchAddressChanges(
      watch, [](void* host) { static_cast<ServiceHost*>(host)->AddressesChanged(); }, this);
  if (watchError != NO_ERROR) {
    LogMessage(UnwatchedChangesMessage(watchError));
  }

  PassSchedule schedule;
  ULONGLONG timedPassDueMs = 0;
  NextPass next = NextPass::Timed;  // the first pass starts the schedule
  while (!StopRequested.load()) {
    SetPassUnderWay(true);
    const PassOutcome pass = RunPassReportingStop(next == NextPass::Forced);
    SetPassUnderWay(false);
    // Read afresh after every timed pass: an edited interval applies from
    // the next wait. A forced pass, or one after a change, changes nothing
    // of the schedule: the timed pass stays due when it was.
    if (next == NextPass::Timed) {
      RecordConfig first;
      const bool loaded = platform_.LoadFirstRecord(first);
      timedPassDueMs = platform_.NowMs() + schedule.NextWaitMs(pass, PollWaitMilliseconds(loaded, first.pollMinutes));
    }
    next = WaitForNextPass(stopEvent, timedPassDueMs);
    if (next == NextPass::Stop) break;
  }

  watch.Stop();  // outside the lock: a change under way takes it
  RequestStop();
  std::lock_guard<std::mutex> lock(mutex_);
  FinishLocked(0);
}

ServiceHost::NextPass ServiceHost::WaitForNextPass(HANDLE stopEvent, ULONGLONG timedPassDueMs) {
  for (;;) {
    const ULONGLONG now = platform_.NowMs();
    DWORD timeout = timedPassDueMs > now ? static_cast<DWORD>(timedPassDueMs - now) : 0;
    bool changeFirst = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto untilChangePass = changes_.MsUntilDue(now);
      if (untilChangePass && *untilChangePass < timeout) {
        timeout = static_cast<DWORD>(*untilChangePass);
        changeFirst = true;
      }
    }
    const DWORD woke = platform_.WaitForStopOrPass(stopEvent, passEvent_.get(), timeout);
    if (woke == WAIT_OBJECT_0) return NextPass::Stop;
    std::lock_guard<std::mutex> lock(mutex_);
    if (woke == WAIT_OBJECT_0 + 1) {
      // A change only moves the end of the wait; a forced pass runs now.
      if (!std::exchange(forcedAsked_, false)) continue;
      return NextPass::Forced;
    }
    if (changeFirst) {
      if (!changes_.TakeDue(platform_.NowMs())) continue;
      return NextPass::AfterChange;
    }
    return NextPass::Timed;
  }
}

void ServiceHost::AddressesChanged() noexcept {
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ || !passEvent_) return;
    changes_.Changed(platform_.NowMs());
    ::SetEvent(passEvent_.get());  // the wait under way ends sooner
  } catch (...) {
  }
}

void ServiceHost::SetPassUnderWay(bool underWay) {
  std::lock_guard<std::mutex> lock(mutex_);
  passUnderWay_ = underWay;
}

PassOutcome ServiceHost::RunPassReportingStop(bool manual) {
  struct PassState {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    PassOutcome outcome;
    std::exception_ptr failure;  // carried to this thread: it must not end the process there
  };
  auto state = std::make_shared<PassState>();
  JoinableThread pass;
  const bool started = pass.Start([this, state, manual] {
    PassOutcome outcome;
    std::exception_ptr failure;
    try {
      outcome = platform_.RunPollPass(manual);
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(state->mutex);
    state->done = true;
    state->outcome = std::move(outcome);
    state->failure = failure;
    state->ended.notify_all();
  });
  if (!started) return platform_.RunPollPass(manual);  // no thread to spare: the pass runs here
  {
    std::unique_lock<std::mutex> lock(state->mutex);
    while (!state->ended.wait_for(lock, std::chrono::milliseconds(kStopCheckpointIntervalMs),
                                  [&] { return state->done; })) {
      if (!StopRequested.load()) continue;
      std::lock_guard<std::mutex> reportLock(mutex_);
      if (!stopped_) ReportLocked(SERVICE_STOP_PENDING, 0, 0);
    }
  }
  pass.Join();
  if (state->failure) std::rethrow_exception(state->failure);
  return std::move(state->outcome);
}

DWORD ServiceHost::HandleControl(DWORD control, DWORD eventType) noexcept {
  if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  if (control == SERVICE_CONTROL_POWEREVENT) {
    // The network may come back with other addresses after sleep.
    if (eventType == PBT_APMRESUMEAUTOMATIC) AddressesChanged();
    return NO_ERROR;
  }
  if (control == kForcePassControl) {
    try {
      std::lock_guard<std::mutex> lock(mutex_);
      // Asks in a row (many clicks, a loop) merge into one pass.
      if (!stopped_ && passEvent_ && forcedSpacing_.Admit(platform_.NowMs(), passUnderWay_)) {
        forcedAsked_ = true;
        ::SetEvent(passEvent_.get());
      }
    } catch (...) {
    }
    return NO_ERROR;
  }
  if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_PRESHUTDOWN &&
      control != SERVICE_CONTROL_SHUTDOWN) {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    // A control that races the final report must not follow STOPPED with STOP_PENDING.
    if (stopped_ || !statusHandle_) return NO_ERROR;
    ReportLocked(SERVICE_STOP_PENDING, 0, 0);
    RequestStop();
    if (stopEvent_) ::SetEvent(stopEvent_.get());
  } catch (...) {
  }
  return NO_ERROR;
}

void ServiceHost::ReportLocked(DWORD state, DWORD controlsAccepted, DWORD exitCode) {
  status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status_.dwCurrentState = state;
  status_.dwControlsAccepted = controlsAccepted;
  status_.dwWin32ExitCode = exitCode;
  status_.dwServiceSpecificExitCode = 0;
  if (IsPendingState(state)) {
    status_.dwCheckPoint = checkpoint_++;
    status_.dwWaitHint = kPendingWaitHintMs;
  } else {
    status_.dwCheckPoint = 0;
    status_.dwWaitHint = 0;
  }
  platform_.ReportStatus(statusHandle_, status_);
}

void ServiceHost::FinishLocked(DWORD exitCode) {
  stopEvent_.reset();
  passEvent_.reset();
  if (stopped_ || !statusHandle_) return;
  stopped_ = true;
  ReportLocked(SERVICE_STOPPED, 0, exitCode);
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  static ServiceHost host(DefaultServiceHostPlatform());
  host.Run();
}

DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD eventType, LPVOID, LPVOID) {
  ServiceHost* host = g_activeHost.load();
  return host ? host->HandleControl(control, eventType) : ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace nimbard
