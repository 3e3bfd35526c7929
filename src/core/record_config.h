#pragma once
// One configured DNS A record and the ordered list of them.
#include <cstdint>
#include <string>
#include <vector>

namespace nimbard {

// Upper bound of pollMinutes: minutes x 60 000 must fit the millisecond
// counts of the service wait and of the tray timer (SetTimer caps at 0x7FFFFFFF).
constexpr std::uint32_t kMaxPollMinutes = 35791;
constexpr std::uint32_t kMinPollMinutes = 1;
constexpr std::uint32_t kDefaultPollMinutes = 5;
constexpr std::uint32_t kMinTtl = 60;

struct RecordConfig {
  std::wstring provider = L"godaddy";
  bool providerLocked = false;
  std::wstring apiKey;
  std::wstring domain;
  // The name within the domain as the user wrote it: a host label, "@" or
  // empty for the domain itself, or a name holding a "." (a full name).
  // The configuration file's key is "record".
  std::wstring recordName;
  std::wstring zoneId;
  std::wstring recordId;
  std::uint32_t pollMinutes = kDefaultPollMinutes;
  std::uint32_t ttl = 3600;
  bool proxied = true;
  // Which records of the name are kept: the A record, the AAAA record, or
  // both. Keys "ipv4" and "ipv6", written only when they differ from these.
  bool ipv4 = true;
  bool ipv6 = false;
};

using RecordList = std::vector<RecordConfig>;

enum class Provider { GoDaddy, Cloudflare, Unknown };

// The provider rule: "cloudflare" and "godaddy" in any ASCII case, and an
// empty provider (a record written without the key) is GoDaddy. Any other
// value names no provider at all: such a record's credential is sent nowhere.
Provider ProviderOf(const RecordConfig& record);
bool IsCloudflareRecord(const RecordConfig& record);

// How messages name a provider: "Cloudflare", "GoDaddy"; null for Unknown.
const wchar_t* ProviderDisplayName(Provider provider);

// apiKey and domain non-empty, and for GoDaddy recordName too. A Cloudflare
// record's IDs are optional (found from the names), and its empty name is
// the domain itself. A record of an unknown provider counts as complete (as
// GoDaddy's rule goes), so that a pass can say what is wrong with it instead
// of skipping it silently.
bool IsRecordComplete(const RecordConfig& record);

// What an incomplete record lacks, as a label names it: "API key",
// "domain" or "record name" (the first missing); nullptr when complete.
const wchar_t* MissingField(const RecordConfig& record);

// domain + "/" + recordName: how every message names the record (D/@ and D/ too).
std::wstring RecordPath(const RecordConfig& record);

// Milliseconds between passes for a pollMinutes value, held to the bounds
// above: neither a zero (a loop hammering the APIs) nor a product beyond 32
// bits reaches the service's wait or the tray's timer.
std::uint32_t PollIntervalMs(std::uint32_t pollMinutes);

// "@" or empty recordName: the domain; a name holding a "." stays as it
// is; otherwise recordName + "." + domain.
std::wstring RecordFullName(const RecordConfig& record);

}  // namespace nimbard
