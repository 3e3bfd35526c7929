// What a failed request means: the provider's own codes, the Windows error numbers and the bare statuses, each
// turned into a trouble and the log's cause line.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/text.h"
#include "net/failure_cause.h"

namespace nimbard {
namespace {

RequestFailure Answer(std::uint32_t status, std::vector<ApiError> errors = {}, std::uint32_t retryAfter = 0) {
  RequestFailure f;
  f.status = status, f.apiErrors = std::move(errors), f.retryAfterSeconds = retryAfter;
  return f;
}
RequestFailure NoAnswer(ExchangeFault fault, std::uint32_t error = 0) {
  RequestFailure f;
  f.fault = fault, f.error = error;
  return f;
}

TEST(FailureCause, CodesNumbersAndStatuses) {
  using T = Trouble;
  const auto cf = Provider::Cloudflare, gd = Provider::GoDaddy, echo = Provider::Unknown;
  const auto lookup = RequestKind::RecordLookup, zones = RequestKind::ZoneSearch, rewrite = RequestKind::UnchangedWrite;
  const std::string tokenOrPermission =
      "Cloudflare error 10000 (Authentication error): the token is not valid, or it lacks the permission for this zone or record: if the dashboard's list of API "
      "tokens (My Profile, API Tokens) does not show it as Active, create one with the \"Edit zone DNS\" template; if it does, check that its permission Zone, "
      "DNS, Edit includes this zone.";
  const std::string online = "check that this computer is online and that no firewall or security program blocks nimbard.exe.";
  const struct { Provider provider; RequestKind kind; RequestFailure failure; Trouble trouble; std::string line; } cases[] = {
      // Cloudflare's codes; 9109 by what was asked and what the message says.
      {cf, lookup, Answer(400, {{L"10000", L"Authentication error"}}), T::BadCredential,
       "Cloudflare error 10000 (Authentication error): the API token is mistyped, deleted or expired; create one with the \"Edit zone DNS\" template."},
      {cf, lookup, Answer(403, {{L"9109", L"Unauthorized to access requested resource"}}), T::NoDnsPermission,
       "Cloudflare error 9109 (Unauthorized to access requested resource): give the token the permission Zone, DNS, Edit for this zone."},
      {cf, zones, Answer(403, {{L"9109", L"Unauthorized to access requested resource"}}), T::NoZoneRead,
       "Cloudflare error 9109 (Unauthorized to access requested resource): finding the Zone ID needs the permission Zone, Zone, Read: add it to the token, or enter the Zone ID."},
      {cf, lookup, Answer(403, {{L"9109", L"Cannot use the access token from location: 203.0.113.7"}}), T::AddressRestricted,
       "Cloudflare error 9109 (Cannot use the access token from location: 203.0.113.7): the token may only be used from other IP addresses: remove its Client IP Address Filtering."},
      {cf, lookup, Answer(404, {{L"7003", L"Could not route"}, {L"7000", L"No route"}}), T::NotFound,
       "Cloudflare error 7003 (Could not route), Cloudflare error 7000 (No route): check the Zone ID and Record ID, or leave both empty so that nimbard finds them."},
      {cf, lookup, Answer(404, {{L"81044", L""}}), T::NotFound, "Cloudflare error 81044: check the Zone ID and Record ID, or leave both empty so that nimbard finds them."},
      // GoDaddy's codes.
      {gd, lookup, Answer(401, {{L"UNABLE_TO_AUTHENTICATE", L"Unauthorized"}}), T::BadCredential,
       "GoDaddy error UNABLE_TO_AUTHENTICATE (Unauthorized): enter the key and secret of a GoDaddy Production key as KEY:SECRET."},
      {gd, lookup, Answer(403, {{L"ACCESS_DENIED", L"Authenticated user is not allowed access"}}), T::NoApiAccess,
       "GoDaddy error ACCESS_DENIED (Authenticated user is not allowed access): GoDaddy allows its DNS API only for accounts with 10 or more domains or a Discount Domain Club Premier plan, and only for domains in the key's own account."},
      {gd, lookup, Answer(404, {{L"UNKNOWN_DOMAIN", L"unknown"}}), T::DomainNotInAccount, "GoDaddy error UNKNOWN_DOMAIN (unknown): this account holds no such domain: check the Domain box."},
      {gd, lookup, Answer(429, {{L"TOO_MANY_REQUESTS", L"slow"}}, 30), T::RateLimited, "GoDaddy error TOO_MANY_REQUESTS (slow): too many requests: nimbard does not ask again for this record for 30 seconds."},
      // Cloudflare's 403, 401 and 400: a 403 with 10000 may be a token that is not valid or one without the permission.
      {cf, lookup, Answer(403, {{L"10000", L"Authentication error"}}), T::TokenOrPermission, tokenOrPermission},
      {cf, zones, Answer(403, {{L"10000", L"Authentication error"}}), T::TokenOrPermission, tokenOrPermission},
      // The write back of a record the same token has just read: a refused token is one without the permission.
      {cf, rewrite, Answer(403, {{L"10000", L"Authentication error"}}), T::NoDnsPermission,
       "Cloudflare error 10000 (Authentication error): give the token the permission Zone, DNS, Edit for this zone."},
      {cf, rewrite, Answer(401), T::NoDnsPermission, "HTTP 401: give the token the permission Zone, DNS, Edit for this zone."},
      {gd, rewrite, Answer(403, {{L"ACCESS_DENIED", L""}}), T::NoApiAccess,
       "GoDaddy error ACCESS_DENIED: GoDaddy allows its DNS API only for accounts with 10 or more domains or a Discount Domain Club Premier plan, and only for domains in the key's own account."},
      {cf, lookup, Answer(403, {{L"7003", L"Could not route"}}), T::NoDnsPermission,
       "Cloudflare error 7003 (Could not route): give the token the permission Zone, DNS, Edit for this zone."},
      {cf, lookup, Answer(403), T::NoDnsPermission, "HTTP 403: give the token the permission Zone, DNS, Edit for this zone."},
      {cf, lookup, Answer(401, {{L"10000", L"Authentication error"}}), T::BadCredential,
       "Cloudflare error 10000 (Authentication error): the API token is mistyped, deleted or expired; create one with the \"Edit zone DNS\" template."},
      {cf, lookup, Answer(401), T::BadCredential, "HTTP 401: the API token is mistyped, deleted or expired; create one with the \"Edit zone DNS\" template."},
      {cf, lookup, Answer(400, {{L"6003", L"Invalid request headers"}}), T::BadCredential,
       "Cloudflare error 6003 (Invalid request headers): the API token is mistyped, deleted or expired; create one with the \"Edit zone DNS\" template."},
      {cf, lookup, Answer(400), T::Refused, "HTTP 400: the next check tries again."},
      // A 429 and a 5xx are what their status says, whatever their codes; the codes still name themselves.
      {cf, lookup, Answer(429, {{L"10000", L"Authentication error"}}, 20), T::RateLimited,
       "Cloudflare error 10000 (Authentication error): too many requests: nimbard does not ask again for this record for 20 seconds."},
      {cf, lookup, Answer(503, {{L"9109", L"Unauthorized to access requested resource"}}), T::ServerTrouble,
       "Cloudflare error 9109 (Unauthorized to access requested resource): trouble at the server; the next check tries again."},
      {cf, lookup, Answer(502, {{L"7003", L"Could not route"}}), T::ServerTrouble, "Cloudflare error 7003 (Could not route): trouble at the server; the next check tries again."},
      {cf, lookup, Answer(500), T::ServerTrouble, "HTTP 500: trouble at the server; the next check tries again."},
      {gd, lookup, Answer(503, {{L"UNABLE_TO_AUTHENTICATE", L""}}), T::ServerTrouble, "GoDaddy error UNABLE_TO_AUTHENTICATE: trouble at the server; the next check tries again."},
      {gd, lookup, Answer(403, {{L"UNKNOWN_DOMAIN", L"unknown"}}), T::NoApiAccess,
       "GoDaddy error UNKNOWN_DOMAIN (unknown): GoDaddy allows its DNS API only for accounts with 10 or more domains or a Discount Domain Club Premier plan, and only for domains in the key's own account."},
      // Bare statuses, by provider.
      {cf, lookup, Answer(429), T::RateLimited, "HTTP 429: too many requests: nimbard does not ask again for this record for 60 seconds."},
      {gd, lookup, Answer(403), T::NoApiAccess, "HTTP 403: GoDaddy allows its DNS API only for accounts with 10 or more domains or a Discount Domain Club Premier plan, and only for domains in the key's own account."},
      {cf, zones, Answer(403), T::NoZoneRead, "HTTP 403: finding the Zone ID needs the permission Zone, Zone, Read: add it to the token, or enter the Zone ID."},
      {gd, lookup, Answer(503), T::ServerTrouble, "HTTP 503: trouble at the server; the next check tries again."},
      {echo, RequestKind::EchoService, Answer(401), T::Refused, "HTTP 401: the next check tries again."},
      {cf, lookup, Answer(302), T::Redirected, "HTTP 302: the answer pointed elsewhere, usually a proxy or filter on the network; nimbard does not follow it."},
      // No answer: the Windows error number and its meaning.
      {cf, lookup, NoAnswer(ExchangeFault::Platform, 12007), T::NoNetwork, "Windows error 12007 (the server's name could not be resolved): " + online},
      {echo, RequestKind::EchoService, NoAnswer(ExchangeFault::Platform, 12029), T::NoNetwork, "Windows error 12029 (could not connect to the server): " + online},
      {gd, lookup, NoAnswer(ExchangeFault::Platform, 12002), T::TimedOut, "Windows error 12002 (the request timed out): the network or the server is very slow, or something holds the connection; the next check tries again."},
      {cf, lookup, NoAnswer(ExchangeFault::Platform, 12175), T::NotTrusted, "Windows error 12175 (the server's certificate is not trusted): check the computer's date and time, and any security program or proxy that inspects encrypted traffic."},
      {cf, lookup, NoAnswer(ExchangeFault::Platform, 12180), T::ProxySetup, "Windows error 12180 (no proxy could be found automatically): check Windows' proxy settings (Settings, Network and internet, Proxy)."},
      {cf, lookup, NoAnswer(ExchangeFault::Platform, 5), T::Unknown, "Windows error 5: the next check tries again."},
      {cf, lookup, NoAnswer(ExchangeFault::TimedOut), T::TimedOut, "no answer within 55 seconds: the network or the server is very slow, or something holds the connection; the next check tries again."},
      // No session: WinHTTP could not be loaded or opened, and why.
      {echo, RequestKind::EchoService, NoAnswer(ExchangeFault::NoSession, 126), T::Unknown, "Windows' HTTP service could not be started (Windows error 126): the next check tries again."},
      // Nothing to add: a stop, and a request never sent (its own line says why).
      {cf, lookup, NoAnswer(ExchangeFault::Stopped), T::Unknown, ""},
  };
  for (const auto& c : cases) {
    const FailureCause cause = ExplainFailure(c.failure, c.provider, c.kind);
    EXPECT_EQ(cause.trouble, c.trouble) << c.line;
    EXPECT_EQ(NarrowLow8(cause.logLine), c.line.empty() ? "" : "Cause: " + c.line);
  }
  RequestFailure unsent = Answer(0);
  unsent.unsentField = L"apiKey";
  EXPECT_EQ(ExplainFailure(unsent, Provider::Cloudflare, RequestKind::Update).logLine, L"");
  // Every trouble has words of its own for the dialog.
  std::set<std::wstring> words;
  for (int t = 0; t <= static_cast<int>(Trouble::Refused); ++t) words.insert(PlainWords(static_cast<Trouble>(t), Provider::GoDaddy));
  EXPECT_EQ(words.size(), static_cast<std::size_t>(Trouble::Refused));  // Unknown and Refused share theirs
}

}  // namespace
}  // namespace nimbard
