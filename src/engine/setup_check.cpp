#include "engine/setup_check.h"

#include <optional>

#include "core/text.h"
#include "net/dns_provider.h"
#include "net/public_ip.h"

namespace nimbard {
namespace {

using Result = ARecordLookup::Result;

// A DNS name has at most 253 characters: a longer one from a server is cut
// before it reaches a box.
constexpr std::size_t kMaxShownName = 253;

SetupCheck Failed(std::wstring explanation, Trouble trouble = Trouble::Unknown) {
  SetupCheck check;
  check.trouble = trouble;
  check.explanation = std::move(explanation);
  return check;
}

// Why no write could leave the record as it is.
std::wstring OnlyReadReason(const RecordConfig& record, RecordType type, const ARecordLookup& found) {
  const std::wstring typeName = RecordTypeName(type), fullName = RecordFullName(record);
  const bool godaddy = ProviderOf(record) == Provider::GoDaddy;
  if (godaddy && found.matches > 1) {
    return L"GoDaddy has " + DecimalText(static_cast<std::uint32_t>(found.matches)) + L" " + typeName +
           L" records named " + fullName + L"; the first update replaces them with one.";
  }
  if (godaddy && found.matches == 0) {
    return L"GoDaddy has no " + typeName + L" record named " + fullName + L" yet; the first update makes it.";
  }
  if (found.result == Result::Found) {
    return L"GoDaddy did not say the TTL of the " + typeName + L" record " + fullName +
           L", so nimbard could not write it back exactly as it is.";
  }
  return L"The " + typeName + L" record " + fullName + L" holds no address yet; the first update writes one.";
}

// The right to change the record, proved by writing it back as found where
// that changes nothing.
SetupCheck CheckWriteRight(const RecordConfig& record, RecordType type, const ARecordLookup& found, SetupCheck check) {
  const std::optional<ARecordUpdate> rewrite = RewriteUnchanged(record, type, found);
  if (!rewrite) {
    check.onlyRead = OnlyReadReason(record, type, found);
    return check;
  }
  if (rewrite->accepted) return check;
  const Provider provider = ProviderOf(record);
  const Trouble trouble = ExplainFailure(rewrite->failure, provider, RequestKind::UnchangedWrite).trouble;
  return Failed(PlainWords(trouble, provider), trouble);
}

// What the lookup of the record of `type` says of the setup.
SetupCheck CheckLookup(const RecordConfig& record, RecordType type) {
  const bool ipv4 = type == RecordType::A;
  const ARecordLookup found = LookupRecord(record, type);
  const Provider provider = ProviderOf(record);
  const std::wstring fullName = RecordFullName(record);
  switch (found.result) {
    case Result::Found:
    case Result::NotFound: {
      SetupCheck check;
      check.passed = true;
      check.zoneId = found.zoneId;
      if (ipv4) check.recordId = found.recordId;  // the file's Record ID names the A record
      return CheckWriteRight(record, type, found, std::move(check));
    }
    case Result::Failed: {
      const RequestKind kind = found.zoneId.empty() ? RequestKind::ZoneSearch : RequestKind::RecordLookup;
      const Trouble trouble = ExplainFailure(found.failure, provider, kind).trouble;
      return Failed(PlainWords(trouble, provider), trouble);
    }
    case Result::InvalidValue:
      return Failed(ipv4 ? L"The record " + fullName + L" holds \"" + found.address.substr(0, 64) +
                               L"\", which is no IPv4 address. Give it an IPv4 address in the Cloudflare dashboard "
                               L"(any will do), then try again."
                         : L"The AAAA record " + fullName + L" holds \"" + found.address.substr(0, 64) +
                               L"\", which is no IPv6 address. Give it an IPv6 address in the Cloudflare dashboard "
                               L"(2001:db8::1 will do), then try again.");
    case Result::OtherRecord:
      return Failed(L"The Record ID belongs to another record: " + CutText(found.otherName, kMaxShownName) + L" (" +
                    CutText(found.otherType, kMaxShownName) +
                    L"). Enter the ID of the A record " + fullName +
                    L", or leave the Record ID empty so that nimbard finds it.");
    case Result::NoZone:
      return Failed(L"No Cloudflare zone named " + record.domain +
                    L" is visible to this token. Check the Domain box, and that the token covers this zone.");
    case Result::NoRecord:
      return Failed(ipv4 ? L"No A record named " + fullName +
                               L" exists at Cloudflare. nimbard changes an existing record: add it in the Cloudflare "
                               L"dashboard (any address will do), or check the Record box."
                         : L"No AAAA record named " + fullName +
                               L" exists at Cloudflare. nimbard changes an existing record: add it in the Cloudflare "
                               L"dashboard (2001:db8::1 will do), or keep only the A record of this name.");
    case Result::SeveralRecords:
      return Failed(ipv4 ? L"There are " + DecimalText(static_cast<std::uint32_t>(found.matches)) +
                               L" A records named " + fullName +
                               L" at Cloudflare. Enter the Record ID of the one nimbard should keep up to date."
                         : L"There are " + DecimalText(static_cast<std::uint32_t>(found.matches)) +
                               L" AAAA records named " + fullName +
                               L" at Cloudflare. Delete all but one of them in the Cloudflare dashboard.");
    case Result::UnknownProvider:
      break;
  }
  return Failed(L"The provider \"" + record.provider + L"\" is unknown: choose Cloudflare or GoDaddy.");
}

}  // namespace

SetupCheck CheckRecordSetup(const RecordConfig& record) {
  SetupCheck check;
  check.passed = record.ipv4 || record.ipv6;
  if (!check.passed) check.explanation = L"This record keeps neither an A nor an AAAA record.";
  if (record.ipv4) {
    const PublicAddress address = PublicIpLookup();
    if (address.address.empty()) {
      if (!address.answered) return Failed(PlainWords(Trouble::NoNetwork, Provider::Unknown), Trouble::NoNetwork);
      if (!address.lastAnswer.empty()) {
        return Failed(L"The services that tell nimbard this computer's address answered \"" +
                      address.lastAnswer.substr(0, 64) +
                      L"\", which is no public address: a VPN, a proxy or a network's sign-in page answers in their "
                      L"place. Turn the VPN off or sign in to the network, then try again.");
      }
      const Trouble trouble = ExplainFailure(address.failure, Provider::Unknown, RequestKind::EchoService).trouble;
      return Failed(PlainWords(trouble, Provider::Unknown), trouble);
    }
    check = CheckLookup(record, RecordType::A);
    if (!check.passed) return check;
  }
  // The PC's own IPv6 address needs no echo service; only the record is looked up.
  if (record.ipv6) {
    const SetupCheck six = CheckLookup(record, RecordType::AAAA);
    if (!six.passed) return six;
    if (check.zoneId.empty()) check.zoneId = six.zoneId;
    check.onlyRead += (check.onlyRead.empty() || six.onlyRead.empty() ? L"" : L" ") + six.onlyRead;
  }
  return check;
}

}  // namespace nimbard
