#include "engine/record_check.h"

#include "core/activity_log.h"
#include "net/dns_provider.h"

namespace nimbard {
namespace {

// The echo service's answer is logged when it is not an address; it comes
// from the network, so a pass must not write megabytes of it every time.
constexpr std::size_t kMaxLoggedAnswer = 256;

using Result = RecordOutcome::Result;

RecordOutcome Outcome(Result result, std::wstring statusLine, std::wstring summary) {
  RecordOutcome outcome;
  outcome.result = result;
  outcome.statusLine = std::move(statusLine);
  outcome.summary = std::move(summary);
  return outcome;
}

// True, with the record's outcome, when the lookup leaves nothing to compare.
bool EndsAtLookup(const RecordConfig& record, const ARecordLookup& found, RecordOutcome& outcome) {
  const std::wstring path = RecordPath(record);
  switch (found.result) {
    case ARecordLookup::Result::Found:
    case ARecordLookup::Result::NotFound:
      return false;
    case ARecordLookup::Result::UnknownProvider:
      LogMessage(L"Record " + path + L" names the provider \"" + record.provider +
                 L"\", which nimbard does not know; nothing was sent. Write \"cloudflare\" or \"godaddy\".");
      outcome = Outcome(Result::UnknownProvider, L"Record: " + path + L" unknown provider " + record.provider,
                        L"Unknown provider");
      return true;
    case ARecordLookup::Result::OtherRecord:
      // The provider has logged what the Record ID names instead.
      outcome = Outcome(Result::OtherRecord, L"Record: " + path + L" check failed: the Record ID names another record",
                        L"Wrong Record ID");
      return true;
    case ARecordLookup::Result::Failed:
    case ARecordLookup::Result::InvalidValue:
    case ARecordLookup::Result::NoZone:
    case ARecordLookup::Result::NoRecord:
    case ARecordLookup::Result::SeveralRecords:
      break;
  }
  // The provider has logged what it knows of the failure.
  outcome = Outcome(Result::LookupFailed, L"Record: " + path + L" lookup failed", record.provider + L" lookup failed");
  outcome.cause = found.failure;
  return true;
}

}  // namespace

RecordOutcome RecordCheck(const RecordConfig& record, const PublicAddress& address, bool manual) {
  const std::wstring path = RecordPath(record);
  const ARecordLookup found = LookupARecord(record);
  RecordOutcome outcome;
  if (EndsAtLookup(record, found, outcome)) return outcome;

  const std::wstring& current = found.address;
  if (current.empty()) {
    LogMessage(L"No existing A record was found for " + path + L".");
  } else {
    LogMessage(L"Stored current A record for " + path + L": " + current + L".");
  }

  const std::wstring& ip = address.address;
  if (ip.empty()) {
    LogMessage(L"Public IP lookup returned an invalid IPv4 address: " + ShortenForLog(address.lastAnswer, kMaxLoggedAnswer));
    outcome = Outcome(Result::NoPublicAddress,
                      L"Record: " + path + L" current value " + (current.empty() ? std::wstring(L"not found") : current),
                      L"Invalid public IP");
    outcome.current = current;
    outcome.cause = address.failure;
    return outcome;
  }

  // Texts, not numbers: any difference in the text is sent to the provider.
  // The address is never empty here, so an empty current value differs.
  std::wstring pending;
  if (current.empty()) {
    pending = L"Record: " + path + L" not found (changed; update pending)";
    LogMessage(L"Current A record " + path + L" was not found; it needs to be changed to " + ip + L".");
  } else if (current == ip) {
    LogMessage(L"Current A record " + path + L" is " + current + L"; it does not need to be changed.");
    LogMessage(L"Public IP unchanged: " + ip + L".");
    outcome = Outcome(Result::Unchanged, L"Record: " + path + L" = " + current + L" (unchanged)", L"Unchanged: " + ip);
    outcome.current = current;
    return outcome;
  } else {
    pending = L"Record: " + path + L" = " + current + L" (changed; update pending)";
    LogMessage(L"Current A record " + path + L" is " + current + L"; it needs to be changed to " + ip + L".");
  }

  LogMessage(manual ? L"Manual check found a changed public IP: " + ip + L"."
                    : L"Public IP changed to " + ip + L".");
  const ARecordUpdate update = UpdateARecord(record, ip, found);
  if (!update.accepted) {
    // The line keeps "update pending": the next pass tries again.
    outcome = Outcome(Result::UpdateFailed, pending,
                      IsCloudflareRecord(record) ? L"Cloudflare update failed" : L"GoDaddy update failed");
    outcome.cause = update.failure;
  } else {
    outcome = Outcome(Result::Updated, L"Record: " + path + L" = " + ip + L" (changed; updated)", L"Updated: " + ip);
  }
  outcome.current = current;
  return outcome;
}

}  // namespace nimbard
