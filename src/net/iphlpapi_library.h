#pragma once
// The IP Helper, loaded at run time from System32 alone: iphlpapi.dll is not
// a known DLL (win32/system_library.h). Windows only.
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include "win32/system_library.h"

namespace nimbard {

struct IpHelperApi {
  decltype(&::GetUnicastIpAddressTable) getUnicastIpAddressTable = nullptr;
  decltype(&::FreeMibTable) freeMibTable = nullptr;
  decltype(&::GetBestRoute2) getBestRoute2 = nullptr;
  decltype(&::NotifyUnicastIpAddressChange) notifyUnicastIpAddressChange = nullptr;
  decltype(&::CancelMibChangeNotify2) cancelMibChangeNotify2 = nullptr;
};

// The process's IP Helper, loaded at the first call and kept for the rest of
// the process. Null, with `error` set, while it cannot be loaded.
const IpHelperApi* SystemIpHelper(DWORD& error);

// Calls `onChange(context)` on a system thread each time an IPv6 unicast
// address is added, deleted or changed, from Start until Stop (or the end of
// the object). The callback must not throw.
class Ipv6ChangeWatch {
 public:
  using Callback = void (*)(void* context);
  Ipv6ChangeWatch() = default;
  ~Ipv6ChangeWatch() { Stop(); }
  Ipv6ChangeWatch(const Ipv6ChangeWatch&) = delete;
  Ipv6ChangeWatch& operator=(const Ipv6ChangeWatch&) = delete;

  // 0, or the error why no change will be told.
  DWORD Start(Callback onChange, void* context);
  // Returns when no callback runs any more; never call it from the callback.
  void Stop();

 private:
  static void WINAPI OnChange(PVOID self, PMIB_UNICASTIPADDRESS_ROW row, MIB_NOTIFICATION_TYPE type);
  HANDLE handle_ = nullptr;
  Callback onChange_ = nullptr;
  void* context_ = nullptr;
};

}  // namespace nimbard
