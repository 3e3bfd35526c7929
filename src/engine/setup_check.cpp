#include "engine/setup_check.h"

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

}  // namespace

SetupCheck CheckRecordSetup(const RecordConfig& record) {
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

  const ARecordLookup found = LookupARecord(record);
  const Provider provider = ProviderOf(record);
  const std::wstring fullName = RecordFullName(record);
  switch (found.result) {
    case Result::Found:
    case Result::NotFound: {
      SetupCheck check;
      check.passed = true;
      check.zoneId = found.zoneId;
      check.recordId = found.recordId;
      return check;
    }
    case Result::Failed: {
      const RequestKind kind = found.zoneId.empty() ? RequestKind::ZoneSearch : RequestKind::RecordLookup;
      const Trouble trouble = ExplainFailure(found.failure, provider, kind).trouble;
      return Failed(PlainWords(trouble, provider), trouble);
    }
    case Result::InvalidValue:
      return Failed(L"The record " + fullName + L" holds \"" + found.address.substr(0, 64) +
                    L"\", which is no IPv4 address. Give it an IPv4 address in the Cloudflare dashboard (any will "
                    L"do), then try again.");
    case Result::OtherRecord:
      return Failed(L"The Record ID belongs to another record: " + CutText(found.otherName, kMaxShownName) + L" (" +
                    CutText(found.otherType, kMaxShownName) +
                    L"). Enter the ID of the A record " + fullName +
                    L", or leave the Record ID empty so that nimbard finds it.");
    case Result::NoZone:
      return Failed(L"No Cloudflare zone named " + record.domain +
                    L" is visible to this token. Check the Domain box, and that the token covers this zone.");
    case Result::NoRecord:
      return Failed(L"No A record named " + fullName +
                    L" exists at Cloudflare. nimbard changes an existing record: add it in the Cloudflare dashboard "
                    L"(any address will do), or check the Record box.");
    case Result::SeveralRecords:
      return Failed(L"There are " + DecimalText(static_cast<std::uint32_t>(found.matches)) + L" A records named " +
                    fullName + L" at Cloudflare. Enter the Record ID of the one nimbard should keep up to date.");
    case Result::UnknownProvider:
      break;
  }
  return Failed(L"The provider \"" + record.provider + L"\" is unknown: choose Cloudflare or GoDaddy.");
}

}  // namespace nimbard
