#include "net/http_exchange.h"

#include <atomic>

#include "net/http_steps.h"

namespace nimbard {

namespace {
std::atomic<HttpTransport*> g_override{nullptr};
}  // namespace

bool Succeeded(const HttpResponse& response) {
  return response.completed && IsSuccessStatus(response.status);
}

HttpResponse HttpExchange(const HttpRequest& request) {
  // Callers rely on a result, never an exception, whatever the transport does.
  try {
    if (HttpTransport* transport = g_override.load()) return transport->Exchange(request);
    return PlatformHttpExchange(request);
  } catch (...) {
    return HttpResponse{};
  }
}

HttpTransport* SetHttpTransport(HttpTransport* transport) {
  return g_override.exchange(transport);
}

}  // namespace nimbard
