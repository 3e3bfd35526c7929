#include "net/iphlpapi_library.h"

#include <mutex>

namespace nimbard {
namespace {

template <typename Function>
bool Bind(HMODULE module, const char* name, Function& function) {
  const FARPROC address = ::GetProcAddress(module, name);
  if (!address) return false;
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
  return true;
}

DWORD Load(HMODULE& module, IpHelperApi& api) {
  HMODULE loaded = ::LoadLibraryExW(L"iphlpapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!loaded) return ::GetLastError();
  IpHelperApi bound;
  if (!(Bind(loaded, "GetUnicastIpAddressTable", bound.getUnicastIpAddressTable) &&
        Bind(loaded, "FreeMibTable", bound.freeMibTable) && Bind(loaded, "GetBestRoute2", bound.getBestRoute2) &&
        Bind(loaded, "NotifyUnicastIpAddressChange", bound.notifyUnicastIpAddressChange) &&
        Bind(loaded, "CancelMibChangeNotify2", bound.cancelMibChangeNotify2))) {
    const DWORD error = ::GetLastError();
    ::FreeLibrary(loaded);
    return error ? error : ERROR_PROC_NOT_FOUND;
  }
  module = loaded;
  api = bound;
  return 0;
}

}  // namespace

const IpHelperApi* SystemIpHelper(DWORD& error) {
  // Owned by the process: a notification thread may still be inside it at the end.
  static std::mutex mutex;
  static HMODULE module = nullptr;
  static IpHelperApi api;
  std::lock_guard<std::mutex> lock(mutex);
  if (!module) {
    error = Load(module, api);
    if (error) return nullptr;
  }
  error = 0;
  return &api;
}

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
