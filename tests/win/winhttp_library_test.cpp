// WinHTTP from System32: every function bound, or Windows' reason why not.
#include <gtest/gtest.h>
#include <windows.h>

#include "net/winhttp_library.h"

namespace nimbard {
namespace {

TEST(WinHttpLibrary, LoadsFromSystem32OrSaysWhy) {
  const struct { const wchar_t* dll; DWORD expected; } cases[] = {
      {L"winhttp.dll", 0},
      {L"nimbard-absent-test.dll", ERROR_MOD_NOT_FOUND},
      {L"kernel32.dll", ERROR_PROC_NOT_FOUND},  // in System32, but no WinHttpOpen
  };
  for (const auto& c : cases) {
    HMODULE module = nullptr;
    WinHttpApi api;
    EXPECT_EQ(LoadWinHttpFromSystem32(c.dll, module, api), c.expected) << c.dll;
    EXPECT_EQ(module != nullptr, c.expected == 0) << c.dll;
    EXPECT_EQ(api.open != nullptr && api.closeHandle != nullptr, c.expected == 0) << c.dll;
    if (module) ::FreeLibrary(module);
  }
  DWORD error = 1;
  const WinHttpApi* system = SystemWinHttp(error);
  ASSERT_NE(system, nullptr);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(SystemWinHttp(error), system);  // loaded once
}

}  // namespace
}  // namespace nimbard
