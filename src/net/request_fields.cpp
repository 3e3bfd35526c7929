#include "net/request_fields.h"

#include "core/activity_log.h"
#include "core/text.h"

namespace nimbard {
namespace {

bool IsControl(wchar_t c) { return c < 0x20 || c == 0x7F; }
bool IsBeyondAscii(wchar_t c) { return static_cast<unsigned long>(c) > 0x7E; }

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  if (what.empty()) return;
  std::string out;
  size_t from = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
    out.append(text, from, at - from);
    out.append(with);
    from = at + what.size();
  }
  if (from == 0) return;
  out.append(text, from, std::string::npos);
  text.swap(out);
}

}  // namespace

bool IsSendableHeaderValue(std::wstring_view value) {
  for (wchar_t c : value) {
    if (IsControl(c) || IsBeyondAscii(c)) return false;
  }
  return true;
}

bool IsSendablePathPiece(std::wstring_view value) {
  if (value == L"." || value == L"..") return false;
  for (wchar_t c : value) {
    if (IsControl(c) || IsBeyondAscii(c)) return false;
    switch (c) {
      case L'/': case L'?': case L'#': case L'%': case L'\\': case L' ':
        return false;
      default:
        break;
    }
  }
  return true;
}

std::wstring QueryEscape(std::wstring_view value) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring out;
  for (wchar_t c : value) {
    const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                       c == L'-' || c == L'.' || c == L'_' || c == L'~';
    if (plain) {
      out += c;
    } else {
      const unsigned byte = static_cast<unsigned>(c) & 0xFF;
      out += L'%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

const wchar_t* FirstUnsendableField(std::initializer_list<RequestField> fields) {
  for (const RequestField& field : fields) {
    // A query value is escaped whole, so it only has to be plain ASCII.
    bool ok = field.place == FieldPlace::PathPiece ? IsSendablePathPiece(field.value)
                                                   : IsSendableHeaderValue(field.value);
    if (!ok) return field.name;
  }
  return nullptr;
}

std::wstring RequestHeaders(std::wstring_view authorization, bool jsonBody) {
  std::wstring headers = L"Authorization: ";
  headers.append(authorization);
  headers += L"\r\n";
  if (jsonBody) headers += L"Content-Type: application/json\r\n";
  return headers;
}

GuardedResponse ExchangeIfSendable(const HttpRequest& request,
                                   std::initializer_list<RequestField> fields) {
  GuardedResponse outcome;
  outcome.refusedField = FirstUnsendableField(fields);
  if (outcome.refusedField == nullptr) {
    outcome.response = HttpExchange(request);
  } else {
    outcome.response.fault = ExchangeFault::NotSent;
  }
  return outcome;
}

void LogRefusedField(const GuardedResponse& outcome) {
  if (outcome.refusedField == nullptr) return;
  std::wstring line = L"Request not sent: the ";
  line += outcome.refusedField;
  line += L" field holds characters that cannot be sent.";
  LogMessage(line);
}

RequestFailure FailureOf(const HttpResponse& response) {
  RequestFailure failure;
  failure.status = response.status;
  failure.fault = response.fault;
  failure.error = response.error;
  failure.retryAfterSeconds = response.retryAfterSeconds;
  return failure;
}

RequestFailure FailureOf(const GuardedResponse& outcome) {
  RequestFailure failure = FailureOf(outcome.response);
  failure.unsentField = outcome.refusedField;
  return failure;
}

std::string MaskSecrets(std::string_view bytes, std::initializer_list<std::wstring_view> secrets) {
  std::string masked(bytes);
  for (std::wstring_view secret : secrets) {
    // The escaped form goes first: it may contain the plain form (a secret
    // ending in a backslash), never the other way round.
    const std::string escaped = JsonEscape(secret);
    const std::string plain = NarrowLow8(secret);
    if (escaped != plain) ReplaceAll(masked, escaped, "***");
    ReplaceAll(masked, plain, "***");
  }
  return masked;
}

}  // namespace nimbard
