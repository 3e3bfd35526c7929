#pragma once
// Hand-written scanners for the few JSON shapes the system reads: flat objects
// and "key": value members. They work on raw bytes in one forward pass with
// no recursion, so answers of megabytes, stray bytes 0x80-0xFF, NUL bytes and
// unterminated values cost linear time and never a deep stack.
//
// Each scanner reports the leftmost match as a search would: for a member,
// the first occurrence of "key" (with its quotes) that is followed by white
// space, a colon, white space and a value of the wanted form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbard::json_scan {

// White space between tokens: space, tab, LF, VT, FF, CR. Bytes 0x80-0xFF
// (0xA0 included) are not white space.
bool IsSpaceByte(char c);

struct Match {
  bool found = false;
  std::size_t begin = 0;     // offset of the opening quote of the key
  std::size_t end = 0;       // one past the last byte of the match
  std::string_view capture;  // the value as it stands in the text
};

// Every non-overlapping "{...}" holding no other brace, left to right. An
// object with a brace inside it (nested object, brace in a value) is none.
std::vector<std::string_view> FlatObjects(std::string_view text);

// "key" : "value". The value is a run of bytes other than '"' and '\', or of
// backslash pairs; it must be closed by '"'. The capture is the raw value
// between the quotes (escapes not decoded).
Match StringMember(std::string_view text, std::string_view key);

// "key" : digits. The capture is the whole run of digits.
Match DigitsMember(std::string_view text, std::string_view key);

// "key" : true or "key" : false (only the word itself is looked at, so
// "trueish" still matches "true"). The capture is the word.
Match BoolMember(std::string_view text, std::string_view key);

// "key" : true.
Match TrueMember(std::string_view text, std::string_view key);

// Decodes the escapes JsonEscape writes (\\ \" \t \n \r). Any other backslash
// pair stays as it stands, both bytes.
std::string DecodeEscapes(std::string_view raw);

// Unsigned decimal digits of any length; false when the value exceeds
// 4294967295 (or digits is empty or holds a non-digit).
bool ParseUint32(std::string_view digits, std::uint32_t& value);

}  // namespace nimbard::json_scan
