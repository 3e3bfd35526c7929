#!/bin/bash
# The public address lookup and both providers through Wine's real WinHTTP
# and TLS against the API mock: a lookup, update and lookup again per
# provider, GoDaddy's with a KEY:SECRET pair; then the exact requests the
# mock received and the records it holds afterwards.
set -euo pipefail
source "$(dirname "$0")/lib/net_tests.sh"
export PROVIDERS_MOCK=$root/tests/e2e/providers_mock.py

scene=$(mktemp /tmp/nimbard-providers-scene.XXXXXX.json)
trap 'rm -f "$scene"' EXIT
python3 "$PROVIDERS_MOCK" scene "$scene"

"$root/tools/sandbox/run-isolated.sh" --win-build "$win_build" --timeout 600 \
  --scene "$scene" -- bash -c '
set -euo pipefail
# Into a file, not a pipe: Wine processes started by this run (services.exe and
# the like) inherit the output and would hold a pipe open after the tests end.
wine "$NET_TESTS_EXE" --gtest_filter="ProvidersNet.*" >"$SANDBOX_DIR/gtest.log" 2>&1 || true
cat "$SANDBOX_DIR/gtest.log"
grep -q "\[  PASSED  \]" "$SANDBOX_DIR/gtest.log"
if grep -q "FAILED" "$SANDBOX_DIR/gtest.log"; then exit 1; fi
python3 "$PROVIDERS_MOCK" verify
'
