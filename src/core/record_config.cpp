#include "core/record_config.h"

#include <algorithm>

#include "core/text.h"

namespace nimbard {

Provider ProviderOf(const RecordConfig& record) {
  if (record.provider.empty() || SameIgnoringAsciiCase(record.provider, L"godaddy")) return Provider::GoDaddy;
  if (SameIgnoringAsciiCase(record.provider, L"cloudflare")) return Provider::Cloudflare;
  return Provider::Unknown;
}

bool IsCloudflareRecord(const RecordConfig& record) { return ProviderOf(record) == Provider::Cloudflare; }

const wchar_t* ProviderDisplayName(Provider provider) {
  switch (provider) {
    case Provider::Cloudflare: return L"Cloudflare";
    case Provider::GoDaddy: return L"GoDaddy";
    case Provider::Unknown: break;
  }
  return nullptr;
}

const wchar_t* MissingField(const RecordConfig& record) {
  if (record.apiKey.empty()) return L"API key";
  if (record.domain.empty()) return L"domain";
  // Cloudflare finds its IDs from the names, and an empty name is the domain.
  if (!IsCloudflareRecord(record) && record.recordName.empty()) return L"record name";
  return nullptr;
}

bool IsRecordComplete(const RecordConfig& record) { return MissingField(record) == nullptr; }

std::wstring RecordPath(const RecordConfig& record) { return record.domain + L"/" + record.recordName; }

std::wstring RecordFullName(const RecordConfig& record) {
  if (record.recordName.empty() || record.recordName == L"@") return record.domain;
  if (record.recordName.find(L'.') != std::wstring::npos) return record.recordName;
  return record.recordName + L"." + record.domain;
}

std::uint32_t PollIntervalMs(std::uint32_t pollMinutes) {
  return std::clamp(pollMinutes, kMinPollMinutes, kMaxPollMinutes) * 60000u;
}

}  // namespace nimbard
