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
# The session wineboot started has no display, and a window made while it
# lingers would have none either: let it end first.
wineserver -w
cd "$root/$build_dir"
# Unmanaged windows: with no window manager on the virtual display, hiding a
# managed window (every dialog that ends) waits two seconds for one.
xvfb-run -a bash -c "wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  ctest --output-on-failure"
