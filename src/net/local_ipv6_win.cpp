#include "net/local_ipv6.h"

#include <cstring>
#include <memory>
#include <vector>

#include "net/iphlpapi_library.h"
#include "net/local_ipv6_choice.h"

namespace nimbard {
namespace {

// The rule's kinds are Windows' own values (nldef.h).
static_assert(int(PrefixOrigin::kRouterAdvertisement) == IpPrefixOriginRouterAdvertisement &&
              int(PrefixOrigin::kManual) == IpPrefixOriginManual && int(PrefixOrigin::kDhcp) == IpPrefixOriginDhcp &&
              int(PrefixOrigin::kUnchanged) == IpPrefixOriginUnchanged);
static_assert(int(SuffixOrigin::kLinkLayerAddress) == IpSuffixOriginLinkLayerAddress &&
              int(SuffixOrigin::kRandom) == IpSuffixOriginRandom && int(SuffixOrigin::kDhcp) == IpSuffixOriginDhcp &&
              int(SuffixOrigin::kManual) == IpSuffixOriginManual &&
              int(SuffixOrigin::kUnchanged) == IpSuffixOriginUnchanged);
static_assert(int(DadState::kPreferred) == IpDadStatePreferred && int(DadState::kDeprecated) == IpDadStateDeprecated &&
              int(DadState::kTentative) == IpDadStateTentative);

// The interface the system would send to the internet through, as its LUID;
// false when it cannot tell (Wine answers ERROR_NOT_SUPPORTED).
bool RouteInterfaceLuid(const IpHelperApi& api, NET_LUID& luid) {
  SOCKADDR_INET destination{};
  destination.Ipv6.sin6_family = AF_INET6;
  // A public resolver's address stands for the internet: only the route is
  // looked up, nothing is sent.
  const unsigned char anyGlobal[16] = {0x20, 0x01, 0x48, 0x60, 0x48, 0x60, 0, 0, 0, 0, 0, 0, 0, 0, 0x88, 0x88};
  std::memcpy(&destination.Ipv6.sin6_addr, anyGlobal, sizeof anyGlobal);
  MIB_IPFORWARD_ROW2 route{};
  SOCKADDR_INET source{};
  if (api.getBestRoute2(nullptr, 0, nullptr, &destination, 0, &route, &source) != NO_ERROR) return false;
  luid = route.InterfaceLuid;
  return true;
}

InterfaceKind KindOf(const NET_LUID& luid) {
  switch (luid.Info.IfType) {
    case IF_TYPE_SOFTWARE_LOOPBACK: return InterfaceKind::kLoopback;
    case IF_TYPE_TUNNEL: return InterfaceKind::kTunnel;
    default: return InterfaceKind::kOther;
  }
}

}  // namespace

LocalIpv6 ReadLocalIpv6() {
  LocalIpv6 none;
  const IpHelperApi* api = SystemIpHelper(none.error);
  if (!api) return none;
  MIB_UNICASTIPADDRESS_TABLE* raw = nullptr;
  none.error = api->getUnicastIpAddressTable(AF_INET6, &raw);
  if (none.error != NO_ERROR) return none;
  const auto freeTable = [api](MIB_UNICASTIPADDRESS_TABLE* t) { api->freeMibTable(t); };
  const std::unique_ptr<MIB_UNICASTIPADDRESS_TABLE, decltype(freeTable)> table(raw, freeTable);

  NET_LUID routeLuid{};
  const bool routeKnown = RouteInterfaceLuid(*api, routeLuid);
  std::vector<Ipv6Row> rows;
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    const MIB_UNICASTIPADDRESS_ROW& entry = table->Table[i];
    if (entry.Address.si_family != AF_INET6) continue;
    Ipv6Row row;
    std::memcpy(row.address.data(), &entry.Address.Ipv6.sin6_addr, row.address.size());
    row.prefixOrigin = static_cast<PrefixOrigin>(entry.PrefixOrigin);
    row.suffixOrigin = static_cast<SuffixOrigin>(entry.SuffixOrigin);
    row.dadState = static_cast<DadState>(entry.DadState);
    row.preferredLifetimeSeconds = entry.PreferredLifetime;
    row.interfaceKind = KindOf(entry.InterfaceLuid);
    row.route = !routeKnown ? RouteInterface::kUnknown
                : entry.InterfaceLuid.Value == routeLuid.Value ? RouteInterface::kYes
                                                               : RouteInterface::kNo;
    rows.push_back(row);
  }
  return ChooseLocalIpv6(rows);
}

}  // namespace nimbard
