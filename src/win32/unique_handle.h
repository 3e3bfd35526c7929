#pragma once
// Owners for Win32 handles, the one place they are defined: each handle gets
// an owner the moment it is created and is closed exactly once, on every
// path. Non-copyable, movable. Windows only; the portable folders never
// include it except from their _win.cpp files.
#include <windows.h>

#include <utility>

namespace nimbard {

template <typename Handle, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  explicit operator bool() const { return Traits::IsValid(handle_); }
  Handle get() const { return handle_; }
  Handle release() { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Handle handle = Traits::Invalid()) {
    Handle old = std::exchange(handle_, handle);
    if (Traits::IsValid(old)) Traits::Close(old);
  }
  // The slot for a Win32 out-parameter (RegOpenKeyExW and the like): what
  // was owned before is closed first, and what the call writes is owned.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// Handles whose "none" is null, closed by CloseFn.
template <typename Handle, auto CloseFn>
struct NullHandleTraits {
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CloseFn(h); }
};
// Handles whose "none" is INVALID_HANDLE_VALUE (null counted as none too).
template <auto CloseFn>
struct InvalidValueHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(HANDLE h) { CloseFn(h); }
};

// CreateFileW and FindFirstFileW fail with INVALID_HANDLE_VALUE; events,
// mutexes, threads, processes and tokens with null.
using UniqueFile = UniqueHandle<HANDLE, InvalidValueHandleTraits<&::CloseHandle>>;
using UniqueFind = UniqueHandle<HANDLE, InvalidValueHandleTraits<&::FindClose>>;
using UniqueKernelHandle = UniqueHandle<HANDLE, NullHandleTraits<HANDLE, &::CloseHandle>>;
using UniqueScHandle = UniqueHandle<SC_HANDLE, NullHandleTraits<SC_HANDLE, &::CloseServiceHandle>>;
using UniqueRegKey = UniqueHandle<HKEY, NullHandleTraits<HKEY, &::RegCloseKey>>;
using UniqueMenu = UniqueHandle<HMENU, NullHandleTraits<HMENU, &::DestroyMenu>>;
using UniqueFont = UniqueHandle<HFONT, NullHandleTraits<HFONT, &::DeleteObject>>;
using UniqueLocal = UniqueHandle<HLOCAL, NullHandleTraits<HLOCAL, &::LocalFree>>;

}  // namespace nimbard
