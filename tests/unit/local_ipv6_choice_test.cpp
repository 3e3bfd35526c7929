// Which of the PC's IPv6 addresses the AAAA records get.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "net/local_ipv6_choice.h"

namespace nimbard {
namespace {

// An address from its eight 16-bit groups.
Ipv6Bytes A(std::initializer_list<std::uint16_t> groups) {
  Ipv6Bytes bytes{};
  int i = 0;
  for (std::uint16_t g : groups) {
    bytes[i++] = static_cast<unsigned char>(g >> 8);
    bytes[i++] = static_cast<unsigned char>(g);
  }
  return bytes;
}

// A stable autoconfigured address, preferred for a day, on an Ethernet card.
Ipv6Row Stable(const Ipv6Bytes& address) {
  Ipv6Row row;
  row.address = address;
  row.prefixOrigin = PrefixOrigin::kRouterAdvertisement;
  row.suffixOrigin = SuffixOrigin::kLinkLayerAddress;
  row.dadState = DadState::kPreferred;
  row.preferredLifetimeSeconds = 86400;
  return row;
}

TEST(LocalIpv6Choice, RangesAndTheirEdges) {
  const struct { Ipv6Bytes address; bool publishable; const char* why; } rows[] = {
      {A({0x2001, 0xdb8, 5, 6, 0, 0, 0, 0x10}), true, "documentation range"}, {A({0x2a00, 0x1450, 0, 0, 0, 0, 0, 1}), true, "plain global"},
      {A({0x2000, 0, 0, 0, 0, 0, 0, 1}), true, "first of 2000::/3"}, {A({0x3fff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}), true, "last of 2000::/3"},
      {A({0x1fff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}), false, "just below 2000::/3"},
      {A({0x4000, 0, 0, 0, 0, 0, 0, 1}), false, "just above 2000::/3"}, {A({0x2001, 0, 0, 0, 0, 0, 0, 1}), false, "Teredo, first"},
      {A({0x2001, 0, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}), false, "Teredo, last"}, {A({0x2001, 1, 0, 0, 0, 0, 0, 1}), true, "just past Teredo"},
      {A({0x2002, 0xc000, 0x0204, 0, 0, 0, 0, 1}), false, "6to4"}, {A({0x2002, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}), false, "6to4, last"},
      {A({0x2003, 0, 0, 0, 0, 0, 0, 1}), true, "just past 6to4"},
      {A({0x2001, 0x0f, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}), true, "just below 2001:10::/28"},
      {A({0x2001, 0x10, 0, 0, 0, 0, 0, 1}), false, "2001:10::/28, first"},
      {A({0x2001, 0x1f, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}), false, "2001:10::/28, last"},
      {A({0x2001, 0x20, 0, 0, 0, 0, 0, 1}), true, "just past 2001:10::/28"}, {A({0x64, 0xff9b, 0, 0, 0, 0, 0xc000, 0x0201}), false, "NAT64"},
      {A({0, 0, 0, 0, 0, 0xffff, 0xc000, 0x0201}), false, "IPv4-mapped"}, {A({0xfd00, 0, 0, 0, 0, 0, 0, 1}), false, "unique-local fd00::/8"},
      {A({0xfc00, 0, 0, 0, 0, 0, 0, 1}), false, "fc00::/7"}, {A({0xfe80, 0, 0, 0, 0, 0, 0, 1}), false, "link-local"},
      {A({0, 0, 0, 0, 0, 0, 0, 1}), false, "loopback ::1"}, {A({0xff02, 0, 0, 0, 0, 0, 0, 1}), false, "multicast"},
  };
  for (const auto& row : rows) EXPECT_EQ(IsPublishableIpv6(Stable(row.address)), row.publishable) << row.why;
}

TEST(LocalIpv6Choice, StatesOriginsAndInterfaces) {
  const Ipv6Bytes global = A({0x2001, 0xdb8, 5, 6, 0, 0, 0, 0x10});
  const struct { void (*change)(Ipv6Row&); bool publishable; const char* why; } rows[] = {
      {[](Ipv6Row& r) { r.suffixOrigin = SuffixOrigin::kRandom; }, false, "temporary: router's prefix, random suffix"},
      {[](Ipv6Row& r) { r.prefixOrigin = PrefixOrigin::kManual; r.suffixOrigin = SuffixOrigin::kRandom; }, true, "random suffix under a manual prefix"},
      {[](Ipv6Row& r) { r.prefixOrigin = PrefixOrigin::kDhcp; r.suffixOrigin = SuffixOrigin::kDhcp; }, true, "DHCPv6"},
      {[](Ipv6Row& r) { r.prefixOrigin = PrefixOrigin::kManual; r.suffixOrigin = SuffixOrigin::kManual; }, true, "manual"},
      {[](Ipv6Row& r) { r.dadState = DadState::kDeprecated; }, false, "deprecated"}, {[](Ipv6Row& r) { r.dadState = DadState::kTentative; }, false, "tentative"},
      {[](Ipv6Row& r) { r.dadState = DadState::kDuplicate; }, false, "duplicate"}, {[](Ipv6Row& r) { r.dadState = DadState::kInvalid; }, false, "invalid"},
      {[](Ipv6Row& r) { r.preferredLifetimeSeconds = 0; }, false, "preferred state but no preferred time left"},
      {[](Ipv6Row& r) { r.preferredLifetimeSeconds = 1; }, true, "one second left"},
      {[](Ipv6Row& r) { r.interfaceKind = InterfaceKind::kLoopback; }, false, "loopback interface"},
      {[](Ipv6Row& r) { r.interfaceKind = InterfaceKind::kTunnel; }, false, "tunnel interface"},
      {[](Ipv6Row& r) { r.route = RouteInterface::kNo; }, true, "off the route: still a candidate"},
  };
  for (const auto& row : rows) {
    Ipv6Row candidate = Stable(global);
    row.change(candidate);
    EXPECT_EQ(IsPublishableIpv6(candidate), row.publishable) << row.why;
  }
}

TEST(LocalIpv6Choice, PreferenceOrder) {
  const Ipv6Bytes low = A({0x2001, 0xdb8, 1, 0, 0, 0, 0, 1});
  const Ipv6Bytes high = A({0x2001, 0xdb8, 9, 0, 0, 0, 0, 1});
  auto dhcp = [](Ipv6Row r) { r.prefixOrigin = PrefixOrigin::kDhcp; r.suffixOrigin = SuffixOrigin::kDhcp; return r; };
  auto lasting = [](Ipv6Row r, std::uint32_t s) { r.preferredLifetimeSeconds = s; return r; };
  auto route = [](Ipv6Row r, RouteInterface on) { r.route = on; return r; };
  auto temporary = [](Ipv6Row r) { r.suffixOrigin = SuffixOrigin::kRandom; return r; };
  const struct { std::vector<Ipv6Row> rows; bool found; Ipv6Bytes chosen; const char* why; } cases[] = {
      {{}, false, {}, "no rows"},
      {{temporary(Stable(low)), Stable(A({0xfd00, 0, 0, 0, 0, 0, 0, 1}))}, false, {}, "only unpublishable rows"},
      {{Stable(high), Stable(low)}, true, low, "the lowest address among equals"},
      {{Stable(low), Stable(high)}, true, low, "the lowest whatever the order"},
      {{lasting(Stable(low), 600), lasting(Stable(high), 3600)}, true, high, "the longest preferred lifetime"},
      {{lasting(Stable(low), 3600), lasting(Stable(high), 0xffffffff)}, true, high, "infinite is the longest"},
      {{lasting(Stable(low), 0xffffffff), dhcp(lasting(Stable(high), 600))}, true, high, "DHCPv6 before autoconfigured"},
      {{route(dhcp(Stable(low)), RouteInterface::kNo), route(lasting(Stable(high), 60), RouteInterface::kYes)}, true, high, "the route's interface first"},
      {{route(Stable(low), RouteInterface::kNo)}, true, low, "off the route, but the only one"},
      {{temporary(lasting(Stable(low), 0xffffffff)), Stable(high)}, true, high, "never the temporary one"},
  };
  for (const auto& c : cases) {
    const LocalIpv6 chosen = ChooseLocalIpv6(c.rows);
    EXPECT_TRUE(chosen.found == c.found && (!c.found || chosen.address == c.chosen)) << c.why;
  }
}

}  // namespace
}  // namespace nimbard
