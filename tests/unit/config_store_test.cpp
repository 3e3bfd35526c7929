// The configuration file: reading rules, the written template, the escape
// round trip, atomic saving and inputs that must not hurt the reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/app_paths.h"
#include "core/config_store.h"
#include "core/text.h"
#include "unit/core_scratch_dir.h"

namespace nimbard {
namespace {

using core_testing::CoreScratchDir;

// The record a table row expects, built from a complete GoDaddy record.
struct Want {
  std::string provider = "godaddy", apiKey = "key1", domain = "example.com", record = "www";
  std::string zoneId, recordId;
  bool locked = false;
  std::uint32_t poll = 5, ttl = 3600;
  bool proxied = true;

  Want& Provider(const char* v) { provider = v; return *this; }
  Want& Key(const char* v) { apiKey = v; return *this; }
  Want& Domain(const char* v) { domain = v; return *this; }
  Want& Ids(const char* zone, const char* rec) { zoneId = zone; recordId = rec; return *this; }
  Want& Locked() { locked = true; return *this; }
  Want& Poll(std::uint32_t v) { poll = v; return *this; }
  Want& Ttl(std::uint32_t v) { ttl = v; return *this; }
  Want& Proxied(bool v) { proxied = v; return *this; }
};

void ExpectRecord(const RecordConfig& r, const Want& w, const std::string& label) {
  EXPECT_EQ(r.provider, WidenBytes(w.provider)) << label;
  EXPECT_EQ(r.providerLocked, w.locked) << label;
  EXPECT_EQ(r.apiKey, WidenBytes(w.apiKey)) << label;
  EXPECT_EQ(r.domain, WidenBytes(w.domain)) << label;
  EXPECT_EQ(r.record, WidenBytes(w.record)) << label;
  EXPECT_EQ(r.zoneId, WidenBytes(w.zoneId)) << label;
  EXPECT_EQ(r.recordId, WidenBytes(w.recordId)) << label;
  EXPECT_EQ(r.pollMinutes, w.poll) << label;
  EXPECT_EQ(r.ttl, w.ttl) << label;
  EXPECT_EQ(r.proxied, w.proxied) << label;
}

// One record object inside a records array, around the given members.
std::string InArray(const std::string& members) {
  return "{\"records\": [{" + members + "}]}";
}
const std::string kBase = "\"apiKey\": \"key1\", \"domain\": \"example.com\", \"record\": \"www\"";
const std::string kCf = "\"provider\": \"cloudflare\", \"zoneId\": \"z1\", \"recordId\": \"r1\", ";

TEST(ConfigReader, ReadingRules) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t count;
    Want first;
  };
  const Case cases[] = {
      {"plain", InArray(kBase), 1, Want()},
      {"other key order, extra keys",
       InArray("\"record\":\"www\",\"x\":1,\"y\":\"z\",\"domain\":\"example.com\",\"apiKey\":\"key1\""), 1,
       Want()},
      {"white space and LF around colons",
       InArray("\"apiKey\"\n\t:\n \"key1\", \"domain\"  :\"example.com\",\"record\":\v\f\"www\""), 1,
       Want()},
      {"CR LF line ends",
       "{\r\n \"records\": [\r\n  {\r\n   \"apiKey\": \"key1\",\r\n   \"domain\": "
       "\"example.com\",\r\n   \"record\": \"www\",\r\n   \"ttl\":\r\n120\r\n  }\r\n ]\r\n}\r\n",
       1, Want().Ttl(120)},
      {"values trimmed", InArray("\"apiKey\":\" \tkey1\r\n\",\"domain\":\"example.com \","
                                 "\"record\":\"www\""), 1, Want()},
      {"pollMinutes 0 gives 1", InArray(kBase + ",\"pollMinutes\":0"), 1, Want().Poll(1)},
      {"pollMinutes quoted", InArray(kBase + ",\"pollMinutes\":\"7\""), 1, Want()},
      {"pollMinutes negative", InArray(kBase + ",\"pollMinutes\":-3"), 1, Want()},
      {"pollMinutes 7.5", InArray(kBase + ",\"pollMinutes\":7.5"), 1, Want().Poll(7)},
      {"pollMinutes at bound", InArray(kBase + ",\"pollMinutes\":35791"), 1, Want().Poll(35791)},
      {"pollMinutes above bound", InArray(kBase + ",\"pollMinutes\":35792"), 1,
       Want().Poll(35791)},
      {"pollMinutes 2^32-1", InArray(kBase + ",\"pollMinutes\":4294967295"), 1,
       Want().Poll(35791)},
      {"pollMinutes 2^32", InArray(kBase + ",\"pollMinutes\":4294967296"), 1, Want()},
      {"pollMinutes 40 digits",
       InArray(kBase + ",\"pollMinutes\":9999999999999999999999999999999999999999"), 1, Want()},
      {"pollMinutes leading zeros", InArray(kBase + ",\"pollMinutes\":000000000000000000012"),
       1, Want().Poll(12)},
      {"ttl 30 gives 60", InArray(kBase + ",\"ttl\":30"), 1, Want().Ttl(60)},
      {"ttl 60", InArray(kBase + ",\"ttl\":60"), 1, Want().Ttl(60)},
      {"ttl 2^32-1", InArray(kBase + ",\"ttl\":4294967295"), 1, Want().Ttl(4294967295u)},
      {"ttl 2^32 keeps default", InArray(kBase + ",\"ttl\":4294967296"), 1, Want()},
      {"first digit value wins", InArray(kBase + ",\"ttl\":\"x\",\"ttl\":90,\"ttl\":80"), 1,
       Want().Ttl(90)},
      {"proxied false", InArray(kBase + ",\"proxied\":false"), 1, Want().Proxied(false)},
      {"proxied quoted false", InArray(kBase + ",\"proxied\":\"false\""), 1, Want()},
      {"proxied upper case", InArray(kBase + ",\"proxied\":FALSE"), 1, Want()},
      {"providerLocked true", InArray(kBase + ",\"providerLocked\" : true"), 1, Want().Locked()},
      {"providerLocked false", InArray(kBase + ",\"providerLocked\":false"), 1, Want()},
      {"providerLocked quoted", InArray(kBase + ",\"providerLocked\":\"true\""), 1, Want()},
      {"Cloudflare capitalised is GoDaddy", InArray("\"provider\":\"Cloudflare\"," + kBase), 1,
       Want().Provider("Cloudflare")},
      {"cloudflare complete", InArray(kCf + kBase), 1,
       Want().Provider("cloudflare").Ids("z1", "r1")},
      {"cloudflare padded provider", InArray("\"provider\":\" cloudflare\t\",\"zoneId\":\"z1\","
                                             "\"recordId\":\"r1\"," + kBase), 1,
       Want().Provider("cloudflare").Ids("z1", "r1")},
      {"cloudflare without recordId",
       InArray("\"provider\":\"cloudflare\",\"zoneId\":\"z1\",\"recordId\":\"\"," + kBase), 0,
       Want()},
      {"empty provider is godaddy", InArray("\"provider\":\"  \"," + kBase), 1, Want()},
      {"blank apiKey, padded bearer",
       InArray("\"apiKey\":\"   \",\"bearer\":\"  tok \",\"domain\":\"example.com\","
               "\"record\":\"www\""), 1, Want().Key("tok")},
      {"Bearer before bearer",
       InArray("\"bearer\":\"low\",\"Bearer\":\"High\",\"domain\":\"example.com\","
               "\"record\":\"www\""), 1, Want().Key("High")},
      {"no key at all", InArray("\"domain\":\"example.com\",\"record\":\"www\""), 0, Want()},
      {"first string value wins",
       InArray("\"domain\":5,\"domain\":\"example.com\",\"domain\":\"other\",\"apiKey\":"
               "\"key1\",\"record\":\"www\""), 1, Want()},
      {"escapes decoded", InArray("\"apiKey\":\"a\\\"b\\\\c\\td\\ne\\rf\","
                                  "\"domain\":\"example.com\",\"record\":\"www\""), 1,
       Want().Key("a\"b\\c\td\ne\rf")},
      {"other escapes kept", InArray("\"apiKey\":\"a\\u00e9\\/b\\x\","
                                     "\"domain\":\"example.com\",\"record\":\"www\""), 1,
       Want().Key("a\\u00e9\\/b\\x")},
      {"value without closing quote",
       InArray("\"domain\":\"example.com\",\"record\":\"www\",\"apiKey\":\"abc"), 0, Want()},
      {"first incomplete, second complete",
       "{\"records\":[{\"apiKey\":\"\",\"domain\":\"a.b\",\"record\":\"x\"},{" + kBase + "}]}",
       1, Want()},
      {"nested object: flat reading, first occurrence in the file",
       "{\"pollMinutes\":9,\"records\":[{" + kBase + ",\"extra\":{\"ttl\":70}}]}", 1,
       Want().Locked().Poll(9).Ttl(70)},
      {"brace inside a value is no record",
       "{\"records\":[{\"apiKey\":\"a}b\",\"domain\":\"example.com\",\"record\":\"www\"}]}", 1,
       Want().Key("a}b").Locked()},
      {"] inside a value ends the array",
       "{\"records\":[{\"apiKey\":\"k]1\",\"domain\":\"example.com\",\"record\":\"www\"}]}", 1,
       Want().Key("k]1").Locked()},
      {"] inside a value, later complete object lost",
       "{\"records\":[{\"apiKey\":\"k]\"},{" + kBase + "}]}", 1, Want().Key("k]").Locked()},
      {"flat file", "{" + kBase + ",\"proxied\":false}", 1, Want().Locked().Proxied(false)},
      {"records key without [", "{\"records\": 5, " + kBase + "}", 1, Want().Locked()},
      {"records key without ]", "{\"records\": [ {" + kBase + "}", 1, Want().Locked()},
      {"[ before the records key", "[{\"x\":1}] \"records\" ", 0, Want()},
      {"empty array, nothing elsewhere", "{\"records\": []}", 0, Want()},
      {"blanks only", " \r\n\t ", 0, Want()},
      {"empty", "", 0, Want()},
      {"keys compared case-sensitively", InArray("\"APIKEY\":\"k\",\"Domain\":\"example.com\","
                                                 "\"record\":\"www\""), 0, Want()},
  };
  for (const Case& c : cases) {
    RecordList list;
    const bool ok = ParseRecordsText(c.text, list);
    EXPECT_EQ(ok, c.count > 0) << c.name;
    ASSERT_EQ(list.size(), c.count) << c.name;
    if (c.count > 0) ExpectRecord(list.front(), c.first, c.name);
  }
}

