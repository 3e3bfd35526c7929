#pragma once
// Why a request failed, kept whole from the exchange to the log and the
// user: the HTTP status, the exchange's own fault and error number, a
// configuration field that kept it from being sent, and what the server said
// in its own terms.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_exchange.h"

namespace nimbard {

// One error of a provider's answer: Cloudflare's numeric code or GoDaddy's
// code word, with the message that came with it.
struct ApiError {
  std::wstring code;
  std::wstring message;
};

// What is kept of an answer's errors, however many it holds: the first few,
// each code and message at most so many characters.
inline constexpr std::size_t kMaxApiErrors = 5;
inline constexpr std::size_t kMaxApiErrorChars = 300;

// One error as kept: its code (a JSON number or string) and message (a
// string), decoded no further than the bound, and cut to it with "...".
// Nothing when the error has neither.
bool ReadApiError(std::string_view errorObject, ApiError& error);

struct RequestFailure {
  std::uint32_t status = 0;  // 0 when no status was read
  ExchangeFault fault = ExchangeFault::None;
  std::uint32_t error = 0;  // the WinHTTP or Win32 error number (fault Platform)
  const wchar_t* unsentField = nullptr;  // the configuration key whose value could not be sent
  std::vector<ApiError> apiErrors;       // the provider's own codes, in the answer's order
  std::uint32_t retryAfterSeconds = 0;   // the wait a rate-limited answer asked for
};

// The status, fault and error number of an exchange that did not succeed.
RequestFailure FailureOf(const HttpResponse& response);

}  // namespace nimbard
