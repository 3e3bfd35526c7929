#pragma once
// The one option of nimbard's command line.
#include <string>

namespace nimbard {

enum class Mode {
  Service,         // "--service": run as the Windows service
  Install,         // "--install": register and start the service, then exit
  Uninstall,       // "--uninstall": remove service and autostart value, then exit
  TrayMonitor,     // "--tray": tray that shows the service's results
  Configure,       // "--configure": the configuration dialog for the file beside the exe, then exit
  StartService,    // "--start": start the installed service (and its monitor tray), then exit
  StopService,     // "--stop": stop it, then exit
  RestartService,  // "--restart": stop and start it, then exit
  TrayStandalone,  // anything else: tray that polls by itself
};

// The whole command line, trimmed of blanks, tabs, CR and LF at both ends,
// compared with each option ignoring case. A null text counts as empty; an
// option followed by anything else is no option.
Mode ParseCommandLine(const wchar_t* commandLine);

}  // namespace nimbard
