#include <algorithm>

#include "core/text.h"
#include "ui/tray_state.h"

namespace nimbard {
namespace {

// The icon's tip and balloons after a change of the last check's outcome or
// of the service's state. A balloon shows a few of the failing lines (its
// text holds 255 characters at most).
constexpr wchar_t kFailedTitle[] = L"nimbard: the last check failed";  // the tip's text too
constexpr wchar_t kRecoveredTitle[] = L"nimbard: the check succeeded again";
constexpr wchar_t kRecoveredText[] = L"Every record is up to date.";
constexpr wchar_t kServiceStoppedTitle[] = L"nimbard: the service has stopped";  // the tip's text too
constexpr wchar_t kServiceStoppedText[] =
    L"No record is checked until the service runs again (Start Service in the menu).";
constexpr wchar_t kSavedTitle[] = L"nimbard: your records were checked";
constexpr std::size_t kBalloonMaxLines = 3;
constexpr std::size_t kBalloonMaxChars = 255;  // what Windows shows of a balloon's text

// At most three lines, sharing the balloon's characters: a line cut keeps its
// record's name and its outcome around the "...".
std::wstring BalloonText(const std::wstring& lines) {
  const std::size_t shown = std::clamp<std::size_t>(SplitLines(lines).size(), 1, kBalloonMaxLines);
  const std::size_t perLine = (kBalloonMaxChars - (shown - 1)) / shown - 3;
  return FitLines(lines, kBalloonMaxLines, perLine, L"\n", LineCut::InMiddle);
}

// A stopped service matters most: nothing is checked at all then.
void ShowLook() {
  Tray& tray = State();
  if (tray.serviceWatch.stopped()) {
    tray.icon.SetLook(tray.warningIcon, kServiceStoppedTitle);
  } else if (tray.alert.failing()) {
    tray.icon.SetLook(tray.warningIcon, kFailedTitle);
  } else {
    tray.icon.SetLook(tray.normalIcon, kTrayTip);
  }
}

}  // namespace

// A change of the last check's outcome shows on the icon and its tip, and
// in one balloon; the same outcome again shows nothing.
void ShowCheckResult(const CheckResult& result) {
  Tray& tray = State();
  switch (tray.alert.Update(result)) {
    case CheckChange::Failed:
      ShowLook();
      tray.icon.ShowBalloon(kFailedTitle,
                            BalloonText(result.whatFailed), true);
      break;
    case CheckChange::Recovered:
      ShowLook();
      tray.icon.ShowBalloon(kRecoveredTitle, kRecoveredText, false);
      break;
    case CheckChange::None:
      break;
  }
}

// The first check after a Save, whatever it found: the balloon confirms
// that nimbard works (or says what failed), record by record.
void ShowSavedRecordsChecked(const PassOutcome& pass) {
  const std::wstring report = SavedRecordsReport(pass);
  if (report.empty()) return;
  State().icon.ShowBalloon(kSavedTitle, BalloonText(report),
                           JudgePass(pass).failed);
}

// A stop shows the warning icon and one balloon; a run after it the look of
// the last check again.
void ShowServiceChange(ServiceChange change) {
  switch (change) {
    case ServiceChange::StoppedAlert:
      ShowLook();
      State().icon.ShowBalloon(kServiceStoppedTitle, kServiceStoppedText, true);
      break;
    case ServiceChange::Recovered:
      ShowLook();
      break;
    case ServiceChange::None:
      break;
  }
}

}  // namespace nimbard
