// Feeds arbitrary bytes to the configuration reader and the string scanner and checks the invariants every result
// must keep.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/config_store.h"
#include "core/json_scan.h"
#include "core/text.h"

#define CHECK(condition) ((condition) ? void() : std::abort())

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nimbard;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  RecordList list;
  CHECK(ParseRecordsText(text, list) == !list.empty());
  for (const RecordConfig& r : list) {
    CHECK(IsRecordComplete(r) && r.pollMinutes >= kMinPollMinutes && r.pollMinutes <= kMaxPollMinutes && r.ttl >= kMinTtl);
    // What the writer accepts survives a save and a second read unchanged.
    if (FirstUnsavableField(r)) continue;
    RecordList again;
    CHECK(ParseRecordsText(FormatRecordFile(r), again) && again.size() == 1);
    const RecordConfig& back = again.front();
    CHECK(back.provider == r.provider && back.apiKey == r.apiKey && back.domain == r.domain && back.record == r.record &&
          back.zoneId == r.zoneId && back.recordId == r.recordId && back.pollMinutes == r.pollMinutes && back.ttl == r.ttl &&
          back.proxied == r.proxied && back.providerLocked);
  }
  for (std::string_view key : {"apiKey", "content", "k"}) {
    const json_scan::Match m = json_scan::StringMember(text, key);
    const std::wstring value = ExtractJsonString(text, key);
    CHECK(m.found || value.empty());
    // The decoded value re-escaped reads back the same.
    CHECK(!m.found || (m.begin < m.end && m.end <= size && value.size() <= m.capture.size() &&
                       ExtractJsonString("{\"k\":\"" + JsonEscape(value) + "\"}", "k") == value));
  }
  for (std::string_view object : json_scan::FlatObjects(text)) CHECK(object.size() >= 2 && object.front() == '{' && object.back() == '}');
  return 0;
}
