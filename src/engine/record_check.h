#pragma once
// One record's check: for each record type it keeps (A, AAAA), what the
// provider holds, compared with the pass's address of that type, and an
// update when they differ.
#include <string>

#include "core/record_config.h"
#include "net/local_ipv6.h"
#include "net/public_ip.h"
#include "net/request_failure.h"

namespace nimbard {

struct RecordOutcome {
  enum class Result {
    LookupFailed,     // the provider could not be asked, or answered no usable value
    UnknownProvider,  // the record names no provider this system knows: nothing was sent
    OtherRecord,      // the Record ID names another record: nothing was changed
    NoPublicAddress,  // the pass has no address of the type to compare with: nothing was sent
    Unchanged,        // the record holds the address
    Updated,          // it did not, and the provider took the new one
    UpdateFailed,     // it did not, and the update failed
    CheckFailed,      // the check itself stopped on an unexpected error
    Waiting,          // not asked: the provider asked to be left alone for a while
    NothingKept,      // the record keeps neither type: nothing was sent
  };
  // Of a record keeping both types: the first type's that failed, else
  // Updated when either was updated.
  Result result = Result::CheckFailed;
  std::wstring current;     // what the provider holds (the A record's when it is kept); empty when none was found
  std::wstring statusLine;  // this record's one line of the detail text, "Record: " + its path + ...
  std::wstring summary;     // the one-line summary this record leaves
  RequestFailure cause;     // why a failed request failed

  bool Failed() const { return result != Result::Unchanged && result != Result::Updated; }
};

// The addresses a pass publishes: the public IPv4 address (asked only when
// a record keeps an A record) and the PC's IPv6 address.
struct PassAddresses {
  PublicAddress ipv4;
  LocalIpv6 ipv6;
};

// Looks up each record type the record keeps, compares it with the pass's
// address (IPv4 as texts, IPv6 as addresses) and updates the provider when
// they differ. Writes its steps to the log; what it found and did comes
// back, nothing else is touched. `manual` (a forced pass) changes the
// wording of one log line. An AAAA record is never blanked: without an IPv6
// address it is left as it is.
RecordOutcome RecordCheck(const RecordConfig& record, const PassAddresses& addresses, bool manual);

}  // namespace nimbard
