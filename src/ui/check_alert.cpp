#include "ui/check_alert.h"

#include <algorithm>

#include "core/status_board.h"
#include "core/text.h"

namespace nimbard {
namespace {

constexpr std::wstring_view kRecordPrefix = L"Record: ";

bool EndsWith(std::wstring_view text, std::wstring_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool PartSucceeded(std::wstring_view part) {
  return EndsWith(part, L"(unchanged)") || EndsWith(part, L"(changed; updated)");
}

// A record keeping both types has one line, its AAAA part after the A
// part: "Record: D/R = 203.0.113.7 (unchanged), AAAA = 2001:db8::10 (unchanged)".
// Each part must have succeeded.
bool LineSucceeded(std::wstring_view line) {
  const std::size_t aaaa = line.rfind(L", AAAA");
  return PartSucceeded(line) && (aaaa == std::wstring_view::npos || PartSucceeded(line.substr(0, aaaa)));
}

// "Record: example.com/home = ..." names the record "example.com/home".
std::wstring_view RecordOfLine(std::wstring_view line) {
  if (line.substr(0, kRecordPrefix.size()) != kRecordPrefix) return line;
  const std::wstring_view rest = line.substr(kRecordPrefix.size());
  return rest.substr(0, rest.find(L' '));
}

// Whether `shorter` holds the first records of `longer`, in the same order.
bool FirstRecordsOf(const std::vector<std::wstring>& shorter, const std::vector<std::wstring>& longer) {
  if (shorter.size() >= longer.size()) return false;
  for (std::size_t i = 0; i < shorter.size(); ++i) {
    if (RecordOfLine(shorter[i]) != RecordOfLine(longer[i])) return false;
  }
  return true;
}

void AddFailure(CheckResult& result, std::wstring_view line) {
  if (result.failed) result.whatFailed += L"\r\n";
  result.whatFailed += line;
  result.failed = true;
}

CheckResult JudgeLines(const std::vector<std::wstring>& lines) {
  CheckResult result;
  result.known = true;
  for (const std::wstring& line : lines) {
    if (!LineSucceeded(line)) AddFailure(result, line);
  }
  return result;
}

}  // namespace

CheckResult JudgePass(const PassOutcome& pass) {
  CheckResult result;
  if (!pass.ran || pass.stopped) return result;
  result.known = true;
  if (!pass.configurationLoaded) AddFailure(result, L"Record: configuration unavailable");  // the line the pass wrote
  for (const RecordOutcome& record : pass.records) {
    if (record.Failed()) AddFailure(result, record.statusLine);
  }
  return result;
}

std::wstring SavedRecordsReport(const PassOutcome& pass) {
  constexpr std::wstring_view kPrefix = L"Record: ";
  std::wstring report;
  if (!pass.ran || pass.stopped) return report;
  if (!pass.configurationLoaded) return L"configuration unavailable";
  for (const RecordOutcome& record : pass.records) {
    std::wstring_view line = record.statusLine;
    if (line.substr(0, kPrefix.size()) == kPrefix) line.remove_prefix(kPrefix.size());
    if (!report.empty()) report += L"\r\n";
    report += line;
  }
  return report;
}

CheckResult StatusFileJudge::Judge(const std::wstring& content, ULONGLONG nowMs) {
  std::vector<std::wstring> lines;
  for (std::wstring_view line : SplitLines(content)) {
    if (!line.empty()) lines.emplace_back(line);
  }
  if (lines.empty() || content == kDetailUnavailable) return {};  // nothing written yet
  if (!FirstRecordsOf(lines, whole_)) {
    partial_ = false;
    whole_ = lines;
    return JudgeLines(lines);
  }
  if (!partial_) {
    partial_ = true;
    partialSinceMs_ = nowMs;
  }
  if (nowMs - partialSinceMs_ >= kPassUnderWayMs) {
    partial_ = false;
    whole_ = lines;
    return JudgeLines(lines);
  }
  std::copy(lines.begin(), lines.end(), whole_.begin());  // each record's latest line
  return JudgeLines(whole_);
}

CheckChange CheckAlert::Update(const CheckResult& result) {
  if (!result.known || result.failed == failing_) return CheckChange::None;
  failing_ = result.failed;
  return failing_ ? CheckChange::Failed : CheckChange::Recovered;
}

}  // namespace nimbard
