#include "net/failure_cause.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "core/activity_log.h"
#include "core/text.h"

namespace nimbard {
namespace {

struct WindowsError {
  std::uint32_t number;
  const wchar_t* meaning;
  Trouble trouble;
};

// The errors WinHTTP documents for a request that got no answer.
constexpr WindowsError kWindowsErrors[] = {
    {12001, L"no more connections could be opened", Trouble::NoNetwork},
    {12002, L"the request timed out", Trouble::TimedOut},
    {12004, L"WinHTTP failed internally", Trouble::Unknown},
    {12007, L"the server's name could not be resolved", Trouble::NoNetwork},
    {12017, L"the request was cancelled", Trouble::Unknown},
    {12029, L"could not connect to the server", Trouble::NoNetwork},
    {12030, L"the connection to the server was broken", Trouble::NoNetwork},
    {12032, L"the request had to be sent again", Trouble::NoNetwork},
    {12037, L"the server's certificate has expired or is not yet valid", Trouble::NotTrusted},
    {12038, L"the server's certificate is for another name", Trouble::NotTrusted},
    {12044, L"the server asked for a client certificate", Trouble::NotTrusted},
    {12045, L"the server's certificate comes from an authority this computer does not trust", Trouble::NotTrusted},
    {12057, L"the certificate's revocation could not be checked", Trouble::NotTrusted},
    {12152, L"the server's answer could not be read", Trouble::NoNetwork},
    {12156, L"a redirection failed", Trouble::Redirected},
    {12157, L"the secure channel could not be set up", Trouble::NotTrusted},
    {12166, L"the proxy configuration script failed", Trouble::ProxySetup},
    {12167, L"the proxy configuration script could not be downloaded", Trouble::ProxySetup},
    {12169, L"the server's certificate is invalid", Trouble::NotTrusted},
    {12170, L"the server's certificate was revoked", Trouble::NotTrusted},
    {12175, L"the server's certificate is not trusted", Trouble::NotTrusted},
    {12178, L"the automatic proxy service failed", Trouble::ProxySetup},
    {12179, L"the server's certificate is not meant for a server", Trouble::NotTrusted},
    {12180, L"no proxy could be found automatically", Trouble::ProxySetup},
};

struct ProviderCode {
  Provider provider;
  const wchar_t* code;
  Trouble trouble;
  Trouble forbidden;  // what the code means in a 403; Unknown: the 403's own trouble
};

// The providers' own error codes that name a cause. Cloudflare's 10000 in a
// 403 comes both for a token that is not valid and for a valid one without
// the permission or the zone. Its 9109 means a missing permission, or a
// token used from an address it does not allow; the message tells which.
constexpr ProviderCode kProviderCodes[] = {
    {Provider::Cloudflare, L"10000", Trouble::BadCredential, Trouble::TokenOrPermission},
    {Provider::Cloudflare, L"6003", Trouble::BadCredential, Trouble::BadCredential},
    {Provider::Cloudflare, L"6111", Trouble::BadCredential, Trouble::BadCredential},
    {Provider::Cloudflare, L"9106", Trouble::BadCredential, Trouble::BadCredential},
    {Provider::Cloudflare, L"9109", Trouble::NoDnsPermission, Trouble::NoDnsPermission},
    {Provider::Cloudflare, L"7000", Trouble::NotFound, Trouble::Unknown},
    {Provider::Cloudflare, L"7003", Trouble::NotFound, Trouble::Unknown},
    {Provider::Cloudflare, L"81044", Trouble::NotFound, Trouble::Unknown},
    {Provider::GoDaddy, L"UNABLE_TO_AUTHENTICATE", Trouble::BadCredential, Trouble::BadCredential},
    {Provider::GoDaddy, L"ACCESS_DENIED", Trouble::NoApiAccess, Trouble::NoApiAccess},
    {Provider::GoDaddy, L"NOT_FOUND", Trouble::DomainNotInAccount, Trouble::Unknown},
    {Provider::GoDaddy, L"UNKNOWN_DOMAIN", Trouble::DomainNotInAccount, Trouble::Unknown},
    {Provider::GoDaddy, L"TOO_MANY_REQUESTS", Trouble::RateLimited, Trouble::Unknown},
};

// The wait assumed when a rate-limited answer names none.
constexpr std::uint32_t kDefaultRateLimitWaitSeconds = 60;
// A wait beyond this is taken for a server's mistake.
constexpr std::uint32_t kLongestRateLimitWaitSeconds = 24 * 60 * 60;

const wchar_t* ProviderName(Provider provider) {
  const wchar_t* name = ProviderDisplayName(provider);
  return name ? name : L"The echo service";
}

Trouble FromStatus(std::uint32_t status, Provider provider, RequestKind kind) {
  const bool cloudflare = provider == Provider::Cloudflare;
  if (status == 401) return provider == Provider::Unknown ? Trouble::Refused : Trouble::BadCredential;
  if (status == 403 && cloudflare) return kind == RequestKind::ZoneSearch ? Trouble::NoZoneRead : Trouble::NoDnsPermission;
  if (status == 403 && provider == Provider::GoDaddy) return Trouble::NoApiAccess;
  if (status == 404 && cloudflare) return Trouble::NotFound;
  if (status == 404 && provider == Provider::GoDaddy) return Trouble::DomainNotInAccount;
  if (status == 429) return Trouble::RateLimited;
  if (status >= 500 && status <= 599) return Trouble::ServerTrouble;
  if (status >= 300 && status <= 399) return Trouble::Redirected;
  return status >= 400 ? Trouble::Refused : Trouble::Unknown;
}

Trouble FromCodes(const RequestFailure& failure, Provider provider, RequestKind kind) {
  const bool forbidden = failure.status == 403;
  for (const ApiError& error : failure.apiErrors) {
    for (const ProviderCode& known : kProviderCodes) {
      if (known.provider != provider || error.code != known.code) continue;
      const Trouble trouble = forbidden ? known.forbidden : known.trouble;
      if (trouble == Trouble::Unknown) break;  // perhaps a later code says more
      if (trouble != Trouble::NoDnsPermission) return trouble;
      // "Cannot use the access token from location: 203.0.113.7"
      if (error.message.find(L"location") != std::wstring::npos) return Trouble::AddressRestricted;
      return kind == RequestKind::ZoneSearch ? Trouble::NoZoneRead : Trouble::NoDnsPermission;
    }
  }
  return Trouble::Unknown;
}

// A status that says by itself what kind of trouble it is: the codes only
// add their words to the cause line. A 403 leaves the codes to tell which
// refusal it is.
bool StatusDecides(std::uint32_t status) { return status == 429 || (status >= 500 && status <= 599); }

std::wstring Advice(Trouble trouble, Provider provider, std::uint32_t waitSeconds) {
  switch (trouble) {
    case Trouble::NoNetwork:
      return L"check that this computer is online and that no firewall or security program blocks nimbard.exe";
    case Trouble::TimedOut:
      return L"the network or the server is very slow, or something holds the connection; the next check tries again";
    case Trouble::NotTrusted:
      return L"check the computer's date and time, and any security program or proxy that inspects encrypted traffic";
    case Trouble::ProxySetup:
      return L"check Windows' proxy settings (Settings, Network and internet, Proxy)";
    case Trouble::BadCredential:
      return provider == Provider::GoDaddy
                 ? L"enter the key and secret of a GoDaddy Production key as KEY:SECRET"
                 : L"the API token is mistyped, deleted or expired; create one with the \"Edit zone DNS\" template";
    case Trouble::TokenOrPermission:
      return L"the token is not valid, or it lacks the permission for this zone or record: if the dashboard's "
             L"list of API tokens (My Profile, API Tokens) does not show it as Active, create one with the \"Edit "
             L"zone DNS\" template; if it does, check that its permission Zone, DNS, Edit includes this zone";
    case Trouble::NoDnsPermission:
      return L"give the token the permission Zone, DNS, Edit for this zone";
    case Trouble::NoZoneRead:
      return L"finding the Zone ID needs the permission Zone, Zone, Read: add it to the token, or enter the Zone ID";
    case Trouble::AddressRestricted:
      return L"the token may only be used from other IP addresses: remove its Client IP Address Filtering";
    case Trouble::NotFound:
      return L"check the Zone ID and Record ID, or leave both empty so that nimbard finds them";
    case Trouble::NoApiAccess:
      return L"GoDaddy allows its DNS API only for accounts with 10 or more domains or a Discount Domain Club "
             L"Premier plan, and only for domains in the key's own account";
    case Trouble::DomainNotInAccount:
      return L"this account holds no such domain: check the Domain box";
    case Trouble::RateLimited:
      return L"too many requests: nimbard does not ask again for this record for " + DecimalText(waitSeconds) +
             L" seconds";
    case Trouble::ServerTrouble:
      return L"trouble at the server; the next check tries again";
    case Trouble::Redirected:
      return L"the answer pointed elsewhere, usually a proxy or filter on the network; nimbard does not follow it";
    case Trouble::Refused:
    case Trouble::Unknown:
      break;
  }
  return L"the next check tries again";
}

// What the failure was, in the terms it came in.
std::wstring WhatHappened(const RequestFailure& failure, Provider provider) {
  std::wstring what;
  const std::size_t shown = std::min(failure.apiErrors.size(), kMaxApiErrors);
  for (std::size_t i = 0; i < shown; ++i) {
    const ApiError& error = failure.apiErrors[i];
    if (!what.empty()) what += L", ";
    what += std::wstring(ProviderName(provider)) + L" error " + CutText(error.code, kMaxApiErrorChars);
    if (!error.message.empty()) what += L" (" + CutText(error.message, kMaxApiErrorChars) + L")";
  }
  if (!what.empty()) return what;
  switch (failure.fault) {
    case ExchangeFault::Platform: {
      const std::wstring meaning = WindowsErrorMeaning(failure.error);
      return L"Windows error " + DecimalText(failure.error) + (meaning.empty() ? L"" : L" (" + meaning + L")");
    }
    case ExchangeFault::TimedOut:
      return L"no answer within " +
             DecimalText(static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(kExchangeDeadline).count())) +
             L" seconds";
    case ExchangeFault::BodyCut:
      return L"the answer was cut off";
    case ExchangeFault::BodyTooLarge:
      return L"the answer was too large";
    case ExchangeFault::NoSession:
      // WinHTTP itself may be what could not be loaded: the error says why.
      return L"Windows' HTTP service could not be started" +
             (failure.error ? L" (Windows error " + DecimalText(failure.error) + L")" : std::wstring());
    default:
      return L"HTTP " + DecimalText(failure.status);
  }
}

}  // namespace

