// The byte scanners against the regular expressions they stand in for (ECMAScript grammar, as std::regex reads it):
// same matches, same positions, same captures, on many generated texts rich in the bytes that matter.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core/json_scan.h"

namespace nimbard::json_scan {
namespace {

// found, begin, end, capture begin, capture length (all 0 when not found).
using Found = std::array<std::size_t, 5>;
Found FromRegex(const std::string& text, const std::regex& re) {
  std::smatch m;
  if (!std::regex_search(text, m, re)) return {};
  const std::size_t at = m.position(0), group = m.size() > 1 ? m.position(1) : 0;
  return {1, at, at + m.length(0), group, m.size() > 1 ? static_cast<std::size_t>(m.length(1)) : 0};
}
Found FromScanner(const std::string& text, const Match& m, bool hasGroup) {
  if (!m.found) return {};
  return {1, m.begin, m.end, hasGroup ? static_cast<std::size_t>(m.capture.data() - text.data()) : 0, hasGroup ? m.capture.size() : 0};
}
TEST(JsonScanDifferential, WhiteSpaceBytesAndGeneratedTexts) {
  const std::regex space("\\s");
  for (int b = 0; b < 256; ++b) EXPECT_EQ(IsSpaceByte(static_cast<char>(b)), std::regex_match(std::string(1, static_cast<char>(b)), space)) << "byte " << b;
  const std::vector<std::string> keys = {"provider", "pollMinutes", "ttl", "proxied", "providerLocked", "k", "k\\"};
  std::vector<std::array<std::regex, 4>> patterns;  // string, digits, true|false, true
  for (const std::string& k : keys) {
    const std::string head = "\"" + std::regex_replace(k, std::regex("\\\\"), "\\\\") + "\"\\s*:\\s*";  // the key taken literally
    patterns.push_back({std::regex(head + "\"((?:[^\"\\\\]|\\\\[\\s\\S])*)\""), std::regex(head + "([0-9]+)"), std::regex(head + "(true|false)"), std::regex(head + "true")});
  }
  const std::regex object("\\{[^{}]*\\}");
  std::vector<std::string> pieces = {
      "{", "}", "{", "}", "[", "]", "\"", "\"", "\\", "\\", ":", ":", ",", " ", " ", "\t", "\n", "\r", "\v", "\f",
      std::string(1, '\0'), "\xA0", "\x85", "\x80", "\xFF", "\xE9", "a", "t", "0", "5", "9", "-", ".", "true", "false",
      "tru", "\\\"", "\\\\", "\": \"", "\":", "12", "4294967296", "\"k\"", "\"k\":", "\"k\" : \"", "\"ttl\": ",
      "\"proxied\" :", "\"k\\\":\"", "\"k\\\""};
  for (const std::string& k : keys) pieces.push_back("\"" + k + "\"");
  std::mt19937 rng(20260307);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 120);
  int hits[5] = {};
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (int i = 0, n = length(rng); i < n && text.size() < 300; ++i) text += pieces[pick(rng)];
    std::vector<std::pair<std::size_t, std::size_t>> expected, actual;
    for (std::sregex_iterator it(text.begin(), text.end(), object), end; it != end; ++it) expected.emplace_back(it->position(0), it->length(0));
    for (std::string_view o : FlatObjects(text)) actual.emplace_back(o.data() - text.data(), o.size());
    ASSERT_EQ(expected, actual) << ::testing::PrintToString(text);
    hits[0] += !expected.empty();
    const std::size_t k = static_cast<std::size_t>(round) % keys.size();
    const Found found[4] = {FromScanner(text, StringMember(text, keys[k]), true), FromScanner(text, DigitsMember(text, keys[k]), true),
                            FromScanner(text, BoolMember(text, keys[k]), true), FromScanner(text, TrueMember(text, keys[k]), false)};
    for (int p = 0; p < 4; ++p) {
      const Found want = FromRegex(text, patterns[k][p]);
      ASSERT_EQ(want, found[p]) << "pattern " << p << " key " << keys[k] << " in " << ::testing::PrintToString(text);
      hits[p + 1] += static_cast<int>(want[0]);
    }
  }
  for (int h : hits) EXPECT_GT(h, 100);  // the generator exercises every pattern's matching side
}

}  // namespace
}  // namespace nimbard::json_scan
