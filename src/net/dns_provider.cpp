#include "net/dns_provider.h"

#include "net/cloudflare.h"
#include "net/godaddy.h"

namespace nimbard {

bool LookupARecord(const RecordConfig& record, std::wstring& currentIp) {
  return IsCloudflareRecord(record) ? CloudflareLookup(record, currentIp) : GoDaddyLookup(record, currentIp);
}

bool UpdateARecord(const RecordConfig& record, const std::wstring& newIp) {
  return IsCloudflareRecord(record) ? CloudflareUpdate(record, newIp) : GoDaddyUpdate(record, newIp);
}

}  // namespace nimbard
