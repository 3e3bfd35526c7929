#!/bin/bash
# Runs every end-to-end scenario in tests/e2e (each script sets up its own
# isolated network, mocks and Wine prefix). Prints one summary line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
passed=0; failed=0
for t in "$root"/tests/e2e/*.sh; do
  [ -e "$t" ] || continue
  name=$(basename "$t" .sh)
  echo "=== e2e: $name"
  if bash "$t"; then passed=$((passed+1)); echo "--- ok: $name"
  else failed=$((failed+1)); echo "--- FAILED: $name"; fi
done
echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
