// The configuration file: reading rules, the written template, the escape round trip, atomic saving and inputs that
// must not hurt the reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_paths.h"
#include "core/config_store.h"
#include "core/text.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using namespace testing;  // NOLINT: ScratchDir, Show

const std::string kDefault = "godaddy|0|key1|example.com|www|||5|3600|1";

// One record object inside a records array, around the given members.
std::string InArray(const std::string& members) { return "{\"records\": [{" + members + "}]}"; }
const std::string kBase = "\"apiKey\": \"key1\", \"domain\": \"example.com\", \"record\": \"www\"";
std::string With(const std::string& extra) { return InArray(kBase + extra); }

TEST(ConfigReader, ReadingRules) {
  // Every complete record, in file order; "" when there is none.
  struct Case { const char* name; std::string text; std::string records; };
  const Case cases[] = {
      {"other key order, extra keys, values trimmed, the first string value", InArray("\"record\":\"www\",\"x\":1,\"y\":\"z\",\"domain\":5,\"domain\":\"example.com \",\"domain\":\"other\",\"apiKey\":\" \tkey1\r\n\""), kDefault},
      {"CR LF line ends", "{\r\n \"records\": [\r\n  {\r\n   \"apiKey\": \"key1\",\r\n   \"domain\": \"example.com\",\r\n   \"record\": \"www\",\r\n   \"ttl\":\r\n120\r\n  }\r\n ]\r\n}\r\n", "godaddy|0|key1|example.com|www|||5|120|1"},
      {"pollMinutes 0 gives 1, ttl 30 gives 60", With(",\"pollMinutes\":0,\"ttl\":30"), "godaddy|0|key1|example.com|www|||1|60|1"},
      {"above pollMinutes' bound; ttl 2^32-1", With(",\"pollMinutes\":35792,\"ttl\":4294967295"), "godaddy|0|key1|example.com|www|||35791|4294967295|1"},
      {"2^32 keeps the defaults", With(",\"pollMinutes\":4294967296,\"ttl\":4294967296"), kDefault},
      {"leading zeros; the digits before a dot; first digit value wins", With(",\"pollMinutes\":000000000000000000012,\"ttl\":\"x\",\"ttl\":90.5,\"ttl\":80"), "godaddy|0|key1|example.com|www|||12|90|1"},
      {"quoted number and booleans", With(",\"pollMinutes\":\"7\",\"proxied\":\"false\",\"providerLocked\":\"true\""), kDefault},
      {"proxied false, providerLocked true", With(",\"proxied\":false,\"providerLocked\" : true"), "godaddy|1|key1|example.com|www|||5|3600|0"},
      {"Cloudflare capitalised is Cloudflare, its IDs optional", InArray("\"provider\":\"Cloudflare\"," + kBase), "Cloudflare|0|key1|example.com|www|||5|3600|1"},
      {"an unknown provider is kept for the pass to report", InArray("\"provider\":\"cloudfare\"," + kBase), "cloudfare|0|key1|example.com|www|||5|3600|1"},
      {"cloudflare, padded", InArray("\"provider\":\" cloudflare\t\",\"zoneId\":\"z1\",\"recordId\":\"r1\"," + kBase), "cloudflare|0|key1|example.com|www|z1|r1|5|3600|1"},
      {"cloudflare without recordId or name", InArray("\"provider\":\"cloudflare\",\"apiKey\":\"k\",\"domain\":\"example.com\",\"zoneId\":\"z1\""), "cloudflare|0|k|example.com||z1||5|3600|1"},
      {"godaddy without a name", InArray("\"apiKey\":\"k\",\"domain\":\"example.com\""), ""},
      {"bytes above ASCII and NUL kept", InArray("\"apiKey\":\"k\xE9\x80\xFF" + std::string(1, '\0') + "z\",\"domain\":\"d\",\"record\":\"r\""), "godaddy|0|k\xE9\x80\xFF" + std::string(1, '\0') + "z|d|r|||5|3600|1"},
      {"empty provider is godaddy", InArray("\"provider\":\"  \"," + kBase), kDefault},
      {"blank apiKey, padded bearer", InArray("\"apiKey\":\"   \",\"bearer\":\"  tok \",\"domain\":\"example.com\",\"record\":\"www\""), "godaddy|0|tok|example.com|www|||5|3600|1"},
      {"Bearer before bearer", InArray("\"bearer\":\"low\",\"Bearer\":\"High\",\"domain\":\"example.com\",\"record\":\"www\""), "godaddy|0|High|example.com|www|||5|3600|1"},
      {"no key at all", InArray("\"domain\":\"example.com\",\"record\":\"www\""), ""},
      {"escapes decoded", InArray("\"apiKey\":\"a\\\"b\\\\c\\td\\ne\\rf\",\"domain\":\"example.com\",\"record\":\"www\""), "godaddy|0|a\"b\\c\td\ne\rf|example.com|www|||5|3600|1"},
      {"three kept in file order", "{\"records\":[{" + kBase + ",\"ttl\":61},{\"x\":1},{" + kBase + ",\"ttl\":62},{" + kBase + ",\"ttl\":63}]}", "godaddy|0|key1|example.com|www|||5|61|1\ngodaddy|0|key1|example.com|www|||5|62|1\ngodaddy|0|key1|example.com|www|||5|63|1"},
      {"a nested object's members and the top level's are not the record's", "{\"pollMinutes\":9,\"records\":[{" + kBase + ",\"extra\":{\"ttl\":70}}]}", "godaddy|0|key1|example.com|www|||5|3600|1"},
      {"AAAA beside A", With(",\"ipv6\":true"), kDefault + "|AAAA"},
      {"AAAA alone", With(",\"ipv4\":false,\"ipv6\":true"), kDefault + "|no A|AAAA"},
      {"neither is still read: the pass reports it", With(",\"ipv4\":false"), kDefault + "|no A"},
      {"other values keep the defaults", With(",\"ipv4\":0,\"ipv6\":\"true\",\"ipv6\":null"), kDefault},
      {"flat file", "{" + kBase + ",\"proxied\":false}", "godaddy|1|key1|example.com|www|||5|3600|0"},
      {"records key without [", "{\"records\": 5, " + kBase + "}", "godaddy|1|key1|example.com|www|||5|3600|1"},
      {"records key without ]: a cut file reads nothing", "{\"records\": [ {" + kBase + "}", ""},
      {"empty", "", ""},
      {"keys compared case-sensitively", InArray("\"APIKEY\":\"k\",\"Domain\":\"example.com\",\"record\":\"www\""), ""},
  };
  for (const Case& c : cases) {
    RecordList list;
    EXPECT_EQ(ParseRecordsText(c.text, list), !c.records.empty()) << c.name;
    std::string shown;
    for (const RecordConfig& r : list) shown += (shown.empty() ? "" : "\n") + Show(r);
    EXPECT_EQ(shown, c.records) << c.name;
  }
}