std::uint32_t RateLimitWaitSeconds(const RequestFailure& failure) {
  if (failure.retryAfterSeconds == 0) return kDefaultRateLimitWaitSeconds;
  return std::min(failure.retryAfterSeconds, kLongestRateLimitWaitSeconds);
}

std::wstring WindowsErrorMeaning(std::uint32_t error) {
  for (const WindowsError& known : kWindowsErrors) {
    if (known.number == error) return known.meaning;
  }
  return {};
}

FailureCause ExplainFailure(const RequestFailure& failure, Provider provider, RequestKind kind) {
  FailureCause cause;
  if (!StatusDecides(failure.status)) cause.trouble = FromCodes(failure, provider, kind);
  if (cause.trouble == Trouble::Unknown && failure.fault == ExchangeFault::Platform) {
    for (const WindowsError& known : kWindowsErrors) {
      if (known.number == failure.error) cause.trouble = known.trouble;
    }
  }
  if (cause.trouble == Trouble::Unknown && failure.fault == ExchangeFault::TimedOut) cause.trouble = Trouble::TimedOut;
  if (cause.trouble == Trouble::Unknown) cause.trouble = FromStatus(failure.status, provider, kind);
  const bool tokenRefused = cause.trouble == Trouble::BadCredential || cause.trouble == Trouble::TokenOrPermission;
  if (kind == RequestKind::UnchangedWrite && provider == Provider::Cloudflare && tokenRefused) {
    cause.trouble = Trouble::NoDnsPermission;
  }
  // A stop needs no cause, and a request never sent has its own line.
  if (failure.fault == ExchangeFault::Stopped || failure.unsentField != nullptr) return cause;
  cause.logLine = L"Cause: " + WhatHappened(failure, provider) + L": " +
                  Advice(cause.trouble, provider, RateLimitWaitSeconds(failure)) + L".";
  return cause;
}

