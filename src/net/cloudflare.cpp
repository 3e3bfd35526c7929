#include "net/cloudflare.h"

#include <map>
#include <mutex>
#include <utility>

#include "core/activity_log.h"
#include "core/json_reader.h"
#include "core/platform.h"
#include "core/text.h"
#include "net/api_hosts.h"
#include "net/failure_cause.h"
#include "net/request_fields.h"

namespace nimbard {
namespace {

using Result = ARecordLookup::Result;

// The IDs found from the names, kept while the process runs, so that a
// record with empty or out-of-date IDs costs its searches once and then one
// request per check like any other. Keyed by the token, the names and the
// IDs as configured: another token may see another account.
class IdMemory {
 public:
  bool Recall(const RecordConfig& record, RecordType type, std::wstring& zoneId, std::wstring& recordId) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = ids_.find(Key(record, type));
    if (found == ids_.end()) return false;
    zoneId = found->second.first;
    recordId = found->second.second;
    return true;
  }
  void Remember(const RecordConfig& record, RecordType type, const std::wstring& zoneId, const std::wstring& recordId) {
    std::lock_guard<std::mutex> lock(mutex_);
    ids_[Key(record, type)] = {zoneId, recordId};
  }
  void Forget(const RecordConfig& record, RecordType type) {
    std::lock_guard<std::mutex> lock(mutex_);
    ids_.erase(Key(record, type));
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    ids_.clear();
  }

