// Test helper for the end-to-end scripts: the PC's IPv6 addresses as the IP
// Helper lists them, and the one the product's reader picks for the AAAA
// records.
//
//   local_ipv6_probe   row=ADDRESS prefix= suffix= dad= preferred= iftype=
//                      lines, route=ok|error CODE (GetBestRoute2), watch=ok|error
//                      CODE (NotifyUnicastIpAddressChange, through the product's
//                      watch), then
//                      chosen=ADDRESS, or chosen=none (with error=CODE when
//                      the table could not be read)
//
// Output is one "key=value" per line. Exit 0 when an address was chosen, 1 otherwise.
#include <cstdio>
#include <string>

#include <ws2tcpip.h>

#include "net/iphlpapi_library.h"
#include "net/local_ipv6.h"

namespace {

std::string Text(const void* address) {
  wchar_t wide[INET6_ADDRSTRLEN] = {};
  if (!::InetNtopW(AF_INET6, address, wide, INET6_ADDRSTRLEN)) return "?";
  std::string narrow;
  for (const wchar_t* p = wide; *p; ++p) narrow += static_cast<char>(*p);
  return narrow;
}

void PrintRows(const nimbard::IpHelperApi& api) {
  MIB_UNICASTIPADDRESS_TABLE* table = nullptr;
  const DWORD error = api.getUnicastIpAddressTable(AF_INET6, &table);
  if (error != NO_ERROR) {
    std::printf("table_error=%lu\n", error);
    return;
  }
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    const MIB_UNICASTIPADDRESS_ROW& row = table->Table[i];
    std::printf("row=%s prefix=%d suffix=%d dad=%d preferred=%lu iftype=%u\n",
                Text(&row.Address.Ipv6.sin6_addr).c_str(), int(row.PrefixOrigin), int(row.SuffixOrigin),
                int(row.DadState), row.PreferredLifetime, unsigned(row.InterfaceLuid.Info.IfType));
  }
  api.freeMibTable(table);
  SOCKADDR_INET destination{};
  destination.Ipv6.sin6_family = AF_INET6;
  destination.Ipv6.sin6_addr.s6_addr[0] = 0x20;
  destination.Ipv6.sin6_addr.s6_addr[15] = 1;
  MIB_IPFORWARD_ROW2 route{};
  SOCKADDR_INET source{};
  const DWORD routeError = api.getBestRoute2(nullptr, 0, nullptr, &destination, 0, &route, &source);
  if (routeError == NO_ERROR) {
    std::printf("route=ok\n");
  } else {
    std::printf("route=error %lu\n", routeError);
  }
  nimbard::Ipv6ChangeWatch watch;
  const DWORD watchError = watch.Start([](void*) {}, nullptr);
  if (watchError == NO_ERROR) {
    std::printf("watch=ok\n");
  } else {
    std::printf("watch=error %lu\n", watchError);
  }
}

}  // namespace

int main() {
  DWORD error = 0;
  if (const nimbard::IpHelperApi* api = nimbard::SystemIpHelper(error)) {
    PrintRows(*api);
  } else {
    std::printf("iphlpapi_error=%lu\n", error);
  }
  const nimbard::LocalIpv6 chosen = nimbard::ReadLocalIpv6();
  if (!chosen.found) {
    if (chosen.error) std::printf("error=%lu\n", chosen.error);
    std::printf("chosen=none\n");
    return 1;
  }
  std::printf("chosen=%s\n", Text(chosen.address.data()).c_str());
  return 0;
}
