#pragma once
// The provider rule applied to both steps of a record check: a Cloudflare
// record goes to the Cloudflare operations, a GoDaddy record to GoDaddy's,
// and a record that names any other provider goes nowhere.
#include <string>

#include "core/record_config.h"
#include "net/record_lookup.h"

namespace nimbard {

ARecordLookup LookupRecord(const RecordConfig& record, RecordType type);
// `found` is what the lookup of this check found: GoDaddy keeps its TTL.
ARecordUpdate UpdateRecord(const RecordConfig& record, RecordType type, const std::wstring& newIp,
                           const ARecordLookup& found);

// The A record's.
inline ARecordLookup LookupARecord(const RecordConfig& record) { return LookupRecord(record, RecordType::A); }
inline ARecordUpdate UpdateARecord(const RecordConfig& record, const std::wstring& newIp, const ARecordLookup& found) {
  return UpdateRecord(record, RecordType::A, newIp, found);
}

}  // namespace nimbard
