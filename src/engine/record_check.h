#pragma once
// One record's check: what the provider holds, compared with the pass's
// public address, and an update when they differ.
#include <string>

#include "core/record_config.h"
#include "net/public_ip.h"
#include "net/request_failure.h"

namespace nimbard {

struct RecordOutcome {
  enum class Result {
    LookupFailed,     // the provider could not be asked, or answered no usable value
    UnknownProvider,  // the record names no provider this system knows: nothing was sent
    OtherRecord,      // the Record ID names another record: nothing was changed
    NoPublicAddress,  // the pass has no public address to compare with
    Unchanged,        // the record holds the public address
    Updated,          // it did not, and the provider took the new one
    UpdateFailed,     // it did not, and the update failed
    CheckFailed,      // the check itself stopped on an unexpected error
    Waiting,          // not asked: the provider asked to be left alone for a while
  };
  Result result = Result::CheckFailed;
  std::wstring current;     // what the provider holds; empty when no A record was found
  std::wstring statusLine;  // this record's line of the detail text, "Record: " + its path + ...
  std::wstring summary;     // the one-line summary this record leaves
  RequestFailure cause;     // why a failed request failed

  bool Failed() const { return result != Result::Unchanged && result != Result::Updated; }
};

// Looks the record up, compares it with `address` (the pass's public
// address) as texts and updates the provider when they differ. Writes its
// steps to the log; what it found and did comes back, nothing else is
// touched. `manual` (a forced pass) changes the wording of one log line.
RecordOutcome RecordCheck(const RecordConfig& record, const PublicAddress& address, bool manual);

}  // namespace nimbard
