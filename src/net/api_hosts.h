#pragma once
// The remote services, all reached over HTTPS on port 443.
namespace nimbard {
inline constexpr wchar_t kCloudflareApiHost[] = L"api.cloudflare.com";
inline constexpr wchar_t kGoDaddyApiHost[] = L"api.godaddy.com";
inline constexpr wchar_t kPublicIpHost[] = L"api.ipify.org";
// Asked when the first echo service gives no usable answer.
inline constexpr wchar_t kPublicIpFallbackHost[] = L"checkip.amazonaws.com";
inline constexpr wchar_t kUserAgent[] = L"nimbard/1.0";
}  // namespace nimbard