void LogCause(const RequestFailure& failure, Provider provider, RequestKind kind) {
  // An answer that was not an address is no failed request.
  if (failure.status == 0 && failure.fault == ExchangeFault::None && failure.apiErrors.empty()) return;
  const FailureCause cause = ExplainFailure(failure, provider, kind);
  if (!cause.logLine.empty()) LogMessage(cause.logLine);
}

std::wstring PlainWords(Trouble trouble, Provider provider) {
  // An echo service is named by what it does, in the middle of a sentence as at its start.
  const std::wstring name = provider == Provider::Unknown ? L"the service that tells nimbard this computer's address"
                                                          : ProviderName(provider);
  const std::wstring atStart = provider == Provider::Unknown ? L"The service that tells nimbard this computer's address"
                                                          : name;
  switch (trouble) {
    case Trouble::NoNetwork:
      return L"nimbard could not reach " + name +
             L". Check that this computer is online, and that no firewall or security program blocks nimbard.exe.";
    case Trouble::TimedOut:
      return atStart + L" did not answer in time. The network may be very slow, or something holds the connection. "
                    L"Try again in a moment.";
    case Trouble::NotTrusted:
      return L"The secure connection to " + name +
             L" failed. Check this computer's date and time, and any security program or proxy that inspects "
             L"encrypted traffic.";
    case Trouble::ProxySetup:
      return L"Windows' proxy settings failed. Check them in Settings, Network and internet, Proxy.";
    case Trouble::BadCredential:
      return provider == Provider::GoDaddy
                 ? L"GoDaddy does not accept this key and secret. Enter them as KEY:SECRET, from a Production key "
                   L"(not an OTE test key)."
                 : L"Cloudflare does not accept this API token. It may be mistyped, deleted or expired. Create a "
                   L"token with the \"Edit zone DNS\" template and paste it here.";
    case Trouble::TokenOrPermission:
      return L"Cloudflare refused this API token: either it is not valid, or it lacks the permission for this "
             L"zone or record. In the Cloudflare dashboard, open My Profile, API Tokens: if the token is not listed "
             L"as Active, create one with the \"Edit zone DNS\" template and paste it here; if it is, check that "
             L"its permission Zone, DNS, Edit includes this zone.";
    case Trouble::NoDnsPermission:
      return L"This Cloudflare token may not change the DNS records of this domain. Give it the permission Zone, "
             L"DNS, Edit for this zone.";
    case Trouble::NoZoneRead:
      return L"This Cloudflare token may not look zones up, so nimbard cannot find the Zone ID. Add the permission "
             L"Zone, Zone, Read to the token, or enter the Zone ID yourself.";
    case Trouble::AddressRestricted:
      return L"This Cloudflare token may only be used from other IP addresses. Remove its Client IP Address "
             L"Filtering: your address is the one that changes.";
    case Trouble::NotFound:
      return L"Cloudflare has no such zone or record. Check the Zone ID and Record ID, or leave both empty so that "
             L"nimbard finds them from the names.";
    case Trouble::NoApiAccess:
      return L"GoDaddy does not let this account use its DNS API. GoDaddy allows it only for accounts with 10 or "
             L"more domains or a Discount Domain Club Premier plan, and only for domains in the key's own account.";
    case Trouble::DomainNotInAccount:
      return L"This GoDaddy account holds no such domain. Check the Domain box: just the domain, such as "
             L"example.com.";
    case Trouble::RateLimited:
      return atStart + L" asks nimbard to wait: too many requests in a short time. Try again in a few minutes.";
    case Trouble::ServerTrouble:
      return atStart + L" has trouble at the moment. Try again later.";
    case Trouble::Redirected:
      return L"Something on this network answered in " + name +
             L"'s place (a proxy or filter). Check the network's proxy or filter settings.";
    case Trouble::Refused:
    case Trouble::Unknown:
      break;
  }
  return atStart + L" refused the request. The log (Open Log File) says why.";
}

}  // namespace nimbard
