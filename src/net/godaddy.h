#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/record_config.h"
#include "net/record_lookup.h"

namespace nimbard {

// GoDaddy's shortest time to live, and the one a new record gets.
inline constexpr std::uint32_t kGoDaddyMinTtl = 600;

// The data and TTL of the first A record of the zone named like the
// configured record with a valid IPv4 value; NotFound when there is none.
ARecordLookup GoDaddyLookup(const RecordConfig& record);
// Replaces the A records of the configured name with the address and `ttl`.
ARecordUpdate GoDaddyUpdate(const RecordConfig& record, const std::wstring& newIp, std::uint32_t ttl);
// The name GoDaddy knows the record by: "@" for the apex ("" or "@"), the
// part before "." + domain when recordName ends with it, else recordName.
std::wstring GoDaddyRecordName(const RecordConfig& record);
// GoDaddy's error document into `failure`: its code and message, then those
// of the first of its "fields" (kMaxApiErrors in all), and the wait a
// rate-limited answer asks for (retryAfterSec).
void ReadGoDaddyError(std::string_view answer, RequestFailure& failure);

}  // namespace nimbard
