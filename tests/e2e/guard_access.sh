#!/bin/bash
# A single-instance guard that this user may not open is held all the same,
# under Wine and Xvfb: another process creates
# "Global\nimbard-demo-single-instance" with the access list D:(A;;GA;;;SY)
# (SYSTEM alone, as the service's would be without its own list), and a
# plain start then shows the already-running box and ends with 0, instead
# of ending silently.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe"
source "$(dirname "$0")/lib/scenario.sh"

app="$SANDBOX_DIR/app"
place_exe "$app"
home_record "$app"
message="The nimbard demo is already running. Only one instance is permitted."
finished() { ! kill -0 "$1" 2>/dev/null; }

held="$SANDBOX_DIR/held.txt"
timeout 90 wine "$tools/service_probe.exe" holdmutex 'Global\nimbard-demo-single-instance' 'D:(A;;GA;;;SY)' 60 \
  >"$held" 2>/dev/null & holder=$!
wait_for 30 grep -q '^held=1' "$held" && ok "the guard is held with SYSTEM's list alone" ||
  fail "the holder could not create the guard: $(tr -d '\r' <"$held")"

wine "$app/nimbard.exe" & start=$!
box=$(probe msgbox "nimbard Demo" 30)
expect_eq "a plain start shows the already-running box" "$message" "$(field text <<<"$box")"
wait_for 15 finished "$start" && ok "the plain start ended" || fail "the plain start still runs"
wait "$start"
expect_eq "it exits 0" 0 $?
expect_eq "and added no icon" absent "$(probe icon 1 | field icon)"
expect_eq "it ran no pass" 198.51.100.4 "$(ctl cf z1 r1 content)"

kill "$holder" 2>/dev/null
finish "guard access"
