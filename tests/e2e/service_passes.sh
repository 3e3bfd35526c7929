#!/bin/bash
# The installed service's passes under Wine against the API mocks:
# - a cold start while the network is not there for its first 50 seconds
#   (every API host refuses connections): the service tries again after 30
#   seconds, then 60, and updates the record within about a minute and a
#   half instead of after the 5-minute poll interval;
# - a forced pass asked for with the user-defined control that a monitor
#   without rights to the configuration sends;
# - a burst of the monitor tray's "Force Update" (which asks the service) and
#   of the control itself: asks within 10 s of a forced pass's start merge
#   into it, so the burst gives one pass per 10 s at most;
# - meanwhile a log near 1 MiB moves to nimbard.1.log: every line whole, none
#   lost, none written twice.
# Prints the delay of the first update after the cold start.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe"
source "$(dirname "$0")/lib/scenario.sh"

app="$SANDBOX_DIR/app"
installed="$WINEPREFIX/drive_c/Program Files/nimbard"
place_exe "$app"
cat >"$app/nimbard-demo.json" <<'JSON'
{"records": [{"provider": "cloudflare", "apiKey": "cf-test-token", "domain": "example.com", "record": "home",
  "zoneId": "z1", "recordId": "r1", "pollMinutes": 5}]}
JSON
ctl scene '{"public_ip": "203.0.113.7", "cloudflare": [
  {"zone_id": "z1", "zone_name": "example.com", "id": "r1", "name": "home.example.com", "content": "198.51.100.4"}]}' >/dev/null
hosts="api.ipify.org checkip.amazonaws.com api.cloudflare.com"
cf_lookups() { ctl count host=api.cloudflare.com method=GET; }

echo "== a cold start before the network is there"
for h in $hosts; do ctl route "$h" closed; done
( sleep 50; for h in $hosts; do ctl route "$h" mock; done ) &
network=$!
t=$(now)
install_answered "$app" >/dev/null
expect_eq "--install exits 1" 1 $?
prints 150 203.0.113.7 ctl cf z1 r1 content && ok "the record updated" || fail "the record was not updated"
delay=$(since "$t")
within "first update with the network 50 s late" 100 "$delay"
wait "$network"
grep -c "Public IP lookup failed." "$installed/nimbard.log" | grep -qx 2 && ok "two passes found no network" ||
  fail "passes without a network: $(grep -c "Public IP lookup failed." "$installed/nimbard.log")"

echo "== a forced pass asked for by a user-defined control"
before=$(cf_lookups)
ctl ip 203.0.113.9 >/dev/null
expect_eq "the control is accepted" 1 "$(probe usercontrol 200 | field sent)"
prints 30 203.0.113.9 ctl cf z1 r1 content && ok "the forced pass updated the record" || fail "no forced pass"
grep -qF "Manual check found a changed public IP: 203.0.113.9." "$installed/nimbard.log" && ok "logged as a forced pass" ||
  fail "the forced pass's line is missing"
expect_eq "one lookup" $((before + 1)) "$(cf_lookups)"

echo "== a burst of asks while the log moves aside"
expect_eq "the service stops" 1 "$(probe stop 20 | field state)"
# Numbered lines in the log's own form, up to 400 bytes short of the bound.
python3 - "$installed/nimbard.log" <<'PY'
import sys
path = sys.argv[1]
size = 0
with open(path, "wb") as f:
    n = 0
    while size < 1024 * 1024 - 400:
        line = b"[2026-01-01 00:00:00] filler %06d\r\n" % n
        f.write(line)
        size += len(line)
        n += 1
print(n, file=open(path + ".count", "w"))
PY
fillers=$(cat "$installed/nimbard.log.count"); rm -f "$installed/nimbard.log.count"
ctl clear-log
(wine 'C:\Program Files\nimbard\nimbard.exe' --tray &)  # as the logon entry starts it; not waited for below
expect_eq "the monitor runs" present "$(probe icon 20 | field icon)"
expect_eq "the service starts" 4 "$(probe start 30 | field state)"
t=$(now)
for ((i = 0; i < 12; i++)); do  # the monitor's Force Update and the control, at once
  probe command 32774 >/dev/null & probe usercontrol 200 >/dev/null & wait
done
burst=$(since "$t")
sleep 5
lookups=$(cf_lookups)
echo "[ measure ] 24 asks in $burst s: $((lookups - 1)) forced passes"
awk -v n="$lookups" -v s="$burst" 'BEGIN { exit !(n >= 2 && n <= 2 + s / 10) }' &&
  ok "the asks merged: one forced pass per 10 s at most" || fail "$((lookups - 1)) forced passes in $burst s"
python3 - "$installed" "$fillers" "$lookups" <<'PY'
import os, re, sys
folder, fillers, lookups = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
older = open(os.path.join(folder, "nimbard.1.log"), "rb").read() if os.path.exists(os.path.join(folder, "nimbard.1.log")) else b""
newer = open(os.path.join(folder, "nimbard.log"), "rb").read()
problems = []
if not older:
    problems.append("no nimbard.1.log")
for name, data in (("nimbard.1.log", older), ("nimbard.log", newer)):
    if len(data) > 1024 * 1024:
        problems.append("%s holds %d bytes" % (name, len(data)))
    if data and not data.endswith(b"\r\n"):
        problems.append("%s ends inside a line" % name)
lines = (older + newer).split(b"\r\n")[:-1]
stamp = re.compile(rb"^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] [^\r\n]*$")
problems += ["not a whole line: %r" % l[:80] for l in lines if not stamp.match(l)][:5]
numbers = [int(l[-6:]) for l in lines if b"] filler " in l]
if numbers != list(range(fillers)):
    problems.append("filler lines: %d of %d, in order: %s" % (len(set(numbers)), fillers, numbers == sorted(numbers)))
checked = sum(1 for l in lines if b"Stored current A record for example.com/home" in l)
if checked != lookups:
    problems.append("%d record lines for %d lookups at the mock" % (checked, lookups))
print("[ measure ] nimbard.1.log %d bytes, nimbard.log %d bytes, %d passes' record lines" % (len(older), len(newer), checked))
print("log check: " + ("; ".join(problems) if problems else "ok"))
if problems:
    print("last lines:\n  " + "\n  ".join(l.decode("latin-1") for l in lines[-8:]))
sys.exit(1 if problems else 0)
PY
[ $? -eq 0 ] && ok "the log moved aside whole" || fail "the log after the move"
timeout 90 wine "$installed/nimbard.exe" --uninstall >/dev/null 2>&1

finish "service passes"
