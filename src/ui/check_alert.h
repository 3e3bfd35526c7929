#pragma once
// Whether the last check failed, as the tray's icon, tip and balloons tell
// it: the judgement of a pass or of the status file, and the changes of that
// judgement that are worth a balloon.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/poll_pass.h"

namespace nimbard {

struct CheckResult {
  bool known = false;       // false: nothing to judge (no pass ended, no status written yet)
  bool failed = false;      // a record failed, or the configuration held no usable record
  std::wstring whatFailed;  // the failing lines, CR LF between them
};

// A pass of this process. One that did not run, or that a stop ended part
// way, tells nothing.
CheckResult JudgePass(const PassOutcome& pass);

// The monitor's judgement: it has no PassOutcome of the service's passes,
// only the status file they write, so a record line that does not end in
// "(unchanged)" or "(changed; updated)" counts as a failure, and so does
// one whose A part (before ", AAAA") does not.
// The service rewrites the file after each record: a read during a pass
// holds the first records' new lines only. A read whose records are the
// first ones of the last whole read, in order, is judged together with the
// remaining records' last lines, until such reads have gone on longer than a
// pass takes (then the last records have left the configuration).
class StatusFileJudge {
 public:
  static constexpr ULONGLONG kPassUnderWayMs = 2 * 60 * 1000;

  // `nowMs` counts milliseconds (GetTickCount64).
  CheckResult Judge(const std::wstring& content, ULONGLONG nowMs);

 private:
  std::vector<std::wstring> whole_;  // the last read taken as a whole pass
  bool partial_ = false;             // the reads since partialSinceMs_ were a pass under way
  ULONGLONG partialSinceMs_ = 0;
};

// What the first check after a Save found, for its balloon: each record's
// line without "Record: " ("example.com/home = 203.0.113.7 (unchanged)"),
// CR LF between them. Empty for a pass that tells nothing.
std::wstring SavedRecordsReport(const PassOutcome& pass);

// A change of the judgement: one balloon each. A tray that starts on a good
// check says nothing; one that starts on a failure says so.
enum class CheckChange { None, Failed, Recovered };

class CheckAlert {
 public:
  CheckChange Update(const CheckResult& result);
  bool failing() const { return failing_; }

 private:
  bool failing_ = false;
};

}  // namespace nimbard
