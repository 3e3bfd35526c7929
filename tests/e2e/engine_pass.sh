#!/bin/bash
# Poll passes under Wine through real WinHTTP and TLS against the API mock: a
# pass over a Cloudflare and two GoDaddy records asks for the address once and
# updates the two that differ, changing only their address (Cloudflare's TTL,
# proxy status and comment, GoDaddy's TTL stay as they were); a second pass
# changes nothing, and a pass while both echo services are down sends no
# update; AAAA records alone need no echo service. The test program checks the log and the status file; this
# script checks the records the mock holds and the requests it received.
set -euo pipefail
source "$(dirname "$0")/lib/net_tests.sh"

scene=$(mktemp /tmp/nimbard-engine-scene.XXXXXX.json)
trap 'rm -f "$scene"' EXIT
cat >"$scene" <<'JSON'
{"public_ip": "203.0.113.7",
 "cloudflare": [{"zone_id": "zone9", "zone_name": "engine.example", "id": "rec9",
                 "name": "home.engine.example", "content": "198.51.100.4",
                 "ttl": 120, "proxied": false, "comment": "home router"},
                {"zone_id": "zone9", "id": "v6rec", "name": "home.engine.example", "type": "AAAA",
                 "content": "2001:DB8:0:0::10"}],
 "godaddy": {"engine.example": [{"type": "A", "name": "www", "data": "198.51.100.5", "ttl": 3600},
                                {"type": "A", "name": "@", "data": "203.0.113.7", "ttl": 600},
                                {"type": "AAAA", "name": "v6", "data": "2001:db8::1", "ttl": 1200}]}}
JSON

"$root/tools/sandbox/run-isolated.sh" --win-build "$win_build" --timeout 600 \
  --scene "$scene" -- bash -c '
set -euo pipefail
fail() { echo "engine_pass: $*" >&2; exit 1; }
run() {
  wine "$NET_TESTS_EXE" --gtest_filter="EnginePassNet.$1" >"$SANDBOX_DIR/$1.log" 2>&1 || true
  cat "$SANDBOX_DIR/$1.log"
  grep -q "\[  PASSED  \] 1 test" "$SANDBOX_DIR/$1.log" || fail "$1 failed"
}
ctl() { python3 "$MOCK_CTL" "$@"; }
gd_data() {  # the data of the A record NAME in engine.example
  ctl gd engine.example | python3 -c "import json,sys; print(\" \".join(r[\"data\"] for r in json.load(sys.stdin) if r[\"type\"] == \"A\" and r[\"name\"] == sys.argv[1]))" "$1"
}

run UpdatesBothProviders
[ "$(ctl cf zone9 rec9 content)" = 203.0.113.7 ] || fail "Cloudflare record not updated"
[ "$(ctl cf zone9 rec9 name)" = home.engine.example ] || fail "Cloudflare record renamed"
[ "$(ctl cf zone9 rec9 ttl)" = 120 ] || fail "Cloudflare TTL changed: $(ctl cf zone9 rec9 ttl)"
[ "$(ctl cf zone9 rec9 proxied)" = False ] || fail "Cloudflare proxy status changed"
[ "$(ctl cf zone9 rec9 comment)" = "home router" ] || fail "Cloudflare comment changed: $(ctl cf zone9 rec9 comment)"
ctl log method=PATCH | python3 -c "import json,sys; sys.exit(json.load(sys.stdin)[0][\"body\"] != json.dumps({\"content\": \"203.0.113.7\"}, separators=(\",\", \":\")))" ||
  fail "Cloudflare update sent more than the address"
[ "$(gd_data www)" = 203.0.113.7 ] || fail "GoDaddy www not updated: $(gd_data www)"
[ "$(ctl gd engine.example | python3 -c "import json,sys; print([r[\"ttl\"] for r in json.load(sys.stdin) if r[\"name\"] == \"www\"][0])")" = 3600 ] ||
  fail "GoDaddy TTL not kept"
[ "$(gd_data @)" = 203.0.113.7 ] || fail "GoDaddy apex changed: $(gd_data @)"
[ "$(ctl count method=PUT)" = 1 ] || fail "expected 1 GoDaddy update, got $(ctl count method=PUT)"
[ "$(ctl count method=PATCH)" = 1 ] || fail "expected 1 Cloudflare update, got $(ctl count method=PATCH)"
[ "$(ctl count method=PUT path=/v1/domains/engine.example/records/A/www)" = 1 ] || fail "GoDaddy update sent elsewhere"
[ "$(ctl count host=api.ipify.org)" = 1 ] || fail "expected one address lookup for the pass, got $(ctl count host=api.ipify.org)"

ctl clear-log
run SecondPassFindsEverythingUnchanged
[ "$(ctl count method=PUT)$(ctl count method=PATCH)" = 00 ] || fail "second pass sent an update"
[ "$(ctl count method=GET)" = 4 ] || fail "second pass: expected 4 lookups, got $(ctl count method=GET)"

ctl clear-log
ctl rule host=api.ipify.org status=503 body=busy
ctl rule host=checkip.amazonaws.com status=503 body=busy
run EchoServiceDown
[ "$(ctl count method=PUT)$(ctl count method=PATCH)" = 00 ] || fail "an update was sent without a valid public address"
[ "$(ctl cf zone9 rec9 content)" = 203.0.113.7 ] || fail "Cloudflare record changed"

# AAAA records only, the echo services still down: none is asked; the address Cloudflare holds in another form is
# left alone, the old one at GoDaddy is replaced with its TTL.
ctl clear-log
run KeepsAaaaRecordsWithoutEchoService
[ "$(ctl count host=api.ipify.org)$(ctl count host=checkip.amazonaws.com)" = 00 ] || fail "an IPv6-only pass asked an echo service"
[ "$(ctl count method=PATCH)" = 0 ] || fail "Cloudflare AAAA updated though it held the address in another form"
[ "$(ctl cf zone9 v6rec content)" = 2001:DB8:0:0::10 ] || fail "Cloudflare AAAA record changed"
[ "$(ctl count method=PUT path=/v1/domains/engine.example/records/AAAA/v6)$(ctl count method=PUT)" = 11 ] || fail "expected one GoDaddy AAAA PUT"
ctl log method=PUT | python3 -c "import json,sys; sys.exit(json.load(sys.stdin)[0][\"body\"] != \"[{\\\"data\\\":\\\"2001:db8::10\\\",\\\"ttl\\\":1200}]\")" ||
  fail "GoDaddy AAAA PUT body: $(ctl log method=PUT)"
echo "engine_pass: ok"
'
