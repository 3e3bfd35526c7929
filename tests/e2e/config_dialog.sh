#!/bin/bash
# The configuration dialog's check on Save, with the release exe's
# "--configure" under Wine and Xvfb against the API mocks:
# - a Cloudflare record with empty Zone ID and Record ID: Save tries it,
#   finds both IDs from the names and keeps them out of the file; the check
#   writes the record back with its own content and nothing else (one PATCH,
#   the record unchanged). The record is then made again at the mock
#   under a new id: the tray's first pass finds and updates it; with the old
#   IDs typed into the file, the pass updates it too and logs one line that
#   the IDs in the file are out of date;
# - a GoDaddy name with one A record (TTL 1200): the check puts back exactly
#   that record, and the zone is as it was;
# - three records, the middle one without its key: Save writes all three
#   back, each object byte for byte as the file had it;
# - a UTF-16 file: a box names it when the dialog opens, and Save keeps it as
#   nimbard-demo.json.bak;
# - a token Cloudflare refuses (9109 on the zone search): the "Check failed"
#   box says the token may not look zones up; "Back" returns to the dialog
#   and writes nothing, "Save anyway" writes;
# - a token that may read but not change the record (the write back refused,
#   403 with code 10000): the box speaks of the permission, the log names the
#   refusal, the record stays as it was;
# - a check made slow by the mock (every Cloudflare answer 30 s late):
#   Cancel closes the dialog within a second and writes nothing.
# Prints the time from Save to the dialog's end when the check passes.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe"
source "$(dirname "$0")/lib/scenario.sh"

app="$SANDBOX_DIR/app"
place_exe "$app"
config="$app/nimbard-demo.json"
ctl scene '{"public_ip": "203.0.113.7", "cloudflare": [{"zone_id": "z1", "zone_name": "example.com",
  "id": "r1", "name": "home.example.com", "content": "198.51.100.4"}]}' >/dev/null
title="nimbard Configuration"
# The provider list, the token, the domain and the record of a new record;
# the ID boxes stay empty.
new_record() { echo 1004#1 "1000=$1" 1001=example.com 1002=home; }
configure() { timeout 120 wine "$app/nimbard.exe" --configure & configure=$!; }
exits_with() {  # description, code
  wait_for 15 eval '! kill -0 $configure 2>/dev/null'
  wait "$configure"
  expect_eq "$1" "$2" $?
}

echo "== empty IDs: found on Save and kept out of the file"
configure
saved=$(probe dialog "$title" 30 $(new_record cf-test-token) '!1' gone=30)
exits_with "Save ends --configure with 1" 1
took=$(field gone_ms <<<"$saved")
echo "[ measure ] Save to the dialog's end, the check against the mock included: ${took:-?} ms"
grep -q '"zoneId": ""' "$config" && grep -q '"recordId": ""' "$config" && ok "the IDs found stayed out of the file" ||
  fail "configuration: $(cat "$config" 2>/dev/null)"
expect_eq "one zone search" 1 "$(ctl count 'path_prefix=/client/v4/zones?name=')"
expect_eq "one record search" 1 "$(ctl count query='type=A&name=home.example.com')"
expect_eq "no PUT" 0 "$(ctl count method=PUT)"
expect_eq "one write back, with the record's own content" '{"content":"198.51.100.4"}' \
  "$(ctl log method=PATCH path=/client/v4/zones/z1/dns_records/r1 | python3 -c 'import json,sys; print(*(e["body"] for e in json.load(sys.stdin)))')"
expect_eq "the record is as it was" 198.51.100.4 "$(ctl cf z1 r1 content)"

# The record deleted and made again in the dashboard: a new id.
remade() {
  ctl reset >/dev/null
  ctl scene '{"public_ip": "203.0.113.7", "cloudflare": [{"zone_id": "z1", "zone_name": "example.com",
    "id": "r2", "name": "home.example.com", "content": "198.51.100.4"}]}' >/dev/null
}
# The tray's first pass, until the record holds the address; then Exit.
tray_pass() {
  rm -f "$app/nimbard.log"
  timeout 120 wine "$app/nimbard.exe" & local tray=$!
  wait_for 60 eval '[ "$(ctl cf z1 r2 content)" = 203.0.113.7 ]' && ok "$1: the pass updated the new record" ||
    fail "$1: the record holds $(ctl cf z1 r2 content); log: $(cat "$app/nimbard.log" 2>/dev/null); box: $(probe msgbox "nimbard Demo" 1)"
  probe command 105 >/dev/null
  wait_for 20 eval '! kill -0 $tray 2>/dev/null' || kill "$tray" 2>/dev/null
  wait "$tray" 2>/dev/null
}
stale_line="The Record ID r1 in the configuration file for example.com/home is out of date (Cloudflare answered 404); the A record home.example.com is now zone z1, record r2, and nimbard updates that one."
echo "== the record made again under a new id: no IDs in the file"
remade
tray_pass "no IDs"
expect_eq "no out-of-date line" 0 "$(grep -c 'is out of date' "$app/nimbard.log")"
echo "== the record made again under a new id: the old IDs typed into the file"
remade
sed -i 's/"zoneId": ""/"zoneId": "z1"/; s/"recordId": ""/"recordId": "r1"/' "$config"
tray_pass "old IDs"
expect_eq "one out-of-date line, with the ID found" 1 "$(grep -cF "$stale_line" "$app/nimbard.log")"
ctl reset >/dev/null
rm -f "$config" "$app/nimbard.log" "$app/nimbard.status"
ctl scene '{"public_ip": "203.0.113.7", "cloudflare": [{"zone_id": "z1", "zone_name": "example.com",
  "id": "r1", "name": "home.example.com", "content": "198.51.100.4"}]}' >/dev/null

