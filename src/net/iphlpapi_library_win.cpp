#include "net/iphlpapi_library.h"

namespace nimbard {
namespace {

bool BindAll(HMODULE module, IpHelperApi& api) {
  return BindExport(module, "GetUnicastIpAddressTable", api.getUnicastIpAddressTable) &&
         BindExport(module, "FreeMibTable", api.freeMibTable) && BindExport(module, "GetBestRoute2", api.getBestRoute2) &&
         BindExport(module, "NotifyUnicastIpAddressChange", api.notifyUnicastIpAddressChange) &&
         BindExport(module, "CancelMibChangeNotify2", api.cancelMibChangeNotify2);
}

}  // namespace

const IpHelperApi* SystemIpHelper(DWORD& error) { return ProcessLibrary<IpHelperApi>(L"iphlpapi.dll", &BindAll, error); }

DWORD Ipv6ChangeWatch::Start(Callback onChange, void* context) {
  Stop();
  DWORD error = 0;
  const IpHelperApi* api = SystemIpHelper(error);
  if (!api) return error;
  onChange_ = onChange;
  context_ = context;
  HANDLE handle = nullptr;
  error = api->notifyUnicastIpAddressChange(AF_INET6, &Ipv6ChangeWatch::OnChange, this, FALSE, &handle);
  if (error == NO_ERROR) handle_ = handle;
  return error;
}

void Ipv6ChangeWatch::Stop() {
  if (!handle_) return;
  DWORD error = 0;
  if (const IpHelperApi* api = SystemIpHelper(error)) api->cancelMibChangeNotify2(handle_);
  handle_ = nullptr;
}

void WINAPI Ipv6ChangeWatch::OnChange(PVOID self, PMIB_UNICASTIPADDRESS_ROW, MIB_NOTIFICATION_TYPE) {
  const auto* watch = static_cast<const Ipv6ChangeWatch*>(self);
  if (watch && watch->onChange_) watch->onChange_(watch->context_);
}

}  // namespace nimbard