TEST(ConfigReader, ThreeRecordsKeepFileOrder) {
  RecordList list;
  ASSERT_TRUE(ParseRecordsText("{\"records\":[{" + kBase + ",\"ttl\":61},{\"x\":1},{" + kBase +
                                   ",\"ttl\":62},{" + kBase + ",\"ttl\":63}]}",
                               list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].ttl, 61u);
  EXPECT_EQ(list[1].ttl, 62u);
  EXPECT_EQ(list[2].ttl, 63u);
}

TEST(ConfigReader, ParseRecordObjectKeepsNumbersWhenMissing) {
  // Strings are always assigned (a missing key empties them); numbers and
  // proxied keep whatever the record held.
  RecordConfig r;
  r.pollMinutes = 17;
  r.ttl = 99;
  r.proxied = false;
  r.zoneId = L"old";
  r.providerLocked = true;
  EXPECT_TRUE(ParseRecordObject("{" + kBase + "}", r));
  ExpectRecord(r, Want().Poll(17).Ttl(99).Proxied(false), "kept");
}

TEST(ConfigReader, BytesAboveAsciiAndNul) {
  RecordList list;
  const std::string text = InArray(std::string("\"apiKey\":\"k\xE9\x80\xFF") +
                                   std::string(1, '\0') + "z\"," +
                                   "\"domain\":\"example.com\",\"record\":\"www\"");
  ASSERT_TRUE(ParseRecordsText(text, list));
  const std::wstring expected = {L'k', wchar_t(0xFFE9), wchar_t(0xFF80), wchar_t(0xFFFF),
                                 L'\0', L'z'};
  EXPECT_EQ(list[0].apiKey, expected);
  EXPECT_EQ(JsonEscape(list[0].apiKey), std::string("k\xE9\x80\xFF\0z", 6));
}

