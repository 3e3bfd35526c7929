#include <string_view>
#include <vector>

#include "net/http_steps.h"

namespace nimbard {

namespace {

// Owns one handle from the steps from the moment it is opened; declared in
// opening order, so the destructors close request, connection, session.
class StepHandle {
 public:
  StepHandle(HttpSteps& steps, HttpSteps::Handle handle) : steps_(steps), handle_(handle) {}
  ~StepHandle() {
    if (handle_) steps_.Close(handle_);
  }
  StepHandle(const StepHandle&) = delete;
  StepHandle& operator=(const StepHandle&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  HttpSteps::Handle get() const { return handle_; }

 private:
  HttpSteps& steps_;
  HttpSteps::Handle handle_;
};

// A failed step: the fault, with the step's own error number.
ExchangeFault PlatformFault(HttpSteps& steps, HttpResponse& response) {
  response.error = steps.LastError();
  return ExchangeFault::Platform;
}

bool HasNul(const std::wstring& text) { return text.find(L'\0') != std::wstring::npos; }

bool IsHeaderNameChar(wchar_t c) { return c > 0x20 && c < 0x7F && c != L':'; }

bool IsHeaderLine(std::wstring_view line) {
  const std::size_t colon = line.find(L':');
  if (colon == 0 || colon == std::wstring_view::npos) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    if (!IsHeaderNameChar(line[i])) return false;
  }
  return line.find_first_of(L"\r\n", colon) == std::wstring_view::npos;
}

// Reads the body as the server sent it. ExchangeFault::None when it arrived
// whole; otherwise why not: a failed availability query or read (the
// connection broke), a body that would pass the size limit, or a caller who
// stopped waiting.
ExchangeFault ReadBody(HttpSteps& steps, HttpSteps::Handle request, HttpResponse& response,
                       const ExchangeProgress& progress) {
  std::string& body = response.body;
  for (;;) {
    if (!progress.KeepGoing()) return progress.Halted();
    std::uint32_t available = 0;
    if (!steps.QueryDataAvailable(request, available)) return PlatformFault(steps, response);
    if (available == 0) return ExchangeFault::None;
    if (available > kMaxResponseBodyBytes - body.size()) return ExchangeFault::BodyTooLarge;
    std::vector<char> buffer(available);  // fresh and zero-filled per piece
    std::uint32_t read = 0;
    if (!steps.ReadData(request, buffer.data(), available, read)) return PlatformFault(steps, response);
    if (read > available) return ExchangeFault::BodyCut;  // a platform promise broken: trust nothing
    if (read == 0) return ExchangeFault::None;             // end of data
    body.append(buffer.data(), read);
  }
}

}  // namespace

bool IsSendableRequest(const HttpRequest& request) {
  if (request.host.empty() || HasNul(request.host) || request.path.empty() ||
      request.path[0] != L'/' || HasNul(request.path) || HasNul(request.headers)) {
    return false;
  }
  std::wstring_view rest = request.headers;
  while (!rest.empty()) {
    const std::size_t end = rest.find(L"\r\n");
    if (end == std::wstring_view::npos || !IsHeaderLine(rest.substr(0, end))) return false;
    rest.remove_prefix(end + 2);
  }
  return true;
}

HttpResponse RunHttpExchange(HttpSteps& steps, const HttpRequest& request,
                             ExchangeProgress& progress) {
  HttpResponse response;
  response.fault = ExchangeFault::NotSent;
  if (!IsSendableRequest(request)) return response;
  if (!progress.KeepGoing()) return response.fault = progress.Halted(), response;
  try {
    const bool full = request.form == ExchangeForm::Full;
    // Each step may block for long; a caller who gave up meanwhile gets no
    // further request out of this exchange. Every step that fails keeps its
    // error number.
    const auto failed = [&](ExchangeFault fault) { return response.fault = fault, response; };
    const auto halted = [&] { return !progress.KeepGoing(); };
    StepHandle session(steps, steps.OpenSession());
    if (!session) return response.error = steps.LastError(), failed(ExchangeFault::NoSession);
    if (halted()) return failed(progress.Halted());
    StepHandle connection(steps, steps.Connect(session.get(), request.host));
    if (!connection) return failed(PlatformFault(steps, response));
    if (halted()) return failed(progress.Halted());
    StepHandle handle(steps,
                      steps.OpenRequest(connection.get(), request.method, request.path));
    if (!handle) return failed(PlatformFault(steps, response));
    if (halted()) return failed(progress.Halted());
    if (!steps.Send(handle.get(), full ? &request.headers : nullptr,
                    full ? std::string_view(request.body) : std::string_view())) {
      return failed(PlatformFault(steps, response));
    }
    if (halted()) return failed(progress.Halted());
    if (!steps.ReceiveResponse(handle.get())) return failed(PlatformFault(steps, response));
    if (halted()) return failed(progress.Halted());
    std::uint32_t status = 0;
    if (!steps.QueryStatus(handle.get(), status)) return failed(PlatformFault(steps, response));
    response.status = status;
    progress.status.store(status);
    std::uint32_t wait = 0;
    if (steps.QueryRetryAfter(handle.get(), wait)) response.retryAfterSeconds = wait;
    response.fault = ExchangeFault::None;
    // The address lookup has no use for the body of a refusal.
    if (!full && !IsSuccessStatus(status)) return response;

    std::uint64_t announced = 0;
    const bool hasLength = steps.QueryContentLength(handle.get(), announced);
    response.fault = ReadBody(steps, handle.get(), response, progress);
    // A connection dropped mid-body can look like a normal end of data; the
    // announced length tells the two apart.
    if (response.fault == ExchangeFault::None && hasLength && announced != response.body.size()) {
      response.fault = ExchangeFault::BodyCut;
    }
    response.completed = response.fault == ExchangeFault::None;
  } catch (...) {
    // Out of memory while collecting the body: the handles are closed by now.
    response.completed = false;
    response.fault = ExchangeFault::NotSent;
  }
  return response;
}

}  // namespace nimbard
