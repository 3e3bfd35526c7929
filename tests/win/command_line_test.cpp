// The command line selects exactly one mode; the single-instance guard lets
// one holder at a time own the named mutex.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/win_handle.h"
#include "host/app_entry.h"
#include "host/command_line.h"
#include "host/service_control.h"

namespace nimbard {
namespace {

TEST(CommandLine, SelectsOneMode) {
  struct Case {
    const wchar_t* commandLine;
    Mode mode;
  } cases[] = {
      {L"--service", Mode::Service},
      {L"--SERVICE", Mode::Service},
      {L"--service\r\n", Mode::Service},
      {L"--install", Mode::Install},
      {L"  --INSTALL  ", Mode::Install},
      {L"\t\r\n --Install \t\r\n", Mode::Install},
      {L"--uninstall", Mode::Uninstall},
      {L"\t--UnInstall", Mode::Uninstall},
      {L"--tray", Mode::TrayMonitor},
      {L"--TrAy", Mode::TrayMonitor},
      {L" --TRAY\n", Mode::TrayMonitor},
      // Anything that is not exactly one option is the standalone tray.
      {L"", Mode::TrayStandalone},
      {nullptr, Mode::TrayStandalone},
      {L" \t\r\n", Mode::TrayStandalone},
      {L"--install now", Mode::TrayStandalone},
      {L"--install --install", Mode::TrayStandalone},
      {L"--tray --service", Mode::TrayStandalone},
      {L"-install", Mode::TrayStandalone},
      {L"install", Mode::TrayStandalone},
      {L"/install", Mode::TrayStandalone},
      {L"\"--install\"", Mode::TrayStandalone},
      {L"--installx", Mode::TrayStandalone},
      {L"--instal", Mode::TrayStandalone},
      {L"--service\v", Mode::TrayStandalone},        // only blank, tab, CR, LF are trimmed
      {L"\u00A0--service", Mode::TrayStandalone},    // no-break space is not a blank
      {L"--tray\uFFFF", Mode::TrayStandalone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine ? std::wstring(c.commandLine) : L"(null)");
    EXPECT_EQ(ParseCommandLine(c.commandLine), c.mode);
  }
}

std::wstring TestMutexName() {
  return L"Local\\nimbard-guard-test-" + std::to_wstring(::GetCurrentProcessId());
}

DWORD WINAPI TryTakeMutex(LPVOID param) {
  UniqueKernelHandle mutex(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                                        static_cast<const wchar_t*>(param)));
  if (!mutex) return 0xFFFFFFFF;
  const DWORD result = ::WaitForSingleObject(mutex.get(), 0);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ::ReleaseMutex(mutex.get());
  return result;
}

// Result of another thread's attempt to take the named mutex without waiting.
DWORD OtherThreadTakes(const std::wstring& name) {
  UniqueKernelHandle thread(::CreateThread(nullptr, 0, TryTakeMutex,
                                           const_cast<wchar_t*>(name.c_str()), 0, nullptr));
  if (!thread) return 0xFFFFFFFE;
  ::WaitForSingleObject(thread.get(), INFINITE);
  DWORD code = 0;
  ::GetExitCodeThread(thread.get(), &code);
  return code;
}

TEST(SingleInstance, OneHolderAtATimeAndReleaseFreesIt) {
  const std::wstring name = TestMutexName();
  ASSERT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::Acquired);
  EXPECT_EQ(OtherThreadTakes(name), static_cast<DWORD>(WAIT_TIMEOUT));  // owned, not just opened

  EXPECT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::AlreadyRunning);
  // The refused attempt left the first holder's ownership alone.
  EXPECT_EQ(OtherThreadTakes(name), static_cast<DWORD>(WAIT_TIMEOUT));

  // An outside handle keeps the object alive: after the release it can be taken.
  UniqueKernelHandle outside(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  ASSERT_TRUE(outside);
  ReleaseSingleInstance();
  EXPECT_EQ(OtherThreadTakes(name), static_cast<DWORD>(WAIT_OBJECT_0));
  outside.reset();

  // Released and closed: a new start takes the guard afresh.
  EXPECT_EQ(AcquireSingleInstance(name.c_str()), GuardOutcome::Acquired);
  ReleaseSingleInstance();
  ReleaseSingleInstance();  // twice is harmless
}

TEST(SingleInstance, UncreatableMutexIsNoHandle) {
  EXPECT_EQ(AcquireSingleInstance(L"NoSuchNamespace\\nimbard-guard-test"), GuardOutcome::NoHandle);
}

TEST(ServiceControl, StateTexts) {
  struct Case {
    ServiceQuery outcome;
    DWORD state;
    const wchar_t* text;
  } cases[] = {
      {ServiceQuery::ManagerUnavailable, SERVICE_RUNNING, L"Service: unavailable"},
      {ServiceQuery::NotInstalled, SERVICE_RUNNING, L"Service: not installed"},
      {ServiceQuery::QueryFailed, SERVICE_RUNNING, L"Service: unavailable"},
      {ServiceQuery::Answered, SERVICE_STOPPED, L"Service: stopped"},
      {ServiceQuery::Answered, SERVICE_START_PENDING, L"Service: starting"},
      {ServiceQuery::Answered, SERVICE_STOP_PENDING, L"Service: stopping"},
      {ServiceQuery::Answered, SERVICE_RUNNING, L"Service: running"},
      {ServiceQuery::Answered, SERVICE_CONTINUE_PENDING, L"Service: state unknown"},
      {ServiceQuery::Answered, SERVICE_PAUSE_PENDING, L"Service: state unknown"},
      {ServiceQuery::Answered, SERVICE_PAUSED, L"Service: state unknown"},
      {ServiceQuery::Answered, 0, L"Service: state unknown"},
      {ServiceQuery::Answered, 0xFFFFFFFF, L"Service: state unknown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ServiceStateText(c.outcome, c.state), c.text);
  }
}

TEST(ServiceControl, QuotedCommandLinesAndStoredLength) {
  struct Case {
    const wchar_t* path;
    const wchar_t* option;
    const wchar_t* line;
    DWORD bytes;
  } cases[] = {
      {L"C:\\nimbard\\nimbard.exe", L"--service", L"\"C:\\nimbard\\nimbard.exe\" --service", 70},
      {L"C:\\Program Files\\nim bard\\nimbard.exe", L"--tray",
       L"\"C:\\Program Files\\nim bard\\nimbard.exe\" --tray", 94},
      {L"x", L"--tray", L"\"x\" --tray", 22},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::wstring line = QuotedCommandLine(c.path, c.option);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(RegistryStringBytes(line), c.bytes);
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
