#pragma once
#include "core/record_config.h"
#include "core/tray_window.h"
namespace nimbard {
// Looks the record up, asks for the public address, compares the texts and
// updates the provider when they differ; reports every step in the log and
// the status board.
void RecordCheck(TrayWindow window, bool manual, const RecordConfig& record);
}  // namespace nimbard
