#pragma once
// The provider rule applied to both steps of a record check: a Cloudflare
// record goes to the Cloudflare operations, a GoDaddy record to GoDaddy's,
// and a record that names any other provider goes nowhere.
#include <optional>
#include <string>

#include "core/record_config.h"
#include "net/record_lookup.h"

namespace nimbard {

ARecordLookup LookupRecord(const RecordConfig& record, RecordType type);
// `found` is what the lookup of this check found: GoDaddy keeps its TTL.
ARecordUpdate UpdateRecord(const RecordConfig& record, RecordType type, const std::wstring& newIp,
                           const ARecordLookup& found);

// Writes the record back as `found` says it stands, where such a write
// changes nothing: a Cloudflare record with its own content; at GoDaddy the
// one record of the name and type, with its address and TTL. Its acceptance
// proves the right to change the record. Nothing is sent, and nullopt comes
// back, where no write leaves the records as they are: no record of an
// address yet, or several GoDaddy records of the name.
std::optional<ARecordUpdate> RewriteUnchanged(const RecordConfig& record, RecordType type, const ARecordLookup& found);

}  // namespace nimbard