// Brackets, braces and the records key inside string values: every record object found by the structure, complete
// or not, with its bytes as the file holds them.
TEST(ConfigReader, StructureIgnoresBracketsInValues) {
  const std::string gd = "\"domain\":\"example.com\",\"record\":\"www\"";
  struct Case { const char* name; std::string text; std::string objects; };  // objects: key|record|complete, by ";"
  const Case cases[] = {
      {"] ends no array", "{\"records\":[{\"apiKey\":\"k]\"," + gd + "},{\"apiKey\":\"k2\"," + gd + "}]}", "k]|www|1;k2|www|1"},
      {"} ends no object", "{\"records\":[{\"apiKey\":\"a}b\",\"record\":\"w}\",\"domain\":\"example.com\"},{\"x\":\"}}\"}]}", "a}b|w}|1;||0"},
      {"[ and { open nothing", "{\"records\":[{\"apiKey\":\"[{[\"," + gd + "},{\"apiKey\":\"k3\"," + gd + "}]}", "[{[|www|1;k3|www|1"},
      {"escaped quote before a bracket", "{\"records\":[{\"apiKey\":\"a\\\"]}\"," + gd + "},{" + gd + "}]}", "a\"]}|www|1;|www|0"},
      {"the records key inside a value is no array", "{\"note\":\"\\\"records\\\": [{}]\",\"records\":[{\"apiKey\":\"k\"," + gd + "}]}", "k|www|1"},
      {"values that are no object are no record", "{\"records\":[1,\"{}\",[{\"apiKey\":\"n\"}],{\"apiKey\":\"k\"}]}", "k||0"},
      {"an empty array", "{\"records\":[]}", ""},
      {"UTF-16 with its byte order mark", std::string("\xFF\xFE{\0\"\0r\0", 8), ""},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const StoredRecord& stored : ParseRecordObjects(c.text)) {
      const RecordConfig& r = stored.record;
      shown += (shown.empty() ? "" : ";") + NarrowLow8(r.apiKey + L"|" + r.recordName) + (IsRecordComplete(r) ? "|1" : "|0");
      // The text is the object itself: read again alone, it gives the same record.
      RecordConfig again;
      ParseRecordObject(stored.text, again);
      EXPECT_EQ(Show(again), Show(r)) << c.name;
    }
    EXPECT_EQ(shown, c.objects) << c.name;
  }
}

