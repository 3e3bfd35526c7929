#!/bin/bash
# The tray menu's service commands with the release exe, under Wine and Xvfb
# against the API mocks (Wine's "runas" starts a command without asking):
# - "Install Service" in the standalone tray: the service runs the installed
#   copy, the standalone tray has ended, and the monitor tray shows the one
#   icon there is;
# - the monitor's "Stop Service", "Start Service" and "Restart Service" (a new
#   service process): the service's state follows, the monitor and its one
#   icon stay;
# - a stop from outside the monitor: the monitor's balloon says the service
#   has stopped (its state line, in a menu of another process, cannot be read
#   from outside under Wine);
# - "Uninstall Service" in the monitor: no service, no monitor and no icon,
#   the box that says nimbard was removed and where the configuration is kept,
#   and the configuration there.
# Prints how long each command took until the service's state showed it.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe"
source "$(dirname "$0")/lib/scenario.sh"

app="$SANDBOX_DIR/app"
pf="$WINEPREFIX/drive_c/Program Files/nimbard"
win_installed='C:\Program Files\nimbard\nimbard.exe'
place_exe "$app"
home_record "$app"
icons() { probe icons | field icons; }
monitors() { pids_of "$win_installed --tray" | wc -l; }
service_pid() { pids_of "$win_installed --service" | head -1; }
finished() { ! kill -0 "$1" 2>/dev/null; }
state_is() { [ "$(state)" = "$1" ]; }
# command ID NAME STATE: chooses a menu entry, waits for the service's state.
command() {
  local t
  t=$(now)
  probe command "$1" >/dev/null
  wait_for 30 state_is "$3" && ok "$2: the service's state is $3" || fail "$2: the service's state is $(state)"
  echo "[ measure ] $2 until the state showed: $(since "$t") s"
}

echo "== Install Service from the standalone tray"
wine "$app/nimbard.exe" & tray=$!
expect_eq "the standalone tray's icon" present "$(probe icon 30 | field icon)"
wait_for 30 eval '[ "$(ctl cf z1 r1 content)" = 203.0.113.7 ]' && ok "its first pass updated the record" || fail "no first pass"
ctl ip 203.0.113.8 >/dev/null
command 32779 "Install Service" 4
expect_eq "--install's last box" "$installed_box" "$(probe msgbox "nimbard Demo" 30 | field text)"
wait_for 20 finished "$tray" && ok "the standalone tray ended" || fail "the standalone tray still runs"
wait "$tray"
expect_eq "... with exit code 0" 0 $?
expect_eq "the service runs the installed copy" "\"$win_installed\" --service" "$(probe config | field path)"
wait_for 20 eval '[ "$(monitors)" = 1 ]' && ok "one monitor tray runs" || fail "$(monitors) monitor trays"
expect_eq "one icon: the monitor's" 1 "$(icons)"
wait_for 60 eval '[ "$(ctl cf z1 r1 content)" = 203.0.113.8 ]' && ok "the service updated the record" || fail "no update by the service"

echo "== the monitor's Stop, Start and Restart Service"
monitor=$(pids_of "$win_installed --tray")
command 32777 "Stop Service" 1
command 32776 "Start Service" 4
before=$(service_pid)
command 32778 "Restart Service" 4
wait_for 10 eval '[ -n "$(service_pid)" ] && [ "$(service_pid)" != "$before" ]' && ok "Restart: a new service process" ||
  fail "Restart: service process $(service_pid) (was $before)"
alive "$monitor" && ok "the monitor still runs" || fail "the monitor ended"
expect_eq "one monitor, one icon" "1 1" "$(monitors) $(icons)"

echo "== a stop from outside the monitor (the Services console's way)"
# The balloon of the monitor's own Stop Service above goes first (Wine shows one 10 s or more).
stopped_text="No record is checked until the service runs again (Start Service in the menu)."
wait_for 40 eval '[ "$(probe balloon "$stopped_text" 0 | field balloon)" = absent ]' && ok "no balloon before the stop" ||
  fail "the balloon of the monitor's own stop stays"
t=$(now)
probe stop 30 >/dev/null
expect_eq "the service stopped" 1 "$(state)"
expect_eq "the monitor's balloon says so" "$stopped_text" "$(probe balloon "$stopped_text" 15 | field balloon)"
echo "[ measure ] a stop from outside until the monitor's balloon: $(since "$t") s"
probe start 30 >/dev/null
expect_eq "the service runs again" 4 "$(state)"
alive "$monitor" && ok "the monitor still runs" || fail "the monitor ended"

echo "== Uninstall Service from the monitor"
t=$(now)
probe command 32780 >/dev/null
box=$(probe msgbox "nimbard Demo" 30 | field text)
expect_eq "the box says nimbard was removed and where the files stay" \
  "nimbard was removed. Your configuration, log and status files are kept in C:\\Program Files\\nimbard\\ for a later install; delete that folder to remove them too." "$box"
wait_for 30 eval '[ "$(state)" = absent ]' && ok "no service" || fail "service state $(state)"
echo "[ measure ] Uninstall Service until the box: $(since "$t") s"
wait_for 10 eval '! alive "$monitor"' && ok "no monitor" || fail "the monitor still runs"
expect_eq "no icon" 0 "$(icons)"
grep -q '"apiKey": "cf-test-token"' "$pf/nimbard-demo.json" && ok "the configuration is kept" || fail "no configuration in $pf"

finish "service commands"
