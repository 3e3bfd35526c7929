// The tray window and the configuration dialog are not part of this build
// yet. Until they are, both entries return at once and show nothing: the tray
// ends with 0, and the dialog counts as cancelled, so "--install" without a
// loadable configuration installs nothing.
#include "host/tray_entry.h"

namespace nimbard {

int RunTrayApplication(HINSTANCE, bool) { return 0; }

bool RunConfigurationDialog(HINSTANCE) { return false; }

}  // namespace nimbard
