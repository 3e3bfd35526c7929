#pragma once
// Entry points of the tray user interface, called by the application entry.
#include <windows.h>

namespace nimbard {

// Runs the tray application until its window is destroyed; returns the exit
// code. monitorMode: show the service's status file instead of polling.
int RunTrayApplication(HINSTANCE instance, bool monitorMode);

// Shows the configuration dialog modally with no owner; true when it was
// closed with IDOK (the configuration was saved).
bool RunConfigurationDialog(HINSTANCE instance);

}  // namespace nimbard
