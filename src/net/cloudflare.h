#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "core/record_config.h"
#include "net/record_lookup.h"

namespace nimbard {

// The record the Record ID names, checked to be the A record configured:
// its type must be A and its name the record's full name (ASCII case
// ignored). A record of another name or type is reported, with a log line,
// as OtherRecord, so that nothing is ever written to it.
ARecordLookup CloudflareLookup(const RecordConfig& record);
// Changes the record's address and nothing else (PATCH {"content": ...}): its
// name, TTL, proxy status, comment and tags stay as the user set them.
ARecordUpdate CloudflareUpdate(const RecordConfig& record, const std::wstring& newIp);

// Every code and message of a Cloudflare answer's "errors" array.
std::vector<ApiError> CloudflareErrors(std::string_view answer);

}  // namespace nimbard
