#include "host/elevated_command.h"

#include <objbase.h>
#include <shellapi.h>

#include "win32/unique_handle.h"

namespace nimbard {

DWORD RunElevatedCommand(const std::wstring& file, const std::wstring& parameters, bool waitForExit) {
  // The shell may hand the verb to COM objects, which want an apartment.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  const bool started = ::ShellExecuteExW(&info) != FALSE;
  const DWORD error = started ? 0 : ::GetLastError();
  const UniqueKernelHandle process(info.hProcess);
  if (process && waitForExit) ::WaitForSingleObject(process.get(), INFINITE);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return started || error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace nimbard
