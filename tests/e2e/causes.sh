#!/bin/bash
# Set up without a manual, under Wine against the API mocks, with the
# release exe's standalone tray:
# - a Cloudflare record with empty Zone ID and Record ID updates: the first
#   pass finds both from the names, a forced second pass goes by them;
# - a Cloudflare token refused with 9109 and a GoDaddy key refused with 403
#   ACCESS_DENIED each log a cause line after the failure's own line;
# - a Cloudflare 403 with code 10000 (an invalid token, or a valid one
#   without the permission) names both and how to tell them apart;
# - a connection refused logs its Windows error number and meaning.
# Prints the requests a pass makes for the record with empty IDs, the first
# time and the second.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe"
source "$(dirname "$0")/lib/scenario.sh"

app="$SANDBOX_DIR/app"
place_exe "$app"
cat >"$app/nimbard-demo.json" <<'JSON'
{"records": [
  {"provider": "cloudflare", "apiKey": "cf-test-token", "domain": "example.com", "record": "home", "pollMinutes": 5},
  {"provider": "cloudflare", "apiKey": "another-token", "domain": "example.com", "record": "www", "zoneId": "z1", "recordId": "r-www"},
  {"provider": "godaddy", "apiKey": "other-key:other-secret", "domain": "example.net", "record": "www"}]}
JSON
ctl scene '{"public_ip": "203.0.113.7", "tokens": {"godaddy": "gd-key:gd-secret"}, "cloudflare": [
  {"zone_id": "z1", "zone_name": "example.com", "id": "r-home", "name": "home.example.com", "content": "198.51.100.4"},
  {"zone_id": "z1", "id": "r-www", "name": "www.example.com", "content": "198.51.100.9"}],
  "godaddy": {"example.net": [{"type": "A", "name": "www", "data": "198.51.100.4", "ttl": 600}]}}' >/dev/null

empty_id_requests() {  # the Cloudflare requests made with the first record's token
  ctl log host=api.cloudflare.com | python3 -c '
import json, sys
print(" ".join(r["method"] + " " + r["path"] for r in json.load(sys.stdin) if "another" not in str(r["headers"])))'
}
records_reported() { grep -c Record: "$app/nimbard.status" 2>/dev/null; }
logged() { grep -qF -- "$1" "$app/nimbard.log" && ok "log: $1" || fail "log lacks: $1"; }
after() {  # the line that follows the first line holding $1
  tr -d '\r' <"$app/nimbard.log" | awk -v want="$1" 'found { print; exit } index($0, want) { found = 1 }' | cut -c23-
}

echo "== first pass: the IDs found from the names"
wine "$app/nimbard.exe" & tray=$!
prints 60 3 records_reported || fail "the first pass did not report 3 records"
first=$(empty_id_requests)
echo "[ measure ] requests for the record with empty IDs, first pass: $first"
expect_eq "zone search, record search, update" \
  "GET /client/v4/zones?name=example.com GET /client/v4/zones/z1/dns_records?type=A&name=home.example.com PATCH /client/v4/zones/z1/dns_records/r-home" "$first"
expect_eq "the record updated" 203.0.113.7 "$(ctl cf z1 r-home content)"
logged "Cloudflare IDs of home.example.com: zone z1, record r-home."

echo "== a forced second pass goes by the IDs"
ctl clear-log
ctl ip 203.0.113.8 >/dev/null
rm -f "$app/nimbard.status"
probe command 32774 >/dev/null
prints 60 3 records_reported || fail "the forced pass did not report 3 records"
second=$(empty_id_requests)
echo "[ measure ] requests for the record with empty IDs, second pass: $second"
expect_eq "the lookup by the IDs found, and the update" \
  "GET /client/v4/zones/z1/dns_records/r-home PATCH /client/v4/zones/z1/dns_records/r-home" "$second"
expect_eq "the record follows the address" 203.0.113.8 "$(ctl cf z1 r-home content)"

echo "== the causes of refusals"
expect_eq "after Cloudflare's refusal" \
  "Cause: Cloudflare error 9109 (Unauthorized to access requested resource): give the token the permission Zone, DNS, Edit for this zone." \
  "$(after "Cloudflare DNS lookup failed (HTTP 403).")"
expect_eq "after GoDaddy's refusal and answer" \
  "Cause: GoDaddy error ACCESS_DENIED (Authenticated user is not allowed access): GoDaddy allows its DNS API only for accounts with 10 or more domains or a Discount Domain Club Premier plan, and only for domains in the key's own account." \
  "$(after 'GoDaddy response: {"code":"ACCESS_DENIED"')"
probe command 105 >/dev/null
wait_for 15 eval '! kill -0 $tray 2>/dev/null'
wait "$tray"

echo "== a connection refused, and Cloudflare's 403 with code 10000"
ctl route api.godaddy.com closed
ctl rule host=api.cloudflare.com path=/client/v4/zones/z1/dns_records/r-www status=403 \
  'body={"success":false,"errors":[{"code":10000,"message":"Authentication error"}],"messages":[],"result":null}' >/dev/null
: >"$app/nimbard.log"
rm -f "$app/nimbard.status"
wine "$app/nimbard.exe" & tray=$!
prints 60 3 records_reported || fail "the pass did not report 3 records"
probe command 105 >/dev/null
wait_for 15 eval '! kill -0 $tray 2>/dev/null'
wait "$tray"
expect_eq "the Windows error after the failure" \
  "Cause: Windows error 12029 (could not connect to the server): check that this computer is online and that no firewall or security program blocks nimbard.exe." \
  "$(after "GoDaddy DNS lookup failed (HTTP 0).")"
expect_eq "the token or its permission after Cloudflare's 10000" \
  "Cause: Cloudflare error 10000 (Authentication error): the token is not valid, or it lacks the permission for this zone or record: if the dashboard's list of API tokens (My Profile, API Tokens) does not show it as Active, create one with the \"Edit zone DNS\" template; if it does, check that its permission Zone, DNS, Edit includes this zone." \
  "$(after "Cloudflare DNS lookup failed (HTTP 403).")"
ctl clear-rules
ctl route api.godaddy.com mock

finish "causes"
