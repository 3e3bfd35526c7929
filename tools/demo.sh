#!/bin/bash
# make demo: runs the release build dist/nimbard.exe as a real Windows service
# under Wine, in a private network where Cloudflare, GoDaddy and the public
# address echo service are local stand-ins (tools/mock_api), and shows what
# it did: the records before, the install, the first pass, the log, the
# status file, the records after, the uninstall. The exe runs from
# C:\Program Files\nimbard, where "--install" copies it and the configuration
# beside it, and where the service keeps its log and status file. Exits non-zero, saying why,
# when anything did not happen as it should.
#
# Needs dist/nimbard.exe and a Windows build directory holding trust_ca.exe
# and service_probe.exe (WIN_BUILD, else build/win, else the newest
# build/*-win); `make demo` builds both first.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The scene, shared by both halves of the script.
NEW_IP=203.0.113.7   # the machine's public address, as the echo service says
OLD_IP=198.51.100.4  # what Cloudflare still holds

if [ "${1:-}" != --inside ]; then
  exe=$root/dist/nimbard.exe
  [ -f "$exe" ] || { echo "demo: dist/nimbard.exe is missing (make win builds it)"; exit 1; }
  tools=""
  for d in ${WIN_BUILD:-} "$root/build/win" $(ls -td "$root"/build/*-win 2>/dev/null); do
    if [ -f "$d/trust_ca.exe" ] && [ -f "$d/service_probe.exe" ]; then
      tools=$(realpath "$d"); break
    fi
  done
  [ -n "$tools" ] || { echo "demo: trust_ca.exe and service_probe.exe are not built (make win)"; exit 1; }
  cat <<EOF
nimbard demo
============
nimbard keeps DNS A records pointed at the machine's public IPv4 address.
This runs $(realpath --relative-to="$root" "$exe") ($(stat -c %s "$exe") bytes) as a Windows service under Wine,
in a private network where Cloudflare, GoDaddy and the address echo service
are local stand-ins. Setting up the network and a fresh Wine takes ~20 s.
EOF
  started=$(date +%s)
  # A virtual display: "--install" and "--uninstall" end with a box.
  "$root/tools/sandbox/run-isolated.sh" --xvfb --win-build "$tools" --timeout 240 \
    -- bash "$0" --inside "$exe" "$tools"
  status=$?
  echo
  echo "(the demo took $(($(date +%s) - started)) s)"
  exit "$status"
fi

# ------------------------------------------------------------ inside the sandbox
exe_src=$2
tools=$3

timeout 120 wineboot >/dev/null 2>&1

section() { printf '\n== %s\n' "$1"; }
say() { printf '%s\n' "$*" | fold -s -w 78 | sed 's/ *$//'; }
indent() { tr -d '\r' | sed 's/^/   /'; }
failures=()
check() {  # description, expected, actual
  if [ "$2" = "$3" ]; then
    printf '   ok    %s\n' "$1"
  else
    printf '   FAIL  %s: expected [%s], got [%s]\n' "$1" "$2" "$3"
    failures+=("$1")
  fi
}

ctl() { python3 "$MOCK_CTL" "$@"; }
probe() { timeout 60 wine "$tools/service_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
service_state() {
  case $(probe state | sed -n 's/^state=//p') in
    1) echo stopped ;; 2) echo starting ;; 3) echo stopping ;; 4) echo running ;;
    absent) echo "not installed" ;; *) echo unknown ;;
  esac
}
wait_for_state() {  # wanted, seconds
  local i
  for ((i = 0; i < $2; i++)); do
    [ "$(service_state)" = "$1" ] && return 0
    sleep 1
  done
  return 1
}
nimbard() { timeout 90 wine "$app/nimbard.exe" "$@" >/dev/null 2>&1; }
installed="$WINEPREFIX/drive_c/Program Files/nimbard"

show_records() {
  ctl state | python3 -c '
import json, sys
state = json.load(sys.stdin)
for r in state["cloudflare"]:
    print("   Cloudflare  %-24s %s %-15s ttl %s, %s" % (r["name"], r["type"], r["content"], r["ttl"],
          "proxied" if r["proxied"] else "DNS only"))
for domain, records in sorted(state["godaddy"].items()):
    for r in records:
        name = domain + " (apex @)" if r["name"] == "@" else r["name"] + "." + domain
        print("   GoDaddy     %-24s %s %-15s ttl %s" % (name, r["type"], r["data"], r["ttl"]))
'
}
requests() { ctl count host="$1" method="$2"; }

app=$SANDBOX_DIR/app
mkdir -p "$app"
cp "$exe_src" "$app/nimbard.exe"
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
    },
    {
      "provider": "godaddy",
      "providerLocked": true,
      "apiKey": "gd-test-token",
      "domain": "example.net",
      "record": "@",
      "pollMinutes": 5,
      "ttl": 600,
      "proxied": false
    }
  ]
}
JSON
ctl scene "{\"public_ip\": \"$NEW_IP\",
  \"cloudflare\": [{\"zone_id\": \"z1\", \"zone_name\": \"example.com\", \"id\": \"r1\",
                  \"name\": \"home.example.com\", \"content\": \"$OLD_IP\",
                  \"ttl\": 120, \"proxied\": false}],
  \"godaddy\": {\"example.net\": [{\"type\": \"A\", \"name\": \"@\", \"data\": \"$NEW_IP\", \"ttl\": 600}]}}" \
  >/dev/null || { echo "demo: the API stand-ins did not take the scene"; exit 1; }
ctl clear-log >/dev/null

section "1. The records at the providers, before"
say "The machine's public address is $NEW_IP. Cloudflare still holds an old address; GoDaddy already holds the current one."
show_records

section "2. The configuration: nimbard-demo.json beside the downloaded exe"
say "\"--install\" copies it with the exe into C:\\Program Files\\nimbard; the service reads it at every pass. One Cloudflare and one GoDaddy record (API tokens masked here, as nimbard never shows them):"
sed -E 's/("apiKey": ")[^"]*"/\1********"/' "$app/nimbard-demo.json" | indent

section "3. Install: nimbard.exe --install"
say "Copies nimbard.exe and its configuration into C:\\Program Files\\nimbard, registers that copy as the Windows service \"nimbard-demo\" with automatic start, starts it, and adds the monitor tray to every user's logon (HKLM's Run key). The monitor starts now only with the signed-in user's own token, which Wine never has, so its last box says so:"
installed_at=$(date +%s)
# Under Wine no shell token is there for the monitor, so "--install" says in
# its last box where the icon comes from; the box is read and answered.
nimbard --install & installer=$!
probe msgbox "nimbard Demo" 60 | sed -n 's/^text=//p' | fold -s -w 75 | sed 's/^/   /'
wait "$installer"
install_code=$?
echo "   exit code $install_code (1 means installed and started)"
wait_for_state running 20
echo "   service: $(service_state)"
echo "   service command line: $(probe config | sed -n 's/^path=//p')"
echo "   installed folder: $(cd "$installed" 2>/dev/null && ls | tr '\n' ' ')"

section "4. The first pass"
say "The service checks every record as soon as it starts; waiting for the status file to hold both records' lines (at most 60 s)."
status_lines() { tr -d '\r' <"$installed/nimbard.status" 2>/dev/null | grep -c . || true; }
for ((i = 0; i < 60; i++)); do [ "$(status_lines)" -ge 2 ] && break; sleep 1; done
if [ "$(status_lines)" -ge 2 ]; then
  echo "   both lines there $(($(date +%s) - installed_at)) s after the install began"
else
  echo "   the status file still lacks a line after 60 s"
fi

section "5. The log: nimbard.log in the installed folder"
say "Every step, time-stamped:"
if [ -f "$installed/nimbard.log" ]; then indent <"$installed/nimbard.log"; else echo "   (no log file)"; fi

section "6. The status file: nimbard.status in the installed folder"
say "One line per record, which the tray shows in its menu and tooltip:"
if [ -f "$installed/nimbard.status" ]; then indent <"$installed/nimbard.status"; echo; else echo "   (no status file)"; fi

section "7. The records at the providers, after"
say "Cloudflare should now hold $NEW_IP after one update that sent the address alone (its TTL and proxy status stay as they were); GoDaddy, already current, should have been left alone."
show_records
echo "   requests seen: Cloudflare $(requests api.cloudflare.com GET) GET, $(requests api.cloudflare.com PATCH) PATCH;" \
  "GoDaddy $(requests api.godaddy.com GET) GET, $(requests api.godaddy.com PUT) PUT;" \
  "echo service $(requests api.ipify.org GET) GET"

section "8. Uninstall: nimbard.exe --uninstall"
say "Stops the service, deletes it, removes the logon entry, closes any monitor tray and deletes the installed exe; the configuration, log and status file stay, as its box says:"
nimbard --uninstall & uninstaller=$!
probe msgbox "nimbard Demo" 30 | sed -n 's/^text=//p' | fold -s -w 75 | sed 's/^/   /'
wait "$uninstaller"
uninstall_code=$?
echo "   exit code $uninstall_code (1 means the service was deleted)"
wait_for_state "not installed" 30
echo "   service: $(service_state)"

section "Checks"
check "--install exit code" 1 "$install_code"
check "Cloudflare record now holds the public address" "$NEW_IP" "$(ctl cf z1 r1 content)"
check "Cloudflare updates sent" 1 "$(requests api.cloudflare.com PATCH)"
check "Cloudflare record kept its TTL and proxy status" "120 False" "$(ctl cf z1 r1 ttl) $(ctl cf z1 r1 proxied)"
check "GoDaddy record still holds the public address" "$NEW_IP" \
  "$(ctl gd example.net | python3 -c 'import json,sys; print(" ".join(r["data"] for r in json.load(sys.stdin) if r["type"] == "A" and r["name"] == "@"))')"
check "GoDaddy updates sent" 0 "$(requests api.godaddy.com PUT)"
expected_status="Record: example.com/home = $NEW_IP (changed; updated)
Record: example.net/@ = $NEW_IP (unchanged)"
check "status file" "$expected_status" "$(tr -d '\r' <"$installed/nimbard.status" 2>/dev/null)"
check "log names the change" 1 "$(grep -c "Public IP changed to $NEW_IP\." "$installed/nimbard.log" 2>/dev/null)"
check "no API token in the log or the status file" 0 \
  "$(cat "$installed/nimbard.log" "$installed/nimbard.status" 2>/dev/null | grep -c -e cf-test-token -e gd-test-token)"
check "--uninstall exit code" 1 "$uninstall_code"
check "service after uninstall" "not installed" "$(service_state)"
check "logon entry after uninstall" "" "$(probe runvalue | sed -n 's/^data=//p')"
check "installed folder after uninstall" "nimbard-demo.json nimbard.log nimbard.status" "$(cd "$installed" && ls | tr '\n' ' ' | sed 's/ $//')"

echo
if [ "${#failures[@]}" -eq 0 ]; then
  say "PASS: the service, run from C:\\Program Files\\nimbard, found the stale Cloudflare record and updated it, left the current GoDaddy record alone, logged every step, and was installed and removed cleanly."
  exit 0
fi
say "DEMO FAILED: ${#failures[@]} check(s) did not hold (see FAIL lines above)."
exit 1
