#include "core/json_reader.h"

#include <algorithm>

#include "core/json_scan.h"
#include "core/text.h"

namespace nimbard::json {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

std::size_t SkipSpaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && json_scan::IsSpaceByte(text[pos])) ++pos;
  return pos;
}

// One past the closing quote of the string that opens at `pos`.
std::size_t StringEnd(std::string_view text, std::size_t pos) {
  for (++pos; pos < text.size(); ++pos) {
    if (text[pos] == '"') return pos + 1;
    if (text[pos] == '\\') ++pos;
  }
  return kNone;
}

// One past the value that starts at `pos`: a string, an object or array
// (brackets counted, strings inside skipped whole), or a bare word or number.
std::size_t ValueEnd(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return kNone;
  const char first = text[pos];
  if (first == '"') return StringEnd(text, pos);
  if (first == '{' || first == '[') {
    std::size_t depth = 0;
    for (std::size_t i = pos; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        i = StringEnd(text, i);
        if (i == kNone) return kNone;
        --i;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return i + 1;
      }
    }
    return kNone;
  }
  std::size_t end = pos;
  while (end < text.size() && text[end] != ',' && text[end] != '}' && text[end] != ']' &&
         !json_scan::IsSpaceByte(text[end])) {
    ++end;
  }
  return end == pos ? kNone : end;
}

// Walks the members (with keys) or elements (without) of the container that
// opens at the first non-blank byte of `text`; `visit` returns true to stop.
template <typename Visit>
void Walk(std::string_view text, char open, char close, bool keyed, Visit visit) {
  std::size_t pos = SkipSpaces(text, 0);
  if (pos >= text.size() || text[pos] != open) return;
  pos = SkipSpaces(text, pos + 1);
  if (pos < text.size() && text[pos] == close) return;
  for (;;) {
    std::string_view key;
    if (keyed) {
      if (pos >= text.size() || text[pos] != '"') return;
      const std::size_t keyEnd = StringEnd(text, pos);
      if (keyEnd == kNone) return;
      key = text.substr(pos + 1, keyEnd - pos - 2);
      pos = SkipSpaces(text, keyEnd);
      if (pos >= text.size() || text[pos] != ':') return;
      pos = SkipSpaces(text, pos + 1);
    }
    const std::size_t end = ValueEnd(text, pos);
    if (end == kNone) return;
    if (visit(key, text.substr(pos, end - pos))) return;
    pos = SkipSpaces(text, end);
    if (pos >= text.size() || text[pos] != ',') return;
    pos = SkipSpaces(text, pos + 1);
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string_view Member(std::string_view object, std::string_view key) {
  std::string_view found;
  Walk(object, '{', '}', true, [&](std::string_view name, std::string_view value) {
    if (name != key) return false;
    found = value;
    return true;
  });
  return found;
}

std::vector<std::string_view> Elements(std::string_view array) {
  std::vector<std::string_view> elements;
  Walk(array, '[', ']', false, [&](std::string_view, std::string_view value) {
    elements.push_back(value);
    return false;
  });
  return elements;
}

std::vector<KeyedValue> Members(std::string_view object) {
  std::vector<KeyedValue> members;
  Walk(object, '{', '}', true, [&](std::string_view key, std::string_view value) {
    members.push_back({key, value});
    return false;
  });
  return members;
}

void ForEachElement(std::string_view array, const std::function<bool(std::string_view)>& visit) {
  Walk(array, '[', ']', false, [&](std::string_view, std::string_view value) { return visit(value); });
}

std::optional<std::wstring> AsString(std::string_view value, std::size_t maxUnits) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
  const std::string_view raw = value.substr(1, value.size() - 2);
  std::wstring out;
  out.reserve(std::min(raw.size(), maxUnits));
  for (std::size_t i = 0; i < raw.size() && out.size() < maxUnits; ++i) {
    if (raw[i] != '\\' || i + 1 == raw.size()) {
      out += WidenBytes(raw.substr(i, 1));
      continue;
    }
    const char next = raw[++i];
    switch (next) {
      case 'b': out += L'\b'; break;
      case 'f': out += L'\f'; break;
      case 'n': out += L'\n'; break;
      case 'r': out += L'\r'; break;
      case 't': out += L'\t'; break;
      case 'u': {
        unsigned unit = 0;
        bool hex = i + 4 < raw.size();
        for (std::size_t k = 1; hex && k <= 4; ++k) {
          const int digit = HexDigit(raw[i + k]);
          hex = digit >= 0;
          unit = unit * 16 + static_cast<unsigned>(digit);
        }
        if (!hex) {
          out += L"\\u";
          break;
        }
        out += static_cast<wchar_t>(unit);
        i += 4;
        break;
      }
      default: out += WidenBytes(raw.substr(i, 1)); break;  // \" \\ \/ and anything else: the byte itself
    }
  }
  if (out.size() > maxUnits) out.resize(maxUnits);  // a bad "\u" adds two
  return out;
}

std::optional<std::uint32_t> AsUint32(std::string_view value) {
  std::uint32_t number = 0;
  if (!json_scan::ParseUint32(value, number)) return std::nullopt;
  return number;
}

}  // namespace nimbard::json