// Save writes an untouched record's bytes as the file had them (unknown keys, layout, an incomplete record), a
// changed one from the template; a file that reads as nothing is kept as nimbard-demo.json.bak first.
TEST(ConfigFile, UntouchedRecordsKeepTheirBytes) {
  ScratchDir dir("stored");
  const std::string first = "{\"apiKey\": \"k1\", \"domain\": \"a.com\", \"record\": \"x\", \"comment\": \"mine ]\"}";
  const std::string middle = "{\"domain\": \"b.com\",\n      \"record\": \"y\", \"pollMinutes\": 9}";
  dir.Write("nimbard-demo.json", "{\"records\": [" + first + ", " + middle + "], \"other\": 1}");
  RecordFile file = ReadRecordFile();
  ASSERT_EQ(file.state, RecordFile::State::Read);
  ASSERT_EQ(file.records.size(), 2u);
  EXPECT_EQ(file.records[1].text, middle);
  file.records[0].text.clear();  // changed: written from the template
  file.records[0].record.domain = L"c.com";
  ASSERT_TRUE(SaveStoredRecords(file.records));
  const std::string saved = dir.ReadBytes("nimbard-demo.json");
  const std::string alone = FormatRecordFile({file.records[0].record}), tail = "\n  ]\n}\n";
  EXPECT_EQ(saved, alone.substr(0, alone.size() - tail.size()) + ",\n    " + middle + tail);
  RecordList complete;
  EXPECT_TRUE(LoadRecords(complete) && complete.size() == 1 && complete[0].domain == L"c.com");
  // Unreadable files, and no file at all.
  const struct { const char* bytes; RecordFile::State state; } files[] = {
      {"", RecordFile::State::Unreadable}, {"apiKey=k", RecordFile::State::Unreadable}, {"{\"records\":[]}", RecordFile::State::Unreadable}, {nullptr, RecordFile::State::Missing}};
  for (const auto& f : files) {
    dir.Remove("nimbard-demo.json"), dir.Remove("nimbard-demo.json.bak");
    if (f.bytes) dir.Write("nimbard-demo.json", f.bytes);
    EXPECT_EQ(ReadRecordFile().state, f.state) << (f.bytes ? f.bytes : "none");
    EXPECT_TRUE(BackUpConfigFile());
    EXPECT_EQ(dir.ReadBytes("nimbard-demo.json.bak"), f.bytes ? f.bytes : "<missing>");
  }
}

