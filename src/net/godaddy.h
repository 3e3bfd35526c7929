#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/record_config.h"
#include "net/record_lookup.h"

namespace nimbard {

// GoDaddy's shortest time to live, and the one a new record gets.
inline constexpr std::uint32_t kGoDaddyMinTtl = 600;

// The data and TTL of the first record of the zone of that type, named like
// the configured record, with a valid address of the type; NotFound when
// there is none. `matches` counts the records of that name and type.
ARecordLookup GoDaddyLookup(const RecordConfig& record, RecordType type = RecordType::A);
// Replaces the records of the type and the configured name with the address
// and `ttl` (and makes one where there is none).
ARecordUpdate GoDaddyUpdate(const RecordConfig& record, RecordType type, const std::wstring& newIp, std::uint32_t ttl);
// Puts back the one record `found` found, with its address and TTL: the
// records of that name and type are then as they were, and the acceptance
// proves that the key may change them. Only for a lookup that found exactly
// one record of the name and type, with its TTL.
ARecordUpdate GoDaddyRewrite(const RecordConfig& record, RecordType type, const ARecordLookup& found);
// The name GoDaddy knows the record by: "@" for the apex ("" or "@"), the
// part before "." + domain when recordName ends with it, else recordName.
std::wstring GoDaddyRecordName(const RecordConfig& record);
// GoDaddy's error document into `failure`: its code and message, then those
// of the first of its "fields" (kMaxApiErrors in all), and the wait a
// rate-limited answer asks for (retryAfterSec).
void ReadGoDaddyError(std::string_view answer, RequestFailure& failure);

}  // namespace nimbard
