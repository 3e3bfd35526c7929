#!/bin/bash
# The PC's IPv6 address for the AAAA records, as the product's reader finds
# it under Wine: in a namespace whose v0 holds a global, a unique-local and
# a link-local address the global one is chosen; in one without the global
# address none is. Each run prints the namespace's addresses, the rows the IP
# Helper lists (Wine gives every row the origins DHCP, the state Preferred
# and a lifetime of 60000, so the origin and lifetime rules are the unit
# tables' to show) and the choice.
#
# Needs the Windows build dir's local_ipv6_probe.exe (make win).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tools=$(realpath "${WIN_BUILD:-$root/build/win}")
[ -f "$tools/local_ipv6_probe.exe" ] || { echo "missing $tools/local_ipv6_probe.exe: make win first"; exit 1; }

failures=0
# sandbox option (or none), expected choice
run_case() {
  local output chosen
  output=$("$root/tools/sandbox/run-isolated.sh" --win-build "$tools" --timeout 300 $1 -- bash -c '
    timeout 120 wineboot >/dev/null 2>&1
    echo "-- ip -6 addr"; ip -6 addr
    echo "-- probe"; timeout 60 wine "$0/local_ipv6_probe.exe" 2>/dev/null | tr -d "\r"' "$tools")
  echo "$output"
  chosen=$(sed -n 's/^chosen=//p' <<<"$output")
  if [ "$chosen" = "$2" ]; then echo "ok: chosen=$chosen"; else echo "FAIL: chosen '$chosen', expected '$2'"; failures=$((failures + 1)); fi
}

echo "== v0 holds 2001:db8:5:6::10, fd00:5:6::10 and fe80::5:6:10: the global one is chosen"
run_case "" 2001:db8:5:6::10
echo "== without the global address: none is chosen"
run_case --no-global-ipv6 none

echo "local_ipv6: $failures failure(s)"
[ "$failures" -eq 0 ]
