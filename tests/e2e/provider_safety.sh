#!/bin/bash
# What the release exe changes at the providers, under Wine against the API
# mocks: a standalone tray's first pass, then its forced passes:
# - a DNS-only Cloudflare record with TTL 120, a comment and tags keeps all of
#   them after an update (only its address is sent), although the
#   configuration holds the dialog's defaults (TTL 3600, proxied);
# - a Record ID that names another A record, or a CNAME, changes nothing;
# - "Cloudflare" (capital C) reaches Cloudflare, "cloudfare" reaches no one;
# - four records in one pass make one echo request;
# - a private echo answer changes nothing; a failing first echo service with
#   a working second one updates the record.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe"
source "$(dirname "$0")/lib/scenario.sh"

app="$SANDBOX_DIR/app"
place_exe "$app"
cat >"$app/nimbard-demo.json" <<'JSON'
{"records": [
  {"provider": "Cloudflare", "apiKey": "cf-test-token", "domain": "example.com", "record": "home",
   "zoneId": "z1", "recordId": "r-home", "pollMinutes": 5, "ttl": 3600, "proxied": true},
  {"provider": "cloudflare", "apiKey": "cf-test-token", "domain": "example.com", "record": "mail",
   "zoneId": "z1", "recordId": "r-www"},
  {"provider": "cloudflare", "apiKey": "cf-test-token", "domain": "example.com", "record": "alias",
   "zoneId": "z1", "recordId": "r-alias"},
  {"provider": "cloudfare", "apiKey": "cf-test-token", "domain": "example.com", "record": "typo"}]}
JSON
ctl scene '{"public_ip": "203.0.113.7", "cloudflare": [
  {"zone_id": "z1", "zone_name": "example.com", "id": "r-home", "name": "home.example.com", "content": "198.51.100.4",
   "ttl": 120, "proxied": false, "comment": "vpn at home", "tags": ["site:home"]},
  {"zone_id": "z1", "id": "r-www", "name": "www.example.com", "content": "198.51.100.9"},
  {"zone_id": "z1", "id": "r-alias", "name": "alias.example.com", "type": "CNAME", "content": "target.example.net"}]}' >/dev/null

records_reported() { grep -c Record: "$app/nimbard.status" 2>/dev/null; }
# One pass of the standalone tray, which writes the status file once per
# record: the first at its start, the others forced ("Force Update").
tray=
pass() {
  rm -f "$app/nimbard.status"
  if [ -z "$tray" ]; then wine "$app/nimbard.exe" & tray=$!; else probe command 32774 >/dev/null; fi
  prints 60 4 records_reported || fail "the pass did not report 4 records"
}
cf() { ctl cf z1 "$1" "$2"; }
logged() { grep -qF -- "$1" "$app/nimbard.log" && ok "log: $1" || fail "log lacks: $1"; }

echo "== one pass over four records"
pass
expect_eq "the record's address" 203.0.113.7 "$(cf r-home content)"
expect_eq "its TTL" 120 "$(cf r-home ttl)"
expect_eq "its proxy status" False "$(cf r-home proxied)"
expect_eq "its comment" "vpn at home" "$(cf r-home comment)"
expect_eq "its tags" '["site:home"]' "$(cf r-home tags)"
expect_eq "the update sent the address alone" '{"content":"203.0.113.7"}' \
  "$(ctl log method=PATCH | python3 -c 'import json,sys; print(json.load(sys.stdin)[0]["body"])')"
expect_eq "another record's id: its name" www.example.com "$(cf r-www name)"
expect_eq "another record's id: its address" 198.51.100.9 "$(cf r-www content)"
expect_eq "a CNAME's id: still a CNAME" CNAME "$(cf r-alias type)"
expect_eq "a CNAME's id: its target" target.example.net "$(cf r-alias content)"
expect_eq "one update in all" "1 0" "$(ctl count method=PATCH) $(ctl count method=PUT)"
expect_eq "one echo request for four records" 1 "$(ctl count host=api.ipify.org)"
expect_eq "three Cloudflare lookups, none for the misspelt provider" 3 "$(ctl count host=api.cloudflare.com method=GET)"
expect_eq "nothing reached GoDaddy" 0 "$(ctl count host=api.godaddy.com)"
logged "Cloudflare record r-www is www.example.com (A), not the A record mail.example.com configured for example.com/mail; nothing was changed. Check the Record ID."
logged "Cloudflare record r-alias is alias.example.com (CNAME), not the A record alias.example.com configured for example.com/alias; nothing was changed. Check the Record ID."
logged 'Record example.com/typo names the provider "cloudfare", which nimbard does not know; nothing was sent. Write "cloudflare" or "godaddy".'
expect_eq "the status lines" "Record: example.com/home = 203.0.113.7 (changed; updated)
Record: example.com/mail check failed: the Record ID names another record
Record: example.com/alias check failed: the Record ID names another record
Record: example.com/typo unknown provider cloudfare" "$(tr -d '\r' <"$app/nimbard.status")"

echo "== the echo services answer private addresses"
ctl clear-log
ctl ip 10.1.2.3 >/dev/null
ctl ip 100.64.0.1 checkip.amazonaws.com >/dev/null
pass
expect_eq "no update" 0 "$(ctl count method=PATCH)"
expect_eq "the record kept its address" 203.0.113.7 "$(cf r-home content)"
expect_eq "both services asked once" 11 "$(ctl count host=api.ipify.org)$(ctl count host=checkip.amazonaws.com)"
logged "Public IP lookup at api.ipify.org returned 10.1.2.3, which is not a public address: a VPN, proxy or sign-in page may be answering."
logged "Public IP lookup at checkip.amazonaws.com returned 100.64.0.1, which is not a public address"
expect_eq "the record's line" "Record: example.com/home current value 203.0.113.7" "$(head -1 "$app/nimbard.status" | tr -d '\r')"

echo "== the first echo service fails, the second answers"
ctl clear-log
ctl ip 203.0.113.7 >/dev/null
ctl ip 203.0.113.9 checkip.amazonaws.com >/dev/null
ctl rule host=api.ipify.org status=503 body=busy >/dev/null
pass
expect_eq "the record follows the second service" 203.0.113.9 "$(cf r-home content)"
logged "Public IP lookup at api.ipify.org failed (HTTP 503). Asking checkip.amazonaws.com."
logged "Public IP from checkip.amazonaws.com: 203.0.113.9."

probe command 105 >/dev/null
wait_for 15 eval '! kill -0 $tray 2>/dev/null'
finish "provider safety"
