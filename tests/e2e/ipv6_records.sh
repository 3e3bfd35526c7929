#!/bin/bash
# AAAA records from the PC's own IPv6 address, under Wine in the sandbox whose
# v0 holds 2001:db8:5:6::10, fd00:5:6::10 and fe80::5:6:10. One pass of a
# standalone tray over three records: a Cloudflare name that keeps both
# records gets the public IPv4 address in its A record and the global IPv6
# address (not the unique-local or link-local one) in its AAAA record; a
# GoDaddy name that keeps IPv6 alone gets only the AAAA PUT, with the TTL it
# had; a Cloudflare AAAA record that holds the same address in another form
# is left alone. With the global address gone from v0, the next pass leaves
# every AAAA record as it is and says why in the log.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe"
source "$(dirname "$0")/lib/scenario.sh"

app="$SANDBOX_DIR/app"
place_exe "$app"
cat >"$app/nimbard-demo.json" <<'JSON'
{"records": [
  {"provider": "cloudflare", "providerLocked": true, "apiKey": "cf-test-token", "domain": "example.com",
   "record": "home", "zoneId": "z1", "recordId": "r1", "pollMinutes": 60, "ttl": 300, "proxied": false, "ipv6": true},
  {"provider": "godaddy", "providerLocked": true, "apiKey": "gd-test-token", "domain": "example.net",
   "record": "v6", "pollMinutes": 60, "ipv4": false, "ipv6": true},
  {"provider": "cloudflare", "providerLocked": true, "apiKey": "cf-test-token", "domain": "example.com",
   "record": "same", "zoneId": "z1", "pollMinutes": 60, "ipv4": false, "ipv6": true}]}
JSON
ctl scene '{"public_ip": "203.0.113.7",
  "cloudflare": [{"zone_id": "z1", "zone_name": "example.com", "id": "r1", "name": "home.example.com", "content": "198.51.100.4"},
                 {"zone_id": "z1", "id": "r2", "name": "home.example.com", "type": "AAAA", "content": "2001:db8::1"},
                 {"zone_id": "z1", "id": "r3", "name": "same.example.com", "type": "AAAA", "content": "2001:DB8:5:6:0:0:0:10"}],
  "godaddy": {"example.net": [{"type": "A", "name": "v6", "data": "198.51.100.9", "ttl": 3600},
                              {"type": "AAAA", "name": "v6", "data": "2001:db8::2", "ttl": 1200}]}}' >/dev/null
gd_record() {  # type; "data ttl" of example.net's v6 record of that type
  ctl gd example.net | python3 -c 'import json, sys
print(" ".join("%s %s" % (r["data"], r["ttl"]) for r in json.load(sys.stdin) if r["type"] == sys.argv[1] and r["name"] == "v6"))' "$1"
}
log_has() { grep -qF -- "$1" "$app/nimbard.log" 2>/dev/null; }
# One pass of a standalone tray (its first, at once), then its end.
one_pass() {  # the log line that ends the pass
  wine "$app/nimbard.exe" & local tray=$!
  wait_for 60 log_has "$1" || fail "no \"$1\" in the log"
  kill "$tray" 2>/dev/null
  wait "$tray" 2>/dev/null
}

echo "== this namespace's addresses"
ip -6 addr show dev v0 | awk '/inet6/ {print "  " $2}'
echo "== both records of a Cloudflare name, the AAAA alone at GoDaddy, the same address in another form"
one_pass "Current AAAA record example.com/same is"
expect_eq "Cloudflare A record" 203.0.113.7 "$(ctl cf z1 r1 content)"
expect_eq "Cloudflare AAAA record: the global address" 2001:db8:5:6::10 "$(ctl cf z1 r2 content)"
expect_eq "GoDaddy AAAA record, its TTL kept" "2001:db8:5:6::10 1200" "$(gd_record AAAA)"
expect_eq "GoDaddy A record untouched" "198.51.100.9 3600" "$(gd_record A)"
expect_eq "no request for GoDaddy's A record" 0 "$(ctl count host=api.godaddy.com path=/v1/domains/example.net/records/A/v6)"
expect_eq "the other form left as it is" 2001:DB8:5:6:0:0:0:10 "$(ctl cf z1 r3 content)"
expect_eq "no PATCH of it" 0 "$(ctl count host=api.cloudflare.com method=PATCH path=/client/v4/zones/z1/dns_records/r3)"
grep -a "AAAA\|IPv6" "$app/nimbard.log" | sed 's/^/  log: /'
grep -q "^Record: example.com/home = 203.0.113.7 (changed; updated), AAAA = 2001:db8:5:6::10 (changed; updated)" "$app/nimbard.status" &&
  ok "one status line shows both addresses" || fail "status file: $(cat "$app/nimbard.status")"

echo "== no global IPv6 address on this PC"
ip -6 addr del 2001:db8:5:6::10/64 dev v0
ctl clear-log >/dev/null
: >"$app/nimbard.log"
one_pass "No global IPv6 address on this PC; the AAAA record of example.com/same is left as it is."
for r in r2 r3; do expect_eq "Cloudflare AAAA $r untouched" 0 "$(ctl count host=api.cloudflare.com method=PATCH path=/client/v4/zones/z1/dns_records/$r)"; done
expect_eq "GoDaddy AAAA record untouched" "2001:db8:5:6::10 1200" "$(gd_record AAAA)"
expect_eq "no request to GoDaddy at all" 0 "$(ctl count host=api.godaddy.com)"
log_has "No global IPv6 address on this PC; the AAAA record of example.net/v6 is left as it is." &&
  ok "the log says why, naming the record" || fail "no line for example.net/v6: $(cat "$app/nimbard.log")"

finish "ipv6 records"
