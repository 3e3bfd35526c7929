#include "net/public_ip.h"

#include <array>
#include <cstdint>

#include "core/activity_log.h"
#include "core/platform.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "net/api_hosts.h"
#include "net/failure_cause.h"
#include "net/http_exchange.h"
#include "net/request_fields.h"

namespace nimbard {
namespace {

// An echo service's answer is logged when it is refused; it comes from the
// network, so a pass must not write megabytes of it.
constexpr std::size_t kMaxLoggedAnswer = 256;

struct Range {
  std::uint32_t first;
  int prefixBits;
};
constexpr std::uint32_t Address(std::uint32_t a, std::uint32_t b) { return (a << 24) | (b << 16); }
constexpr Range kNotPublic[] = {
    {Address(0, 0), 8},    {Address(10, 0), 8},    {Address(100, 64), 10}, {Address(127, 0), 8},
    {Address(169, 254), 16}, {Address(172, 16), 12}, {Address(192, 168), 16}, {Address(224, 0), 4},
    {Address(240, 0), 4},
};

// The four numbers of a text that IsIPv4Text accepted.
std::uint32_t AddressValue(const std::wstring& dotted) {
  std::uint32_t value = 0, part = 0;
  for (wchar_t c : dotted) {
    if (c == L'.') {
      value = (value << 8) | part;
      part = 0;
    } else {
      part = part * 10 + static_cast<std::uint32_t>(c - L'0');
    }
  }
  return (value << 8) | part;
}

}  // namespace

bool IsPublicIPv4(const std::wstring& address) {
  if (!platform::IsIPv4Text(address)) return false;
  const std::uint32_t value = AddressValue(address);
  for (const Range& range : kNotPublic) {
    const std::uint32_t mask = ~std::uint32_t(0) << (32 - range.prefixBits);
    if ((value & mask) == range.first) return false;
  }
  return true;
}

PublicAddress PublicIpLookup() {
  PublicAddress result;
  const std::array<const wchar_t*, 2> hosts = {kPublicIpHost, kPublicIpFallbackHost};
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    const std::wstring host = hosts[i];
    const bool last = i + 1 == hosts.size();
    const std::wstring next = last ? L"" : hosts[i + 1];
    HttpRequest request;
    request.method = L"GET";
    request.host = host;
    request.path = L"/";
    request.form = ExchangeForm::Short;
    const HttpResponse response = HttpExchange(request);
    result.answered = result.answered || response.status != 0;
    // Without a session there was no network attempt worth a line, and the
    // next service would fare no better; the caller still reports the
    // empty address.
    if (response.fault == ExchangeFault::NoSession) {
      result.failure = FailureOf(response);
      return result;
    }
    if (!Succeeded(response)) {
      result.failure = FailureOf(response);
      if (last || GiveUpRequested()) break;
      LogMessage(L"Public IP lookup at " + host + L" failed (HTTP " + DecimalText(response.status) + L"). Asking " + next + L".");
      LogCause(result.failure, Provider::Unknown, RequestKind::EchoService);
      continue;
    }
    const std::wstring answer = TrimWhitespace(WidenBytes(response.body));
    if (!platform::IsIPv4Text(answer)) {
      result.lastAnswer = answer;
      result.failure = {};
      if (last) break;
      LogMessage(L"Public IP lookup at " + host + L" returned an invalid IPv4 address: " +
                 ShortenForLog(answer, kMaxLoggedAnswer) + L". Asking " + next + L".");
      continue;
    }
    if (!IsPublicIPv4(answer)) {
      result.lastAnswer = answer;
      result.failure = {};
      LogMessage(L"Public IP lookup at " + host + L" returned " + answer +
                 L", which is not a public address: a VPN, proxy or sign-in page may be answering.");
      continue;
    }
    if (i > 0) LogMessage(L"Public IP from " + host + L": " + answer + L".");
    result.address = answer;
    return result;
  }
  LogMessage(L"Public IP lookup failed.");
  LogCause(result.failure, Provider::Unknown, RequestKind::EchoService);
  return result;
}

}  // namespace nimbard
