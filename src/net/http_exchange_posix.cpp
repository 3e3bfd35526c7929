#include "net/http_steps.h"

namespace nimbard {

// There is no network client off Windows: every exchange fails before a
// session exists. Tests install their own transport.
HttpResponse PlatformHttpExchange(const HttpRequest&, ExchangeProgress&) { return HttpResponse{}; }

}  // namespace nimbard