TEST(TextFunctions, TrimEscapeExtractAndEightBits) {
  struct Trim { const wchar_t* in; const wchar_t* out; };
  for (const Trim& t : std::initializer_list<Trim>{{L" \t\r\n", L""}, {L" a b ", L"a b"}, {L"\vx\f", L"\vx\f"}, {L"\x00A0x", L"\x00A0x"}}) {
    EXPECT_EQ(TrimWhitespace(t.in), t.out) << "trim";
  }
  struct Escape { std::wstring in; std::string out; };
  for (const Escape& e : std::initializer_list<Escape>{{L"a\"b\\c", "a\\\"b\\\\c"}, {L"\t\n\r", "\\t\\n\\r"}, {L"\b\f\x01", "\b\f\x01"}, {L"\x0141", "\x41"}, {std::wstring(1, wchar_t(0xFFE9)), "\xE9"}}) {
    EXPECT_EQ(JsonEscape(e.in), e.out) << "escape";
  }
  struct Extract { std::string json; std::wstring out; };
  const Extract extracts[] = {
      {"{\"content\" :\n \"1.2.3.4\"}", L"1.2.3.4"}, {"{\"contents\":\"x\"}", L""}, {"{\"content\":\"a\\\"b\"}", L"a\"b"}, {"{\"content\":\"a\\\\\"}", L"a\\"},
      {"{\"content\":\"a\\u0041\"}", L"a\\u0041"}, {"{\"content\":\"abc", L""}, {"{\"content\":\"abc\\\"}", L""},
  };
  for (const Extract& e : extracts) EXPECT_EQ(ExtractJsonString(e.json, "content"), e.out) << e.json;
  // Bytes and low 8 bits, both ways.
  EXPECT_EQ(NarrowLow8(L"\x00E9"), "\xE9");
  EXPECT_EQ(WidenBytes("A\x7F\x80\xE9"), (std::wstring{L'A', L'\x7F', wchar_t(0xFF80), wchar_t(0xFFE9)}));
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(NarrowLow8(WidenBytes(all)), all);
}

TEST(ConfigWriter, ExactTemplate) {
  // providerLocked is written as true whatever the record holds.
  RecordConfig r{L"cloudflare", false, L"tok\"en", L"example.com", L"www", L"z1", L"r1", 10, 120, false};
  EXPECT_EQ(FormatRecordFile({r}),
            "{\n  \"records\": [\n    {\n      \"provider\": \"cloudflare\",\n      \"providerLocked\": true,\n"
            "      \"apiKey\": \"tok\\\"en\",\n      \"domain\": \"example.com\",\n      \"record\": \"www\",\n"
            "      \"zoneId\": \"z1\",\n      \"recordId\": \"r1\",\n      \"pollMinutes\": 10,\n      \"ttl\": 120,\n"
            "      \"proxied\": false\n    }\n  ]\n}\n");
  r.proxied = true, r.pollMinutes = 0, r.ttl = 4294967295u;
  EXPECT_NE(FormatRecordFile({r}).find("\"pollMinutes\": 0,\n      \"ttl\": 4294967295,\n      \"proxied\": true\n"), std::string::npos);
  // The record kinds appear only away from their defaults, after proxied.
  r.ipv4 = false, r.ipv6 = true;
  EXPECT_NE(FormatRecordFile({r}).find("\"proxied\": true,\n      \"ipv4\": false,\n      \"ipv6\": true\n    }"), std::string::npos);
  RecordList back;
  ASSERT_TRUE(ParseRecordsText(FormatRecordFile({r}), back));
  EXPECT_EQ(Show(back[0]), "cloudflare|1|tok\"en|example.com|www|z1|r1|1|4294967295|1|no A|AAAA");
}

// Beside the executable, after its last separator of either kind (every scratch-directory test: natively a slash,
// under Wine a backslash); in the current directory when the path has none.
TEST(ConfigFile, PathWithoutADirectory) {
  platform::OverrideExecutablePathForTesting(L"nimbard.exe");
  EXPECT_EQ(ConfigFilePath(), L"nimbard-demo.json");
  platform::OverrideExecutablePathForTesting(L"");
}

