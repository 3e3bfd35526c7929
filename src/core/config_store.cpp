#include "core/config_store.h"

#include <exception>
#include <utility>

#include "core/app_paths.h"
#include "core/json_scan.h"
#include "core/platform.h"
#include "core/text.h"

namespace nimbard {
namespace {

std::wstring TrimmedString(std::string_view text, std::string_view key) {
  return TrimWhitespace(ExtractJsonString(text, key));
}

// The first "key": digits, converted; false when the key has no digit value
// or the number does not fit 32 bits (the field then keeps its value).
bool ReadNumber(std::string_view text, std::string_view key, std::uint32_t& value) {
  const json_scan::Match m = json_scan::DigitsMember(text, key);
  return m.found && json_scan::ParseUint32(m.capture, value);
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
  record.provider = TrimmedString(objectText, "provider");
  if (record.provider.empty()) record.provider = L"godaddy";

  record.providerLocked = json_scan::TrueMember(objectText, "providerLocked").found;

  record.apiKey = TrimmedString(objectText, "apiKey");
  if (record.apiKey.empty()) record.apiKey = TrimmedString(objectText, "Bearer");
  if (record.apiKey.empty()) record.apiKey = TrimmedString(objectText, "bearer");

  record.domain = TrimmedString(objectText, "domain");
  record.recordName = TrimmedString(objectText, "record");
  record.zoneId = TrimmedString(objectText, "zoneId");
  record.recordId = TrimmedString(objectText, "recordId");

  // Minutes become milliseconds for the service wait and the tray timer, so
  // the value is held within what both can count.
  std::uint32_t number = 0;
  if (ReadNumber(objectText, "pollMinutes", number)) {
    if (number < kMinPollMinutes) number = kMinPollMinutes;
    if (number > kMaxPollMinutes) number = kMaxPollMinutes;
    record.pollMinutes = number;
  }
  if (ReadNumber(objectText, "ttl", number)) {
    record.ttl = number < kMinTtl ? kMinTtl : number;
  }

  const json_scan::Match proxied = json_scan::BoolMember(objectText, "proxied");
  if (proxied.found) record.proxied = proxied.capture == "true";

  return IsRecordComplete(record);
}

bool ParseRecordsText(std::string_view fileText, RecordList& list) {
  if (fileText.empty()) return false;
  bool appended = false;

  const std::size_t key = fileText.find("\"records\"");
  const std::size_t open = key == std::string_view::npos ? key : fileText.find('[', key);
  const std::size_t close = open == std::string_view::npos ? open : fileText.find(']', open);
  if (close != std::string_view::npos) {
    const std::string_view array = fileText.substr(open, close - open + 1);
    for (std::string_view object : json_scan::FlatObjects(array)) {
      RecordConfig record;
      if (ParseRecordObject(object, record)) {
        list.push_back(std::move(record));
        appended = true;
      }
    }
  }

  // A file holding the fields at its top level, without the array.
  if (!appended) {
    RecordConfig record;
    if (ParseRecordObject(fileText, record)) {
      record.providerLocked = true;
      list.push_back(std::move(record));
    }
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

std::string FormatRecordFile(const RecordList& list) {
  std::string out;
  out.reserve(512 * list.size());
  out += "{\n  \"records\": [\n";
  for (const RecordConfig& record : list) {
    if (&record != &list.front()) out += ",\n";
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
    out += "\n    }";
  }
  out += "\n  ]\n}\n";
  return out;
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

bool SaveRecords(const RecordList& list) {
  if (list.empty()) return false;
  for (const RecordConfig& record : list) {
    if (FirstUnsavableField(record)) return false;
  }
  // Written beside and moved over the old file in one step: a failed or
  // interrupted save leaves the previous configuration whole. The installed
  // service's file is for administrators only from its first byte on.
  const platform::FileAccess access =
      InServiceFolder() ? platform::FileAccess::AdministratorsOnly : platform::FileAccess::Inherited;
  try {
    return platform::ReplaceFileBytes(ConfigFilePath(), FormatRecordFile(list), true, access);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace nimbard
