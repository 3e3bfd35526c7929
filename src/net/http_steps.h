#pragma once
// The WinHTTP calls of one exchange, one virtual per call, so that the order
// of the calls, the failure rules and the closing of handles are written once
// (RunHttpExchange) and can be driven by a scripted fake in the tests.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_exchange.h"

namespace nimbard {

class HttpSteps {
 public:
  // An open session, connection or request (an HINTERNET on Windows);
  // nullptr means the step failed.
  using Handle = void*;

  virtual ~HttpSteps() = default;
  virtual Handle OpenSession() = 0;
  virtual Handle Connect(Handle session, const std::wstring& host) = 0;
  virtual Handle OpenRequest(Handle connection, const std::wstring& method,
                             const std::wstring& path) = 0;
  // headers == nullptr: no header pointer and a length of 0; otherwise the
  // zero-terminated text with a length of -1. An empty body goes as no pointer.
  virtual bool Send(Handle request, const std::wstring* headers, std::string_view body) = 0;
  virtual bool ReceiveResponse(Handle request) = 0;
  virtual bool QueryStatus(Handle request, std::uint32_t& status) = 0;
  // The announced Content-Length; false when the response carries none.
  virtual bool QueryContentLength(Handle request, std::uint64_t& length) = 0;
  // The Retry-After header as a number of seconds; false when there is none.
  virtual bool QueryRetryAfter(Handle request, std::uint32_t& seconds) = 0;
  virtual bool QueryDataAvailable(Handle request, std::uint32_t& available) = 0;
  virtual bool ReadData(Handle request, char* buffer, std::uint32_t size,
                        std::uint32_t& read) = 0;
  virtual void Close(Handle handle) = 0;
  // The error number of the step that failed last (GetLastError on Windows),
  // read right after the failure.
  virtual std::uint32_t LastError() = 0;
};

// No answer this exchange is used for comes near this size (a zone of
// thousands of records is well under a megabyte); a larger body is a fault
// and fails the exchange instead of exhausting memory.
inline constexpr std::size_t kMaxResponseBodyBytes = 16u * 1024u * 1024u;

// The whole exchange over `steps`. Never throws. Every handle it opens is
// closed exactly once, newest first, before it returns. Before every step
// and every read it asks `progress` whether to go on; once told no, it fails
// without another step. The status goes into `progress` as soon as it is read.
HttpResponse RunHttpExchange(HttpSteps& steps, const HttpRequest& request,
                             ExchangeProgress& progress);

// False for a request that the zero-terminated platform calls would silently
// change (a NUL in host, path or headers) or whose header text is not a run
// of "Name: value" lines each ending in CR LF (a stray CR or LF, or an empty
// line, would let one header value inject others or end the header block).
bool IsSendableRequest(const HttpRequest& request);

// The platform's own transport (WinHTTP on Windows).
HttpResponse PlatformHttpExchange(const HttpRequest& request, ExchangeProgress& progress);

}  // namespace nimbard
