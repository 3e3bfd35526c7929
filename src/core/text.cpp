#include "core/text.h"

#include <algorithm>

#include "core/json_scan.h"

namespace nimbard {
namespace {

bool IsTrimmed(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

}  // namespace

std::wstring WidenBytes(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (char b : bytes) {
    out.push_back(static_cast<wchar_t>(static_cast<std::uint16_t>(static_cast<std::int8_t>(b))));
  }
  return out;
}

std::string NarrowLow8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out.push_back(static_cast<char>(static_cast<unsigned char>(c & 0xFF)));
  return out;
}

std::wstring TrimWhitespace(std::wstring_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsTrimmed(text[begin])) ++begin;
  while (end > begin && IsTrimmed(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

std::string JsonEscape(std::wstring_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (wchar_t c : text) {
    switch (c) {
      case L'\t': out += "\\t"; break;
      case L'\n': out += "\\n"; break;
      case L'\r': out += "\\r"; break;
      case L'"': out += "\\\""; break;
      case L'\\': out += "\\\\"; break;
      default: out.push_back(static_cast<char>(static_cast<unsigned char>(c & 0xFF)));
    }
  }
  return out;
}

std::wstring ExtractJsonString(std::string_view json, std::string_view key) {
  json_scan::Match m = json_scan::StringMember(json, key);
  if (!m.found) return {};
  if (m.capture.find('\\') == std::string_view::npos) return WidenBytes(m.capture);
  return WidenBytes(json_scan::DecodeEscapes(m.capture));
}

bool SameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  const auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::wstring CutText(std::wstring_view text, std::size_t maxChars) {
  if (text.size() <= maxChars) return std::wstring(text);
  std::wstring out(text.substr(0, maxChars < 3 ? 0 : maxChars - 3));
  out += std::wstring_view(L"...").substr(0, std::min<std::size_t>(maxChars, 3));
  return out;
}

std::wstring DecimalText(std::uint32_t value) { return std::to_wstring(value); }

std::vector<std::wstring_view> SplitLines(std::wstring_view text) {
  std::vector<std::wstring_view> lines;
  for (;;) {
    const std::size_t end = text.find(L"\r\n");
    lines.push_back(text.substr(0, end));
    if (end == std::wstring_view::npos) return lines;
    text.remove_prefix(end + 2);
  }
}

namespace {

bool IsLowSurrogate(wchar_t unit) {
  const auto value = static_cast<unsigned long>(unit);
  return value >= 0xDC00 && value <= 0xDFFF;
}

}  // namespace

std::wstring FitLines(std::wstring_view text, std::size_t maxLines, std::size_t maxLineChars,
                      std::wstring_view separator, LineCut cutAt) {
  const std::vector<std::wstring_view> lines = SplitLines(text);
  const std::size_t shown = lines.size() > maxLines ? (maxLines > 0 ? maxLines - 1 : 0) : lines.size();
  std::wstring out;
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) out += separator;
    std::wstring_view line = lines[i];
    if (line.size() <= maxLineChars) {
      out += line;
      continue;
    }
    std::size_t head = cutAt == LineCut::InMiddle ? maxLineChars / 2 : maxLineChars;
    if (IsLowSurrogate(line[head]) && head > 0) --head;  // keep a surrogate pair whole
    out += line.substr(0, head);
    out += L"...";
    if (cutAt == LineCut::InMiddle) {
      std::size_t tailStart = line.size() - (maxLineChars - maxLineChars / 2);
      if (IsLowSurrogate(line[tailStart])) ++tailStart;
      out += line.substr(tailStart);
    }
  }
  if (shown < lines.size()) {
    if (shown > 0) out += separator;
    out += L"(" + std::to_wstring(lines.size() - shown) + L" more)";
  }
  return out;
}

}  // namespace nimbard
