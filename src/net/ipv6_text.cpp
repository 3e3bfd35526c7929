#include "net/ipv6_text.h"

#include <cstdint>

namespace nimbard {
namespace {

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// A dotted IPv4 address: four decimal parts 0..255 without leading zeros.
bool ParseDottedTail(std::wstring_view text, unsigned char out[4]) {
  int part = 0;
  for (std::size_t i = 0; i <= text.size(); ++part) {
    if (part == 4) return false;
    std::size_t end = i;
    unsigned value = 0;
    while (end < text.size() && text[end] >= L'0' && text[end] <= L'9' && end - i < 3) {
      value = value * 10 + static_cast<unsigned>(text[end] - L'0');
      ++end;
    }
    const std::size_t digits = end - i;
    if (digits == 0 || value > 255 || (digits > 1 && text[i] == L'0')) return false;
    out[part] = static_cast<unsigned char>(value);
    if (end == text.size()) return part == 3;
    if (text[end] != L'.') return false;
    i = end + 1;
  }
  return false;
}

// The groups of one side of "::" (or of the whole address), at most `room`
// of them; a dotted tail counts as two and is allowed only where the address
// ends (`last`).
bool ParseGroups(std::wstring_view text, bool last, std::uint16_t* groups, int room, int& count) {
  count = 0;
  if (text.empty()) return true;
  std::size_t i = 0;
  for (;;) {
    const std::size_t colon = text.find(L':', i);
    const std::wstring_view piece = text.substr(i, colon == std::wstring_view::npos ? std::wstring_view::npos : colon - i);
    if (colon == std::wstring_view::npos && last && piece.find(L'.') != std::wstring_view::npos) {
      unsigned char v4[4];
      if (count + 2 > room || !ParseDottedTail(piece, v4)) return false;
      groups[count++] = static_cast<std::uint16_t>(v4[0] << 8 | v4[1]);
      groups[count++] = static_cast<std::uint16_t>(v4[2] << 8 | v4[3]);
      return true;
    }
    if (piece.empty() || piece.size() > 4 || count == room) return false;
    unsigned value = 0;
    for (wchar_t c : piece) {
      const int digit = HexValue(c);
      if (digit < 0) return false;
      value = value << 4 | static_cast<unsigned>(digit);
    }
    groups[count++] = static_cast<std::uint16_t>(value);
    if (colon == std::wstring_view::npos) return true;
    i = colon + 1;
  }
}

}  // namespace

bool ParseIpv6(std::wstring_view text, Ipv6Bytes& address) {
  std::uint16_t head[8] = {}, tail[8] = {};
  int headCount = 0, tailCount = 0;
  const std::size_t gap = text.find(L"::");
  if (gap == std::wstring_view::npos) {
    if (!ParseGroups(text, true, head, 8, headCount) || headCount != 8) return false;
  } else {
    const std::wstring_view before = text.substr(0, gap), after = text.substr(gap + 2);
    if (after.find(L"::") != std::wstring_view::npos) return false;
    // "::" stands for at least one zero group.
    if (!ParseGroups(before, false, head, 7, headCount)) return false;
    if (!ParseGroups(after, true, tail, 7 - headCount, tailCount)) return false;
  }
  Ipv6Bytes bytes{};
  for (int g = 0; g < headCount; ++g) {
    bytes[2 * g] = static_cast<unsigned char>(head[g] >> 8), bytes[2 * g + 1] = static_cast<unsigned char>(head[g]);
  }
  for (int g = 0; g < tailCount; ++g) {
    const int at = 8 - tailCount + g;
    bytes[2 * at] = static_cast<unsigned char>(tail[g] >> 8), bytes[2 * at + 1] = static_cast<unsigned char>(tail[g]);
  }
  address = bytes;
  return true;
}

std::wstring FormatIpv6(const Ipv6Bytes& address) {
  std::uint16_t groups[8];
  for (int g = 0; g < 8; ++g) groups[g] = static_cast<std::uint16_t>(address[2 * g] << 8 | address[2 * g + 1]);
  const bool mapped = groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 && groups[4] == 0 &&
                      groups[5] == 0xffff;
  const int hexGroups = mapped ? 6 : 8;
  int bestStart = -1, bestLength = 1;  // a single zero group is not shortened
  for (int g = 0; g < hexGroups;) {
    if (groups[g] != 0) {
      ++g;
      continue;
    }
    int end = g;
    while (end < hexGroups && groups[end] == 0) ++end;
    if (end - g > bestLength) bestStart = g, bestLength = end - g;
    g = end;
  }
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  for (int g = 0; g < hexGroups; ++g) {
    if (g == bestStart) {
      text += L"::";
      g += bestLength - 1;
      continue;
    }
    if (!text.empty() && text.back() != L':') text += L':';
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const unsigned digit = groups[g] >> shift & 0xF;
      if (digit != 0 || started || shift == 0) text += kDigits[digit], started = true;
    }
  }
  if (mapped) {
    text += L":";
    for (int b = 12; b < 16; ++b) text += std::to_wstring(address[b]) + (b < 15 ? L"." : L"");
  }
  return text;
}

bool SameIpv6(std::wstring_view a, std::wstring_view b) {
  Ipv6Bytes left{}, right{};
  return ParseIpv6(a, left) && ParseIpv6(b, right) && left == right;
}

}  // namespace nimbard
