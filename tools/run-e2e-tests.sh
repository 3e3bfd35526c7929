#!/bin/bash
# Runs every end-to-end scenario in tests/e2e. Each sets up its own isolated
# network, mocks, display and Wine prefix, and most of a scenario's time is
# waiting (for Wine, for a service, for a deadline), so E2E_JOBS of them
# (default 2, one a core) run side by side; each one's output is printed whole when it
# ends, in the order the scenarios finish. Prints one summary line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${E2E_JOBS:-2}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
passed=0; failed=0; running=0
declare -A names
report() {  # the pid of a scenario that ended
  local pid=$1 status
  wait "$pid"; status=$?
  local name=${names[$pid]}
  echo "=== e2e: $name ($(($(date +%s) - $(cat "$out/$name.start"))) s)"
  cat "$out/$name.log"
  if [ "$status" -eq 0 ]; then passed=$((passed + 1)); echo "--- ok: $name"
  else failed=$((failed + 1)); echo "--- FAILED: $name"; fi
  running=$((running - 1))
}
next_ended() {  # waits for any scenario to end and reports it
  local pid
  while :; do
    for pid in "${!names[@]}"; do
      if ! kill -0 "$pid" 2>/dev/null; then report "$pid"; unset "names[$pid]"; return; fi
    done
    sleep 1
  done
}
# The longest first, so that the rest fill the other slot meanwhile.
longest="service_passes hangs_and_stops"
for t in $(for n in $longest; do echo "$root/tests/e2e/$n.sh"; done) \
         $(ls "$root"/tests/e2e/*.sh | grep -v -E "/($(echo $longest | tr ' ' '|'))\.sh$"); do
  [ -e "$t" ] || continue
  while [ "$running" -ge "$jobs" ]; do next_ended; done
  name=$(basename "$t" .sh)
  date +%s >"$out/$name.start"
  bash "$t" >"$out/$name.log" 2>&1 &
  names[$!]=$name
  running=$((running + 1))
  sleep 2  # the scenarios' own start-up is the busiest part; stagger it
done
while [ "$running" -gt 0 ]; do next_ended; done
echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
