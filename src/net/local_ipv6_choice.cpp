#include "net/local_ipv6_choice.h"

#include <tuple>

namespace nimbard {
namespace {

struct Range {
  unsigned char prefix[16];
  int bits;
};

// Addresses that are never one PC's reachable address. The last four lie
// outside 2000::/3 anyway; they stay listed so that the list is whole.
constexpr Range kRefused[] = {
    {{0x20, 0x01, 0x00, 0x00}, 32},         // Teredo
    {{0x20, 0x02}, 16},                     // 6to4
    {{0x20, 0x01, 0x00, 0x10}, 28},         // ORCHID
    {{0x00, 0x64, 0xff, 0x9b}, 96},         // NAT64
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff}, 96},  // IPv4-mapped
    {{0xfc}, 7},                            // unique-local
    {{0xfe, 0x80}, 10},                     // link-local
};

bool InRange(const Ipv6Bytes& address, const unsigned char* prefix, int bits) {
  int i = 0;
  for (; bits >= 8; bits -= 8, ++i) {
    if (address[i] != prefix[i]) return false;
  }
  if (bits == 0) return true;
  const unsigned char mask = static_cast<unsigned char>(0xff << (8 - bits));
  return (address[i] & mask) == (prefix[i] & mask);
}

bool IsGlobalUnicast(const Ipv6Bytes& address) {
  if ((address[0] & 0xe0) != 0x20) return false;  // 2000::/3
  for (const Range& range : kRefused) {
    if (InRange(address, range.prefix, range.bits)) return false;
  }
  return true;
}

// Windows' temporary (privacy) address: the prefix from the router, the
// interface identifier drawn at random. The stable address of the same
// prefix says LinkLayerAddress even when its identifier is random too.
bool IsTemporary(const Ipv6Row& row) {
  return row.prefixOrigin == PrefixOrigin::kRouterAdvertisement && row.suffixOrigin == SuffixOrigin::kRandom;
}

bool IsConfigured(const Ipv6Row& row) {
  return row.prefixOrigin == PrefixOrigin::kManual || row.prefixOrigin == PrefixOrigin::kDhcp ||
         row.suffixOrigin == SuffixOrigin::kManual || row.suffixOrigin == SuffixOrigin::kDhcp;
}

// Smaller is better.
auto Rank(const Ipv6Row& row) {
  return std::make_tuple(row.route == RouteInterface::kNo, !IsConfigured(row), ~row.preferredLifetimeSeconds,
                         row.address);
}

}  // namespace

bool IsPublishableIpv6(const Ipv6Row& row) {
  return IsGlobalUnicast(row.address) && row.dadState == DadState::kPreferred && row.preferredLifetimeSeconds > 0 &&
         row.interfaceKind == InterfaceKind::kOther && !IsTemporary(row);
}

LocalIpv6 ChooseLocalIpv6(const std::vector<Ipv6Row>& rows) {
  const Ipv6Row* best = nullptr;
  for (const Ipv6Row& row : rows) {
    if (IsPublishableIpv6(row) && (!best || Rank(row) < Rank(*best))) best = &row;
  }
  LocalIpv6 chosen;
  if (best) {
    chosen.found = true;
    chosen.address = best->address;
  }
  return chosen;
}

}  // namespace nimbard
