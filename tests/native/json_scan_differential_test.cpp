// The byte scanners against the regular expressions they stand in for
// (ECMAScript grammar, as std::regex reads it): same matches, same positions,
// same captures, on many generated texts rich in the bytes that matter.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core/json_scan.h"

namespace nimbard::json_scan {
namespace {

struct Found {
  bool found = false;
  std::size_t begin = 0, end = 0, captureBegin = 0, captureLength = 0;
  bool operator==(const Found& o) const {
    return found == o.found && (!found || (begin == o.begin && end == o.end &&
                                           captureBegin == o.captureBegin &&
                                           captureLength == o.captureLength));
  }
};

std::string Show(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

Found FromRegex(const std::string& text, const std::regex& re, bool hasGroup) {
  Found f;
  std::smatch m;
  if (!std::regex_search(text, m, re)) return f;
  f.found = true;
  f.begin = static_cast<std::size_t>(m.position(0));
  f.end = f.begin + static_cast<std::size_t>(m.length(0));
  if (hasGroup) {
    f.captureBegin = static_cast<std::size_t>(m.position(1));
    f.captureLength = static_cast<std::size_t>(m.length(1));
  }
  return f;
}

Found FromScanner(const std::string& text, const Match& m, bool hasGroup) {
  Found f;
  if (!m.found) return f;
  f.found = true;
  f.begin = m.begin;
  f.end = m.end;
  if (hasGroup) {
    f.captureBegin = static_cast<std::size_t>(m.capture.data() - text.data());
    f.captureLength = m.capture.size();
  }
  return f;
}

TEST(JsonScanDifferential, WhiteSpaceBytesAreThoseOfRegex) {
  const std::regex space("\\s");
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(IsSpaceByte(static_cast<char>(b)), std::regex_match(one, space)) << "byte " << b;
  }
}

TEST(JsonScanDifferential, GeneratedTexts) {
  const std::vector<std::string> keys = {"provider", "pollMinutes", "ttl", "proxied",
                                         "providerLocked", "k", "k\\"};
  struct KeyPatterns {
    std::regex string, digits, boolean, isTrue;
  };
  std::vector<KeyPatterns> patterns;
  for (const std::string& k : keys) {
    std::string literal;  // the key taken literally, even its backslash
    for (char c : k) {
      if (c == '\\') literal.push_back('\\');
      literal.push_back(c);
    }
    const std::string head = "\"" + literal + "\"\\s*:\\s*";
    patterns.push_back({std::regex(head + "\"((?:[^\"\\\\]|\\\\[\\s\\S])*)\""),
                        std::regex(head + "([0-9]+)"), std::regex(head + "(true|false)"),
                        std::regex(head + "true")});
  }
  const std::regex object("\\{[^{}]*\\}");

  std::vector<std::string> pieces = {
      "{", "}", "{", "}", "[", "]", "\"", "\"", "\\", "\\", ":", ":", ",", " ", " ", "\t", "\n",
      "\r", "\v", "\f", std::string(1, '\0'), "\xA0", "\x85", "\x80", "\xFF", "\xE9", "a", "t",
      "0", "5", "9", "-", ".", "true", "false", "tru", "\\\"", "\\\\", "\": \"", "\":", "12",
      "4294967296", "\"k\"", "\"k\":", "\"provider\"", "\"pollMinutes\"", "\"ttl\"",
      "\"proxied\"", "\"providerLocked\"", "\"k\" : \"", "\"ttl\": ", "\"proxied\" :", "\"k\\\":\"", "\"k\\\""};
  for (const std::string& k : keys) pieces.push_back("\"" + k + "\"");

  std::mt19937 rng(20260307);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 120);

  int hits[5] = {};
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int count = length(rng);
    for (int i = 0; i < count && text.size() < 300; ++i) text += pieces[pick(rng)];

    std::vector<std::pair<std::size_t, std::size_t>> expected, actual;
    for (std::sregex_iterator it(text.begin(), text.end(), object), end; it != end; ++it) {
      expected.emplace_back(static_cast<std::size_t>(it->position(0)),
                            static_cast<std::size_t>(it->length(0)));
    }
    for (std::string_view o : FlatObjects(text)) {
      actual.emplace_back(static_cast<std::size_t>(o.data() - text.data()), o.size());
    }
    ASSERT_EQ(expected, actual) << Show(text);
    hits[0] += expected.empty() ? 0 : 1;

    const std::size_t k = static_cast<std::size_t>(round) % keys.size();
    const std::string& key = keys[k];
    const KeyPatterns& p = patterns[k];
    const Found s = FromRegex(text, p.string, true);
    ASSERT_EQ(s, FromScanner(text, StringMember(text, key), true)) << key << " " << Show(text);
    const Found d = FromRegex(text, p.digits, true);
    ASSERT_EQ(d, FromScanner(text, DigitsMember(text, key), true)) << key << " " << Show(text);
    const Found b = FromRegex(text, p.boolean, true);
    ASSERT_EQ(b, FromScanner(text, BoolMember(text, key), true)) << key << " " << Show(text);
    const Found t = FromRegex(text, p.isTrue, false);
    ASSERT_EQ(t, FromScanner(text, TrueMember(text, key), false)) << key << " " << Show(text);
    hits[1] += s.found;
    hits[2] += d.found;
    hits[3] += b.found;
    hits[4] += t.found;
  }
  // The generator must actually exercise every pattern's matching side.
  for (int h : hits) EXPECT_GT(h, 100);
  std::printf("matches: objects %d, strings %d, digits %d, words %d, true %d\n", hits[0],
              hits[1], hits[2], hits[3], hits[4]);
}

}  // namespace
}  // namespace nimbard::json_scan