echo "== GoDaddy's one record of the name: put back exactly as it was"
ctl scene '{"godaddy": {"example.com": [{"type": "A", "name": "home", "data": "198.51.100.4", "ttl": 1200},
  {"type": "MX", "name": "@", "data": "mail.example.com", "ttl": 3600, "priority": 10}]}}' >/dev/null
# The records in any order: GoDaddy keeps no order of its own.
zone() { ctl gd example.com | python3 -c 'import json,sys; print(sorted(json.dumps(r, sort_keys=True) for r in json.load(sys.stdin)))'; }
zone_before=$(zone)
configure
probe dialog "$title" 30 1004#0 1000=gd-test-token 1001=example.com 1002=home '!1' gone=30 >/dev/null
exits_with "Save ends --configure with 1" 1
expect_eq "one PUT, of the record found with its TTL" '/v1/domains/example.com/records/A/home [{"data":"198.51.100.4","ttl":1200}]' \
  "$(ctl log method=PUT | python3 -c 'import json,sys; print(*(e["path"] + " " + e["body"] for e in json.load(sys.stdin)))')"
expect_eq "the zone is as it was" "$zone_before" "$(zone)"
rm -f "$config"
ctl clear-log >/dev/null

echo "== three records, the middle one without its key: Save writes all three back"
cat >"$config" <<'JSON'
{"records": [
    {"provider": "godaddy", "apiKey": "gd-test-token", "domain": "a.example", "record": "x", "pollMinutes": 5},
    {"provider": "cloudflare", "domain": "example.com", "record": "home", "pollMinutes": 9, "note": "new token [soon]"},
    {"provider": "godaddy", "apiKey": "gd-test-token", "domain": "c.example", "record": "z", "ttl": 600}
]}
JSON
before=$(cp "$config" "$SANDBOX_DIR/three.json"; echo "$SANDBOX_DIR/three.json")
configure
listed=$(probe dialog "$title" 30 '!1' gone=30)
grep -q '^control=1007:godaddy: a.example/x$' <<<"$listed" && ok "the dialog opened on the first record" ||
  fail "the selector: $(grep '^control=1007:' <<<"$listed")"
exits_with "Save ends --configure with 1" 1
python3 - "$before" "$config" <<'PY' && ok "all three objects are in the file as they were" || fail "configuration: $(cat "$config")"
import json, sys
old = open(sys.argv[1]).read().splitlines()[1:4]
new = open(sys.argv[2]).read()
objects = [line.strip().rstrip(",") for line in old]
sys.exit(not (all(o in new for o in objects) and len(json.loads(new)["records"]) == 3))
PY
expect_eq "nothing was checked" 0 "$(ctl count host=api.godaddy.com)"
rm -f "$config"

echo "== a UTF-16 file: the box, then the .bak after Save"
printf '\xff\xfe{\x00"\x00r\x00"\x00}\x00' >"$config"
configure
box=$(probe msgbox "Configuration file not read" 30 | field text)
grep -qF "saved as Unicode (UTF-16)" <<<"$box" && grep -qF "nimbard-demo.json.bak" <<<"$box" && ok "the box names the file" ||
  fail "the box: ${box:-none}"
