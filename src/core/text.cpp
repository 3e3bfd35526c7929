#include "core/text.h"
namespace nimbard {
std::wstring WidenBytes(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (char b : bytes) out.push_back(static_cast<wchar_t>(static_cast<std::uint16_t>(static_cast<std::int8_t>(b))));
  return out;
}
std::string NarrowLow8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out.push_back(static_cast<char>(static_cast<unsigned char>(c & 0xFF)));
  return out;
}
}  // namespace nimbard
