#pragma once
// Text helpers shared by the configuration store, the providers and the UI.
//
// In memory all text is UTF-16 held in std::wstring (wchar_t is 16 bits on
// Windows, 32 on Linux; only values up to 0xFFFF are ever stored). Files,
// request bodies and responses are 8-bit and converted byte by byte, never
// as UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbard {

// Each byte becomes one UTF-16 unit holding the byte as a signed 8-bit value:
// 0x00-0x7F stay ASCII, 0x80-0xFF become U+FF80-U+FFFF.
std::wstring WidenBytes(std::string_view bytes);

// Each UTF-16 unit becomes one byte: its low 8 bits.
std::string NarrowLow8(std::wstring_view text);

// Removes space, tab, CR and LF (and nothing else) from both ends.
std::wstring TrimWhitespace(std::wstring_view text);

// Makes text fit to stand between double quotes in a JSON text: tab, LF, CR,
// double quote and backslash are escaped; every other unit becomes its low byte.
std::string JsonEscape(std::wstring_view text);

// The string value of the first `"key" : "value"` in json (white space
// allowed around the colon), widened byte by byte; empty when there is none.
// The escapes JsonEscape writes (\\ \" \t \n \r) are decoded; any other
// backslash pair is kept as it stands.
std::wstring ExtractJsonString(std::string_view json, std::string_view key);

// Equal texts when A-Z and a-z count as the same; nothing else is folded.
bool SameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

// The text whole when it has at most maxChars units, else its first
// maxChars - 3 followed by "...": for values from a server shown or kept
// where a huge one must not go.
std::wstring CutText(std::wstring_view text, std::size_t maxChars);

// Unsigned decimal digits, no sign, no leading zeros, no grouping.
std::wstring DecimalText(std::uint32_t value);

// The lines of a text whose lines are separated by CR LF (a lone CR or LF
// does not separate); a text ending in CR LF has a last, empty line.
std::vector<std::wstring_view> SplitLines(std::wstring_view text);

// The text's lines, at most maxLines of them, joined by `separator`, for
// places that cannot show everything (a menu line, a tooltip). Lines are
// left out whole, and a last "(N more)" says how many; a line longer than
// maxLineChars ends in "..." at a character boundary, never between the
// halves of a surrogate pair; cut InMiddle, it keeps its start and its end
// (a record's name and its outcome) around the "...".
enum class LineCut { AtEnd, InMiddle };
std::wstring FitLines(std::wstring_view text, std::size_t maxLines, std::size_t maxLineChars,
                      std::wstring_view separator, LineCut cut = LineCut::AtEnd);

}  // namespace nimbard
