#!/bin/bash
# The release exe as its users see it, under Wine and Xvfb against the API mocks:
# - with no configuration, the tray and "--install" open the configuration
#   dialog first; Cancel ends them with 0 and installs nothing, Save (into the
#   installed folder) lets "--install" install and start the service (and say
#   in its last box that the monitor tray starts at logon);
# - the monitor tray ("--tray") runs beside the service without a box, and a
#   second tray in the session, or a standalone one beside the service, is refused;
# - the standalone tray adds its icon, runs its first pass at once and ends
#   with 0 on "Exit", within 5 s even while a server holds its forced pass;
#   started again right after, its first pass comes as soon.
# Prints the time to the icon and the resident memory of both flavours beside
# an idle Win32 program. NIMBARD_IDLE_SECONDS=60 also measures the CPU the
# monitor uses while idle.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe and
# wait_only.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe wait_only.exe"
source "$(dirname "$0")/lib/scenario.sh"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null; }

app="$SANDBOX_DIR/app"
place_exe "$app"
cp "$tools/wait_only.exe" "$app/"
# A program started from here shows its Unix path.
pid_of() { pids_of "$1" | head -1; }
start() { wine "$app/nimbard.exe" "$@" & }
finished() { ! kill -0 "$1" 2>/dev/null; }
ends_with() {  # description, expected exit code, pid
  wait_for 15 finished "$3"
  wait "$3"
  expect_eq "$1" "$2" $?
}
ctl scene '{"public_ip": "203.0.113.7", "cloudflare": [{"zone_id": "z1", "zone_name": "example.com",
  "id": "r1", "name": "home.example.com", "content": "198.51.100.4"}]}' >/dev/null
message="The nimbard demo is already running. Only one instance is permitted."

echo "== no configuration: the dialog comes first"
start; tray=$!
dialog=$(probe dialog "nimbard Configuration" 30 '!2')
expect_eq "the standalone tray opens the dialog" "control=1000:" "$(grep -m1 '^control=1000:' <<<"$dialog")"
expect_eq "Cancel says that nimbard ends, and how to start again" \
  "No record was saved, so nimbard ends now. To set up a record, start nimbard again." \
  "$(probe msgbox "nimbard Demo" 30 | field text)"
ends_with "Cancel ends it with 0" 0 "$tray"
expect_eq "no icon was added" absent "$(probe icon 1 | field icon)"

timeout 90 wine "$app/nimbard.exe" --install & install=$!
probe dialog "nimbard Configuration" 30 '!2' >/dev/null
ends_with "--install, Cancel: exit 0" 0 "$install"
expect_eq "--install, Cancel: no service" absent "$(state)"
installed="$WINEPREFIX/drive_c/Program Files/nimbard"
[ -e "$installed" ] && fail "--install, Cancel: left $installed" || ok "--install, Cancel: no installed folder"

timeout 90 wine "$app/nimbard.exe" --install & install=$!
probe dialog "nimbard Configuration" 30 1004#1 1000=cf-test-token 1001=example.com 1002=home 1005=z1 1006=r1 1003=5 '!1' >/dev/null
expect_eq "--install, Save: its last box" "$installed_box" "$(probe msgbox "nimbard Demo" 60 | field text)"
ends_with "--install, Save: exit 1" 1 "$install"
wait_for 10 eval '[ "$(state)" = 4 ]' && ok "--install, Save: the service runs" || fail "service state $(state)"
grep -q '"provider": "cloudflare"' "$installed/nimbard-demo.json" && ok "the dialog wrote the installed configuration" || fail "configuration: $(cat "$installed/nimbard-demo.json")"
wait_for 60 eval '[ "$(ctl cf z1 r1 content)" = 203.0.113.7 ]' && ok "the service updated the record" || fail "the service did not update the record"

echo "== the monitor beside the service"
wine 'C:\Program Files\nimbard\nimbard.exe' --tray &  # as the logon entry starts it
expect_eq "the installed monitor's icon" present "$(probe icon 20 | field icon)"
started=$(pid_of 'C:\Program Files\nimbard\nimbard.exe --tray')
probe command 105 >/dev/null
wait_for 10 eval '! alive "$started"' && ok "the installed monitor ends on Exit" || fail "the installed monitor still runs"
start --tray; monitor=$!
expect_eq "no box for the monitor" none "$(probe msgbox "nimbard Demo" 3 | field msgbox)"
expect_eq "the monitor's icon" present "$(probe icon 20 | field icon)"
for mode in --tray ""; do
  start $mode; second=$!
  expect_eq "\"$mode\" beside them is refused" "$message" "$(probe msgbox "nimbard Demo" 30 | field text)"
  ends_with "\"$mode\" refused: exit 0" 0 "$second"
