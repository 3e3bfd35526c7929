#pragma once
// The check the configuration dialog runs before it saves a record: the
// record tried once as a pass would, without changing it.
#include <string>

#include "core/record_config.h"
#include "net/failure_cause.h"

namespace nimbard {

struct SetupCheck {
  bool passed = false;
  Trouble trouble = Trouble::Unknown;  // why it did not pass, when a request failed
  std::wstring explanation;            // what is wrong and what to do, in plain words
  // The Cloudflare IDs the lookup used, found from the names when the record
  // left them empty (the dialog keeps them out of the file).
  std::wstring zoneId, recordId;
  // Passed without proof of the right to change the record, since no write
  // could leave it as it is: why, in plain words. Empty when proved.
  std::wstring onlyRead;
};

// For the A record the public address, then the provider's lookup (with
// the search for Cloudflare IDs left empty); for the AAAA record its lookup
// by name. Each record type the record keeps is checked, and a record found
// is written back as it stands where that changes nothing, which proves
// that the token or key may change it. Blocks for as long as the requests
// take: meant for a thread of its own, where a cancelled token
// (ScopedCancellation) gives it up at once. Writes the requests' lines to
// the log as a pass does.
SetupCheck CheckRecordSetup(const RecordConfig& record);

}  // namespace nimbard
