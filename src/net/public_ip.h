#pragma once
// The machine's public IPv4 address, as an echo service on the internet sees
// it. One lookup serves a whole pass.
#include <string>

#include "net/request_failure.h"

namespace nimbard {

struct PublicAddress {
  std::wstring address;     // a public IPv4 address; empty when no service gave one
  std::wstring lastAnswer;  // the last answer refused (not an address, or not public), trimmed
  bool answered = false;    // some service answered with a status: the network is there
  RequestFailure failure;   // why the last service asked gave no address
};

// Asks api.ipify.org and, when it gives no usable answer (no answer, a
// status outside 2xx, a text that is not a dotted IPv4 address, or one that
// is not public), checkip.amazonaws.com. Logs what went wrong and, when the
// second one answered, that it did.
PublicAddress PublicIpLookup();

// A dotted IPv4 address outside the ranges no echo service on the internet
// can see a home as: 0/8, 10/8, 100.64/10 (carrier-grade NAT), 127/8,
// 169.254/16, 172.16/12, 192.168/16, 224/4 and 240/4. Such an answer comes
// from a VPN, a proxy or a sign-in page. The documentation ranges
// (192.0.2/24, 198.51.100/24, 203.0.113/24) count as public.
bool IsPublicIPv4(const std::wstring& address);

}  // namespace nimbard
