#pragma once
// The single-instance guards: named mutexes that the service, the trays and
// "--install" take to exclude each other.
#include <windows.h>

#include "host/monitor_trays.h"  // kSessionTrayMutexName

namespace nimbard {

// The machine-wide guard: the service, the standalone tray and "--install"
// exclude each other. Beside it, the session's guard (kSessionTrayMutexName).
inline constexpr wchar_t kSingleInstanceMutexName[] = L"Global\\nimbard-demo-single-instance";

// Every guard's access list: SYSTEM and Administrators may do anything with
// it; Everyone may only learn that it exists (SYNCHRONIZE). So the guard of
// the service (LocalSystem) or of an elevated tray, which would otherwise
// carry its creator's default list and refuse every user, is still found by
// a user's plain start: CreateMutexW then fails with ERROR_ACCESS_DENIED,
// which says the mutex exists.
inline constexpr wchar_t kGuardSddl[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;WD)";

enum class GuardOutcome {
  Acquired,        // this process now owns the named mutex
  NoHandle,        // the mutex could not be created at all (the error says why)
  AlreadyRunning,  // another holder exists
};

// What CreateMutexW's result and its last error mean for the guard. An
// existing mutex that the caller may not open (another account's, the
// service's) fails with ERROR_ACCESS_DENIED: it is held all the same.
GuardOutcome GuardOutcomeOf(bool gotHandle, DWORD lastError);

// Creates the named mutex owned by the caller, with kGuardSddl, and keeps it
// process-wide (a second instance's handle is closed at once). A process may
// hold several. With NoHandle, `error` (when given) receives Windows' error.
GuardOutcome AcquireSingleInstance(const wchar_t* mutexName, DWORD* error = nullptr);
// Releases and closes the process's mutexes, so that a process started from
// here (the freshly installed service) can take the guard.
void ReleaseSingleInstance();

}  // namespace nimbard
