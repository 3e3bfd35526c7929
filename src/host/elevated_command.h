#pragma once
// Starting a program with administrator rights through the shell's "runas"
// verb: Windows asks the user (UAC) first.
#include <windows.h>

#include <string>

namespace nimbard {

// Starts `file` with `parameters` (both as ShellExecuteExW takes them) and,
// when waitForExit is set, waits until it has ended. Returns 0 when it was
// started, ERROR_CANCELLED when the user declined the prompt, else the
// Win32 error. Blocks while the prompt is open: call it from a thread that
// runs no window.
DWORD RunElevatedCommand(const std::wstring& file, const std::wstring& parameters, bool waitForExit);

}  // namespace nimbard