 private:
  static std::wstring Key(const RecordConfig& record, RecordType type) {
    return std::wstring(RecordTypeName(type)) + L'\n' + record.apiKey + L'\n' + record.zoneId + L'\n' +
           record.recordId + L'\n' + record.domain + L'\n' + RecordFullName(record);
  }
  std::mutex mutex_;
  std::map<std::wstring, std::pair<std::wstring, std::wstring>> ids_;
};

IdMemory& Memory() {
  static IdMemory memory;
  return memory;
}

HttpRequest CloudflareGet(const RecordConfig& record, std::wstring path) {
  HttpRequest request;
  request.method = L"GET";
  request.host = kCloudflareApiHost;
  request.path = std::move(path);
  // Cloudflare's API tokens travel as bearer credentials, whatever they hold.
  request.headers = RequestHeaders(L"Bearer " + record.apiKey, false);
  return request;
}

std::wstring RecordPathOf(const std::wstring& zoneId, const std::wstring& recordId) {
  return L"/client/v4/zones/" + zoneId + L"/dns_records/" + recordId;
}

// The failure of an answer, its errors masked: a message may echo the token.
RequestFailure CloudflareFailure(const GuardedResponse& outcome, const RecordConfig& record) {
  RequestFailure failure = FailureOf(outcome);
  failure.apiErrors = CloudflareErrors(MaskSecrets(outcome.response.body, {record.apiKey}));
  return failure;
}

// Logs a failed request's line, the refused field or the cause; the failure.
RequestFailure LogFailure(const std::wstring& line, const GuardedResponse& outcome, const RecordConfig& record,
                          RequestKind kind) {
  LogMessage(line);
  LogRefusedField(outcome);
  RequestFailure failure = CloudflareFailure(outcome, record);
  LogCause(failure, Provider::Cloudflare, kind);
  return failure;
}

std::wstring StringMember(std::string_view object, std::string_view key) {
  return json::AsString(json::Member(object, key)).value_or(std::wstring());
}

std::wstring OrQuestionMark(const std::wstring& text) { return text.empty() ? L"?" : text; }

// The full name as the log names it; the AAAA record's with its type.
std::wstring LoggedName(const RecordConfig& record, RecordType type) {
  return RecordFullName(record) + (type == RecordType::A ? L"" : L" (AAAA)");
}

// A record object of an answer: the record of that type configured, or another one.
void ReadRecord(std::string_view object, const RecordConfig& record, RecordType wanted, ARecordLookup& found) {
  const std::wstring name = StringMember(object, "name"), type = StringMember(object, "type");
  if (type != RecordTypeName(wanted) || !SameIgnoringAsciiCase(name, RecordFullName(record))) {
    // Written to, such a record would be renamed and repointed: a CNAME
    // turned into an A record, another host's address taken over.
    LogMessage(L"Cloudflare record " + found.recordId + L" is " + OrQuestionMark(name) + L" (" + OrQuestionMark(type) +
               L"), not the " + RecordTypeName(wanted) + L" record " + RecordFullName(record) + L" configured for " +
               RecordPath(record) +
               L"; nothing was changed. Check the Record ID.");
    found.result = Result::OtherRecord;
    found.otherName = name;
    found.otherType = type;
    return;
  }
  found.address = StringMember(object, "content");
  // A record without a value is not a failure: the check will write one.
  found.result = found.address.empty()                   ? Result::NotFound
                 : IsAddressOfType(found.address, wanted) ? Result::Found
                                                         : Result::InvalidValue;
}

// A 404 is not logged here: the caller looks the record up by its name.
ARecordLookup LookupById(const RecordConfig& record, RecordType type, ARecordLookup found) {
  const HttpRequest request = CloudflareGet(record, RecordPathOf(found.zoneId, found.recordId));
  const GuardedResponse outcome = ExchangeIfSendable(request, {
      {L"apiKey", record.apiKey, FieldPlace::Header},
      {L"zoneId", found.zoneId, FieldPlace::PathPiece},
      {L"recordId", found.recordId, FieldPlace::PathPiece},
  });
  if (outcome.response.status == 404) {
    found.failure = CloudflareFailure(outcome, record);
    return found;
  }
  if (!Succeeded(outcome.response)) {
    const std::wstring status = DecimalText(outcome.response.status);
    found.failure = LogFailure(type == RecordType::A ? L"Cloudflare DNS lookup failed (HTTP " + status + L")."
                                                     : L"Cloudflare AAAA lookup failed (HTTP " + status + L").",
                               outcome, record, RequestKind::RecordLookup);
    return found;
  }
  ReadRecord(json::Member(outcome.response.body, "result"), record, type, found);
  return found;
}

// The elements of a search answer's "result" array; false (logged, with the
// failure in `found`) when the search failed. With `quiet404` a 404 is not
// logged: the caller searches the zone.
bool Search(const RecordConfig& record, const HttpRequest& request, std::initializer_list<RequestField> fields,
            const std::wstring& failureLine, RequestKind kind, ARecordLookup& found,
            std::vector<std::string_view>& results, std::string& answer, bool quiet404 = false) {
  const GuardedResponse outcome = ExchangeIfSendable(request, fields);
  if (quiet404 && outcome.response.status == 404) {
    found.failure = CloudflareFailure(outcome, record);
    return false;
  }
  if (!Succeeded(outcome.response)) {
    found.failure = LogFailure(failureLine + L" (HTTP " + DecimalText(outcome.response.status) + L").", outcome,
                               record, kind);
    return false;
  }
  answer = outcome.response.body;
  results = json::Elements(json::Member(answer, "result"));
  return true;
}

// The records of the type and the record's full name in the zone `found` names.
bool SearchRecords(const RecordConfig& record, RecordType type, ARecordLookup& found,
                   std::vector<std::string_view>& results, std::string& answer, bool quiet404) {
  const std::wstring fullName = RecordFullName(record);
  return Search(record,
                CloudflareGet(record, L"/client/v4/zones/" + found.zoneId + L"/dns_records?type=" +
                                          RecordTypeName(type) + L"&name=" + QueryEscape(fullName)),
                {{L"apiKey", record.apiKey, FieldPlace::Header},
                 {L"zoneId", found.zoneId, FieldPlace::PathPiece},
                 {L"record", fullName, FieldPlace::QueryValue}},
                L"Cloudflare record search for " + LoggedName(record, type) + L" failed", RequestKind::RecordSearch,
                found, results, answer, quiet404);
}

// The zone of the record's domain into `found`; false (logged) when there is none.
bool SearchZone(const RecordConfig& record, ARecordLookup& found, std::vector<std::string_view>& results,
                std::string& answer) {
  if (!Search(record, CloudflareGet(record, L"/client/v4/zones?name=" + QueryEscape(record.domain)),
              {{L"apiKey", record.apiKey, FieldPlace::Header}, {L"domain", record.domain, FieldPlace::QueryValue}},
              L"Cloudflare zone search for " + record.domain + L" failed", RequestKind::ZoneSearch, found, results,
              answer)) {
    return false;
  }
  if (results.empty()) {
    LogMessage(L"Cloudflare has no zone " + record.domain +
               L" that this token can see; nothing was changed. Check the Domain box, and that the token covers "
               L"this zone.");
    found.result = Result::NoZone;
    return false;
  }
  found.zoneId = StringMember(results.front(), "id");
  return true;
}

// Finds the IDs that `found` leaves empty from the domain and the record's
// name, then reads the record. A zone ID it was given that answers 404 is
// searched by the domain too. Nothing is ever created.
ARecordLookup LookupByName(const RecordConfig& record, RecordType type, ARecordLookup found) {
  std::vector<std::string_view> results;
  std::string answer;
  const std::wstring fullName = RecordFullName(record);
  bool searched = false;
  if (!found.zoneId.empty()) {
    searched = SearchRecords(record, type, found, results, answer, true);
    if (!searched && found.failure.status != 404) return found;
    if (!searched) found.zoneId.clear(), found.failure = {};  // no such zone (any more)
  }
  if (!searched &&
      !(SearchZone(record, found, results, answer) && SearchRecords(record, type, found, results, answer, false))) {
    return found;
  }
  found.matches = results.size();
  if (results.size() != 1) {
    const bool none = results.empty(), a = type == RecordType::A;
    LogMessage(none && a ? L"Cloudflare has no A record named " + fullName + L" in " + record.domain +
                               L"; nimbard creates none. Add it in the Cloudflare dashboard (any address), or check "
                               L"the Record box."
               : none    ? L"Cloudflare has no AAAA record named " + fullName + L" in " + record.domain +
                            L"; nimbard creates none. Add it in the Cloudflare dashboard (2001:db8::1 will do), or "
                            L"keep only the A record of this name."
                         : L"Cloudflare has " + DecimalText(static_cast<std::uint32_t>(results.size())) + L" " +
                            RecordTypeName(type) + L" records named " + fullName + L" in " + record.domain +
                         L"; nimbard changes one record only. Enter the Record ID of the one to keep up to date.");
    found.result = results.empty() ? Result::NoRecord : Result::SeveralRecords;
    return found;
  }
  found.recordId = StringMember(results.front(), "id");
  LogMessage(L"Cloudflare IDs of " + LoggedName(record, type) + L": zone " + found.zoneId + L", record " +
             found.recordId + L".");
  // An ID of the file that answered 404: said once, as the IDs found are
  // remembered for the record as configured.
  const std::wstring path = RecordPath(record);
  if (!record.zoneId.empty() && record.zoneId != found.zoneId) {
    // A record ID belongs to its zone: a new zone means new IDs for both.
    LogMessage(L"The Zone ID " + record.zoneId + L" in the configuration file for " + path +
               L" is out of date (Cloudflare answered 404); the " + RecordTypeName(type) + L" record " + fullName +
               L" is now zone " + found.zoneId + L", record " + found.recordId +
               L", and nimbard updates that one. Enter the new IDs, or leave both boxes empty so that nimbard finds "
               L"them.");
  } else if (type == RecordType::A && !record.recordId.empty() && record.recordId != found.recordId) {
    LogMessage(L"The Record ID " + record.recordId + L" in the configuration file for " + path +
               L" is out of date (Cloudflare answered 404); the A record " + fullName + L" is now zone " +
               found.zoneId + L", record " + found.recordId +
               L", and nimbard updates that one. Enter the new ID, or leave the box empty so that nimbard finds it.");
  }
  Memory().Remember(record, type, found.zoneId, found.recordId);
  ReadRecord(results.front(), record, type, found);
  return found;
}

// PATCH {"content": ...} to the record `found` names (for an A record, the
// configured IDs when it names none).
GuardedResponse PatchContent(const RecordConfig& record, RecordType type, const std::wstring& content,
                             const ARecordLookup& found) {
  const std::wstring& zoneId = found.zoneId.empty() ? record.zoneId : found.zoneId;
  const std::wstring& recordId = found.recordId.empty() && type == RecordType::A ? record.recordId : found.recordId;
  HttpRequest request;
  request.method = L"PATCH";
  request.host = kCloudflareApiHost;
  request.path = RecordPathOf(zoneId, recordId);
  request.headers = RequestHeaders(L"Bearer " + record.apiKey, true);
  request.body = "{\"content\":\"" + NarrowLow8(content) + "\"}";
  return ExchangeIfSendable(request, {
      {L"apiKey", record.apiKey, FieldPlace::Header},
      {L"zoneId", zoneId, FieldPlace::PathPiece},
      {L"recordId", recordId, FieldPlace::PathPiece},
  });
}

}  // namespace

