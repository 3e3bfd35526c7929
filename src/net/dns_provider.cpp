#include "net/dns_provider.h"

#include <algorithm>

#include "net/cloudflare.h"
#include "net/godaddy.h"

namespace nimbard {

ARecordLookup LookupARecord(const RecordConfig& record) {
  switch (ProviderOf(record)) {
    case Provider::Cloudflare:
      return CloudflareLookup(record);
    case Provider::GoDaddy:
      return GoDaddyLookup(record);
    case Provider::Unknown:
      break;
  }
  ARecordLookup refused;
  refused.result = ARecordLookup::Result::UnknownProvider;
  return refused;
}

ARecordUpdate UpdateARecord(const RecordConfig& record, const std::wstring& newIp, const ARecordLookup& found) {
  switch (ProviderOf(record)) {
    case Provider::Cloudflare:
      return CloudflareUpdate(record, newIp, found);
    case Provider::GoDaddy: {
      // GoDaddy's update replaces the record whole: the TTL the user chose
      // there goes back with it (GoDaddy takes none below its minimum).
      const bool exists = found.result == ARecordLookup::Result::Found;
      return GoDaddyUpdate(record, newIp, exists ? std::max(found.ttl, kGoDaddyMinTtl) : kGoDaddyMinTtl);
    }
    case Provider::Unknown:
      break;
  }
  return {};
}

}  // namespace nimbard
