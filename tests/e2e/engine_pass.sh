#!/bin/bash
# Poll passes under Wine through real WinHTTP and TLS against the API mock: a
# pass over a Cloudflare and two GoDaddy records updates the two that differ,
# a second pass changes nothing, and a pass while the echo service is down
# sends no update. The test program checks the log and the status file; this
# script checks the records the mock holds and the requests it received.
set -euo pipefail
source "$(dirname "$0")/lib/net_tests.sh"

scene=$(mktemp /tmp/nimbard-engine-scene.XXXXXX.json)
trap 'rm -f "$scene"' EXIT
cat >"$scene" <<'JSON'
{"public_ip": "203.0.113.7",
 "cloudflare": [{"zone_id": "zone9", "zone_name": "engine.example", "id": "rec9",
                 "name": "home.engine.example", "content": "198.51.100.4",
                 "ttl": 120, "proxied": true}],
 "godaddy": {"engine.example": [{"type": "A", "name": "www", "data": "198.51.100.5", "ttl": 600},
                                {"type": "A", "name": "@", "data": "203.0.113.7", "ttl": 600}]}}
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
[ "$(ctl cf zone9 rec9 ttl)" = 300 ] || fail "Cloudflare ttl not sent from the configuration"
[ "$(ctl cf zone9 rec9 proxied)" = False ] || fail "Cloudflare proxied flag not sent"
[ "$(gd_data www)" = 203.0.113.7 ] || fail "GoDaddy www not updated: $(gd_data www)"
[ "$(gd_data @)" = 203.0.113.7 ] || fail "GoDaddy apex changed: $(gd_data @)"
[ "$(ctl count method=PUT)" = 2 ] || fail "expected 2 updates, got $(ctl count method=PUT)"
[ "$(ctl count method=PUT path=/v1/domains/engine.example/records/A/www)" = 1 ] || fail "GoDaddy update sent elsewhere"
[ "$(ctl count host=api.ipify.org)" = 3 ] || fail "expected one address lookup per record"

ctl clear-log
run SecondPassFindsEverythingUnchanged
[ "$(ctl count method=PUT)" = 0 ] || fail "second pass sent an update"
[ "$(ctl count method=GET)" = 6 ] || fail "second pass: expected 6 lookups, got $(ctl count method=GET)"

ctl clear-log
ctl rule host=api.ipify.org status=503 body=busy
run EchoServiceDown
[ "$(ctl count method=PUT)" = 0 ] || fail "an update was sent without a valid public address"
[ "$(ctl cf zone9 rec9 content)" = 203.0.113.7 ] || fail "Cloudflare record changed"
echo "engine_pass: ok"
'
