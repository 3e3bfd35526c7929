// Feeds arbitrary bytes to the configuration reader and the string scanner
// and checks the invariants every result must keep.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/config_store.h"
#include "core/json_scan.h"
#include "core/text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nimbard;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  RecordList list;
  const bool ok = ParseRecordsText(text, list);
  Check(ok == !list.empty());
  for (const RecordConfig& r : list) {
    Check(IsRecordComplete(r));
    Check(r.pollMinutes >= kMinPollMinutes && r.pollMinutes <= kMaxPollMinutes);
    Check(r.ttl >= kMinTtl);
    // What the writer accepts survives a save and a second read unchanged.
    if (FirstUnsavableField(r)) continue;
    RecordList again;
    Check(ParseRecordsText(FormatRecordFile(r), again) && again.size() == 1);
    const RecordConfig& back = again.front();
    Check(back.provider == r.provider && back.apiKey == r.apiKey && back.domain == r.domain &&
          back.record == r.record && back.zoneId == r.zoneId && back.recordId == r.recordId &&
          back.pollMinutes == r.pollMinutes && back.ttl == r.ttl && back.proxied == r.proxied &&
          back.providerLocked);
  }

  for (std::string_view key : {"apiKey", "content", "k"}) {
    const json_scan::Match m = json_scan::StringMember(text, key);
    const std::wstring value = ExtractJsonString(text, key);
    Check(m.found || value.empty());
    if (m.found) {
      Check(m.begin < m.end && m.end <= size);
      Check(value.size() <= m.capture.size());
      // The raw value re-escaped from its decoded form reads back the same.
      Check(ExtractJsonString("{\"k\":\"" + JsonEscape(value) + "\"}", "k") == value);
    }
  }
  for (std::string_view object : json_scan::FlatObjects(text)) {
    Check(object.size() >= 2 && object.front() == '{' && object.back() == '}');
  }
  return 0;
}