TEST(TextFunctions, Tables) {
  struct Trim { const wchar_t* in; const wchar_t* out; };
  for (const Trim& t : std::initializer_list<Trim>{
           {L"", L""}, {L" \t\r\n", L""}, {L" a b ", L"a b"}, {L"\r\nx\t", L"x"},
           {L"\vx\f", L"\vx\f"}, {L"\x00A0x", L"\x00A0x"}, {L"x", L"x"}}) {
    EXPECT_EQ(TrimWhitespace(t.in), t.out) << "trim";
  }

  struct Escape { std::wstring in; std::string out; };
  const Escape escapes[] = {
      {L"plain", "plain"}, {L"a\"b", "a\\\"b"}, {L"a\\b", "a\\\\b"},
      {L"\t\n\r", "\\t\\n\\r"}, {L"\b\f\x01", "\b\f\x01"}, {L"\x00E9", "\xE9"},
      {L"\x0141", "\x41"}, {std::wstring(1, wchar_t(0xFFE9)), "\xE9"}, {L"", ""},
  };
  for (const Escape& e : escapes) EXPECT_EQ(JsonEscape(e.in), e.out) << "escape";

  struct Extract { std::string json, key; std::wstring out; };
  const Extract extracts[] = {
      {"{\"content\":\"198.51.100.4\"}", "content", L"198.51.100.4"},
      {"{\"content\" :\n \"1.2.3.4\"}", "content", L"1.2.3.4"},
      {"{\"content\":1,\"content\":\"x\"}", "content", L"x"},
      {"{\"content\":null}", "content", L""},
      {"{\"contents\":\"x\"}", "content", L""},
      {"{\"content\":\"a\\\"b\"}", "content", L"a\"b"},
      {"{\"content\":\"a\\\\\"}", "content", L"a\\"},
      {"{\"content\":\"a\\u0041\"}", "content", L"a\\u0041"},
      {"{\"content\":\"abc", "content", L""},
      {"{\"content\":\"abc\\\"}", "content", L""},
      {"{\"content\":\"\"}", "content", L""},
      {"", "content", L""},
  };
  for (const Extract& e : extracts) EXPECT_EQ(ExtractJsonString(e.json, e.key), e.out) << e.json;

  struct Decimal { std::uint32_t in; const wchar_t* out; };
  for (const Decimal& d : std::initializer_list<Decimal>{
           {0, L"0"}, {7, L"7"}, {10, L"10"}, {3600, L"3600"}, {4294967295u, L"4294967295"}}) {
    EXPECT_EQ(DecimalText(d.in), d.out);
  }

  struct FullName { const wchar_t* record; const wchar_t* domain; const wchar_t* out; };
  for (const FullName& f : std::initializer_list<FullName>{
           {L"a", L"b.c", L"a.b.c"}, {L"@", L"b.c", L"b.c"}, {L"", L"b.c", L"b.c"},
           {L"a.b.c", L"b.c", L"a.b.c"}, {L"x.y", L"b.c", L"x.y"}, {L"@@", L"b.c", L"@@.b.c"}}) {
    RecordConfig r;
    r.record = f.record;
    r.domain = f.domain;
    EXPECT_EQ(RecordFullName(r), f.out) << "full name";
  }
}

