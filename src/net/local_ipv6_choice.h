#pragma once
// Which of the PC's IPv6 addresses its AAAA records get: the rule, apart from
// the system's table. The kinds below mirror Windows' NL_PREFIX_ORIGIN,
// NL_SUFFIX_ORIGIN and NL_DAD_STATE value for value (nldef.h), so a row of
// GetUnicastIpAddressTable converts by a plain cast.
#include <cstdint>
#include <vector>

#include "net/local_ipv6.h"

namespace nimbard {

enum class PrefixOrigin : int {
  kOther = 0,
  kManual = 1,
  kWellKnown = 2,
  kDhcp = 3,
  kRouterAdvertisement = 4,
  kUnchanged = 16,
};

enum class SuffixOrigin : int {
  kOther = 0,
  kManual = 1,
  kWellKnown = 2,
  kDhcp = 3,
  kLinkLayerAddress = 4,
  kRandom = 5,
  kUnchanged = 16,
};

enum class DadState : int {
  kInvalid = 0,
  kTentative = 1,
  kDuplicate = 2,
  kDeprecated = 3,
  kPreferred = 4,
};

enum class InterfaceKind { kOther, kLoopback, kTunnel };

// Whether the interface carries the route to the internet; unknown when the
// system could not say (Wine answers no route query), and then every
// interface counts alike.
enum class RouteInterface { kUnknown, kYes, kNo };

struct Ipv6Row {
  Ipv6Bytes address{};
  PrefixOrigin prefixOrigin = PrefixOrigin::kOther;
  SuffixOrigin suffixOrigin = SuffixOrigin::kOther;
  DadState dadState = DadState::kInvalid;
  std::uint32_t preferredLifetimeSeconds = 0;  // 0: deprecated; 0xffffffff: infinite
  InterfaceKind interfaceKind = InterfaceKind::kOther;
  RouteInterface route = RouteInterface::kUnknown;
};

// Whether the row may be published at all: a global unicast address (in
// 2000::/3, outside the special ranges), preferred, neither deprecated nor
// temporary, on an interface that is neither loopback nor a tunnel.
bool IsPublishableIpv6(const Ipv6Row& row);

// The candidate to publish: on the interface of the route to the internet,
// then manual or DHCPv6 before autoconfigured, then the longest preferred
// lifetime, then the lowest address. Not found when no row qualifies.
LocalIpv6 ChooseLocalIpv6(const std::vector<Ipv6Row>& rows);

}  // namespace nimbard
