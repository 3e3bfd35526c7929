#include "core/config_store.h"

#include <exception>
#include <utility>

#include "core/app_paths.h"
#include "core/json_reader.h"
#include "core/json_scan.h"
#include "core/platform.h"
#include "core/text.h"

namespace nimbard {
namespace {

using Members = std::vector<json::KeyedValue>;

// The first member of `key` whose value `form` takes (it reads the value and
// returns true); false when no member of that key has the form.
template <typename Form>
bool FirstOfForm(const Members& members, std::string_view key, Form form) {
  for (const json::KeyedValue& member : members) {
    if (member.key == key && form(member.value)) return true;
  }
  return false;
}

// A string value, its escapes (those JsonEscape writes) decoded and the
// white space at its ends removed; empty when the key has no string value.
std::wstring TrimmedString(const Members& members, std::string_view key) {
  std::wstring text;
  FirstOfForm(members, key, [&](std::string_view value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return false;
    const std::string_view raw = value.substr(1, value.size() - 2);
    text = TrimWhitespace(raw.find('\\') == std::string_view::npos ? WidenBytes(raw)
                                                                     : WidenBytes(json_scan::DecodeEscapes(raw)));
    return true;
  });
  return text;
}

// The digits a number value starts with, converted; false when the key has
// no such value or the number does not fit 32 bits (the field then keeps its
// value).
bool ReadNumber(const Members& members, std::string_view key, std::uint32_t& value) {
  std::string_view digits;
  FirstOfForm(members, key, [&](std::string_view text) {
    std::size_t end = 0;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    digits = text.substr(0, end);
    return end > 0;
  });
  return !digits.empty() && json_scan::ParseUint32(digits, value);
}

// A value that starts with the word true or false: found, and which.
bool ReadBool(const Members& members, std::string_view key, bool& value) {
  return FirstOfForm(members, key, [&](std::string_view text) {
    const bool yes = text.substr(0, 4) == "true";
    if (!yes && text.substr(0, 5) != "false") return false;
    value = yes;
    return true;
  });
}

void AppendStringLine(std::string& out, const char* key, const std::wstring& value) {
  out += "      \"";
  out += key;
  out += "\": \"";
  out += JsonEscape(value);
  out += "\",\n";
}

bool IsUnsavable(wchar_t c) {
  const unsigned byte = static_cast<unsigned>(c) & 0xFF;
  return byte < 0x20 || byte == 0x7F || byte == '{' || byte == '}';
}

}  // namespace

bool ParseRecordObject(std::string_view objectText, RecordConfig& record) {
  const Members members = json::Members(objectText);
  record.provider = TrimmedString(members, "provider");
  if (record.provider.empty()) record.provider = L"godaddy";

  bool locked = false;
  record.providerLocked = ReadBool(members, "providerLocked", locked) && locked;

  record.apiKey = TrimmedString(members, "apiKey");
  if (record.apiKey.empty()) record.apiKey = TrimmedString(members, "Bearer");
  if (record.apiKey.empty()) record.apiKey = TrimmedString(members, "bearer");

  record.domain = TrimmedString(members, "domain");
  record.recordName = TrimmedString(members, "record");
  record.zoneId = TrimmedString(members, "zoneId");
  record.recordId = TrimmedString(members, "recordId");

  // Minutes become milliseconds for the service wait and the tray timer, so
  // the value is held within what both can count.
  std::uint32_t number = 0;
  if (ReadNumber(members, "pollMinutes", number)) {
    if (number < kMinPollMinutes) number = kMinPollMinutes;
    if (number > kMaxPollMinutes) number = kMaxPollMinutes;
    record.pollMinutes = number;
  }
  if (ReadNumber(members, "ttl", number)) {
    record.ttl = number < kMinTtl ? kMinTtl : number;
  }
  ReadBool(members, "proxied", record.proxied);
  ReadBool(members, "ipv4", record.ipv4);
  ReadBool(members, "ipv6", record.ipv6);

  return IsRecordComplete(record);
}

StoredRecords ParseRecordObjects(std::string_view fileText) {
  StoredRecords records;
  const std::string_view array = json::Member(fileText, "records");
  if (!array.empty() && array.front() == '[') {
    for (std::string_view element : json::Elements(array)) {
      if (element.front() != '{') continue;  // a value of another kind is no record
      StoredRecord stored;
      ParseRecordObject(element, stored.record);
      stored.text = std::string(element);
      records.push_back(std::move(stored));
    }
    return records;
  }
  // A file holding the fields at its top level, without the array.
  StoredRecord flat;
  if (ParseRecordObject(fileText, flat.record)) {
    flat.record.providerLocked = true;
    records.push_back(std::move(flat));
  }
  return records;
}

bool ParseRecordsText(std::string_view fileText, RecordList& list) {
  for (StoredRecord& stored : ParseRecordObjects(fileText)) {
    if (IsRecordComplete(stored.record)) list.push_back(std::move(stored.record));
  }
  return !list.empty();
}

bool LoadRecords(RecordList& list) {
  // Callers run on the service thread and in window procedures: a file too
  // big for memory is a configuration that cannot be loaded, not a crash.
  const std::size_t before = list.size();
  try {
    std::string bytes;
    if (!platform::ReadFileBytes(ConfigFilePath(), bytes)) return false;
    return ParseRecordsText(bytes, list);
  } catch (const std::exception&) {
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(before), list.end());
    return false;
  }
}

