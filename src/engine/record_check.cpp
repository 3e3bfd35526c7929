#include "engine/record_check.h"

#include <string>

#include "core/activity_log.h"
#include "core/platform.h"
#include "core/status_board.h"
#include "net/dns_provider.h"
#include "net/public_ip.h"

namespace nimbard {
namespace {

// The echo service's answer is logged when it is not an address; it comes
// from the network, so a pass must not write megabytes of it every time.
constexpr std::size_t kMaxLoggedAnswer = 256;

}  // namespace

void RecordCheck(TrayWindow window, bool manual, const RecordConfig& record) {
  const std::wstring path = RecordPath(record);

  std::wstring current;
  if (!LookupARecord(record, current)) {
    // The provider has logged what it knows of the failure.
    SetDetailText(L"Record: lookup failed");
    SetSummaryText(window, record.provider + L" lookup failed");
    return;
  }

  if (current.empty()) {
    LogMessage(L"No existing A record was found for " + path + L".");
  } else {
    LogMessage(L"Stored current A record for " + path + L": " + current + L".");
  }

  const std::wstring address = PublicIpLookup();
  if (address.empty() || !platform::IsIPv4Text(address)) {
    LogMessage(L"Public IP lookup returned an invalid IPv4 address: " + ShortenForLog(address, kMaxLoggedAnswer));
    SetDetailText(L"Record: current value " + (current.empty() ? std::wstring(L"not found") : current));
    SetSummaryText(window, L"Invalid public IP");
    return;
  }

  SetSummaryText(window, L"Public IP: " + address);

  // Texts, not numbers: any difference in the text is sent to the provider.
  // The address is never empty here, so an empty current value differs.
  const bool unchanged = current == address;
  if (current.empty()) {
    SetDetailText(L"Record: " + path + L" not found (changed; update pending)");
    LogMessage(L"Current A record " + path + L" was not found; it needs to be changed to " + address + L".");
  } else if (unchanged) {
    SetDetailText(L"Record: " + path + L" = " + current + L" (unchanged)");
    LogMessage(L"Current A record " + path + L" is " + current + L"; it does not need to be changed.");
  } else {
    SetDetailText(L"Record: " + path + L" = " + current + L" (changed; update pending)");
    LogMessage(L"Current A record " + path + L" is " + current + L"; it needs to be changed to " + address + L".");
  }

  if (unchanged) {
    LogMessage(L"Public IP unchanged: " + address + L".");
    SetSummaryText(window, L"Unchanged: " + address);
    return;
  }

  LogMessage(manual ? L"Manual check found a changed public IP: " + address + L"."
                    : L"Public IP changed to " + address + L".");
  if (!UpdateARecord(record, address)) {
    // The detail keeps "update pending": the next pass tries again.
    SetSummaryText(window, IsCloudflareRecord(record) ? L"Cloudflare update failed" : L"GoDaddy update failed");
    return;
  }
  SetDetailText(L"Record: " + path + L" = " + address + L" (changed; updated)");
  SetSummaryText(window, L"Updated: " + address);
}

}  // namespace nimbard
