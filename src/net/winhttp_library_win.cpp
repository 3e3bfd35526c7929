#include "net/winhttp_library.h"

namespace nimbard {
namespace {

bool BindAll(HMODULE module, WinHttpApi& api) {
  return BindExport(module, "WinHttpOpen", api.open) && BindExport(module, "WinHttpSetTimeouts", api.setTimeouts) &&
         BindExport(module, "WinHttpConnect", api.connect) && BindExport(module, "WinHttpOpenRequest", api.openRequest) &&
         BindExport(module, "WinHttpSetOption", api.setOption) &&
         BindExport(module, "WinHttpSendRequest", api.sendRequest) &&
         BindExport(module, "WinHttpReceiveResponse", api.receiveResponse) &&
         BindExport(module, "WinHttpQueryHeaders", api.queryHeaders) &&
         BindExport(module, "WinHttpQueryDataAvailable", api.queryDataAvailable) &&
         BindExport(module, "WinHttpReadData", api.readData) &&
         BindExport(module, "WinHttpCloseHandle", api.closeHandle);
}

}  // namespace

DWORD LoadWinHttpFromSystem32(const wchar_t* dllName, HMODULE& module, WinHttpApi& api) {
  return LoadFromSystem32(dllName, &BindAll, module, api);
}

const WinHttpApi* SystemWinHttp(DWORD& error) { return ProcessLibrary<WinHttpApi>(L"winhttp.dll", &BindAll, error); }

}  // namespace nimbard