RecordConfig SampleRecord(const wchar_t* record = L"www") { return {L"godaddy", false, L"key1", L"example.com", record, {}, {}}; }

TEST(ConfigFile, SaveAndLoadRoundTrip) {
  ScratchDir dir("roundtrip");
  std::wstring printable;  // '"' and '\' included; braces are refused
  for (wchar_t c = 0x21; c < 0x7F; ++c) printable += (c == L'{' || c == L'}') ? L"" : std::wstring(1, c);
  const std::wstring inner = L"c\\\"d\\\\";
  RecordConfig r{L"cloudflare", false, printable, L"ex" + inner + L"ample.com", L"caf\x00E9 w", L"z" + printable + L"z", inner + L"x", 35791, 61, false};
  ASSERT_TRUE(SaveRecords({r}));
  const std::string bytes = dir.ReadBytes("nimbard-demo.json");
  EXPECT_NE(bytes.find("\"record\": \"caf\xE9 w\",\n"), std::string::npos);  // one byte, not UTF-8
  RecordConfig loaded;
  ASSERT_TRUE(LoadFirstRecord(loaded));
  EXPECT_EQ(loaded.recordName, (std::wstring{L'c', L'a', L'f', wchar_t(0xFFE9), L' ', L'w'}));
  r.providerLocked = true;
  EXPECT_EQ(Show(loaded), Show(r));
  // A second save of what was loaded writes the same bytes: nothing doubles.
  ASSERT_TRUE(SaveRecords({loaded}));
  EXPECT_EQ(dir.ReadBytes("nimbard-demo.json"), bytes);
  EXPECT_EQ(dir.Listing(), "nimbard-demo.json");
}

