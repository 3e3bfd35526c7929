#include "net/godaddy.h"

#include "core/activity_log.h"
#include "core/json_reader.h"
#include "core/json_scan.h"
#include "core/text.h"
#include "net/api_hosts.h"
#include "net/failure_cause.h"
#include "net/request_fields.h"

namespace nimbard {
namespace {

// A key from GoDaddy's developer portal comes with a secret, written
// KEY:SECRET, which GoDaddy accepts only under its "sso-key" scheme; any
// other value is sent as a bearer token.
std::wstring GoDaddyAuthorization(const RecordConfig& record) {
  const bool keyPair = record.apiKey.find(L':') != std::wstring::npos;
  return (keyPair ? L"sso-key " : L"Bearer ") + record.apiKey;
}

// What must never reach the log: the whole value and, of a pair, the secret
// half on its own. The key half alone opens nothing and tells the reader
// which key was refused, so it may stay.
std::wstring_view SecretHalf(std::wstring_view apiKey) {
  const size_t colon = apiKey.find(L':');
  return colon == std::wstring_view::npos ? std::wstring_view() : apiKey.substr(colon + 1);
}

// An error document is worth showing whole; a huge answer is not worth
// writing into the log at every pass. Short enough that the line, with its
// time and prefix, stays within the log's line bound uncut.
constexpr std::size_t kMaxLoggedResponse = 4000;

// Logs the failure line, the answer and a refused field; returns the cause.
RequestFailure LogFailure(const std::wstring& line, const GuardedResponse& outcome, const RecordConfig& record,
                          RequestKind kind) {
  LogMessage(line);
  if (!outcome.response.body.empty()) {
    const std::string masked = MaskSecrets(outcome.response.body, {record.apiKey, SecretHalf(record.apiKey)});
    const std::string_view shown = std::string_view(masked).substr(0, kMaxLoggedResponse + 1);
    LogMessage(L"GoDaddy response: " + ShortenForLog(WidenBytes(shown), kMaxLoggedResponse));
  }
  LogRefusedField(outcome);
  RequestFailure failure = FailureOf(outcome);
  ReadGoDaddyError(MaskSecrets(outcome.response.body, {record.apiKey, SecretHalf(record.apiKey)}), failure);
  LogCause(failure, Provider::GoDaddy, kind);
  return failure;
}

// Replaces the records of the type and the configured name with one of
// `data` and `ttl`; logs the body first, so that the log says what would
// have been sent even when the request is then refused.
GuardedResponse PutRecord(const RecordConfig& record, RecordType type, const std::wstring& data, std::uint32_t ttl) {
  const std::wstring name = GoDaddyRecordName(record);
  HttpRequest request;
  request.method = L"PUT";
  request.host = kGoDaddyApiHost;
  request.path = L"/v1/domains/" + record.domain + L"/records/" + RecordTypeName(type) + L"/" + name;
  request.headers = RequestHeaders(GoDaddyAuthorization(record), true);
  request.body = "[{\"data\":\"" + NarrowLow8(data) + "\",\"ttl\":" + std::to_string(ttl) + "}]";
  LogMessage(L"GoDaddy PUT body: " + WidenBytes(request.body));
  return ExchangeIfSendable(request, {
      {L"apiKey", record.apiKey, FieldPlace::Header},
      {L"domain", record.domain, FieldPlace::PathPiece},
      {L"record", name, FieldPlace::PathPiece},
  });
}

}  // namespace

void ReadGoDaddyError(std::string_view answer, RequestFailure& failure) {
  if (const auto wait = json::AsUint32(json::Member(answer, "retryAfterSec"))) failure.retryAfterSeconds = *wait;
  ApiError error;
  if (json::AsString(json::Member(answer, "code"), 1).value_or(L"").empty()) return;
  ReadApiError(answer, error);
  failure.apiErrors.push_back(std::move(error));
  // A refused body names each field at fault: {"code":"MISMATCH_FORMAT","path":"records[0].data",...}.
  // Only the first few are looked at, errors or not (as Cloudflare's).
  std::size_t seen = 1;
  json::ForEachElement(json::Member(answer, "fields"), [&](std::string_view field) {
    if (ReadApiError(field, error)) failure.apiErrors.push_back(std::move(error));
    return ++seen == kMaxApiErrors;
  });
}

std::wstring GoDaddyRecordName(const RecordConfig& record) {
  const std::wstring& name = record.recordName;
  const std::wstring& domain = record.domain;
  if (name.empty() || name == L"@") return L"@";
  // DNS names ignore ASCII case: "WWW.Example.com" in the zone "example.com"
  // is still the label "WWW", and "Example.com" is still the apex.
  if (!domain.empty()) {
    if (SameIgnoringAsciiCase(name, domain)) return L"@";
    if (name.size() > domain.size() + 1) {
      const size_t dot = name.size() - domain.size() - 1;
      if (name[dot] == L'.' && SameIgnoringAsciiCase(std::wstring_view(name).substr(dot + 1), domain)) {
        return name.substr(0, dot);
      }
    }
  }
  return name;
}

ARecordLookup GoDaddyLookup(const RecordConfig& record, RecordType type) {
  ARecordLookup found;
  HttpRequest request;
  request.method = L"GET";
  request.host = kGoDaddyApiHost;
  request.path = L"/v3/domains/zones/" + record.domain + L"/dns-records";
  request.headers = RequestHeaders(GoDaddyAuthorization(record), false);
  const GuardedResponse outcome = ExchangeIfSendable(request, {
      {L"apiKey", record.apiKey, FieldPlace::Header},
      {L"domain", record.domain, FieldPlace::PathPiece},
  });
  if (!Succeeded(outcome.response)) {
    const std::wstring status = DecimalText(outcome.response.status);
    found.failure = LogFailure(type == RecordType::A ? L"GoDaddy DNS lookup failed (HTTP " + status + L")."
                                                     : L"GoDaddy AAAA lookup failed (HTTP " + status + L").",
                               outcome, record, RequestKind::RecordLookup);
    return found;
  }
  const std::wstring wanted = GoDaddyRecordName(record);
  found.result = ARecordLookup::Result::NotFound;
  // Each brace-free object is a candidate; one holding a nested object is
  // only ever seen through its brace-free inner parts.
  for (std::string_view object : json_scan::FlatObjects(outcome.response.body)) {
    if (ExtractJsonString(object, "type") != RecordTypeName(type)) continue;
    if (ExtractJsonString(object, "name") != wanted) continue;
    ++found.matches;
    if (found.result == ARecordLookup::Result::Found) continue;
    std::wstring data = ExtractJsonString(object, "data");
    if (IsAddressOfType(data, type)) {
      found.result = ARecordLookup::Result::Found;
      found.address = std::move(data);
      std::uint32_t ttl = 0;
      const json_scan::Match digits = json_scan::DigitsMember(object, "ttl");
      if (digits.found && json_scan::ParseUint32(digits.capture, ttl)) found.ttl = ttl;
    }
  }
  return found;
}

ARecordUpdate GoDaddyUpdate(const RecordConfig& record, RecordType type, const std::wstring& newIp, std::uint32_t ttl) {
  ARecordUpdate update;
  const std::wstring typeName = RecordTypeName(type);
  const GuardedResponse outcome = PutRecord(record, type, newIp, ttl);
  if (Succeeded(outcome.response)) {
    LogMessage(L"GoDaddy " + typeName + L" record updated for " + record.recordName + L" to " + newIp + L".");
    update.accepted = true;
    return update;
  }
  update.failure = LogFailure(L"GoDaddy " + typeName + L" record update failed for " + record.recordName + L" (HTTP " +
                                  DecimalText(outcome.response.status) + L").",
                              outcome, record, RequestKind::Update);
  return update;
}

ARecordUpdate GoDaddyRewrite(const RecordConfig& record, RecordType type, const ARecordLookup& found) {
  ARecordUpdate update;
  const std::wstring typeName = RecordTypeName(type);
  const GuardedResponse outcome = PutRecord(record, type, found.address, found.ttl);
  if (Succeeded(outcome.response)) {
    LogMessage(L"GoDaddy took the " + typeName + L" record of " + record.recordName + L" back unchanged (" +
               found.address + L", TTL " + DecimalText(found.ttl) + L"): the key may change it.");
    update.accepted = true;
    return update;
  }
  update.failure = LogFailure(L"GoDaddy refused to take the " + typeName + L" record of " + record.recordName +
                                  L" back unchanged (HTTP " + DecimalText(outcome.response.status) + L").",
                              outcome, record, RequestKind::UnchangedWrite);
  return update;
}

}  // namespace nimbard
