#pragma once
// The remote services, all reached over HTTPS on port 443.
namespace nimbard {
inline constexpr wchar_t kCloudflareApiHost[] = L"api.cloudflare.com";
inline constexpr wchar_t kGoDaddyApiHost[] = L"api.godaddy.com";
inline constexpr wchar_t kPublicIpHost[] = L"api.ipify.org";
inline constexpr wchar_t kUserAgent[] = L"nimbard/1.0";
}  // namespace nimbard
