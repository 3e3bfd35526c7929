#pragma once
// The start-up of nimbard.exe: the single-instance guard and the choice of
// one mode from the command line.
#include <windows.h>

#include "host/monitor_trays.h"  // kSessionTrayMutexName

namespace nimbard {

// The machine-wide guard: the service, the standalone tray and "--install"
// exclude each other; beside it, the session's guard (kSessionTrayMutexName).
inline constexpr wchar_t kSingleInstanceMutexName[] = L"Global\\nimbard-demo-single-instance";
inline constexpr wchar_t kAlreadyRunningText[] =
    L"The nimbard demo is already running. Only one instance is permitted.";
inline constexpr wchar_t kAlreadyRunningCaption[] = L"nimbard Demo";

enum class GuardOutcome {
  Acquired,        // this process now owns the named mutex
  NoHandle,        // the mutex could not be created at all
  AlreadyRunning,  // another holder exists
};

// Creates the named mutex owned by the caller and keeps it process-wide
// (a second instance's handle is closed at once). A process may hold several.
GuardOutcome AcquireSingleInstance(const wchar_t* mutexName);
// Releases and closes the process's mutexes, so that a process started from
// here (the freshly installed service) can take the guard.
void ReleaseSingleInstance();

// Runs the mode the command line selects; returns the process exit code.
int RunApplication(HINSTANCE instance, const wchar_t* commandLine);

}  // namespace nimbard
