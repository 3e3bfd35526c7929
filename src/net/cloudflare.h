#pragma once
#include <string>
#include "core/record_config.h"
namespace nimbard {
// The record's current "content". True with an address or an empty text (no
// value); false after a failed exchange (logged, currentIp untouched) or a
// non-IPv4 value (not logged, currentIp holds it).
bool CloudflareLookup(const RecordConfig& record, std::wstring& currentIp);
// PUTs the new address with the record's name, ttl and proxied flag.
bool CloudflareUpdate(const RecordConfig& record, const std::wstring& newIp);
}  // namespace nimbard
