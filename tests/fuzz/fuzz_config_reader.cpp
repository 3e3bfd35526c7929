// Feeds arbitrary bytes to the configuration reader and checks the invariants every result must keep (the string
// scanner's own agreement with its grammar is the differential test's).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/config_store.h"
#include "core/json_scan.h"

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
    CHECK(ParseRecordsText(FormatRecordFile({r}), again) && again.size() == 1);
    const RecordConfig& back = again.front();
    CHECK(back.provider == r.provider && back.apiKey == r.apiKey && back.domain == r.domain && back.recordName == r.recordName &&
          back.zoneId == r.zoneId && back.recordId == r.recordId && back.pollMinutes == r.pollMinutes && back.ttl == r.ttl &&
          back.proxied == r.proxied && back.ipv4 == r.ipv4 && back.ipv6 == r.ipv6 && back.providerLocked);
  }
  for (std::string_view object : json_scan::FlatObjects(text)) CHECK(object.size() >= 2 && object.front() == '{' && object.back() == '}');
  return 0;
}
