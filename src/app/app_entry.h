#pragma once
// The start-up of nimbard.exe: the single-instance guard and the choice of
// one mode from the command line.
#include <windows.h>

#include "app/instance_guard.h"

namespace nimbard {

inline constexpr wchar_t kAlreadyRunningText[] =
    L"The nimbard demo is already running. Only one instance is permitted.";
inline constexpr wchar_t kAlreadyRunningCaption[] = L"nimbard Demo";

// Runs the mode the command line selects; returns the process exit code.
int RunApplication(HINSTANCE instance, const wchar_t* commandLine);

}  // namespace nimbard
