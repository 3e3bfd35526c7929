#pragma once
// The Windows service "nimbard-demo": status reports to the Service Control
// Manager, one poll pass at start and one after every poll interval, one
// soon after the PC's addresses change or it resumes from sleep, and a stop
// on STOP, PRESHUTDOWN or SHUTDOWN.
#include <windows.h>

#include <cstdint>
#include <mutex>

#include "core/record_config.h"
#include "engine/change_trigger.h"
#include "engine/forced_pass_spacing.h"
#include "engine/poll_pass.h"
#include "net/iphlpapi_library.h"
#include "win32/unique_handle.h"

namespace nimbard {

inline constexpr wchar_t kServiceName[] = L"nimbard-demo";

// Wait hint of the START_PENDING and STOP_PENDING reports.
inline constexpr DWORD kPendingWaitHintMs = 3000;
// While a stop waits for the pass in hand, STOP_PENDING is reported again
// with the next checkpoint this often, well inside the wait hint.
inline constexpr DWORD kStopCheckpointIntervalMs = 1000;
// Interval between passes while the configuration cannot be loaded.
inline constexpr std::uint32_t kFallbackPollMinutes = 5;
// A user-defined control (128..255) that asks the running service for a
// forced pass now. The monitor tray sends it for "Force Update": the
// service's default permissions let every interactive user send
// user-defined controls, so the service spaces the passes they ask for
// (ForcedPassSpacing).
inline constexpr DWORD kForcePassControl = 200;
// The controls a running service takes. Windows sends PRESHUTDOWN before the
// shutdown proper and waits for the stop (up to the preshutdown time-out),
// so a pass under way ends as it does on STOP, writing whole files. SHUTDOWN
// is taken too, for a system that sends only that; after a stop at
// PRESHUTDOWN Windows sends it no more. Power events tell of the resume from
// sleep, after which the addresses are checked as after a change.
inline constexpr DWORD kRunningControlsAccepted =
    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PRESHUTDOWN | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT;

// Every call through which the service host reaches the Service Control
// Manager, the kernel, the configuration and the engine. The default
// implementation makes the real calls; tests record and script them.
class ServiceHostPlatform {
 public:
  virtual ~ServiceHostPlatform() = default;
  virtual SERVICE_STATUS_HANDLE RegisterControlHandler(LPHANDLER_FUNCTION_EX handler);
  virtual void ReportStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status);
  // A manual-reset, non-signalled, unnamed event; null with `error` set on failure.
  virtual HANDLE CreateStopEvent(DWORD& error);
  // WAIT_OBJECT_0 for the stop, WAIT_OBJECT_0 + 1 for a forced pass.
  virtual DWORD WaitForStopOrPass(HANDLE stopEvent, HANDLE passEvent, DWORD milliseconds);
  virtual PassOutcome RunPollPass(bool manual);
  virtual bool LoadFirstRecord(RecordConfig& record);
  // Milliseconds since an arbitrary start (GetTickCount64): spaces forced passes
  // and times the passes after a change.
  virtual ULONGLONG NowMs();
  // Has `onChange(context)` called at each change of the PC's IPv6 addresses
  // until the watch ends; 0 or the reason it cannot.
  virtual DWORD WatchAddressChanges(Ipv6ChangeWatch& watch, Ipv6ChangeWatch::Callback onChange, void* context);
};

// The real calls.
ServiceHostPlatform& DefaultServiceHostPlatform();

// Milliseconds to wait after a pass. pollMinutes is held to the bounds the
// configuration allows, so neither a zero (a pass loop hammering the APIs)
// nor a product beyond 32 bits can reach the wait.
DWORD PollWaitMilliseconds(bool configLoaded, std::uint32_t pollMinutes);

// The state of one service run: the status record, the checkpoint counter
// (starts at 1, never reset) and the stop event. The service main thread and
// the control handler (the dispatcher's thread) share it under one lock, so a
// report is never a mix of two and the handler never signals an event that
// the main thread is closing. A STOP, PRESHUTDOWN or SHUTDOWN requests the
// process-wide stop at once, so the pass under way gives up its exchange and ends after
// the record in hand; the pass runs on a thread of its own so that the main
// thread can keep the Service Control Manager informed meanwhile.
class ServiceHost {
 public:
  explicit ServiceHost(ServiceHostPlatform& platform);
  ~ServiceHost();
  ServiceHost(const ServiceHost&) = delete;
  ServiceHost& operator=(const ServiceHost&) = delete;

  // The body of ServiceMain; returns after the STOPPED report (or at once
  // when no control handler could be registered). Never throws.
  void Run() noexcept;
  // The body of ServiceCtrlHandler: NO_ERROR for a control it handles,
  // ERROR_CALL_NOT_IMPLEMENTED for any other. Never throws.
  DWORD HandleControl(DWORD control, DWORD eventType = 0) noexcept;
  // An address of the PC came or went (any thread): a pass follows soon.
  void AddressesChanged() noexcept;

 private:
  void RunLoop();
  // One pass on a thread of its own (on this one when none can be made);
  // returns its outcome when it has ended, reporting STOP_PENDING while a
  // stop waits for it.
  PassOutcome RunPassReportingStop(bool manual);
  // What ends the wait after a pass: the stop, or the pass that runs next.
  enum class NextPass { Stop, Timed, Forced, AfterChange };
  // Waits until the timed pass is due (on NowMs's clock), or less long for a
  // forced pass or one after a change.
  NextPass WaitForNextPass(HANDLE stopEvent, ULONGLONG timedPassDueMs);
  void SetPassUnderWay(bool underWay);
  // Caller holds mutex_.
  void ReportLocked(DWORD state, DWORD controlsAccepted, DWORD exitCode);
  void FinishLocked(DWORD exitCode);

  ServiceHostPlatform& platform_;
  std::mutex mutex_;
  SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
  SERVICE_STATUS status_{};
  DWORD checkpoint_ = 1;
  UniqueKernelHandle stopEvent_;
  UniqueKernelHandle passEvent_;  // auto-reset: a forced pass asked for, or an address change
  bool passUnderWay_ = false;     // asks for a forced pass meanwhile merge into it
  bool forcedAsked_ = false;      // what passEvent_ was set for besides changes
  ForcedPassSpacing forcedSpacing_;
  ChangeTrigger changes_;
  bool stopped_ = false;
};

// Named in the dispatcher table under "nimbard-demo"; runs the process's
// one ServiceHost with the real platform.
void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
// Registered with RegisterServiceCtrlHandlerExW (PRESHUTDOWN reaches only an
// extended handler); forwards to the running host.
DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

}  // namespace nimbard
