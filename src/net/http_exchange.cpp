#include "net/http_exchange.h"

#include <memory>

#include "core/stop_request.h"
#include "core/worker_thread.h"
#include "net/http_steps.h"

namespace nimbard {

namespace {

std::atomic<HttpTransport*> g_override{nullptr};

// One exchange handed to a thread of its own. Shared by the caller and that
// thread, so that a caller who stops waiting leaves the thread a whole object.
struct ExchangeJob {
  HttpRequest request;
  HttpTransport* transport = nullptr;  // nullptr: the platform's own
  ExchangeProgress progress;
  HttpResponse response;             // written by the thread before `finished`
  std::atomic<bool> finished{false};

  void Run() noexcept {
    try {
      response = transport ? transport->Exchange(request, progress)
                           : PlatformHttpExchange(request, progress);
    } catch (...) {
      response = HttpResponse{};
      response.fault = ExchangeFault::NotSent;
    }
    finished.store(true);
    WakeStopWaiters();
  }
};

}  // namespace

bool ExchangeProgress::KeepGoing() const { return !abandoned.load() && !StopRequested.load(); }

ExchangeFault ExchangeProgress::Halted() const {
  return abandoned.load() ? ExchangeFault::TimedOut : ExchangeFault::Stopped;
}

bool Succeeded(const HttpResponse& response) {
  return response.completed && IsSuccessStatus(response.status);
}

HttpResponse HttpExchange(const HttpRequest& request) {
  // Callers rely on a result, never an exception, whatever the transport does.
  try {
    HttpResponse notSent;
    notSent.fault = ExchangeFault::Stopped;
    if (GiveUpRequested()) return notSent;
    const auto deadline = std::chrono::steady_clock::now() + request.deadline;
    auto job = std::make_shared<ExchangeJob>();
    job->request = request;
    job->transport = g_override.load();
    if (!StartDetachedThread([job] { job->Run(); })) {
      HttpResponse noThread;  // nothing was sent
      noThread.fault = ExchangeFault::NotSent;
      return noThread;
    }
    if (WaitUntilStopOr(deadline, [&job] { return job->finished.load(); })) {
      return std::move(job->response);
    }
    HttpResponse givenUp;
    givenUp.fault = GiveUpRequested() ? ExchangeFault::Stopped : ExchangeFault::TimedOut;
    job->progress.abandoned.store(true);
    givenUp.status = job->progress.status.load();
    return givenUp;
  } catch (...) {
    HttpResponse notSent;  // no thread or no memory: nothing was sent
    notSent.fault = ExchangeFault::NotSent;
    return notSent;
  }
}

HttpTransport* SetHttpTransport(HttpTransport* transport) {
  return g_override.exchange(transport);
}

}  // namespace nimbard
