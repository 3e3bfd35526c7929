#include "net/local_ipv6.h"

#include <windows.h>

namespace nimbard {

// Not read yet on Windows: no address, and the reason.
LocalIpv6 ReadLocalIpv6() {
  LocalIpv6 none;
  none.error = ERROR_CALL_NOT_IMPLEMENTED;
  return none;
}

}  // namespace nimbard
