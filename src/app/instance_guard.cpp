#include "app/instance_guard.h"

#include <sddl.h>

#include <vector>

#include "win32/unique_handle.h"

namespace nimbard {

namespace {

// Owned from start-up to the end of the process (or until ReleaseSingleInstance).
std::vector<UniqueKernelHandle> g_instanceMutexes;

}  // namespace

GuardOutcome GuardOutcomeOf(bool gotHandle, DWORD lastError) {
  if (gotHandle) return lastError == ERROR_ALREADY_EXISTS ? GuardOutcome::AlreadyRunning : GuardOutcome::Acquired;
  return lastError == ERROR_ACCESS_DENIED ? GuardOutcome::AlreadyRunning : GuardOutcome::NoHandle;
}

GuardOutcome AcquireSingleInstance(const wchar_t* mutexName, DWORD* error) {
  UniqueLocal descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          kGuardSddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr)) {
    if (error) *error = ::GetLastError();
    return GuardOutcome::NoHandle;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  UniqueKernelHandle mutex(::CreateMutexW(&attributes, TRUE, mutexName));
  const DWORD lastError = ::GetLastError();
  const GuardOutcome outcome = GuardOutcomeOf(static_cast<bool>(mutex), lastError);
  if (outcome == GuardOutcome::NoHandle && error) *error = lastError;
  if (outcome == GuardOutcome::Acquired) g_instanceMutexes.push_back(std::move(mutex));
  return outcome;
}

void ReleaseSingleInstance() {
  for (UniqueKernelHandle& mutex : g_instanceMutexes) ::ReleaseMutex(mutex.get());
  g_instanceMutexes.clear();
}

}  // namespace nimbard