TEST(ConfigFile, SeveralRecordsInFileOrder) {
  ScratchDir dir("several");
  const RecordList all{{L"cloudflare", false, L"k1", L"a.com", L"@", L"z1", L"", 7, 120, false}, SampleRecord(L"x"),
                       {L"godaddy", true, L"k3", L"c.com", L"www", {}, {}, 35791, 60, true}};
  const std::string head = "{\n  \"records\": [\n", tail = "\n  ]\n}\n";
  for (std::size_t count = 1; count <= all.size(); ++count) {
    const RecordList list(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
    ASSERT_TRUE(SaveRecords(list));
    // Each record's object as a file of that record alone holds it, joined by ",\n".
    std::string objects, want, got;
    for (const RecordConfig& r : list) {
      const std::string alone = FormatRecordFile({r});
      objects += (objects.empty() ? "" : ",\n") + alone.substr(head.size(), alone.size() - head.size() - tail.size());
      RecordConfig locked = r;
      locked.providerLocked = true;
      want += Show(locked) + "\n";
    }
    EXPECT_EQ(dir.ReadBytes("nimbard-demo.json"), head + objects + tail);
    RecordList loaded;
    ASSERT_TRUE(LoadRecords(loaded));
    for (const RecordConfig& r : loaded) got += Show(r) + "\n";
    EXPECT_EQ(got, want);
  }
  // An unsavable field in any record keeps the whole file as it was.
  RecordList broken = all;
  broken[2].domain = L"c{.com";
  EXPECT_FALSE(SaveRecords(broken));
  RecordList loaded;
  EXPECT_TRUE(LoadRecords(loaded) && loaded.size() == 3 && loaded[2].domain == L"c.com");
}

// A failed load leaves the record alone, a failed save the file (every unusable file also ends a pass: PollPass).
TEST(ConfigFile, FailedLoadsAndSavesChangeNothing) {
  ScratchDir dir("failed");
  const auto loadFails = [] {
    RecordConfig r = SampleRecord(L"untouched");
    return !LoadFirstRecord(r) && Show(r) == Show(SampleRecord(L"untouched"));
  };
  EXPECT_TRUE(loadFails());  // no file
  dir.Write("nimbard-demo.json", "{\"records\":[{\"apiKey\":\"k\"}]}");
  EXPECT_TRUE(loadFails());  // no complete record
  EXPECT_FALSE(SaveRecords({}));
  EXPECT_EQ(dir.ReadBytes("nimbard-demo.json"), "{\"records\":[{\"apiKey\":\"k\"}]}");
  // The configuration path taken by a directory: the directory, its content and no stray temporary file remain.
  dir.Remove("nimbard-demo.json");
  dir.MakeDir("nimbard-demo.json");
  dir.Write("nimbard-demo.json/keep.txt", "kept");
  EXPECT_FALSE(SaveRecords({SampleRecord()}));
  EXPECT_TRUE(dir.Listing() == "nimbard-demo.json" && dir.ReadBytes("nimbard-demo.json/keep.txt") == "kept");
  // The executable's directory is gone.
  platform::OverrideExecutablePathForTesting(dir.File("gone/nimbard.exe"));
  EXPECT_FALSE(SaveRecords({SampleRecord()}));
  EXPECT_EQ(dir.Listing(), "nimbard-demo.json");
}

TEST(ConfigFile, UnsavableCharactersAreRefusedByField) {
  // Judged by the byte written: U+017B becomes "{" and U+0109 a tab; U+FFE9 (byte 0xE9 read from a file), quotes and
  // backslashes are saved.
  const struct { std::wstring RecordConfig::*field; std::wstring value; const wchar_t* label; } cases[] = {
      {&RecordConfig::apiKey, L"k\"e\\y\x00E9\xFFE9 ~\x0080", L""},   {&RecordConfig::provider, L"go{daddy", L"Provider"},
      {&RecordConfig::apiKey, L"key}", L"API key"},                  {&RecordConfig::domain, L"\x017B.example.com", L"Domain"},
      {&RecordConfig::recordName, L"\x0109", L"Record"},
      {&RecordConfig::zoneId, std::wstring(L"z\0z", 3), L"Zone ID"}, {&RecordConfig::recordId, L"r\x001F", L"Record ID"},
      {&RecordConfig::recordId, L"\x007Fr", L"Record ID"},
  };
  ScratchDir dir("unsavable");
  for (const auto& c : cases) {
    RecordConfig r = SampleRecord();
    r.*c.field = c.value;
    const wchar_t* label = FirstUnsavableField(r);
    EXPECT_EQ(std::wstring(label ? label : L""), c.label) << NarrowLow8(c.value);
    dir.Write("nimbard-demo.json", "old");
    EXPECT_EQ(SaveRecords({r}), !label);
    EXPECT_EQ(dir.ReadBytes("nimbard-demo.json") == "old", label != nullptr);
  }
}

TEST(ConfigReader, HostileInputsAreHandled) {
  // Each must be read without a crash and give no record: runs of what each scanner loops over.
  const std::size_t mb = 1 << 20;
  std::string highBytes, repeatedKeys;
  for (std::size_t i = 0; i < mb; ++i) highBytes.push_back(static_cast<char>(0x80 + i % 128));
  while (repeatedKeys.size() < mb) repeatedKeys += "\"apiKey\":\"\\";
  const std::string bad[] = {
      "{\"records\":[{\"apiKey\":\"" + std::string(mb, 'a'), "{\"records\":[{\"apiKey\":\"" + std::string(mb, '\\'),
      "{\"records\":[{\"domain\":\"x\",\"ttl\":" + std::string(mb, '9') + "}]}", "\"records\"[" + std::string(mb, '{'),
      "\"records\"[" + std::string(mb, '}') + "]", highBytes + std::string(mb, '\0') + std::string(mb, '"'), "{\"records\":[" + repeatedKeys,
      std::string(mb, ' ') + "\"apiKey\"" + std::string(mb, ' ') + ":", "\"apiKey\":\"k\",\"domain\":\"d\",\"record\":\"" + std::string(mb, 'a'),
  };
  for (const std::string& text : bad) {
    RecordList list;
    EXPECT_FALSE(ParseRecordsText(text, list)) << text.substr(0, 40);
    EXPECT_TRUE(list.empty());
  }
}

}  // namespace
}  // namespace nimbard
