#!/bin/bash
# The configuration dialog's check on Save, with the release exe's
# "--configure" under Wine and Xvfb against the API mocks:
# - a Cloudflare record with empty Zone ID and Record ID: Save tries it,
#   finds both IDs from the names and writes them into the file; the check
#   only reads (no PUT or PATCH);
# - a token Cloudflare refuses (9109 on the zone search): the "Check failed"
#   box says the token may not look zones up; "Back" returns to the dialog
#   and writes nothing, "Save anyway" writes;
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

echo "== empty IDs: found on Save and written"
configure
saved=$(probe dialog "$title" 30 $(new_record cf-test-token) '!1' gone=30)
exits_with "Save ends --configure with 1" 1
took=$(field gone_ms <<<"$saved")
echo "[ measure ] Save to the dialog's end, the check against the mock included: ${took:-?} ms"
grep -q '"zoneId": "z1"' "$config" && grep -q '"recordId": "r1"' "$config" && ok "the IDs found were written" ||
  fail "configuration: $(cat "$config" 2>/dev/null)"
expect_eq "one zone search" 1 "$(ctl count 'path_prefix=/client/v4/zones?name=')"
expect_eq "one record search" 1 "$(ctl count query='type=A&name=home.example.com')"
expect_eq "the check changed nothing" 0 "$(($(ctl count method=PUT) + $(ctl count method=PATCH)))"
expect_eq "the record is as it was" 198.51.100.4 "$(ctl cf z1 r1 content)"
rm -f "$config"

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
