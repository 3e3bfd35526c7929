#pragma once
// The configuration file "nimbard-demo.json" beside the executable.
// Nothing is kept in memory between calls: every load reads the file afresh.
#include <string>
#include <string_view>

#include "core/record_config.h"

namespace nimbard {

// Appends the complete records of the file to `list`; true when it then
// holds at least one record.
bool LoadRecords(RecordList& list);

// Fills `record` with the first complete record; leaves it untouched and
// returns false when there is none.
bool LoadFirstRecord(RecordConfig& record);

// Writes every record of the list, in order, from the fixed template,
// replacing the file only once the new text is complete; in the service
// folder (app_paths) with access for administrators only. False (file
// unchanged) for an empty list, a record with an unsavable field, or when the
// write fails.
bool SaveRecords(const RecordList& list);

// The label of the first text field ("Provider", "API key", "Domain",
// "Record", "Zone ID", "Record ID") that the file cannot hold; nullptr when
// every field can be saved. A brace would split the record when the file is
// read, and no key, domain or identifier holds a control character. Judged by
// the byte each character becomes in the file (its low 8 bits), so that no
// character outside ASCII turns into either on the way.
const wchar_t* FirstUnsavableField(const RecordConfig& record);

// Reads one record object's fields into `record`; returns IsRecordComplete.
bool ParseRecordObject(std::string_view objectText, RecordConfig& record);

// The reading rules of LoadRecords applied to a file's bytes (for the loader,
// the tests and the fuzzer).
bool ParseRecordsText(std::string_view fileText, RecordList& list);

// The exact bytes SaveRecords writes: one record object per record, in
// order, so that a file of one record is the same whatever it was saved with.
std::string FormatRecordFile(const RecordList& list);

}  // namespace nimbard
