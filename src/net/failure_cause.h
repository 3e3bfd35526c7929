#pragma once
// What a failed request means to the person at the computer. The causes a
// home user meets (no network, a refused token, a GoDaddy account without
// API access, ...) each have a line for the log, naming the provider's own
// code or the Windows error number, and plain words for a message box.
#include <string>

#include "core/record_config.h"
#include "net/request_failure.h"

namespace nimbard {

enum class Trouble {
  Unknown,             // nothing more is known than the status
  NoNetwork,           // name not resolved, no connection, connection broken
  TimedOut,            // no answer in time
  NotTrusted,          // the secure connection failed: certificate, clock, inspecting proxy
  ProxySetup,          // Windows' proxy settings failed
  BadCredential,       // the token, or GoDaddy's key and secret, refused
  TokenOrPermission,   // a Cloudflare token refused as invalid or as lacking the permission: its answer tells no more
  NoDnsPermission,     // a Cloudflare token that may not change this zone's DNS
  NoZoneRead,          // a Cloudflare token that may not look zones up
  AddressRestricted,   // a Cloudflare token limited to other client addresses
  NotFound,            // no such zone or record behind the IDs
  NoApiAccess,         // a GoDaddy account that may not use the DNS API
  DomainNotInAccount,  // a domain GoDaddy does not know in this account
  RateLimited,         // too many requests: the provider asked to wait
  ServerTrouble,       // 5xx
  Redirected,          // 3xx: something on the network answered in the provider's place
  Refused,             // any other refusal
};

// Which request failed: the zone search needs a permission of its own. An
// UnchangedWrite writes back a record the same token has just read, so a
// refusal of its token means the permission to change, not the token.
enum class RequestKind { EchoService, RecordLookup, ZoneSearch, RecordSearch, Update, UnchangedWrite };

struct FailureCause {
  Trouble trouble = Trouble::Unknown;
  std::wstring logLine;  // "Cause: ..." with codes and numbers; empty when the log says it already
};

// The cause of a failed request to `provider` (Provider::Unknown: an echo
// service), from its provider error codes, its Windows error number or its
// status.
FailureCause ExplainFailure(const RequestFailure& failure, Provider provider, RequestKind kind);

// How long a rate-limited record is left alone: what the provider asked
// for, or a minute when it named no wait.
std::uint32_t RateLimitWaitSeconds(const RequestFailure& failure);

// Writes the cause line, when there is one, right after the failure's own.
void LogCause(const RequestFailure& failure, Provider provider, RequestKind kind);

// The meaning of a WinHTTP or Windows error number in a few words
// ("could not connect to the server"); empty for one it does not know.
std::wstring WindowsErrorMeaning(std::uint32_t error);

// What is wrong and what to do, in plain words, for a message box.
std::wstring PlainWords(Trouble trouble, Provider provider);

}  // namespace nimbard