TEST(TextFunctions, EightBitConversionBothWays) {
  EXPECT_EQ(NarrowLow8(L"\x00E9"), "\xE9");
  EXPECT_EQ(WidenBytes("\xE9"), std::wstring(1, wchar_t(0xFFE9)));
  EXPECT_EQ(NarrowLow8(WidenBytes("\xE9")), "\xE9");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(NarrowLow8(WidenBytes(all)), all);
  EXPECT_EQ(WidenBytes("A\x7F\x80"), (std::wstring{L'A', L'\x7F', wchar_t(0xFF80)}));
}

TEST(ConfigWriter, ExactTemplate) {
  RecordConfig r;
  r.provider = L"cloudflare";
  r.providerLocked = false;  // written as true whatever it holds
  r.apiKey = L"tok\"en";
  r.domain = L"example.com";
  r.record = L"www";
  r.zoneId = L"z1";
  r.recordId = L"r1";
  r.pollMinutes = 10;
  r.ttl = 120;
  r.proxied = false;
  EXPECT_EQ(FormatRecordFile(r),
            "{\n"
            "  \"records\": [\n"
            "    {\n"
            "      \"provider\": \"cloudflare\",\n"
            "      \"providerLocked\": true,\n"
            "      \"apiKey\": \"tok\\\"en\",\n"
            "      \"domain\": \"example.com\",\n"
            "      \"record\": \"www\",\n"
            "      \"zoneId\": \"z1\",\n"
            "      \"recordId\": \"r1\",\n"
            "      \"pollMinutes\": 10,\n"
            "      \"ttl\": 120,\n"
            "      \"proxied\": false\n"
            "    }\n"
            "  ]\n"
            "}\n");
  r.proxied = true;
  r.pollMinutes = 0;
  r.ttl = 4294967295u;
  const std::string text = FormatRecordFile(RecordConfig(r));
  EXPECT_NE(text.find("\"pollMinutes\": 0,\n      \"ttl\": 4294967295,\n      \"proxied\": true\n"),
            std::string::npos);
}

