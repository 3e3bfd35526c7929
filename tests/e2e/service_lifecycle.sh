#!/bin/bash
# The service's whole life under Wine, against the local API mocks:
# "--install" copies the exe into "C:\Program Files\nimbard", registers that
# copy as the service with its description and recovery actions, starts it
# and writes the autostart value in HKLM (and takes over one an earlier
# version left in HKCU; no monitor starts: the last box says the logon entry
# starts it), the first pass updates the record at once
# and writes the log and status file in the installed folder, a second
# service or standalone tray is refused while the service runs (a monitor
# tray may run beside it), STOP stops it, a second "--install" starts it
# again from the same registration, and "--uninstall" removes service and
# the autostart values of both hives even while it runs.
# Also prints the size of dist/nimbard.exe and the resident memory of the
# running service next to an idle Win32 program in the same prefix.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe and
# wait_only.exe (lib/scenario.sh).
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe wait_only.exe"
source "$(dirname "$0")/lib/scenario.sh"

# A blank in the directory: the registered command lines must keep the path whole.
app="$SANDBOX_DIR/nimbard app"
place_exe "$app"
cp "$tools/wait_only.exe" "$app/wait_only.exe"
cat >"$app/nimbard-demo.json" <<'JSON'
{
  "records": [
    {
      "provider": "cloudflare",
      "providerLocked": true,
      "apiKey": "cf-test-token",
      "domain": "example.com",
      "record": "home",
      "zoneId": "z1",
      "recordId": "r1",
      "pollMinutes": 5,
      "ttl": 300,
      "proxied": false
    }
  ]
}
JSON
python3 "$MOCK_CTL" scene '{"public_ip": "203.0.113.7",
  "cloudflare": [{"zone_id": "z1", "zone_name": "example.com", "id": "r1",
                  "name": "home.example.com", "content": "198.51.100.4",
                  "ttl": 300, "proxied": false}]}' >/dev/null

installed="$WINEPREFIX/drive_c/Program Files/nimbard"
nimbard() { timeout 90 wine "$app/nimbard.exe" "$@"; }
uninstall() {  # answers the box that a removal shows; its exit code
  nimbard --uninstall & local pid=$!
  probe msgbox "nimbard Demo" 30 >/dev/null
  wait "$pid"
}
wait_state() {  # wanted, seconds
  local i
  for ((i = 0; i < $2 * 2; i++)); do [ "$(state)" = "$1" ] && return 0; sleep 0.5; done
  return 1
}
service_pids() { pids_of "$win_exe --service"; }
cf_content() { python3 "$MOCK_CTL" cf z1 r1 content; }
cf_puts() { python3 "$MOCK_CTL" count host=api.cloudflare.com method=PATCH; }
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
user_run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
add_run_value() {  # the key; the installed tray's line
  timeout 60 wine reg add "$1" /v nimbard-demo /t REG_SZ /d "$tray_line" /f >/dev/null 2>&1
}

win_exe='C:\Program Files\nimbard\nimbard.exe'
service_line="\"$win_exe\" --service"
tray_line="\"$win_exe\" --tray"
message="The nimbard demo is already running. Only one instance is permitted."
description="Keeps DNS A records at Cloudflare and GoDaddy pointed at this computer's public IPv4 address."

echo "== install"
add_run_value "$user_run_key"  # as an earlier version wrote it
box=$(install_answered "$app")
expect_eq "--install exits 1" 1 $?
expect_eq "its last box: no monitor now, one at logon" "$installed_box" "$box"
config=$(probe config)
expect_eq "display name" "nimbard Demo DNS Updater" "$(field display <<<"$config")"
expect_eq "own process" "0x10" "$(field type <<<"$config")"
expect_eq "automatic start" 2 "$(field start <<<"$config")"
expect_eq "normal error control" 1 "$(field error <<<"$config")"
expect_eq "service command line" "$service_line" "$(field path <<<"$config")"
config2=$(probe config2)
expect_eq "description" "$description" "$(field description <<<"$config2")"
# Wine 8's SCM accepts the failure actions without keeping them and refuses
# the non-crash flag; it answers both queries with ERROR_INVALID_LEVEL (124).
# Only that answer excuses a value: any other result is checked.
for want in reset=86400 actions=restart:60000,restart:60000,none:0 nonCrash=1; do
  key=${want%%=*}
  if [ "$(field "${key}_error" <<<"$config2")" = 124 ] && [ -z "$(field "$key" <<<"$config2")" ]; then
    echo "not verified: $key (QueryServiceConfig2W: ERROR_INVALID_LEVEL, not kept by this SCM)"
  else
    expect_eq "recovery $key" "${want#*=}" "$(field "$key" <<<"$config2")"
  fi
done
runvalue=$(probe runvalue)
expect_eq "autostart value type REG_SZ" 1 "$(field type <<<"$runvalue")"
expect_eq "autostart data" "$tray_line" "$(field data <<<"$runvalue")"
expect_eq "autostart length includes the NUL" "$(((${#tray_line} + 1) * 2))" \
  "$(field bytes <<<"$runvalue")"
expect_eq "autostart data ends in NUL" 0 "$(field last_unit <<<"$runvalue")"
expect_eq "the earlier version's HKCU value is gone" absent "$(probe runvalue hkcu | field runvalue)"
if timeout 60 wine reg query "$run_key" /v nimbard-demo 2>/dev/null | tr -d '\r' |
  grep -qF -- "$tray_line"; then
  ok "reg query shows the autostart value"
