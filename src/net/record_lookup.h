#pragma once
// What a provider's lookup found for a configured record, and what its
// update did. Every failure carries its cause; the provider has logged its
// own lines about it by the time these come back.
#include <cstdint>
#include <string>

#include "net/request_failure.h"

namespace nimbard {

struct ARecordLookup {
  enum class Result {
    Found,            // `address` holds the record's IPv4 address
    NotFound,         // no A record of that name holds an IPv4 address
    Failed,           // the request failed: `failure` says why
    InvalidValue,     // the record holds something that is not an IPv4 address (`address`)
    OtherRecord,      // the Record ID names another record: `otherName`, `otherType`
    UnknownProvider,  // the record names no provider this system knows: nothing was sent
    NoZone,           // Cloudflare: no zone of the domain's name that the token can see
    NoRecord,         // Cloudflare: no A record of the record's name in the zone
    SeveralRecords,   // Cloudflare: `matches` A records of that name; which one is meant is unknown
  };
  Result result = Result::Failed;
  std::wstring address;
  std::uint32_t ttl = 0;  // the record's time to live as found (GoDaddy), 0 when unknown
  std::wstring otherName, otherType;
  std::size_t matches = 0;
  // The Cloudflare IDs the lookup used: the configured ones, or those it
  // found from the names. The update goes to the same record.
  std::wstring zoneId, recordId;
  RequestFailure failure;
};

struct ARecordUpdate {
  bool accepted = false;
  RequestFailure failure;
};

}  // namespace nimbard
