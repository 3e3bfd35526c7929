#include "net/winhttp_library.h"

#include <mutex>

namespace nimbard {
namespace {

// GetProcAddress's result as the function's own type (through the generic
// function pointer type, which converts to any other without a warning).
template <typename Function>
bool Bind(HMODULE module, const char* name, Function& function) {
  const FARPROC address = ::GetProcAddress(module, name);
  if (!address) return false;
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
  return true;
}

bool BindAll(HMODULE module, WinHttpApi& api) {
  return Bind(module, "WinHttpOpen", api.open) && Bind(module, "WinHttpSetTimeouts", api.setTimeouts) &&
         Bind(module, "WinHttpConnect", api.connect) && Bind(module, "WinHttpOpenRequest", api.openRequest) &&
         Bind(module, "WinHttpSetOption", api.setOption) && Bind(module, "WinHttpSendRequest", api.sendRequest) &&
         Bind(module, "WinHttpReceiveResponse", api.receiveResponse) &&
         Bind(module, "WinHttpQueryHeaders", api.queryHeaders) &&
         Bind(module, "WinHttpQueryDataAvailable", api.queryDataAvailable) &&
         Bind(module, "WinHttpReadData", api.readData) && Bind(module, "WinHttpCloseHandle", api.closeHandle);
}

}  // namespace

DWORD LoadWinHttpFromSystem32(const wchar_t* dllName, HMODULE& module, WinHttpApi& api) {
  HMODULE loaded = ::LoadLibraryExW(dllName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!loaded) return ::GetLastError();
  WinHttpApi bound;
  if (!BindAll(loaded, bound)) {
    const DWORD error = ::GetLastError();
    ::FreeLibrary(loaded);
    return error ? error : ERROR_PROC_NOT_FOUND;
  }
  module = loaded;
  api = bound;
  return 0;
}

const WinHttpApi* SystemWinHttp(DWORD& error) {
  // The module's owner is the process: it is never freed (see the header).
  static std::mutex mutex;
  static HMODULE module = nullptr;
  static WinHttpApi api;
  std::lock_guard<std::mutex> lock(mutex);
  if (!module) {
    error = LoadWinHttpFromSystem32(L"winhttp.dll", module, api);
    if (error) return nullptr;
  }
  error = 0;
  return &api;
}

}  // namespace nimbard