TEST(ConfigFile, PathsBesideTheExecutable) {
  struct Case { const wchar_t* exe; const wchar_t* config; const wchar_t* log; };
  const Case cases[] = {
      {L"C:\\Tools\\nimbard.exe", L"C:\\Tools\\nimbard-demo.json", L"C:\\Tools\\nimbard.log"},
      {L"/opt/x/nimbard", L"/opt/x/nimbard-demo.json", L"/opt/x/nimbard.log"},
      {L"C:\\a/b\\c.exe", L"C:\\a/b\\nimbard-demo.json", L"C:\\a/b\\nimbard.log"},
      {L"nimbard.exe", L"nimbard-demo.json", L"nimbard.log"},
  };
  for (const Case& c : cases) {
    platform::OverrideExecutablePathForTesting(c.exe);
    EXPECT_EQ(ConfigFilePath(), c.config);
    EXPECT_EQ(LogFilePath(), c.log);
  }
  platform::OverrideExecutablePathForTesting(L"C:\\Tools\\x.exe");
  EXPECT_EQ(StatusFilePath(), L"C:\\Tools\\nimbard.status");
  platform::OverrideExecutablePathForTesting(L"");
}

RecordConfig SampleRecord() {
  RecordConfig r;
  r.apiKey = L"key1";
  r.domain = L"example.com";
  r.record = L"www";
  return r;
}

