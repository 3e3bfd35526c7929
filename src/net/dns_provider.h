#pragma once
// The provider rule applied to both steps of a record check: a Cloudflare
// record goes to the Cloudflare operations, every other record to GoDaddy's.
#include <string>

#include "core/record_config.h"

namespace nimbard {

bool LookupARecord(const RecordConfig& record, std::wstring& currentIp);
bool UpdateARecord(const RecordConfig& record, const std::wstring& newIp);

}  // namespace nimbard
