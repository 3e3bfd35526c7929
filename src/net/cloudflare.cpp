#include "net/cloudflare.h"

#include "core/activity_log.h"
#include "core/json_reader.h"
#include "core/platform.h"
#include "core/text.h"
#include "net/api_hosts.h"
#include "net/request_fields.h"

namespace nimbard {
namespace {

// The record is addressed by its identifiers alone; both travel in the path.
HttpRequest CloudflareRequest(const RecordConfig& record, const wchar_t* method) {
  HttpRequest request;
  request.method = method;
  request.host = kCloudflareApiHost;
  request.path = L"/client/v4/zones/" + record.zoneId + L"/dns_records/" + record.recordId;
  return request;
}

// Cloudflare's API tokens travel as bearer credentials, whatever they hold.
std::wstring CloudflareAuthorization(const RecordConfig& record) { return L"Bearer " + record.apiKey; }

GuardedResponse CloudflareExchange(const RecordConfig& record, const HttpRequest& request) {
  return ExchangeIfSendable(request, {
      {L"apiKey", record.apiKey, FieldPlace::Header},
      {L"zoneId", record.zoneId, FieldPlace::PathPiece},
      {L"recordId", record.recordId, FieldPlace::PathPiece},
  });
}

RequestFailure CloudflareFailure(const GuardedResponse& outcome) {
  RequestFailure failure = FailureOf(outcome);
  failure.apiErrors = CloudflareErrors(outcome.response.body);
  return failure;
}

std::wstring StringMember(std::string_view object, std::string_view key) {
  return json::AsString(json::Member(object, key)).value_or(std::wstring());
}

std::wstring OrQuestionMark(const std::wstring& text) { return text.empty() ? L"?" : text; }

}  // namespace

std::vector<ApiError> CloudflareErrors(std::string_view answer) {
  std::vector<ApiError> errors;
  for (std::string_view error : json::Elements(json::Member(answer, "errors"))) {
    const std::string_view code = json::Member(error, "code");
    const std::optional<std::uint32_t> number = json::AsUint32(code);
    errors.push_back({number ? DecimalText(*number) : StringMember(error, "code"), StringMember(error, "message")});
  }
  return errors;
}

ARecordLookup CloudflareLookup(const RecordConfig& record) {
  ARecordLookup found;
  HttpRequest request = CloudflareRequest(record, L"GET");
  request.headers = RequestHeaders(CloudflareAuthorization(record), false);
  const GuardedResponse outcome = CloudflareExchange(record, request);
  if (!Succeeded(outcome.response)) {
    LogMessage(L"Cloudflare DNS lookup failed (HTTP " + DecimalText(outcome.response.status) + L").");
    LogRefusedField(outcome);
    found.failure = CloudflareFailure(outcome);
    return found;
  }
  const std::string_view result = json::Member(outcome.response.body, "result");
  const std::wstring name = StringMember(result, "name"), type = StringMember(result, "type");
  if (type != L"A" || !SameIgnoringAsciiCase(name, RecordFullName(record))) {
    // Written to, such a record would be renamed and repointed: a CNAME
    // turned into an A record, another host's address taken over.
    LogMessage(L"Cloudflare record " + record.recordId + L" is " + OrQuestionMark(name) + L" (" + OrQuestionMark(type) +
               L"), not the A record " + RecordFullName(record) + L" configured for " + RecordPath(record) +
               L"; nothing was changed. Check the Record ID.");
    found.result = ARecordLookup::Result::OtherRecord;
    found.otherName = name;
    found.otherType = type;
    return found;
  }
  found.address = StringMember(result, "content");
  // A record without a value is not a failure: the check will write one.
  found.result = found.address.empty()                   ? ARecordLookup::Result::NotFound
                 : platform::IsIPv4Text(found.address) ? ARecordLookup::Result::Found
                                                         : ARecordLookup::Result::InvalidValue;
  return found;
}

ARecordUpdate CloudflareUpdate(const RecordConfig& record, const std::wstring& newIp) {
  ARecordUpdate update;
  HttpRequest request = CloudflareRequest(record, L"PATCH");
  request.headers = RequestHeaders(CloudflareAuthorization(record), true);
  request.body = "{\"content\":\"" + NarrowLow8(newIp) + "\"}";
  const GuardedResponse outcome = CloudflareExchange(record, request);
  if (Succeeded(outcome.response)) {
    LogMessage(L"Cloudflare A record updated for " + RecordFullName(record) + L" to " + newIp + L".");
    update.accepted = true;
    return update;
  }
  LogMessage(L"Cloudflare A record update failed for " + record.domain + L" (HTTP " +
             DecimalText(outcome.response.status) + L").");
  LogRefusedField(outcome);
  update.failure = CloudflareFailure(outcome);
  return update;
}

}  // namespace nimbard
