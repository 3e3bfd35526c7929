#include "net/local_ipv6.h"

namespace nimbard {

// The native build serves the tests, which set their answer.
LocalIpv6 ReadLocalIpv6() { return {}; }

}  // namespace nimbard
