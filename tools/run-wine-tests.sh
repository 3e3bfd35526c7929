#!/bin/bash
# Runs the Windows unit tests under Wine in a throwaway prefix, on a virtual
# display (some tests open message boxes and windows).
set -euo pipefail
build_dir=${1:-build/win}
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=$(mktemp -d /tmp/nimbard-wine-tests.XXXXXX)
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT
wineboot -i >/dev/null 2>&1 || true
cd "$root/$build_dir"
xvfb-run -a ctest --output-on-failure
