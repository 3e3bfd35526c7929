#pragma once
// What a provider's lookup found for a configured record, and what its
// update did. Every failure carries its cause; the provider has logged its
// own lines about it by the time these come back.
#include <cstdint>
#include <string>

#include "net/request_failure.h"

namespace nimbard {

// The address records a name may keep: A (IPv4) and AAAA (IPv6).
enum class RecordType { A, AAAA };

// "A" or "AAAA", as the providers and the messages name the type.
const wchar_t* RecordTypeName(RecordType type);
// A value the record may hold: a dotted IPv4 address for A, any textual
// form of an IPv6 address for AAAA.
bool IsAddressOfType(const std::wstring& text, RecordType type);

// What the lookup of one record type found (the name is older than AAAA).
struct ARecordLookup {
  enum class Result {
    Found,            // `address` holds the record's address, as the provider wrote it
    NotFound,         // no record of that name and type holds an address
    Failed,           // the request failed: `failure` says why
    InvalidValue,     // the record holds something that is no address of its type (`address`)
    OtherRecord,      // the Record ID names another record: `otherName`, `otherType`
    UnknownProvider,  // the record names no provider this system knows: nothing was sent
    NoZone,           // Cloudflare: no zone of the domain's name that the token can see
    NoRecord,         // Cloudflare: no record of the record's name and type in the zone
    SeveralRecords,   // Cloudflare: `matches` records of that name and type; which one is meant is unknown
  };
  Result result = Result::Failed;
  std::wstring address;
  std::uint32_t ttl = 0;  // the record's time to live as found (GoDaddy), 0 when unknown
  std::wstring otherName, otherType;
  std::size_t matches = 0;  // the records of the name and type seen (Cloudflare's search; all of GoDaddy's)
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
