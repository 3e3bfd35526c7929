// The exchange's steps as WinHTTP calls. Proxy discovery and certificate
// checks are the platform's own (a certificate the system does not trust
// always ends the exchange). Two defaults are replaced:
// - redirects are never followed: a 3xx is the final answer, so the
//   Authorization header reaches no host but the one it was written for;
// - every blocking call gives up after a minute, so the thread of an
//   exchange whose caller stopped waiting does not hang on forever.
// WinHTTP is reached through the table loaded from System32
// (net/winhttp_library.h); when it cannot be loaded, the session fails with
// the loader's error.
#include <windows.h>
#include <winhttp.h>

#include "net/api_hosts.h"
#include "net/http_steps.h"
#include "net/winhttp_library.h"

namespace nimbard {

namespace {

// WinHTTP's automatic proxy type (WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY), which
// older SDK headers do not name.
constexpr DWORD kAccessTypeAutomaticProxy = 4;
constexpr DWORD kSecureRequest = 0x00800000;  // WINHTTP_FLAG_SECURE
constexpr DWORD kStatusCodeAsNumber = 0x20000013;  // WINHTTP_QUERY_STATUS_CODE | FLAG_NUMBER
constexpr DWORD kContentLengthAsNumber = WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER;
constexpr int kStepTimeoutMs = 60000;

class WinHttpSteps final : public HttpSteps {
 public:
  // `api` null: WinHTTP could not be loaded, for the reason `loadError`.
  WinHttpSteps(const WinHttpApi* api, DWORD loadError) : api_(api), loadError_(loadError) {}

  Handle OpenSession() override {
    if (!api_) return nullptr;
    HINTERNET session = api_->open(kUserAgent, kAccessTypeAutomaticProxy, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (session && !api_->setTimeouts(session, kStepTimeoutMs, kStepTimeoutMs, kStepTimeoutMs,
                                       kStepTimeoutMs)) {
      return Abandon(session);
    }
    return session;
  }

  Handle Connect(Handle session, const std::wstring& host) override {
    return api_->connect(session, host.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0);
  }

  Handle OpenRequest(Handle connection, const std::wstring& method,
                     const std::wstring& path) override {
    HINTERNET request = api_->openRequest(connection, method.c_str(), path.c_str(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           kSecureRequest);
    // A request that would follow redirects must not go out at all. The
    // receive time-out of the session does not cover the wait for the
    // response headers everywhere (Wine); this option does.
    if (request &&
        !(SetDwordOption(request, WINHTTP_OPTION_REDIRECT_POLICY,
                         WINHTTP_OPTION_REDIRECT_POLICY_NEVER) &&
          SetDwordOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, kStepTimeoutMs))) {
      return Abandon(request);
    }
    return request;
  }

  bool Send(Handle request, const std::wstring* headers, std::string_view body) override {
    const DWORD length = static_cast<DWORD>(body.size());
    // WinHTTP takes the optional data as non-const; it only reads it.
    void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    return api_->sendRequest(request, headers ? headers->c_str() : WINHTTP_NO_ADDITIONAL_HEADERS,
                              headers ? static_cast<DWORD>(-1) : 0, data, length, length,
                              0) != FALSE;
  }

  bool ReceiveResponse(Handle request) override {
    return api_->receiveResponse(request, nullptr) != FALSE;
  }

  bool QueryStatus(Handle request, std::uint32_t& status) override {
    return QueryNumber(request, kStatusCodeAsNumber, status);
  }

  bool QueryContentLength(Handle request, std::uint64_t& length) override {
    std::uint32_t value = 0;
    if (!QueryNumber(request, kContentLengthAsNumber, value)) return false;
    length = value;
    return true;
  }

  bool QueryRetryAfter(Handle request, std::uint32_t& seconds) override {
    return QueryNumber(request, WINHTTP_QUERY_RETRY_AFTER | WINHTTP_QUERY_FLAG_NUMBER, seconds);
  }

  bool QueryDataAvailable(Handle request, std::uint32_t& available) override {
    DWORD amount = 0;
    if (!api_->queryDataAvailable(request, &amount)) return false;
    available = amount;
    return true;
  }

  bool ReadData(Handle request, char* buffer, std::uint32_t size, std::uint32_t& read) override {
    DWORD got = 0;
    if (!api_->readData(request, buffer, size, &got)) return false;
    read = got;
    return true;
  }

  void Close(Handle handle) override { api_->closeHandle(handle); }

  std::uint32_t LastError() override { return api_ ? ::GetLastError() : loadError_; }

 private:
  bool SetDwordOption(HINTERNET handle, DWORD option, DWORD value) {
    return api_->setOption(handle, option, &value, sizeof value) != FALSE;
  }

  // Closes a handle whose set-up failed, keeping that failure's error number
  // for LastError.
  HINTERNET Abandon(HINTERNET handle) {
    const DWORD error = ::GetLastError();
    api_->closeHandle(handle);
    ::SetLastError(error);
    return nullptr;
  }

  bool QueryNumber(Handle request, DWORD level, std::uint32_t& value) {
    DWORD number = 0;
    DWORD size = sizeof number;
    if (!api_->queryHeaders(request, level, WINHTTP_HEADER_NAME_BY_INDEX, &number, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
      return false;
    }
    value = number;
    return true;
  }

  const WinHttpApi* api_;
  DWORD loadError_;
};

}  // namespace

HttpResponse PlatformHttpExchange(const HttpRequest& request, ExchangeProgress& progress) {
  DWORD loadError = 0;
  const WinHttpApi* api = SystemWinHttp(loadError);
  WinHttpSteps steps(api, loadError);
  return RunHttpExchange(steps, request, progress);
}

}  // namespace nimbard