# The box gone first: a Save pressed under it would wait for it.
wait_for 10 eval '! probe msgbox "Configuration file not read" 0 >/dev/null'
saved=$(probe dialog "$title" 30 $(new_record cf-test-token) '!1' gone=30)
grep -q '^gone_ms=' <<<"$saved" || fail "the dialog stayed after Save: $(grep -v '^control=' <<<"$saved")"
exits_with "Save ends --configure with 1" 1
cmp -s "$config.bak" <(printf '\xff\xfe{\x00"\x00r\x00"\x00}\x00') && ok "the old file is kept as nimbard-demo.json.bak" ||
  fail "the .bak: $(xxd "$config.bak" 2>/dev/null | head -2)"
grep -q '"apiKey": "cf-test-token"' "$config" && ok "Save wrote the new record" || fail "configuration: $(cat "$config" 2>/dev/null)"
rm -f "$config" "$config.bak"

echo "== a refused token: Back writes nothing, Save anyway writes"
configure
probe dialog "$title" 30 $(new_record wrong-token) '!1' >/dev/null
box=$(probe dialog "Check failed" 30 @2 | grep -c 'This Cloudflare token may not look zones up')
expect_eq "the box says what the token lacks" 1 "$box"
probe dialog "$title" 10 >/dev/null && kill -0 "$configure" 2>/dev/null && ok "Back returns to the dialog" ||
  fail "no dialog after Back"
[ -e "$config" ] && fail "Back wrote the file" || ok "Back wrote nothing"
probe dialog "$title" 10 '!1' >/dev/null
probe dialog "Check failed" 30 @100 >/dev/null || fail "no box at the second Save"
exits_with "Save anyway ends --configure with 1" 1
grep -q '"apiKey": "wrong-token"' "$config" && ok "Save anyway wrote the record" || fail "configuration: $(cat "$config" 2>/dev/null)"
rm -f "$config"

echo "== a token that may only read: the write back refused"
ctl rule host=api.cloudflare.com method=PATCH status=403 \
  body='{"success":false,"errors":[{"code":10000,"message":"Authentication error"}],"messages":[],"result":null}' >/dev/null
rm -f "$app/nimbard.log"
configure
probe dialog "$title" 30 $(new_record cf-test-token) '!1' >/dev/null
box=$(probe dialog "Check failed" 30 @2 | grep -c 'This Cloudflare token may not change the DNS records of this domain. Give it the permission Zone, DNS, Edit for this zone.')
expect_eq "the box speaks of the permission" 1 "$box"
probe dialog "$title" 10 '!2' >/dev/null
exits_with "Back, then Cancel ends --configure with 0" 0
[ -e "$config" ] && fail "Back wrote the file" || ok "Back wrote nothing"
expect_eq "the log names the refusal" 1 \
  "$(grep -c 'Cloudflare refused to take the A record home.example.com back unchanged (HTTP 403).' "$app/nimbard.log")"
expect_eq "the record is as it was" 198.51.100.4 "$(ctl cf z1 r1 content)"
ctl clear-rules >/dev/null

echo "== Cancel during a slow check"
ctl rule host=api.cloudflare.com delay=30 >/dev/null
searches=$(ctl count host=api.cloudflare.com)
configure
probe dialog "$title" 30 $(new_record cf-test-token) '!1' >/dev/null
wait_for 30 eval '[ "$(ctl count host=api.cloudflare.com)" -gt "$searches" ]' || fail "the check's request never arrived"
cancelled=$(probe dialog "$title" 5 '!2' gone=5)
grep -qx 'control=1014:Checking the record with Cloudflare...' <<<"$cancelled" && ok "the dialog says what it checks" ||
  fail "the check's line: $(grep '^control=1014:' <<<"$cancelled")"
took=$(field gone_ms <<<"$cancelled")
echo "[ measure ] Cancel to the dialog's end during the check: ${took:-?} ms"
[ -n "$took" ] && [ "$took" -le 1000 ] && ok "the dialog was gone within a second" || fail "the dialog stayed (${took:-still there})"
exits_with "Cancel ends --configure with 0" 0
[ -e "$config" ] && fail "Cancel wrote the file" || ok "Cancel wrote nothing"
ctl clear-rules >/dev/null

finish "config dialog"
