#include "engine/record_check.h"

#include <utility>

#include "core/activity_log.h"
#include "core/text.h"
#include "net/dns_provider.h"
#include "net/ipv6_text.h"

namespace nimbard {
namespace {

// The echo service's answer is logged when it is not an address; it comes
// from the network, so a pass must not write megabytes of it every time.
constexpr std::size_t kMaxLoggedAnswer = 256;

using Result = RecordOutcome::Result;

// The outcome of one record type; its statusLine is the type's part of the
// record's line, which follows "Record: " + path.
RecordOutcome Outcome(Result result, std::wstring part, std::wstring summary) {
  RecordOutcome outcome;
  outcome.result = result;
  outcome.statusLine = std::move(part);
  outcome.summary = std::move(summary);
  return outcome;
}

// True, with the type's outcome, when the lookup leaves nothing to compare.
bool EndsAtLookup(const RecordConfig& record, const ARecordLookup& found, RecordOutcome& outcome) {
  switch (found.result) {
    case ARecordLookup::Result::Found:
    case ARecordLookup::Result::NotFound:
      return false;
    case ARecordLookup::Result::UnknownProvider:  // said once for the record, before any type
      outcome = Outcome(Result::UnknownProvider, L" unknown provider " + record.provider, L"Unknown provider");
      return true;
    case ARecordLookup::Result::OtherRecord:
      // The provider has logged what the Record ID names instead.
      outcome = Outcome(Result::OtherRecord, L" check failed: the Record ID names another record", L"Wrong Record ID");
      return true;
    case ARecordLookup::Result::Failed:
    case ARecordLookup::Result::InvalidValue:
    case ARecordLookup::Result::NoZone:
    case ARecordLookup::Result::NoRecord:
    case ARecordLookup::Result::SeveralRecords:
      break;
  }
  // The provider has logged what it knows of the failure.
  outcome = Outcome(Result::LookupFailed, L" lookup failed", record.provider + L" lookup failed");
  outcome.cause = found.failure;
  return true;
}

// The words that differ between the A record's lines and the AAAA record's.
struct TypeWords {
  RecordType type;
  const wchar_t* name;  // "A", "AAAA"
  const wchar_t* part;  // what the type's part of the record's line begins with
};
constexpr TypeWords kA{RecordType::A, L"A", L""}, kAaaa{RecordType::AAAA, L"AAAA", L" AAAA"};

void LogFound(const RecordConfig& record, const std::wstring& type, const std::wstring& current) {
  const std::wstring path = RecordPath(record);
  if (current.empty()) {
    LogMessage(L"No existing " + type + L" record was found for " + path + L".");
  } else {
    LogMessage(L"Stored current " + type + L" record for " + path + L": " + current + L".");
  }
}

// The type's record as the provider holds it, logged; false, with the type's
// outcome, when the lookup leaves nothing to compare.
bool LookUp(const RecordConfig& record, const TypeWords& words, ARecordLookup& found, RecordOutcome& ended) {
  found = LookupRecord(record, words.type);
  if (EndsAtLookup(record, found, ended)) return ended.statusLine.insert(0, words.part), false;
  LogFound(record, words.name, found.address);
  return true;
}

// One type's check against `ip`, the address the record should hold.
RecordOutcome CheckType(const RecordConfig& record, const TypeWords& words, const std::wstring& ip, bool manual) {
  const std::wstring path = RecordPath(record), type = words.name, part = words.part;
  const bool v6 = words.type == RecordType::AAAA;
  ARecordLookup found;
  RecordOutcome outcome;
  if (!LookUp(record, words, found, outcome)) return outcome;

  const std::wstring& current = found.address;
  std::wstring pending;
  // IPv4 as texts: any difference in the text is sent to the provider.
  // IPv6 as addresses: a provider's other form of the same address is no
  // change. The address is never empty here, so an empty current value differs.
  if (current.empty()) {
    pending = part + L" not found (changed; update pending)";
    LogMessage(L"Current " + type + L" record " + path + L" was not found; it needs to be changed to " + ip + L".");
  } else if (v6 ? SameIpv6(current, ip) : current == ip) {
    LogMessage(L"Current " + type + L" record " + path + L" is " + current + L"; it does not need to be changed.");
    LogMessage(v6 ? L"IPv6 address unchanged: " + ip + L"." : L"Public IP unchanged: " + ip + L".");
    outcome = Outcome(Result::Unchanged, part + L" = " + current + L" (unchanged)", L"Unchanged: " + ip);
    outcome.current = current;
    return outcome;
  } else {
    pending = part + L" = " + current + L" (changed; update pending)";
    LogMessage(L"Current " + type + L" record " + path + L" is " + current + L"; it needs to be changed to " + ip + L".");
  }

  if (v6) {
    LogMessage(manual ? L"Manual check found a changed IPv6 address: " + ip + L"."
                      : L"IPv6 address changed to " + ip + L".");
  } else {
    LogMessage(manual ? L"Manual check found a changed public IP: " + ip + L"." : L"Public IP changed to " + ip + L".");
  }
  const ARecordUpdate update = UpdateRecord(record, words.type, ip, found);
  if (!update.accepted) {
    // The line keeps "update pending": the next pass tries again.
    outcome = Outcome(Result::UpdateFailed, pending,
                      IsCloudflareRecord(record) ? L"Cloudflare update failed" : L"GoDaddy update failed");
    outcome.cause = update.failure;
  } else {
    outcome = Outcome(Result::Updated, part + L" = " + ip + L" (changed; updated)", L"Updated: " + ip);
  }
  outcome.current = current;
  return outcome;
}

RecordOutcome CheckA(const RecordConfig& record, const PublicAddress& address, bool manual) {
  if (!address.address.empty()) return CheckType(record, kA, address.address, manual);
  // No address to compare with: what the record holds is still shown.
  ARecordLookup found;
  RecordOutcome outcome;
  if (!LookUp(record, kA, found, outcome)) return outcome;
  const std::wstring& current = found.address;
  LogMessage(L"Public IP lookup returned an invalid IPv4 address: " + ShortenForLog(address.lastAnswer, kMaxLoggedAnswer));
  outcome = Outcome(Result::NoPublicAddress, L" current value " + (current.empty() ? std::wstring(L"not found") : current),
                    L"Invalid public IP");
  outcome.current = current;
  outcome.cause = address.failure;
  return outcome;
}

// Without an IPv6 address the AAAA record is left alone: the provider is
// not even asked.
RecordOutcome CheckAaaa(const RecordConfig& record, const LocalIpv6& address, bool manual) {
  if (address.found) return CheckType(record, kAaaa, FormatIpv6(address.address), manual);
  const std::wstring path = RecordPath(record);
  if (address.error != 0) {
    LogMessage(L"The IPv6 addresses of this PC could not be read (error " + DecimalText(address.error) +
               L"); the AAAA record of " + path + L" is left as it is.");
  } else {
    LogMessage(L"No global IPv6 address on this PC; the AAAA record of " + path + L" is left as it is.");
  }
  return Outcome(Result::NoPublicAddress, L" AAAA: no global IPv6 address on this PC", L"No global IPv6 address");
}

// The record's outcome from its types': one line, the A part first. When
// neither failed, both held or took `addresses`.
RecordOutcome Combine(RecordOutcome a, const RecordOutcome& aaaa, const std::wstring& addresses) {
  RecordOutcome outcome = std::move(a);
  outcome.statusLine += L"," + aaaa.statusLine;
  if (outcome.Failed()) return outcome;
  if (aaaa.Failed()) {
    outcome.result = aaaa.result, outcome.summary = aaaa.summary, outcome.cause = aaaa.cause;
    return outcome;
  }
  const bool updated = outcome.result == Result::Updated || aaaa.result == Result::Updated;
  outcome.result = updated ? Result::Updated : Result::Unchanged;
  outcome.summary = (updated ? L"Updated: " : L"Unchanged: ") + addresses;
  return outcome;
}

}  // namespace

RecordOutcome RecordCheck(const RecordConfig& record, const PassAddresses& addresses, bool manual) {
  const std::wstring path = RecordPath(record), line = L"Record: " + path;
  RecordOutcome outcome;
  if (ProviderOf(record) == Provider::Unknown) {
    LogMessage(L"Record " + path + L" names the provider \"" + record.provider +
               L"\", which nimbard does not know; nothing was sent. Write \"cloudflare\" or \"godaddy\".");
    outcome = Outcome(Result::UnknownProvider, line + L" unknown provider " + record.provider, L"Unknown provider");
    return outcome;
  }
  if (!record.ipv4 && !record.ipv6) {
    LogMessage(L"Record " + path +
               L" keeps neither an A nor an AAAA record (\"ipv4\" and \"ipv6\" are both false); nothing was sent.");
    return Outcome(Result::NothingKept, line + L" keeps no record: IPv4 and IPv6 are both off", L"No record kept");
  }
  if (record.ipv4 && record.ipv6) {
    RecordOutcome a = CheckA(record, addresses.ipv4, manual);  // the A record first, in the log too
    outcome = Combine(std::move(a), CheckAaaa(record, addresses.ipv6, manual),
                      addresses.ipv4.address + L", " + FormatIpv6(addresses.ipv6.address));
  } else {
    outcome = record.ipv4 ? CheckA(record, addresses.ipv4, manual) : CheckAaaa(record, addresses.ipv6, manual);
  }
  outcome.statusLine.insert(0, line);
  return outcome;
}

}  // namespace nimbard
