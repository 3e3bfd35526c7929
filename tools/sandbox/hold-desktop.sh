#!/bin/bash
# Starts this Wine session's desktop and keeps it up until the session ends,
# as a signed-in user's shell does: SANDBOX_DESKTOP_HOLDER (service_probe.exe)
# runs "holddesktop" in WINEPREFIX on DISPLAY. run-isolated.sh calls it before
# COMMAND; a scenario that restarts Wine (wineserver -k) calls it again.
#
# Wine ends a desktop with its last program and starts it again with the
# next, and that start can fail: the program that starts the desktop process
# stops waiting for it while it is still coming up, finds no desktop window
# and gets one made without a display driver; the desktop process then finds
# that window and has no driver either, and no window of the session can be
# made (nodrv_CreateWindow) until the desktop ends. Held from the start, a
# start can meet only the holder, which then ends and starts it again.
set -uo pipefail
: "${SANDBOX_DESKTOP_HOLDER:?}" "${WINEPREFIX:?}" "${SANDBOX_DIR:?}"
said="$SANDBOX_DIR/desktop.txt"
explorers() {  # this prefix's desktop processes
  local pid
  for pid in $(pgrep -f 'C:\\windows\\system32\\explorer.exe'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}
for ((attempt = 1; attempt <= 3; attempt++)); do
  : >"$said"
  wine "$SANDBOX_DESKTOP_HOLDER" holddesktop </dev/null >"$said" 2>/dev/null &
  holder=$!
  for ((i = 0; i < 300; i++)); do
    grep -q '^held=1' "$said" && exit 0
    kill -0 "$holder" 2>/dev/null || break
    sleep 0.1
  done
  grep -q '^held=1' "$said" && exit 0
  echo "hold-desktop: the session's desktop came up without its display driver: $(tr '\n' ' ' <"$said")" >&2
  kill "$holder" 2>/dev/null
  wait "$holder" 2>/dev/null
  # The desktop ends with its last program: its process goes first.
  for ((i = 0; i < 50; i++)); do [ -z "$(explorers)" ] && break; sleep 0.1; done
done
exit 1