std::vector<ApiError> CloudflareErrors(std::string_view answer) {
  // Only the first few elements are looked at: one that is no error still
  // counts, so an array of a million numbers costs no more than five.
  std::vector<ApiError> errors;
  std::size_t seen = 0;
  json::ForEachElement(json::Member(answer, "errors"), [&](std::string_view element) {
    ApiError error;
    if (ReadApiError(element, error)) errors.push_back(std::move(error));
    return ++seen == kMaxApiErrors;
  });
  return errors;
}

ARecordLookup CloudflareLookup(const RecordConfig& record, RecordType type) {
  ARecordLookup found;
  found.zoneId = record.zoneId;
  if (type == RecordType::A) found.recordId = record.recordId;
  const bool remembered = Memory().Recall(record, type, found.zoneId, found.recordId);
  if (found.zoneId.empty() || found.recordId.empty()) return LookupByName(record, type, found);
  ARecordLookup byId = LookupById(record, type, found);
  if (byId.failure.status != 404) return byId;
  if (remembered) {
    // The record found earlier has gone (deleted, or made anew with a new ID).
    LogMessage(L"Cloudflare record " + found.recordId + L" of " + LoggedName(record, type) +
               L" is gone; looking for it by its name.");
    Memory().Forget(record, type);
    found.zoneId = record.zoneId;
  }
  // An ID that answers 404 is looked for by the name, as a found one is; an
  // ID that names another record (OtherRecord) is never replaced.
  found.recordId.clear();
  found.failure = {};
  return LookupByName(record, type, found);
}