TEST(ConfigFile, SaveAndLoadRoundTrip) {
  CoreScratchDir dir("roundtrip");
  std::wstring printable;
  for (wchar_t c = 0x21; c < 0x7F; ++c) printable.push_back(c);  // '"' and '\' included
  const std::wstring inner = L"a\tb\r\nc\\\"d\\\\";
  RecordConfig r = SampleRecord();
  r.provider = L"cloudflare";
  r.apiKey = printable;
  r.domain = L"ex" + inner + L"ample.com";
  r.record = L"w w";
  r.zoneId = L"z" + printable + L"z";
  r.recordId = inner + L"x";
  r.pollMinutes = 35791;
  r.ttl = 61;
  r.proxied = false;
  ASSERT_TRUE(SaveRecords({r}));
  RecordConfig loaded;
  ASSERT_TRUE(LoadFirstRecord(loaded));
  r.providerLocked = true;
  EXPECT_EQ(loaded.provider, r.provider);
  EXPECT_TRUE(loaded.providerLocked);
  EXPECT_EQ(loaded.apiKey, r.apiKey);
  EXPECT_EQ(loaded.domain, r.domain);
  EXPECT_EQ(loaded.record, r.record);
  EXPECT_EQ(loaded.zoneId, r.zoneId);
  EXPECT_EQ(loaded.recordId, r.recordId);
  EXPECT_EQ(loaded.pollMinutes, r.pollMinutes);
  EXPECT_EQ(loaded.ttl, r.ttl);
  EXPECT_EQ(loaded.proxied, r.proxied);
  // A second save of what was loaded writes the same bytes: nothing doubles.
  const std::string first = dir.Read("nimbard-demo.json");
  ASSERT_TRUE(SaveRecords({loaded}));
  EXPECT_EQ(dir.Read("nimbard-demo.json"), first);
  EXPECT_EQ(dir.Listing(), "nimbard-demo.json");
}

TEST(ConfigFile, EightBitCharactersSurviveSaveAndLoad) {
  CoreScratchDir dir("eightbit");
  RecordConfig r = SampleRecord();
  r.record = L"caf\x00E9";
  ASSERT_TRUE(SaveRecords({r}));
  const std::string bytes = dir.Read("nimbard-demo.json");
  EXPECT_NE(bytes.find("\"record\": \"caf\xE9\",\n"), std::string::npos);
  RecordList list;
  ASSERT_TRUE(LoadRecords(list));
  EXPECT_EQ(list[0].record, (std::wstring{L'c', L'a', L'f', wchar_t(0xFFE9)}));
  ASSERT_TRUE(SaveRecords(list));
  EXPECT_EQ(dir.Read("nimbard-demo.json"), bytes);
}

TEST(ConfigFile, OnlyTheFirstRecordIsWritten) {
  CoreScratchDir dir("three");
  RecordConfig a = SampleRecord(), b = SampleRecord(), c = SampleRecord();
  a.record = L"first";
  b.record = L"second";
  c.record = L"third";
  ASSERT_TRUE(SaveRecords({a, b, c}));
  const std::string bytes = dir.Read("nimbard-demo.json");
  a.providerLocked = true;
  EXPECT_EQ(bytes, FormatRecordFile(a));
  EXPECT_EQ(bytes.substr(bytes.size() - 12), "    }\n  ]\n}\n");
  EXPECT_EQ(bytes.find("second"), std::string::npos);
}

TEST(ConfigFile, LoadFailuresLeaveTheRecordAlone) {
  CoreScratchDir dir("loadfail");
  const std::string files[] = {"<missing>", "", "   \n", "{\"records\":[]}",
                               "{\"records\":[{\"apiKey\":\"k\"}]}"};
  for (const std::string& content : files) {
    std::error_code ec;
    std::filesystem::remove(dir.dir() / "nimbard-demo.json", ec);
    if (content != "<missing>") dir.Write("nimbard-demo.json", content);
    RecordConfig r;
    r.apiKey = L"untouched";
    r.ttl = 77;
    EXPECT_FALSE(LoadFirstRecord(r)) << content;
    EXPECT_EQ(r.apiKey, L"untouched");
    EXPECT_EQ(r.ttl, 77u);
    RecordList list;
    EXPECT_FALSE(LoadRecords(list)) << content;
    EXPECT_TRUE(list.empty());
  }
}

