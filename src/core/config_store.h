#pragma once
// The configuration file "nimbard-demo.json" beside the executable.
// Nothing is kept in memory between calls: every load reads the file afresh.
#include <string>
#include <string_view>
#include <vector>

#include "core/record_config.h"

namespace nimbard {

// Appends the complete records of the file to `list`; true when it then
// holds at least one record. An incomplete record is no record for a pass.
bool LoadRecords(RecordList& list);

// One record object of the file, complete or not: its fields as a pass reads
// them, and the object's bytes as the file holds them (empty for a record of
// the top-level form, and for one made in memory).
struct StoredRecord {
  RecordConfig record;
  std::string text;
};
using StoredRecords = std::vector<StoredRecord>;

struct RecordFile {
  enum class State {
    Missing,     // no file, or one that cannot be opened
    Unreadable,  // a file that holds no record object nimbard can read
    Read,        // `records` holds every record object of the file
  };
  State state = State::Missing;
  StoredRecords records;
};

// The file as the dialog shows it: every record object, complete or not.
RecordFile ReadRecordFile();

// Keeps the file as it stands under "nimbard-demo.json.bak" beside it
// (replacing an older copy); true when there is no file, or the copy is
// whole. For a file that is about to be replaced by one it could not read.
bool BackUpConfigFile();

// Fills `record` with the first complete record; leaves it untouched and
// returns false when there is none.
bool LoadFirstRecord(RecordConfig& record);

// Writes every record, in order: one that holds its file text as it stands
// (so an untouched record keeps every byte, keys nimbard does not know
// included), the others from the fixed template. Else as SaveRecords.
bool SaveStoredRecords(const StoredRecords& records);

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

// Reads one record object's fields into `record`: each field from the first
// member of its key, at the object's own level, whose value has the field's
// form. Returns IsRecordComplete.
bool ParseRecordObject(std::string_view objectText, RecordConfig& record);

// Every record object of a file's bytes, complete or not, found by the JSON
// structure: the objects of the top-level object's "records" array, or,
// without that array, the top-level object itself when it is a complete
// record (read as locked). A bracket or brace inside a string changes nothing.
StoredRecords ParseRecordObjects(std::string_view fileText);

// The complete records of ParseRecordObjects appended to `list`: the reading
// rules of LoadRecords (for the loader, the tests and the fuzzer).
bool ParseRecordsText(std::string_view fileText, RecordList& list);

// The exact bytes SaveRecords writes: one record object per record, in
// order, so that a file of one record is the same whatever it was saved with.
std::string FormatRecordFile(const RecordList& list);
std::string FormatStoredRecords(const StoredRecords& records);

}  // namespace nimbard
