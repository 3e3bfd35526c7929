#pragma once
// IPv6 addresses as text: any valid textual form read, RFC 5952's written.
#include <string>
#include <string_view>

#include "net/local_ipv6.h"

namespace nimbard {

// Eight groups of one to four hex digits (either case), one run of groups
// shortened to "::", the last two groups optionally as a dotted IPv4
// address. No zone ("%eth0"), prefix length, brackets or blanks. False,
// `address` untouched, for anything else.
bool ParseIpv6(std::wstring_view text, Ipv6Bytes& address);

// RFC 5952: lower case, no leading zeros, the longest run of two or more
// zero groups (the first of equal ones) as "::", ::ffff:0:0/96 with a
// dotted IPv4 tail.
std::wstring FormatIpv6(const Ipv6Bytes& address);

// Both texts are IPv6 addresses, and the same address.
bool SameIpv6(std::wstring_view a, std::wstring_view b);

}  // namespace nimbard
