#pragma once
// WinHTTP, loaded at run time from System32 alone. The exe does not import
// winhttp.dll: it is not one of Windows' known DLLs, so an import would be
// resolved before the exe's first line by the usual search, which looks in
// the exe's own folder first (a download folder, where another program may
// have left a winhttp.dll) and would run that DLL inside an elevated
// "--install". Windows only.
#include <windows.h>
#include <winhttp.h>

#include "win32/system_library.h"

namespace nimbard {

// The WinHTTP functions the exchange calls, bound from one loaded module.
struct WinHttpApi {
  decltype(&::WinHttpOpen) open = nullptr;
  decltype(&::WinHttpSetTimeouts) setTimeouts = nullptr;
  decltype(&::WinHttpConnect) connect = nullptr;
  decltype(&::WinHttpOpenRequest) openRequest = nullptr;
  decltype(&::WinHttpSetOption) setOption = nullptr;
  decltype(&::WinHttpSendRequest) sendRequest = nullptr;
  decltype(&::WinHttpReceiveResponse) receiveResponse = nullptr;
  decltype(&::WinHttpQueryHeaders) queryHeaders = nullptr;
  decltype(&::WinHttpQueryDataAvailable) queryDataAvailable = nullptr;
  decltype(&::WinHttpReadData) readData = nullptr;
  decltype(&::WinHttpCloseHandle) closeHandle = nullptr;
};

// Loads `dllName` from System32 alone (LOAD_LIBRARY_SEARCH_SYSTEM32) and
// binds every function of `api`. 0 on success; otherwise Windows' error
// (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, ...), with the module freed
// again and `api` untouched.
DWORD LoadWinHttpFromSystem32(const wchar_t* dllName, HMODULE& module, WinHttpApi& api);

// The process's WinHTTP, loaded at the first call and kept for the rest of
// the process (an exchange thread that its caller stopped waiting for may
// still be inside it when the process ends). Null, with `error` set, while
// it cannot be loaded; a later call tries again.
const WinHttpApi* SystemWinHttp(DWORD& error);

}  // namespace nimbard
