#include "core/json_scan.h"

#include <cstring>

namespace nimbard::json_scan {
namespace {

constexpr std::size_t kNone = std::string_view::npos;
// A value scanner's answer when no later occurrence of the key can match.
constexpr std::size_t kGiveUp = kNone - 1;

const char* Find(const char* from, const char* end, char c) {
  return static_cast<const char*>(std::memchr(from, c, static_cast<std::size_t>(end - from)));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipSpaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsSpaceByte(text[pos])) ++pos;
  return pos;
}

// Finds each occurrence of "key" in turn and hands the offset just past the
// colon and the white space after it to `value`, which returns the end of the
// value (kNone when the value does not have its form). The first occurrence
// that has a value wins. Occurrences of "key" cannot overlap the white space
// or colon of an earlier one, so the search is linear as long as the value
// scans are (a string value scan gives up the search rather than rescan).
template <typename ValueScanner>
Match FindMember(std::string_view text, std::string_view key, ValueScanner value) {
  Match result;
  const std::size_t keyLength = key.size() + 2;
  if (text.size() < keyLength) return result;
  std::size_t from = 0;
  while (from + keyLength <= text.size()) {
    std::size_t at = text.find('"', from);
    if (at == kNone || at + keyLength > text.size()) break;
    from = at + 1;
    if (text.compare(at + 1, key.size(), key) != 0 || text[at + 1 + key.size()] != '"') continue;
    std::size_t pos = SkipSpaces(text, at + keyLength);
    if (pos >= text.size() || text[pos] != ':') continue;
    pos = SkipSpaces(text, pos + 1);
    std::size_t valueBegin = pos;
    std::size_t valueEnd = value(text, pos);
    if (valueEnd == kGiveUp) break;
    if (valueEnd == kNone) continue;
    result.found = true;
    result.begin = at;
    result.end = valueEnd;
    result.capture = text.substr(valueBegin, valueEnd - valueBegin);
    return result;
  }
  return result;
}

std::size_t ScanWord(std::string_view text, std::size_t pos, std::string_view word) {
  return text.compare(pos, word.size(), word) == 0 ? pos + word.size() : kNone;
}

}  // namespace

bool IsSpaceByte(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string_view> FlatObjects(std::string_view text) {
  // memchr does the walking: answers of thousands of objects are mostly
  // bytes between braces.
  std::vector<std::string_view> objects;
  const char* const end = text.data() + text.size();
  const char* from = text.data();
  while (from < end) {
    const char* open = Find(from, end, '{');
    if (open == nullptr) break;
    const char* close = Find(open + 1, end, '}');
    if (close == nullptr) break;  // no later '{' can be closed either
    // Only the last '{' before the '}' has no brace between them.
    for (const char* inner; (inner = Find(open + 1, close, '{')) != nullptr;) open = inner;
    objects.emplace_back(open, static_cast<std::size_t>(close - open + 1));
    from = close + 1;
  }
  return objects;
}

Match StringMember(std::string_view text, std::string_view key) {
  Match m = FindMember(text, key, [](std::string_view t, std::size_t pos) -> std::size_t {
    if (pos >= t.size() || t[pos] != '"') return kNone;
    for (++pos; pos < t.size();) {
      if (t[pos] == '"') return pos + 1;
      pos += t[pos] == '\\' ? 2 : 1;
    }
    // No closing quote up to the end. Every later value starts just after a
    // quote inside this one, which can only be the second byte of a backslash
    // pair, so it walks the same units from there on and fails the same way.
    return kGiveUp;
  });
  if (m.found) m.capture = m.capture.substr(1, m.capture.size() - 2);  // drop the quotes
  return m;
}

Match DigitsMember(std::string_view text, std::string_view key) {
  return FindMember(text, key, [](std::string_view t, std::size_t pos) -> std::size_t {
    std::size_t end = pos;
    while (end < t.size() && IsDigit(t[end])) ++end;
    return end == pos ? kNone : end;
  });
}

Match BoolMember(std::string_view text, std::string_view key) {
  return FindMember(text, key, [](std::string_view t, std::size_t pos) -> std::size_t {
    std::size_t end = ScanWord(t, pos, "true");
    return end != kNone ? end : ScanWord(t, pos, "false");
  });
}

Match TrueMember(std::string_view text, std::string_view key) {
  return FindMember(text, key, [](std::string_view t, std::size_t pos) -> std::size_t {
    return ScanWord(t, pos, "true");
  });
}

std::string DecodeEscapes(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\' || i + 1 == raw.size()) {
      out.push_back(raw[i]);
      continue;
    }
    switch (const char next = raw[++i]) {
      case 't': out.push_back('\t'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': case '"': out.push_back(next); break;
      default: out.push_back('\\'); out.push_back(next); break;  // not one of ours: kept
    }
  }
  return out;
}

bool ParseUint32(std::string_view digits, std::uint32_t& value) {
  if (digits.empty()) return false;
  std::uint64_t total = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return false;
    total = total * 10 + static_cast<std::uint64_t>(c - '0');
    if (total > 0xFFFFFFFFull) return false;
  }
  value = static_cast<std::uint32_t>(total);
  return true;
}

}  // namespace nimbard::json_scan
