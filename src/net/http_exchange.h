#pragma once
// One synchronous HTTPS request (port 443, TLS) and its outcome.
// HttpExchange routes to the current transport: WinHTTP on Windows; tests
// install a scripted transport through SetHttpTransport.
#include <cstdint>
#include <string>

namespace nimbard {

// Full form: provider requests. Short form: the public IPv4 lookup (no extra
// headers, no body, a non-2xx status ends the exchange before the body, a
// failing read just ends the body).
enum class ExchangeForm { Full, Short };

struct HttpRequest {
  std::wstring method;   // "GET" or "PUT"
  std::wstring host;
  std::wstring path;     // begins with "/", sent unchanged
  std::wstring headers;  // extra header lines, each ending in CR LF
  std::string body;      // bytes; empty for GET
  ExchangeForm form = ExchangeForm::Full;
};

struct HttpResponse {
  bool completed = false;
  std::uint32_t status = 0;  // 0 when the exchange failed before a status was read
  std::string body;          // raw bytes; may be partial when !completed
  bool sessionOpened = false;  // false only when the HTTP session itself could not be opened
};

// 200..299: the only statuses that count as success.
inline bool IsSuccessStatus(std::uint32_t status) { return status - 200u <= 99u; }

// completed and a success status.
bool Succeeded(const HttpResponse& response);

class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  virtual HttpResponse Exchange(const HttpRequest& request) = 0;
};

HttpResponse HttpExchange(const HttpRequest& request);

// Installs `transport` (not owned) for every later exchange; nullptr restores
// the platform's own. Returns the previous override (or nullptr).
HttpTransport* SetHttpTransport(HttpTransport* transport);

}  // namespace nimbard
