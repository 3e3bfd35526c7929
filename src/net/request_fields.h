#pragma once
// What both DNS providers share around one API exchange: the header lines,
// the guard that keeps configuration values from reshaping a request, and the
// masking of credentials in server answers that get logged.
#include <initializer_list>
#include <string>
#include <string_view>

#include "net/http_exchange.h"
#include "net/request_failure.h"

namespace nimbard {

// Where a configuration value ends up in a request decides what it may hold.
enum class FieldPlace {
  Header,      // a header value: no control characters, nothing beyond 0x7E
  PathPiece,   // one segment of the request path
  QueryValue,  // a value of the query string, sent percent-encoded (QueryEscape)
};

struct RequestField {
  const wchar_t* name;  // the configuration key, as named in the log
  std::wstring_view value;
  FieldPlace place;
};

// A header value must not hold CR, LF or any other control character (it
// would end the header and start another) nor anything outside ASCII.
bool IsSendableHeaderValue(std::wstring_view value);

// A path segment must not step out of its place in the API's path: no "/",
// "?", "#", "%", "\", blanks, control or non-ASCII characters, and not "."
// or "..". An empty segment is allowed (the server answers it).
bool IsSendablePathPiece(std::wstring_view value);

// A query value as sent: every byte but letters, digits and "-._~" written
// as %XX. Only for values that passed IsSendableHeaderValue (plain ASCII).
std::wstring QueryEscape(std::wstring_view value);

// The name of the first field that cannot be sent, or nullptr.
const wchar_t* FirstUnsendableField(std::initializer_list<RequestField> fields);

// "Authorization: <authorization>" CR LF, followed for bodies by the JSON
// content type line; each provider says what its authorization holds.
std::wstring RequestHeaders(std::wstring_view authorization, bool jsonBody);

// The outcome of an exchange that may have been refused before sending.
struct GuardedResponse {
  HttpResponse response;           // completed false, status 0 when refused
  const wchar_t* refusedField = nullptr;
};

// Runs the exchange unless one of the fields cannot be sent.
GuardedResponse ExchangeIfSendable(const HttpRequest& request,
                                   std::initializer_list<RequestField> fields);

// Logs which field stopped a refused request (never its value); nothing for
// a request that was sent.
void LogRefusedField(const GuardedResponse& outcome);

// The failure of an exchange that did not succeed, with the refused field.
RequestFailure FailureOf(const GuardedResponse& outcome);

// The bytes of a server answer fit for the log: every occurrence of each
// secret, as written and JSON-escaped, replaced by "***", in the order given
// (a secret that holds another goes first). Empty secrets are skipped.
std::string MaskSecrets(std::string_view bytes, std::initializer_list<std::wstring_view> secrets);

}  // namespace nimbard
