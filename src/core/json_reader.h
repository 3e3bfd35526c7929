#pragma once
// A reader for JSON answers whose shape matters: the members of one object
// and the elements of one array, each at its own level only. Values are
// skipped by a linear walk that counts brackets instead of recursing, so an
// answer nested a million levels deep costs no stack, and a malformed or cut
// answer gives "absent", never a crash.
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbard::json {

// The raw text of the member `key` of the object `object` (a JSON object,
// white space around it allowed); empty when there is none, when `object` is
// not an object, or when it is malformed before that member. Keys are
// compared as written in the text.
std::string_view Member(std::string_view object, std::string_view key);

// The raw texts of the elements of the array `array`, in order; empty when
// `array` is not an array or is malformed.
std::vector<std::string_view> Elements(std::string_view array);

// Calls `visit` with the raw text of each element of `array`, in order,
// until it returns true (stop) or the elements end: what a reader that keeps
// only a few of a server's elements walks, so that a million of them cost
// no memory.
void ForEachElement(std::string_view array, const std::function<bool(std::string_view)>& visit);

struct KeyedValue {
  std::string_view key;    // as written, without its quotes
  std::string_view value;  // the raw text
};

// Every member of the object `object` at its own level, in order (a key
// written twice comes twice); those before a malformed member are kept.
std::vector<KeyedValue> Members(std::string_view object);

// A string value decoded: its escapes undone (\uXXXX becomes that UTF-16
// unit) and its other bytes widened one by one, as every text read from a
// file or an answer is. Decoding stops after `maxUnits` units, so a huge
// value costs only what is kept. Nothing when `value` is not a string.
std::optional<std::wstring> AsString(std::string_view value,
                                     std::size_t maxUnits = std::numeric_limits<std::size_t>::max());

// A number value that is a whole number of 32 bits; nothing otherwise.
std::optional<std::uint32_t> AsUint32(std::string_view value);

}  // namespace nimbard::json
