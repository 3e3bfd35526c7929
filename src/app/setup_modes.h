#pragma once
// The modes that install, remove, configure and control the service:
// "--install", "--uninstall", "--configure", "--start", "--stop" and
// "--restart". Each returns the process exit code: 1 when it did what it
// was asked, 0 otherwise.
#include <windows.h>

namespace nimbard {

// Copies this exe (and a newer configuration file beside it) into the
// installed folder, asking for a configuration there when there is none,
// and registers and starts the service from there; while the service is
// installed already, stops it, replaces its exe and starts it again. The
// monitor tray runs afterwards. Refuses, with a box, a folder or exe that
// users other than administrators may change.
int RunInstall(HINSTANCE instance);

// Removes the service, the logon entry and the installed exe; keeps the
// configuration, log and status files, and says where (a box).
int RunUninstall();

// The configuration dialog for the file beside this exe.
int RunConfigure(HINSTANCE instance);

// The tray menu's service commands, run with administrator rights: each
// waits until the service runs or its process has ended, and a box says
// what failed. A start (also within a restart) starts the monitor tray of
// the installed exe when no tray runs in this session, as "--install" does.
int RunStart();
int RunStop();
int RunRestart();

}  // namespace nimbard
