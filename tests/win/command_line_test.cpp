// The command line selects exactly one mode; the single-instance guard lets
// one holder at a time own the named mutex.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "core/win_handle.h"
#include "host/app_entry.h"
#include "host/command_line.h"
#include "host/service_control.h"

namespace nimbard {
namespace {

TEST(CommandLine, SelectsOneMode) {
  const struct { Mode mode; std::vector<const wchar_t*> lines; } cases[] = {
      {Mode::Service, {L"--service", L"--SERVICE", L"--service\r\n"}},
      {Mode::Install, {L"--install", L"  --INSTALL  ", L"\t\r\n --Install \t\r\n"}},
      {Mode::Uninstall, {L"--uninstall", L"\t--UnInstall"}},
      {Mode::TrayMonitor, {L"--tray", L"--TrAy", L" --TRAY\n"}},
      // Anything that is not exactly one option; only blank, tab, CR and LF are trimmed.
      {Mode::TrayStandalone, {L"", nullptr, L" \t\r\n", L"--install now", L"--install --install",
                              L"--tray --service", L"-install", L"install", L"/install",
                              L"\"--install\"", L"--installx", L"--instal", L"--service\v",
                              L"\u00A0--service", L"--tray\uFFFF"}},
  };
  for (const auto& c : cases) {
    for (const wchar_t* line : c.lines) {
      EXPECT_EQ(ParseCommandLine(line), c.mode) << testing::PrintToString(line ? line : L"(null)");
    }
  }
}

// Result of another thread's attempt to take the named mutex without waiting
// (the holding thread itself would just take it again).
DWORD OtherThreadTakes(const std::wstring& name) {
  DWORD result = 0xFFFFFFFF;
  std::thread([&] {
    UniqueKernelHandle mutex(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
    if (mutex) result = ::WaitForSingleObject(mutex.get(), 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ::ReleaseMutex(mutex.get());
  }).join();
  return result;
}

TEST(SingleInstance, OneHolderAtATimeAndReleaseFreesIt) {
  const std::wstring name = L"Local\\nimbard-guard-test-" + std::to_wstring(::GetCurrentProcessId());
  ASSERT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::Acquired);
  EXPECT_EQ(OtherThreadTakes(name), DWORD{WAIT_TIMEOUT});  // owned, not just opened
  EXPECT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::AlreadyRunning);
  EXPECT_EQ(OtherThreadTakes(name), DWORD{WAIT_TIMEOUT});  // the refusal left the holder alone

  // An outside handle keeps the object alive: after the release it can be taken.
  UniqueKernelHandle outside(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  ASSERT_TRUE(outside);
  ReleaseSingleInstance();
  EXPECT_EQ(OtherThreadTakes(name), DWORD{WAIT_OBJECT_0});
  outside.reset();

  // Released and closed: a new start takes the guard afresh.
  EXPECT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::Acquired);
  ReleaseSingleInstance();
  ReleaseSingleInstance();  // twice is harmless
  EXPECT_EQ(AcquireSingleInstance(L"NoSuchNamespace\\nimbard-guard-test"), GuardOutcome::NoHandle);
}

TEST(ServiceControl, StateTexts) {
  const struct { ServiceQuery outcome; DWORD state; const wchar_t* text; } cases[] = {
      {ServiceQuery::ManagerUnavailable, SERVICE_RUNNING, L"Service: unavailable"},
      {ServiceQuery::NotInstalled, SERVICE_RUNNING, L"Service: not installed"},
      {ServiceQuery::QueryFailed, SERVICE_RUNNING, L"Service: unavailable"},
      {ServiceQuery::Answered, SERVICE_STOPPED, L"Service: stopped"},
      {ServiceQuery::Answered, SERVICE_START_PENDING, L"Service: starting"},
      {ServiceQuery::Answered, SERVICE_STOP_PENDING, L"Service: stopping"},
      {ServiceQuery::Answered, SERVICE_RUNNING, L"Service: running"},
  };
  for (const auto& c : cases) EXPECT_EQ(ServiceStateText(c.outcome, c.state), c.text);
  for (DWORD other : {DWORD{SERVICE_CONTINUE_PENDING}, DWORD{SERVICE_PAUSE_PENDING},
                      DWORD{SERVICE_PAUSED}, DWORD{0}, DWORD{0xFFFFFFFF}}) {
    EXPECT_EQ(ServiceStateText(ServiceQuery::Answered, other), L"Service: state unknown") << other;
  }
}

TEST(ServiceControl, QuotedCommandLinesAndStoredLength) {
  const struct { const wchar_t *path, *option, *line; DWORD bytes; } cases[] = {
      {L"C:\\nimbard\\nimbard.exe", L"--service", L"\"C:\\nimbard\\nimbard.exe\" --service", 70},
      {L"C:\\Program Files\\nim bard\\nimbard.exe", L"--tray",
       L"\"C:\\Program Files\\nim bard\\nimbard.exe\" --tray", 94},
      {L"x", L"--tray", L"\"x\" --tray", 22},
  };
  for (const auto& c : cases) {
    const std::wstring line = QuotedCommandLine(c.path, c.option);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(RegistryStringBytes(line), c.bytes) << c.path;
  }
}

// A prefix without the service: every command reports it as absent and
// touches nothing.
TEST(ServiceControl, AbsentService) {
  ASSERT_EQ(GetServiceStateText(), L"Service: not installed");
  EXPECT_FALSE(SendServiceRequest(kServiceRequestStop));
  EXPECT_FALSE(SendServiceRequest(kServiceRequestStart));
  EXPECT_FALSE(UninstallService());
}

}  // namespace
}  // namespace nimbard
