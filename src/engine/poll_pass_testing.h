#pragma once
// Lets tests stand in for the record check that a poll pass runs, to see the
// pass survive a check that fails in ways the real one cannot be made to.
#include "core/record_config.h"
#include "core/tray_window.h"
namespace nimbard {
using RecordCheckFunction = void (*)(TrayWindow window, bool manual, const RecordConfig& record);
// nullptr restores RecordCheck. Returns the previous override (or nullptr).
RecordCheckFunction SetRecordCheckForTesting(RecordCheckFunction check);
}  // namespace nimbard