done
timeout 60 wine "$app/wait_only.exe" 12 & waiter=$!
sleep 6
monitor_rss=$(rss_kb "$(pid_of "$app/nimbard.exe --tray")")
wait_rss=$(rss_kb "$(pid_of "$app/wait_only.exe 12")")
if [ "${NIMBARD_IDLE_SECONDS:-0}" -gt 0 ]; then
  mpid=$(pid_of "$app/nimbard.exe --tray"); before=$(cpu_ticks "$mpid"); sleep "$NIMBARD_IDLE_SECONDS"; after=$(cpu_ticks "$mpid")
  echo "[ measure ] monitor CPU in ${NIMBARD_IDLE_SECONDS} s idle: $(((after - before) * 10)) ms ($(getconf CLK_TCK) ticks/s)"
fi
wait "$waiter"
probe command 105 >/dev/null
ends_with "the monitor ends with 0 on Exit" 0 "$monitor"
timeout 90 wine "$app/nimbard.exe" --uninstall >/dev/null & uninstall=$!
probe msgbox "nimbard Demo" 30 >/dev/null
wait "$uninstall"
cp "$installed/nimbard-demo.json" "$app/"  # the standalone tray's own, beside its exe

echo "== the standalone tray"
ctl ip 203.0.113.8 >/dev/null
t=$(now)
start; tray=$!
expect_eq "its icon" present "$(probe icon 30 | field icon)"
echo "[ measure ] start to icon: $(since "$t") s"
wait_for 30 eval '[ "$(ctl cf z1 r1 content)" = 203.0.113.8 ]' && ok "its first pass updated the record at once" || fail "no first pass"
standalone_rss=$(rss_kb "$(pid_of "$app/nimbard.exe")")

# A Save in its dialog takes effect at once: the new interval is in the file,
# and a timed pass (not a forced one) follows within seconds.
ctl ip 203.0.113.10 >/dev/null
probe command 32781 >/dev/null  # Manage DNS Records
probe dialog "nimbard Configuration" 30 1003=7 '!1' gone=30 >/dev/null
t=$(now)
grep -q '"pollMinutes": 7' "$app/nimbard-demo.json" && ok "Save wrote the new interval" || fail "interval not saved: $(cat "$app/nimbard-demo.json")"
if wait_for 10 eval '[ "$(ctl cf z1 r1 content)" = 203.0.113.10 ]'; then
  within "Save to the pass it starts" 10 "$(since "$t")"
else
  fail "no pass within 10 s of the Save"
fi
grep -q "Public IP changed to 203.0.113.10" "$app/nimbard.log" && ok "the pass after Save is a timed one" ||
  fail "the pass after Save: $(grep 203.0.113.10 "$app/nimbard.log")"
saved="example.com/home = 203.0.113.10 (changed; updated)"
expect_eq "one balloon says what the check after Save found" "$saved" "$(probe balloon "$saved" 15 | field balloon)"

# Its forced pass meets a server that holds the lookup; "Exit" ends it.
ctl rule path_prefix=/client/v4/zones/z1/ delay=600 >/dev/null
count=$(ctl count path_prefix=/client/v4/zones/z1/)
probe command 32774 >/dev/null
wait_for 30 eval '[ "$(ctl count path_prefix=/client/v4/zones/z1/)" -gt "$count" ]' || fail "the hung lookup never arrived"
t=$(now)
probe command 105 >/dev/null
wait_for 10 finished "$tray"
took=$(since "$t")
ends_with "Exit while the server hangs: exit code 0" 0 "$tray"
echo "[ measure ] Exit while the lookup hangs: $took s"
awk -v m="$took" 'BEGIN { exit !(m <= 5) }' && ok "Exit within 5 s" || fail "Exit took $took s"
expect_eq "the status file is whole" "Record: example.com/home lookup failed" "$(cat "$app/nimbard.status")"

# Started again at once, as a user who restarts it: its first pass comes as
# soon as on a first start.
ctl clear-rules >/dev/null
ctl ip 203.0.113.9 >/dev/null
t=$(now)
start; tray=$!
if wait_for 15 eval '[ "$(ctl cf z1 r1 content)" = 203.0.113.9 ]'; then
  within "restarted tray: start to its first update" 10 "$(since "$t")"
else
  fail "the restarted tray made no first pass in 15 s"
fi
probe command 105 >/dev/null
ends_with "the restarted tray: Exit, exit code 0" 0 "$tray"

echo "[ measure ] resident memory: standalone tray ${standalone_rss:-?} kB, monitor ${monitor_rss:-?} kB, wait_only.exe ${wait_rss:-?} kB"
echo "[ measure ] exe size: $(stat -c %s "$exe_src") bytes"
finish "tray app"
