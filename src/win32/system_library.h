#pragma once
// A DLL that is not one of Windows' known DLLs, loaded at run time from
// System32 alone: an import of it would be resolved by the usual search,
// which looks in the exe's own folder first, where another program may have
// left a DLL of that name. Its functions are bound into a table, `Api`.
#include <windows.h>

#include <mutex>

namespace nimbard {

// GetProcAddress's result as the function's own type (through the generic
// function pointer type, which converts to any other without a warning).
template <typename Function>
bool BindExport(HMODULE module, const char* name, Function& function) {
  const FARPROC address = ::GetProcAddress(module, name);
  if (!address) return false;
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
  return true;
}

// Loads `dllName` with LOAD_LIBRARY_SEARCH_SYSTEM32 and fills `api` through
// `bindAll(module, api)`. 0 on success; otherwise Windows' error
// (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, ...), with the module freed
// again and `module` and `api` untouched.
template <typename Api, typename BindAll>
DWORD LoadFromSystem32(const wchar_t* dllName, BindAll bindAll, HMODULE& module, Api& api) {
  HMODULE loaded = ::LoadLibraryExW(dllName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!loaded) return ::GetLastError();
  Api bound;
  if (!bindAll(loaded, bound)) {
    const DWORD error = ::GetLastError();
    ::FreeLibrary(loaded);
    return error ? error : ERROR_PROC_NOT_FOUND;
  }
  module = loaded;
  api = bound;
  return 0;
}

// The process's copy of the library behind `Api`, loaded at the first call
// that succeeds and never freed: its owner is the process, as a thread that
// its caller stopped waiting for, or a system notification, may still be
// inside it at the end. Null, with `error` set, while it cannot be loaded.
template <typename Api, typename BindAll>
const Api* ProcessLibrary(const wchar_t* dllName, BindAll bindAll, DWORD& error) {
  static std::mutex mutex;
  static HMODULE module = nullptr;
  static Api api;
  std::lock_guard<std::mutex> lock(mutex);
  error = module ? 0 : LoadFromSystem32(dllName, bindAll, module, api);
  return error ? nullptr : &api;
}

}  // namespace nimbard
