#!/bin/bash
# Servers that hold exchanges open, under Wine against the API mocks:
# - exchanges held open (silent, headers or body dribbled, a short body with
#   the connection kept) end by their deadline; a pass against a silent echo
#   service fails in time and the next pass updates (nimbard_net_tests.exe);
# - the service stops within 5 s while its lookup hangs; "--uninstall" during
#   such a hang is done (its box shows) within 5 s and an immediate "--install" installs and
#   runs the service again, whose pass writes the status file while another
#   program holds it open without delete sharing;
# - redirects to another host are final answers: nothing reaches that host.
# Prints the measured times.
#
# Needs dist/nimbard.exe (or $NIMBARD_EXE, to measure another build) and the
# Windows build dir's nimbard_net_tests.exe, service_probe.exe and hold_file.exe.
set -uo pipefail
SCENARIO_TOOLS="nimbard_net_tests.exe service_probe.exe hold_file.exe"
source "$(dirname "$0")/lib/scenario.sh"

at_least() { [ "$(ctl count "${@:2}")" -ge "$1" ]; }
gtest_passed() { grep -q "\[  PASSED  \] 1 test" "$1" && ! grep -q "FAILED" "$1"; }

ctl scene '{"public_ip": "203.0.113.7", "cloudflare": [
  {"zone_id": "z1", "zone_name": "example.com", "id": "r1", "name": "home.example.com", "content": "198.51.100.4"},
  {"zone_id": "moved-put", "zone_name": "put.example", "id": "r1", "name": "home.put.example", "content": "198.51.100.4"},
  {"zone_id": "svc", "zone_name": "service.example", "id": "r1", "name": "home.service.example", "content": "198.51.100.4"}]}' >/dev/null
ctl rule host=api.ipify.org delay=600 times=1
ctl rule host=checkip.amazonaws.com status=503 body=busy times=1  # the second echo service gives up at once
ctl rule path_prefix=/client/v4/zones/dribble-head/ mode=dribble part=headers interval=8
ctl rule path_prefix=/client/v4/zones/dribble-body/ mode=dribble interval=8 'body={"result":{"content":"203.0.113.7"}}'
ctl rule path_prefix=/client/v4/zones/short-held/ mode=cut hold=120
ctl rule path_prefix=/client/v4/zones/moved-get/ method=GET status=302 location=https://redirect-target.test/steal
ctl rule path_prefix=/client/v4/zones/moved-put/ method=PATCH status=307 location=https://redirect-target.test/steal
ctl rule path_prefix=/client/v4/zones/svc/ method=GET delay=600 times=2

echo "== exchanges held open (in the background)"
wine "$tools/nimbard_net_tests.exe" --gtest_filter=BoundedExchangeNet.HungExchangesEndByTheDeadline \
  >"$SANDBOX_DIR/hung.log" 2>&1 &
hung=$!
wait_for 60 at_least 1 host=api.ipify.org || fail "the pass never asked the echo service"

echo "== the service while its lookup hangs"
app="$SANDBOX_DIR/app"
place_exe "$app"
cat >"$app/nimbard-demo.json" <<'JSON'
{"records": [{"provider": "cloudflare", "apiKey": "cf-test-token", "domain": "service.example",
  "record": "home", "zoneId": "svc", "recordId": "r1", "pollMinutes": 5}]}
JSON
installed="$WINEPREFIX/drive_c/Program Files/nimbard"  # the service's files
nimbard() { timeout 90 wine "$app/nimbard.exe" "$@"; }
service_pids() { pids_of 'C:\Program Files\nimbard\nimbard.exe --service'; }

install_answered "$app" >/dev/null
expect_eq "--install exits 1" 1 $?
wait_for 60 at_least 1 path_prefix=/client/v4/zones/svc/ || fail "the service's lookup never arrived"
t=$(now)
expect_eq "STOP during a hung lookup reaches STOPPED" 1 "$(probe stop 20 | sed -n 's/^state=//p')"
within "STOP during a hung lookup" 5 "$(since "$t")"
grep -q "Cloudflare DNS lookup failed (HTTP 0)." "$installed/nimbard.log" && ok "the given-up lookup is logged" || fail "no log line for the given-up lookup"

expect_eq "the service starts again" 4 "$(probe start 30 | sed -n 's/^state=//p')"
wait_for 60 at_least 2 path_prefix=/client/v4/zones/svc/ || fail "the second lookup never arrived"
wine "$tools/hold_file.exe" 'C:\Program Files\nimbard\nimbard.status' 25 >"$SANDBOX_DIR/held.txt" 2>/dev/null &
holder=$!
wait_for 20 grep -qs held "$SANDBOX_DIR/held.txt" || fail "hold_file could not open the status file"
t=$(now)
nimbard --uninstall & uninstall=$!
probe msgbox "nimbard Demo" 30 >/dev/null  # shown once the removal is done
within "--uninstall during a hung lookup" 5 "$(since "$t")"
wait "$uninstall"
expect_eq "--uninstall during a hang exits 1" 1 $?
expect_eq "the service is gone" absent "$(state)"
expect_eq "its process has ended" "" "$(service_pids)"
install_answered "$app" >/dev/null
expect_eq "an immediate --install exits 1" 1 $?
expect_eq "the new service runs" 4 "$(state)"
wait_for 60 eval '[ "$(ctl cf svc r1 content)" = 203.0.113.7 ]' || fail "the new service's pass did not update the record"
line="Record: service.example/home = 203.0.113.7 (changed; updated)"
wait_for 10 grep -qF "$line" "$installed/nimbard.status" && ok "the pass wrote the status file held open by another program" ||
  fail "status file held open by another program: [$(cat "$installed/nimbard.status")]"
wait "$holder"
grep -qF "$line" "$SANDBOX_DIR/held.txt" && ok "the holder reads the new status through its own handle" || fail "the holder read: $(cat "$SANDBOX_DIR/held.txt")"
nimbard --uninstall >/dev/null & uninstall=$!
probe msgbox "nimbard Demo" 30 >/dev/null
wait "$uninstall"

echo "== exchanges held open: results"
wait "$hung"
cat "$SANDBOX_DIR/hung.log" | grep -E "measure|Failure|FAILED|expected|Which is" || true
gtest_passed "$SANDBOX_DIR/hung.log" && ok "held exchanges ended by the deadline" || { cat "$SANDBOX_DIR/hung.log"; fail "held exchanges"; }

echo "== redirects"
wine "$tools/nimbard_net_tests.exe" --gtest_filter=BoundedExchangeNet.RedirectsAreFinalAnswers >"$SANDBOX_DIR/moved.log" 2>&1
gtest_passed "$SANDBOX_DIR/moved.log" && ok "302 and 307 are logged as failures" || { cat "$SANDBOX_DIR/moved.log"; fail "redirects"; }
expect_eq "no request reached the other host" 0 "$(ctl count host=redirect-target.test)"
expect_eq "the redirected update changed nothing" 198.51.100.4 "$(ctl cf moved-put r1 content)"

finish "hangs and stops"
