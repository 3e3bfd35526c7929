#pragma once
// One guarded sweep over every configured record.
#include <atomic>
#include <vector>

#include "core/stop_request.h"
#include "engine/record_check.h"
#include "net/public_ip.h"

namespace nimbard {

// True exactly while a pass is at work in this process.
extern std::atomic<bool> PassRunning;

struct PassOutcome {
  bool ran = false;                  // false: another pass was at work, or a stop held; nothing was done
  bool configurationLoaded = false;  // false: the configuration file held no usable record
  bool stopped = false;              // a stop ended it before every record was checked
  PublicAddress address;             // what the echo services said, once for the whole pass
  bool ipv4Skipped = false;          // no record kept an A record: the echo services were not asked
  std::vector<RecordOutcome> records;  // in file order, as far as the pass got

  bool AnyRecordFailed() const;
};

// Reads the configuration, asks for the public IPv4 address once (when a
// record keeps an A record) and the PC's IPv6 address once (when one keeps
// an AAAA record), checks every
// record in file order, and publishes the records' lines (joined by CR LF)
// and the last record's summary after each record, so that readers of the
// status texts and file see whole lines only. A pass that finds another
// running returns at once without a trace, and so does one started while a
// stop is requested. A stop during the pass ends it after the record in hand
// (whose exchanges fail at once), with the lines checked so far.
PassOutcome PollPass(bool manual);

}  // namespace nimbard
