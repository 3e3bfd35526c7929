#pragma once
// The PC's own stable public IPv6 address, read from its interfaces. No echo
// service can tell it: Windows sends from the temporary address.
#include <array>

namespace nimbard {

using Ipv6Bytes = std::array<unsigned char, 16>;

struct LocalIpv6 {
  bool found = false;       // false: this PC holds no global IPv6 address to publish
  Ipv6Bytes address{};      // network byte order
  unsigned long error = 0;  // the system's error when the address table could not be read
};

// The address the AAAA records of this PC get. A test's answer, once set,
// stands in for the system's.
LocalIpv6 FindLocalIpv6();
void SetLocalIpv6ForTesting(const LocalIpv6* answer);  // null: the system's again

// The system's side: the interfaces' addresses, chosen by the publishing rule.
LocalIpv6 ReadLocalIpv6();

}  // namespace nimbard
