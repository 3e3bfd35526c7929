#include "net/dns_provider.h"

#include <algorithm>

#include "core/platform.h"
#include "net/cloudflare.h"
#include "net/godaddy.h"
#include "net/ipv6_text.h"

namespace nimbard {

const wchar_t* RecordTypeName(RecordType type) { return type == RecordType::A ? L"A" : L"AAAA"; }

bool IsAddressOfType(const std::wstring& text, RecordType type) {
  Ipv6Bytes bytes;
  return type == RecordType::A ? platform::IsIPv4Text(text) : ParseIpv6(text, bytes);
}

ARecordLookup LookupRecord(const RecordConfig& record, RecordType type) {
  switch (ProviderOf(record)) {
    case Provider::Cloudflare:
      return CloudflareLookup(record, type);
    case Provider::GoDaddy:
      return GoDaddyLookup(record, type);
    case Provider::Unknown:
      break;
  }
  ARecordLookup refused;
  refused.result = ARecordLookup::Result::UnknownProvider;
  return refused;
}

ARecordUpdate UpdateRecord(const RecordConfig& record, RecordType type, const std::wstring& newIp,
                           const ARecordLookup& found) {
  switch (ProviderOf(record)) {
    case Provider::Cloudflare:
      return CloudflareUpdate(record, type, newIp, found);
    case Provider::GoDaddy: {
      // GoDaddy's update replaces the record whole: the TTL the user chose
      // there goes back with it (GoDaddy takes none below its minimum).
      const bool exists = found.result == ARecordLookup::Result::Found;
      return GoDaddyUpdate(record, type, newIp, exists ? std::max(found.ttl, kGoDaddyMinTtl) : kGoDaddyMinTtl);
    }
    case Provider::Unknown:
      break;
  }
  return {};
}

std::optional<ARecordUpdate> RewriteUnchanged(const RecordConfig& record, RecordType type, const ARecordLookup& found) {
  if (found.result != ARecordLookup::Result::Found) return std::nullopt;
  switch (ProviderOf(record)) {
    case Provider::Cloudflare:
      return CloudflareRewrite(record, type, found);
    case Provider::GoDaddy:
      // A PUT replaces every record of the name and type: only one, whose
      // TTL is known, is put back exactly.
      if (found.matches != 1 || found.ttl == 0) return std::nullopt;
      return GoDaddyRewrite(record, type, found);
    case Provider::Unknown:
      break;
  }
  return std::nullopt;
}

}  // namespace nimbard
