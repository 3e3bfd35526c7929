#pragma once
// One HTTPS request (port 443, TLS) and its outcome, bounded in time.
// HttpExchange runs the current transport (WinHTTP on Windows; tests install
// a scripted one through SetHttpTransport) on a thread of its own and waits
// for it until the request's deadline or a stop request, whichever comes
// first; a transport still at work then is left to end by itself.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace nimbard {

// Full form: provider requests. Short form: the public IPv4 lookup (no extra
// headers, no body, a non-2xx status ends the exchange before the body, a
// failing read just ends the body).
enum class ExchangeForm { Full, Short };

// Under a minute in total, whatever the server does: silent after the
// connection, dribbling its headers or body, or holding a short body open.
inline constexpr std::chrono::milliseconds kExchangeDeadline{55000};

struct HttpRequest {
  std::wstring method;   // "GET", "PUT" or "PATCH"
  std::wstring host;
  std::wstring path;     // begins with "/", sent unchanged
  std::wstring headers;  // extra header lines, each ending in CR LF
  std::string body;      // bytes; empty for GET
  ExchangeForm form = ExchangeForm::Full;
  std::chrono::milliseconds deadline = kExchangeDeadline;
};

// Why an exchange did not complete, kept until it reaches the log or the user.
enum class ExchangeFault {
  None,          // completed: the answer is whatever the status says
  NotSent,       // refused before any network step (a malformed request), or no thread or memory
  NoSession,     // the HTTP session itself could not be opened
  Platform,      // a WinHTTP or Win32 call failed: `error` holds its number
  TimedOut,      // the deadline passed first
  Stopped,       // a stop was requested
  BodyTooLarge,  // the answer would pass kMaxResponseBodyBytes
  BodyCut,       // the body ended before the length the server announced
};

struct HttpResponse {
  bool completed = false;
  std::uint32_t status = 0;  // 0 when the exchange failed before a status was read
  std::string body;          // raw bytes; may be partial when !completed
  ExchangeFault fault = ExchangeFault::None;
  std::uint32_t error = 0;   // the failed call's WinHTTP or Win32 error number (fault Platform)
  std::uint32_t retryAfterSeconds = 0;  // the answer's Retry-After header in seconds; 0 without one
};

// 200..299: the only statuses that count as success.
inline bool IsSuccessStatus(std::uint32_t status) { return status - 200u <= 99u; }

// completed and a success status.
bool Succeeded(const HttpResponse& response);

// Shared between a waiting caller and the transport at work for it.
struct ExchangeProgress {
  std::atomic<bool> abandoned{false};  // the caller stopped waiting
  std::atomic<std::uint32_t> status{0};  // the status, once read

  // False once the caller gave up or a stop was requested: the transport
  // takes no further step.
  bool KeepGoing() const;
  // Why KeepGoing said no: TimedOut for a caller who gave up, else Stopped.
  ExchangeFault Halted() const;
};

class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  virtual HttpResponse Exchange(const HttpRequest& request, ExchangeProgress& progress) = 0;
};

// Never throws. Fails at once, without a network attempt, while a stop is
// requested or the calling thread's work is cancelled (GiveUpRequested). An
// exchange that reaches its deadline or meets either fails with the status
// read so far (0 when none) and an empty body.
HttpResponse HttpExchange(const HttpRequest& request);

// Installs `transport` (not owned) for every later exchange; nullptr restores
// the platform's own. Returns the previous override (or nullptr).
HttpTransport* SetHttpTransport(HttpTransport* transport);

}  // namespace nimbard
