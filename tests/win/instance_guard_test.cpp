// The single-instance guards: one holder at a time, and a guard that this
// process may not open counts as held.
#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "app/instance_guard.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

std::wstring TestMutexName(const wchar_t* what) {
  return std::wstring(L"Local\\nimbard-guard-test-") + what + L"-" + std::to_wstring(::GetCurrentProcessId());
}

TEST(SingleInstance, CreateMutexResultMeansOutcome) {
  const struct { bool gotHandle; DWORD error; GuardOutcome expected; } cases[] = {
      {true, 0, GuardOutcome::Acquired}, {true, ERROR_ALREADY_EXISTS, GuardOutcome::AlreadyRunning},
      {false, ERROR_ACCESS_DENIED, GuardOutcome::AlreadyRunning},  // another account's guard
      {false, ERROR_INVALID_HANDLE, GuardOutcome::NoHandle},        // the name belongs to another kind of object
      {false, ERROR_PATH_NOT_FOUND, GuardOutcome::NoHandle}, {false, 0, GuardOutcome::NoHandle},
  };
  for (const auto& c : cases) EXPECT_EQ(GuardOutcomeOf(c.gotHandle, c.error), c.expected) << c.gotHandle << " " << c.error;
}

TEST(SingleInstance, OneHolderAtATimeAndReleaseFreesIt) {
  const std::wstring name = TestMutexName(L"holder");
  const GuardOutcome expected[] = {GuardOutcome::Acquired, GuardOutcome::AlreadyRunning, GuardOutcome::AlreadyRunning};
  for (GuardOutcome outcome : expected) EXPECT_EQ(AcquireSingleInstance(name.c_str()), outcome);
  ReleaseSingleInstance();
  EXPECT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::Acquired);
  ReleaseSingleInstance();
  DWORD error = 0;
  EXPECT_EQ(AcquireSingleInstance(L"NoSuchNamespace\\nimbard-guard-test", &error), GuardOutcome::NoHandle);
  EXPECT_NE(error, 0u);
}

// A mutex of SYSTEM alone, as a service's would be without its own list: this
// process may not open it, and the guard is held all the same.
TEST(SingleInstance, GuardOfAnotherAccountIsHeld) {
  const std::wstring name = TestMutexName(L"system");
  UniqueLocal descriptor;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;;GA;;;SY)", SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  UniqueKernelHandle systemOnly(::CreateMutexW(&attributes, TRUE, name.c_str()));
  ASSERT_TRUE(systemOnly);
  ASSERT_FALSE(UniqueKernelHandle(::CreateMutexW(nullptr, TRUE, name.c_str())));
  EXPECT_EQ(::GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::AlreadyRunning);
}

// The guard's own list: SYSTEM and Administrators, and Everyone with the
// right to wait on it alone.
TEST(SingleInstance, EveryoneMaySeeTheGuardAndNoMore) {
  const std::wstring name = TestMutexName(L"list");
  ASSERT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::Acquired);
  UniqueKernelHandle seen(::OpenMutexW(READ_CONTROL, FALSE, name.c_str()));
  ASSERT_TRUE(seen);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  ASSERT_EQ(::GetSecurityInfo(seen.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &raw),
            DWORD(ERROR_SUCCESS));
  const UniqueLocal descriptor(raw);
  ASSERT_TRUE(dacl);
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone;
  ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
  EXPECT_EQ(dacl->AceCount, 3);
  int everyoneEntries = 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    ASSERT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    if (!::EqualSid(&allowed->SidStart, everyone)) continue;
    ++everyoneEntries;
    EXPECT_EQ(allowed->Mask, DWORD(SYNCHRONIZE));
  }
  EXPECT_EQ(everyoneEntries, 1);
  ReleaseSingleInstance();
}

}  // namespace
}  // namespace nimbard