TEST(ConfigFile, FailedSavesKeepWhatWasThere) {
  {
    CoreScratchDir dir("emptylist");
    EXPECT_FALSE(SaveRecords({}));
    EXPECT_EQ(dir.Listing(), "");
    dir.Write("nimbard-demo.json", "old content");
    EXPECT_FALSE(SaveRecords({}));
    EXPECT_EQ(dir.Read("nimbard-demo.json"), "old content");
  }
  {
    // The configuration path is taken by a directory: the save fails and
    // the directory, its content and no stray temporary file remain.
    CoreScratchDir dir("isdir");
    std::filesystem::create_directories(dir.dir() / "nimbard-demo.json");
    platform::AppendFileBytes(dir.Path("nimbard-demo.json/keep.txt"), "kept");
    EXPECT_FALSE(SaveRecords({SampleRecord()}));
    EXPECT_EQ(dir.Listing(), "nimbard-demo.json");
    EXPECT_EQ(dir.Read("nimbard-demo.json/keep.txt"), "kept");
  }
  {
    CoreScratchDir dir("missingdir");
    platform::OverrideExecutablePathForTesting((dir.dir() / "gone" / "nimbard.exe").wstring());
    EXPECT_FALSE(SaveRecords({SampleRecord()}));
    EXPECT_EQ(dir.Listing(), "");
  }
}

TEST(ConfigReader, HostileInputsAreHandled) {
  // Each must be read without a crash, in linear time, and give no record.
  const std::string mb(1 << 20, 'a');
  std::string highBytes;
  for (std::size_t i = 0; i < (1u << 20); ++i) highBytes.push_back(static_cast<char>(0x80 + i % 128));
  std::string repeatedKeys, repeatedObjects, opens, closes, nuls(1 << 20, '\0');
  while (repeatedKeys.size() < (1u << 20)) repeatedKeys += "\"apiKey\":\"\\";
  while (repeatedObjects.size() < (1u << 20)) repeatedObjects += "{\"apiKey\":\"k\",\"ttl\":";
  opens.assign(1 << 20, '{');
  closes.assign(1 << 20, '}');
  const std::string bad[] = {
      "{\"records\":[{\"apiKey\":\"" + mb,
      "{\"records\":[{\"apiKey\":\"" + std::string(1 << 20, '\\'),
      "{\"records\":[{\"domain\":\"x\",\"ttl\":" + std::string(1 << 20, '9') + "}]}",
      "\"records\"[" + opens,
      "\"records\"[" + closes + "]",
      highBytes,
      nuls,
      "{\"records\":[" + repeatedKeys,
      "{\"records\":[" + repeatedObjects + "]}",
      std::string(1 << 20, '"'),
      std::string(1 << 20, ' ') + "\"apiKey\"" + std::string(1 << 20, ' ') + ":",
      "\"apiKey\":\"k\",\"domain\":\"d\",\"record\":\"" + mb,
  };
  for (const std::string& text : bad) {
    RecordList list;
    EXPECT_FALSE(ParseRecordsText(text, list)) << text.substr(0, 40);
    EXPECT_TRUE(list.empty());
  }
}

TEST(ConfigFile, FiveMegabyteFileIsRead) {
  CoreScratchDir dir("big");
  std::string text = "{\"records\": [";
  while (text.size() < 5u * 1024 * 1024) {
    text += "{\"apiKey\":\"\",\"domain\":\"d\xE9.example\",\"record\":\"r\",\"pad\":\"";
    text += std::string(200, 'x') + "\"},\n";
  }
  text += "{" + kBase + "}]}";
  dir.Write("nimbard-demo.json", text);
  RecordList list;
  ASSERT_TRUE(LoadRecords(list));
  ASSERT_EQ(list.size(), 1u);
  ExpectRecord(list[0], Want(), "big file");
}

}  // namespace
}  // namespace nimbard
