#include <windows.h>

#include "core/status_board.h"
#include "ui/tray_state.h"

namespace nimbard {

// The monitor shows what the last pass beside this executable wrote, and
// judges it: the service's passes tell it nothing else.
void ReloadStatusFile() {
  const std::wstring content = ReadStatusFile();
  SetDetailTextWithoutFile(content);
  ShowCheckResult(State().statusJudge.Judge(content, ::GetTickCount64()));
}

// Read at every refresh: a stop from elsewhere (the Services console, the
// end of the service's restarts) shows within the next one.
void FollowServiceState() {
  Tray& tray = State();
  const ServiceState state = Seams().query();
  tray.serviceState = state;
  const std::wstring line = ServiceStateText(state);
  if (SummaryText() != line) SetSummaryText(line);
  ShowServiceChange(tray.serviceWatch.Update(state));
}

void RefreshMonitor() {
  ReloadStatusFile();
  FollowServiceState();
  State().icon.Refresh();
}

}  // namespace nimbard
