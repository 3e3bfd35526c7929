#include "net/public_ip.h"

#include "core/activity_log.h"
#include "core/text.h"
#include "net/api_hosts.h"
#include "net/http_exchange.h"

namespace nimbard {

std::wstring PublicIpLookup() {
  HttpRequest request;
  request.method = L"GET";
  request.host = kPublicIpHost;
  request.path = L"/";
  request.form = ExchangeForm::Short;
  const HttpResponse response = HttpExchange(request);
  if (!Succeeded(response)) {
    // Without a session there was no network attempt worth a line; the
    // caller still reports the empty address.
    if (response.sessionOpened) LogMessage(L"Public IP lookup failed.");
    return {};
  }
  return TrimWhitespace(WidenBytes(response.body));
}

}  // namespace nimbard
