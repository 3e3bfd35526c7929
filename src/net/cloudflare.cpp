#include "net/cloudflare.h"

#include "core/activity_log.h"
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

std::string UpdateBody(const RecordConfig& record, const std::wstring& newIp) {
  std::string body = "{\"name\":\"";
  body += JsonEscape(RecordFullName(record));
  body += "\",\"ttl\":";
  body += std::to_string(record.ttl);
  body += ",\"type\":\"A\",\"content\":\"";
  body += NarrowLow8(newIp);
  body += "\",\"private_routing\":false,\"proxied\":";
  body += record.proxied ? "true" : "false";
  body += "}";
  return body;
}

}  // namespace

bool CloudflareLookup(const RecordConfig& record, std::wstring& currentIp) {
  HttpRequest request = CloudflareRequest(record, L"GET");
  request.headers = RequestHeaders(CloudflareAuthorization(record), false);
  const GuardedResponse outcome = CloudflareExchange(record, request);
  if (!Succeeded(outcome.response)) {
    LogMessage(L"Cloudflare DNS lookup failed (HTTP " + DecimalText(outcome.response.status) + L").");
    LogRefusedField(outcome);
    return false;
  }
  currentIp = ExtractJsonString(outcome.response.body, "content");
  // A record without a value is not a failure: the check will write one.
  return currentIp.empty() || platform::IsIPv4Text(currentIp);
}

bool CloudflareUpdate(const RecordConfig& record, const std::wstring& newIp) {
  HttpRequest request = CloudflareRequest(record, L"PUT");
  request.headers = RequestHeaders(CloudflareAuthorization(record), true);
  request.body = UpdateBody(record, newIp);
  const GuardedResponse outcome = CloudflareExchange(record, request);
  if (Succeeded(outcome.response)) {
    LogMessage(L"Cloudflare A record updated for " + RecordFullName(record) + L" to " + newIp + L".");
    return true;
  }
  LogMessage(L"Cloudflare A record update failed for " + record.domain + L" (HTTP " +
             DecimalText(outcome.response.status) + L").");
  LogRefusedField(outcome);
  return false;
}

}  // namespace nimbard