bool LoadFirstRecord(RecordConfig& record) {
  RecordList list;
  if (!LoadRecords(list)) return false;
  record = list.front();
  return true;
}

RecordFile ReadRecordFile() {
  RecordFile file;
  std::string bytes;
  if (!platform::ReadFileBytes(ConfigFilePath(), bytes)) return file;
  file.records = ParseRecordObjects(bytes);
  file.state = file.records.empty() ? RecordFile::State::Unreadable : RecordFile::State::Read;
  return file;
}

namespace {

platform::FileAccess ConfigFileAccess() {
  // The installed service's file is for administrators only from its first
  // byte on.
  return InServiceFolder() ? platform::FileAccess::AdministratorsOnly : platform::FileAccess::Inherited;
}

void AppendRecordObject(std::string& out, const RecordConfig& record) {
  out += "    {\n";
  AppendStringLine(out, "provider", record.provider);
  // Whatever the record held: a file this system wrote reads back locked.
  out += "      \"providerLocked\": true,\n";
  AppendStringLine(out, "apiKey", record.apiKey);
  AppendStringLine(out, "domain", record.domain);
  AppendStringLine(out, "record", record.recordName);
  AppendStringLine(out, "zoneId", record.zoneId);
  AppendStringLine(out, "recordId", record.recordId);
  out += "      \"pollMinutes\": ";
  out += std::to_string(record.pollMinutes);
  out += ",\n      \"ttl\": ";
  out += std::to_string(record.ttl);
  out += ",\n      \"proxied\": ";
  out += record.proxied ? "true" : "false";
  // At their defaults the keys are left out, so a file of the A record alone
  // reads and writes back byte for byte.
  if (!record.ipv4) out += ",\n      \"ipv4\": false";
  if (record.ipv6) out += ",\n      \"ipv6\": true";
  out += "\n    }";
}

// Records as new ones: each written whole from its values.
StoredRecords AsNewRecords(const RecordList& list) {
  StoredRecords records;
  records.reserve(list.size());
  for (const RecordConfig& record : list) records.push_back({record, {}});
  return records;
}

}  // namespace

std::string FormatStoredRecords(const StoredRecords& records) {
  std::string out = "{\n  \"records\": [\n";
  for (const StoredRecord& stored : records) {
    if (&stored != &records.front()) out += ",\n";
    if (stored.text.empty()) {
      AppendRecordObject(out, stored.record);
    } else {
      out += "    ";
      out += stored.text;
    }
  }
  out += "\n  ]\n}\n";
  return out;
}

std::string FormatRecordFile(const RecordList& list) { return FormatStoredRecords(AsNewRecords(list)); }

bool BackUpConfigFile() {
  try {
    std::string bytes;
    if (!platform::ReadFileBytes(ConfigFilePath(), bytes)) return true;
    return platform::ReplaceFileBytes(ConfigFilePath() + L".bak", bytes, true, ConfigFileAccess());
  } catch (const std::exception&) {
    return false;
  }
}

const wchar_t* FirstUnsavableField(const RecordConfig& record) {
  const std::pair<const wchar_t*, const std::wstring*> fields[] = {
      {L"Provider", &record.provider}, {L"API key", &record.apiKey}, {L"Domain", &record.domain},
      {L"Record", &record.recordName},     {L"Zone ID", &record.zoneId}, {L"Record ID", &record.recordId},
  };
  for (const auto& [label, text] : fields) {
    for (wchar_t c : *text) {
      if (IsUnsavable(c)) return label;
    }
  }
  return nullptr;
}

bool SaveStoredRecords(const StoredRecords& records) {
  if (records.empty()) return false;
  for (const StoredRecord& stored : records) {
    if (stored.text.empty() && FirstUnsavableField(stored.record)) return false;
  }
  // Written beside and moved over the old file in one step: a failed or
  // interrupted save leaves the previous configuration whole.
  try {
    return platform::ReplaceFileBytes(ConfigFilePath(), FormatStoredRecords(records), true, ConfigFileAccess());
  } catch (const std::exception&) {
    return false;
  }
}

bool SaveRecords(const RecordList& list) {
  try {
    return SaveStoredRecords(AsNewRecords(list));
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace nimbard
