#!/bin/bash
# A winhttp.dll planted beside the download never runs, under Wine and Xvfb
# against the API mocks. WINEDLLOVERRIDES="winhttp=n,b" makes Wine look for
# winhttp.dll as Windows does, the exe's own folder first:
# - first shown with winhttp_import.exe, which imports winhttp statically:
#   without the override Wine takes its own winhttp, with it the planted DLL
#   beside the program runs (its marker file appears);
# - then nimbard.exe from a folder holding the planted DLL, with the
#   override: the standalone tray updates the record and "--install"
#   installs and starts the service, which updates it again, and the marker
#   never appears.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe,
# winhttp_import.exe and planted/winhttp.dll.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe winhttp_import.exe planted/winhttp.dll"
source "$(dirname "$0")/lib/scenario.sh"

plain_overrides=$WINEDLLOVERRIDES
searching_overrides="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winhttp=n,b"
record_is() { [ "$(ctl cf z1 r1 content)" = "$1" ]; }
finished() { ! kill -0 "$1" 2>/dev/null; }
# Waits for a process, answering any "nimbard Demo" box it shows meanwhile;
# its exit code.
ends_answering() {
  local i
  for ((i = 0; i < 60; i++)); do
    finished "$1" && break
    probe msgbox "nimbard Demo" 1 >/dev/null
  done
  wait "$1"
}

echo "== the override makes Wine load a winhttp.dll beside a program that imports it"
importer="$SANDBOX_DIR/importer"
mkdir -p "$importer"
cp "$tools/winhttp_import.exe" "$tools/planted/winhttp.dll" "$importer/"
marker="$importer/planted-winhttp-ran.txt"
WINEDLLOVERRIDES=$plain_overrides timeout 60 wine "$importer/winhttp_import.exe" >/dev/null 2>&1
[ -e "$marker" ] && fail "without the override the planted DLL ran" || ok "without the override Wine takes its own winhttp"
out=$(WINEDLLOVERRIDES=$searching_overrides timeout 60 wine "$importer/winhttp_import.exe" 2>/dev/null | tr -d '\r')
expect_eq "with the override the planted DLL answers" "platform=0" "$out"
grep -q 'winhttp_import.exe' "$marker" 2>/dev/null && ok "with the override the planted DLL ran (marker written)" ||
  fail "with the override the planted DLL did not run"

export WINEDLLOVERRIDES=$searching_overrides
dl="$WINEPREFIX/drive_c/users/Public/Downloads"
place_exe "$dl"
home_record "$dl"
cp "$tools/planted/winhttp.dll" "$dl/"
marker="$dl/planted-winhttp-ran.txt"
no_marker() {  # when
  [ -e "$marker" ] && fail "$1: the planted DLL ran in $(tr '\n' ' ' <"$marker")" || ok "$1: the planted DLL never ran"
}

echo "== the standalone tray beside the planted DLL"
wine "$dl/nimbard.exe" & tray=$!
wait_for 60 record_is 203.0.113.7 && ok "the tray updated the record" || fail "the tray did not update the record"
probe command 105 >/dev/null  # Exit
wait_for 15 finished "$tray" && ok "the tray ended on Exit" || fail "the tray still runs"
no_marker "standalone tray"

echo "== --install beside the planted DLL"
home_record "$dl"  # the record back at its old address
timeout 90 wine "$dl/nimbard.exe" --install & install=$!
ends_answering "$install"
expect_eq "--install exits 1" 1 $?
expect_eq "the service runs" 4 "$(state)"
wait_for 60 record_is 203.0.113.7 && ok "the service updated the record" || fail "the service did not update the record"
no_marker "--install"

finish "planted winhttp"
