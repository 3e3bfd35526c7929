#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "core/record_config.h"
#include "net/record_lookup.h"

namespace nimbard {

// The record the Record ID names, checked to be the record configured: its
// type must be the one asked for and its name the record's full name (ASCII
// case ignored). A record of another name or type is reported, with a log
// line, as OtherRecord, so that nothing is ever written to it.
// IDs the configuration leaves empty are found from the names (the zone by
// the domain, the record by its full name and type) and kept in memory
// while the process runs; a remembered record that answers 404 is looked
// for again. No zone, no record, or several records of that name is a
// failure with a line that says which; nothing is created.
// The AAAA record is always found from the names (the Record ID names the A
// record), and kept in memory in the same way.
ARecordLookup CloudflareLookup(const RecordConfig& record, RecordType type = RecordType::A);
// Changes the address of the record `found` names (for an A record, the
// configured IDs when it names none) and nothing else (PATCH
// {"content": ...}): its name, TTL, proxy status, comment and tags stay as
// the user set them.
ARecordUpdate CloudflareUpdate(const RecordConfig& record, RecordType type, const std::wstring& newIp,
                               const ARecordLookup& found);
// Writes the record `found` names back with the content it was found
// holding, which changes nothing there; its acceptance proves that the
// token may change the record.
ARecordUpdate CloudflareRewrite(const RecordConfig& record, RecordType type, const ARecordLookup& found);

// Forgets the IDs found from names (tests).
void ForgetCloudflareIds();

// The codes and messages of the first kMaxApiErrors elements of a
// Cloudflare answer's "errors" array.
std::vector<ApiError> CloudflareErrors(std::string_view answer);

}  // namespace nimbard
