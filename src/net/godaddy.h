#pragma once
#include <string>
#include "core/record_config.h"
namespace nimbard {
// The data of the first A record of the zone named like the configured
// record with a valid IPv4 value; empty text when none.
bool GoDaddyLookup(const RecordConfig& record, std::wstring& currentIp);
// Replaces the A records of the configured name.
bool GoDaddyUpdate(const RecordConfig& record, const std::wstring& newIp);
// The name GoDaddy knows the record by: "@" for the apex ("" or "@"), the
// part before "." + domain when recordName ends with it, else recordName.
std::wstring GoDaddyRecordName(const RecordConfig& record);
}  // namespace nimbard