ARecordUpdate CloudflareUpdate(const RecordConfig& record, RecordType type, const std::wstring& newIp,
                               const ARecordLookup& found) {
  ARecordUpdate update;
  const std::wstring typeName = RecordTypeName(type);
  const GuardedResponse outcome = PatchContent(record, type, newIp, found);
  if (Succeeded(outcome.response)) {
    LogMessage(L"Cloudflare " + typeName + L" record updated for " + RecordFullName(record) + L" to " + newIp + L".");
    update.accepted = true;
    return update;
  }
  update.failure = LogFailure(L"Cloudflare " + typeName + L" record update failed for " + record.domain + L" (HTTP " +
                                  DecimalText(outcome.response.status) + L").",
                              outcome, record, RequestKind::Update);
  return update;
}

ARecordUpdate CloudflareRewrite(const RecordConfig& record, RecordType type, const ARecordLookup& found) {
  ARecordUpdate update;
  const std::wstring typeName = RecordTypeName(type);
  const GuardedResponse outcome = PatchContent(record, type, found.address, found);
  if (Succeeded(outcome.response)) {
    LogMessage(L"Cloudflare took the " + typeName + L" record " + RecordFullName(record) +
               L" back unchanged: the token may change it.");
    update.accepted = true;
    return update;
  }
  update.failure = LogFailure(L"Cloudflare refused to take the " + typeName + L" record " + RecordFullName(record) +
                                  L" back unchanged (HTTP " + DecimalText(outcome.response.status) + L").",
                              outcome, record, RequestKind::UnchangedWrite);
  return update;
}

void ForgetCloudflareIds() { Memory().Clear(); }

}  // namespace nimbard