else
  fail "reg query does not show the autostart value"
fi

echo "== first pass at start"
for ((i = 0; i < 60; i++)); do
  [ "$(cf_content)" = 203.0.113.7 ] && break
  sleep 1
done
expect_eq "record updated at the mock" 203.0.113.7 "$(cf_content)"
expect_eq "one update sent" 1 "$(cf_puts)"
if [ -s "$installed/nimbard.log" ]; then ok "log written"; else fail "no log in the installed folder"; fi
if [ -s "$installed/nimbard.status" ]; then ok "status file written"; else fail "no status file"; fi
expect_eq "service running" 4 "$(state)"
expect_eq "it takes STOP, SHUTDOWN, power events and PRESHUTDOWN (1 + 4 + 0x40 + 0x100)" 325 "$(probe state | field accepts)"

echo "== memory"
svc_pid=$(service_pids | head -1)
timeout 60 wine "$app/wait_only.exe" 15 &
waiter=$!
sleep 5
wait_pid=$(pids_of "$app/wait_only.exe 15" | head -1)
svc_rss=$([ -n "$svc_pid" ] && rss_kb "$svc_pid")
wait_rss=$([ -n "$wait_pid" ] && rss_kb "$wait_pid")
echo "exe size: $(stat -c %s "$exe_src") bytes (dist/nimbard.exe)"
echo "RSS of the running service: ${svc_rss:-?} kB; of wait_only.exe: ${wait_rss:-?} kB"
[ -n "$svc_rss" ] && [ -n "$wait_rss" ] || fail "could not measure the resident memory"
wait "$waiter"

echo "== single instance while the service runs"
# The monitor, as the logon entry starts it ("--install" under Wine starts none):
# a plain start beside it and the service is refused.
WINEDEBUG=err+all,fixme-all wine "$win_exe" --tray 2>"$SANDBOX_DIR/monitor.err" & monitor=$!
icon=$(probe icon 20 | field icon)
expect_eq "the logon entry's monitor shows its icon" present "$icon"
# What a missing icon or box leaves to look at: this prefix's desktop and
# monitor processes, and whether the display answers.
desktop_state() {
  echo "  explorer: $(pids_of 'C:\windows\system32\explorer.exe' | tr '\n' ' ')monitor: $(pids_of "$win_exe --tray" | tr '\n' ' ')"
  echo "  display $DISPLAY: $(timeout 5 xdpyinfo >/dev/null 2>&1 && echo answers || echo 'does not answer')"
  echo "  desktop: $(probe desktop | tr '\n' ' ')"
  if ! alive "$monitor"; then wait "$monitor"; echo "  the monitor ended with exit code $?"; fi
  grep -v -e '^it looks like wine32' -e multiarch -e 'dpkg --add' -e 'apt-get install wine32' "$SANDBOX_DIR/monitor.err" |
    tail -n 15 | sed 's/^/  monitor: /'
}
[ "$icon" = present ] || desktop_state
nimbard &  # the monitor may run beside the service: tray_app.sh
pid=$!
box=$(probe msgbox "nimbard Demo" 30)
expect_eq "a standalone tray shows the already-running message" "$message" "$(field text <<<"$box")"
[ -n "$box" ] || desktop_state
wait "$pid"
expect_eq "a standalone tray beside the service exits 0" 0 $?
nimbard --service
expect_eq "\"--service\" second instance exits 0" 0 $?
expect_eq "\"--service\" second instance shows no message" "none" \
  "$(probe msgbox "nimbard Demo" 3 | field msgbox)"
expect_eq "service still running" 4 "$(state)"
expect_eq "no second update by the refused instances" 1 "$(cf_puts)"

echo "== stop"
expect_eq "STOP reaches STOPPED" 1 "$(probe stop 20 | field state)"
if [ -z "$(service_pids)" ]; then ok "service process ended"; else fail "service process still there"; fi

echo "== a second install starts the stopped service again"
timeout 60 wine reg delete "$run_key" /v nimbard-demo /f >/dev/null 2>&1
install_answered "$app" >/dev/null
expect_eq "second --install exits 1" 1 $?
expect_eq "service running again" 4 "$(state)"
expect_eq "autostart value written again" "$tray_line" "$(probe runvalue | field data)"
expect_eq "registration unchanged" "$config$config2" "$(probe config)$(probe config2)"

echo "== uninstall while running"
add_run_value "$user_run_key"
uninstall
expect_eq "--uninstall exits 1" 1 $?
if wait_state absent 30; then ok "service removed"; else fail "service still registered: $(probe state)"; fi
expect_eq "autostart value removed" absent "$(probe runvalue | field runvalue)"
expect_eq "HKCU value removed" absent "$(probe runvalue hkcu | field runvalue)"
for ((i = 0; i < 20; i++)); do [ -z "$(service_pids)" ] && break; sleep 0.5; done
if [ -z "$(service_pids)" ]; then ok "service process ended"; else fail "service process still there"; fi

echo "== second uninstall"
add_run_value "$run_key"
nimbard --uninstall
expect_eq "second --uninstall exits 0" 0 $?
expect_eq "autostart value left alone" "$tray_line" "$(probe runvalue | field data)"

finish "service lifecycle"
