# Sourced by the scenarios that run the release exe in the sandbox, first
# thing in the script. Outside the sandbox it checks that dist/nimbard.exe
# (or $NIMBARD_EXE) and the Windows helper programs the script names in
# SCENARIO_TOOLS exist in the Windows build dir (WIN_BUILD, else build/win),
# then runs the script again inside the sandbox on a virtual display. Inside,
# it sets exe_src and tools and gives the checks and helpers below.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
if [ "${1:-}" != --inside ]; then
  exe=${NIMBARD_EXE:-$root/dist/nimbard.exe}
  tools=$(realpath "${WIN_BUILD:-$root/build/win}")
  for f in "$exe" ${SCENARIO_TOOLS:-} trust_ca.exe; do
    case $f in /*) ;; *) f=$tools/$f ;; esac
    [ -f "$f" ] || { echo "missing $f: build the Windows exe and its helpers first (make win)"; exit 1; }
  done
  exec "$root/tools/sandbox/run-isolated.sh" --xvfb --win-build "$tools" --timeout 600 \
    -- bash "$0" --inside "$(realpath "$exe")" "$tools"
fi
exe_src=$2
tools=$3
timeout 120 wineboot >/dev/null 2>&1

failures=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() {  # description, expected, actual
  if [ "$2" = "$3" ]; then ok "$1"; else fail "$1: expected [$2], got [$3]"; fi
}
within() {  # description, limit in seconds, measured seconds
  echo "[ measure ] $1: $3 s"
  if awk -v m="$3" -v l="$2" 'BEGIN { exit !(m <= l) }'; then ok "$1 within $2 s"; else fail "$1 took $3 s (limit $2 s)"; fi
}
now() { date +%s.%N; }
restart_wine() {  # as a restart of Windows: the session's processes end, its services and desktop start again
  wineserver -k
  timeout 120 wineboot >/dev/null 2>&1
  "$root/tools/sandbox/hold-desktop.sh"
}
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
wait_for() {  # seconds, command...: until the command succeeds
  local i
  for ((i = 0; i < $1 * 4; i++)); do "${@:2}" && return 0; sleep 0.25; done
  return 1
}
prints() {  # seconds, expected text, command...: until the command prints the text
  local i
  for ((i = 0; i < $1 * 4; i++)); do [ "$("${@:3}")" = "$2" ] && return 0; sleep 0.25; done
  return 1
}
ctl() { python3 "$MOCK_CTL" "$@"; }
place_exe() { mkdir -p "$1" && cp "$exe_src" "$1/nimbard.exe"; }  # the release exe into a new folder
# The record most scenarios keep up to date: the Cloudflare record
# example.com/home, at 198.51.100.4 while the public address is 203.0.113.7;
# its configuration written into the folder $1.
home_record() {
  cat >"$1/nimbard-demo.json" <<'JSON'
{"records": [{"provider": "cloudflare", "providerLocked": true, "apiKey": "cf-test-token", "domain": "example.com",
  "record": "home", "zoneId": "z1", "recordId": "r1", "pollMinutes": 5, "ttl": 300, "proxied": false}]}
JSON
  ctl scene '{"public_ip": "203.0.113.7", "cloudflare": [{"zone_id": "z1", "zone_name": "example.com",
  "id": "r1", "name": "home.example.com", "content": "198.51.100.4"}]}' >/dev/null
}
# "--install" of the exe in the folder $1, its last box answered: under Wine
# the shell's token is never there, so no monitor starts and a box says where
# it comes from. Prints the box's text; returns the exit code.
install_answered() {
  timeout 90 wine "$1/nimbard.exe" --install & local pid=$!
  probe msgbox "nimbard Demo" 60 | field text
  wait "$pid"
}
installed_box="nimbard is installed and its service is running. Its icon in the notification area appears at your next logon; to see it now, start nimbard."
probe() { timeout 60 wine "$tools/service_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
field() { sed -n "s/^$1=//p"; }  # one value of the probe's key=value output
state() {  # the service's state; what the probe said instead, on stderr, when it gives none
  local said value
  said=$(probe state)
  value=$(field state <<<"$said")
  [ -n "$value" ] || echo "  probe state: ${said:-no output}" >&2
  echo "$value"
}
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null; }
# The processes of this scenario's Wine prefix whose command line starts with
# $1 (a Windows or Unix path). Scenarios run side by side, each in its own
# prefix, and the installed exe has the same Windows path in every one.
pids_of() {
  local pid
  for pid in $(ps -eo pid=,args= |
    WANT=$1 awk '{pid = $1; sub(/^ *[0-9]+ /, ""); if (index($0, ENVIRON["WANT"]) == 1) print pid}'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}
# Processes that Wine started from a Windows process end up as orphans whose
# end nobody in the sandbox collects: a zombie counts as ended.
alive() { [ -n "$1" ] && grep -qs '^State:[^Z]*$' "/proc/$1/status"; }
finish() {  # the scenario's name
  echo "$1: $failures failure(s)"
  [ "$failures" -eq 0 ]
}
