#!/bin/bash
# "--install" puts nimbard where only administrators may change it, under Wine
# and Xvfb against the API mocks:
# - installed from "C:\nimbard test\download", the exe and its configuration
#   are copied into "C:\Program Files\nimbard", the service and the logon entry
#   run that copy, and the service writes its log and status there and nothing
#   into the download folder; no monitor starts (Wine never gives the shell's
#   token, and the installer's own is never used) and the last box says so;
# - the monitor's "Manage DNS Records" runs the installed exe's "--configure",
#   which saves into the installed folder; "Open Configuration" opens Notepad;
# - an upgrade with a different exe while the monitor runs and a "--configure"
#   still runs from the old exe: the monitor closes, the service runs the new
#   bytes, the old exe is renamed aside (deleted at the next start);
# - an upgrade whose new exe the permission rule refuses after the service
#   stopped (a Wine session with umask 000 makes every new file one that
#   Everyone may write): the old exe is back and runs again as the service;
# - "--uninstall" (run from the installed exe itself) removes the service, the
#   logon entry and the exe and keeps the configuration, log and status, and
#   says where; a deletion of the exe scheduled for the next start of Windows
#   is cancelled by the next install, which a restart of Wine then shows;
# - the installed configuration is written with an access list for SYSTEM and
#   Administrators only (read back as Wine reports it: no group of every user
#   may read it), the log and status stay readable;
# - a plain start beside the running service opens the monitor when none
#   runs, a second plain start shows the already-running box;
# - a folder that Everyone may change (Unix o+w) is refused, with a box, and
#   nothing is registered.
# Prints the paths and the permissions as Wine reports them, and the time an
# upgrade takes.
#
# Needs dist/nimbard.exe and the Windows build dir's service_probe.exe.
set -uo pipefail
SCENARIO_TOOLS="service_probe.exe"
source "$(dirname "$0")/lib/scenario.sh"

src="$WINEPREFIX/drive_c/nimbard test/download"
pf="$WINEPREFIX/drive_c/Program Files/nimbard"
win_pf='C:\Program Files\nimbard\'
win_installed="${win_pf}nimbard.exe"
place_exe "$src"
home_record "$src"
monitor_pids() { pids_of "$win_installed --tray"; }
logon_monitor() { wine "$win_installed" --tray & }  # as the logon entry starts it
no_monitor() { [ -z "$(monitor_pids)" ]; }
record_is() { [ "$(ctl cf z1 r1 content)" = "$1" ]; }
service_pid() { pids_of "$win_installed --service" | head -1; }
listing() { (cd "$1" && ls -A | sort | tr '\n' ' '); }
show_permissions() {  # what Wine reports for the installed folder and its files
  local name
  for name in "" nimbard.exe nimbard-demo.json nimbard.log nimbard.status; do
    echo "[ measure ] ${win_pf}$name: $(probe sddl "${win_pf}$name" | tr '\n' ' ')(unix $(stat -c %A "$pf/$name"))"
  done
}
# The list the code sets on the installed configuration, from the source:
# Wine keeps no list a program sets, it narrows the file's Unix mode instead.
code_sddl=$(sed -n 's/.*kAdministratorsOnlySddl\[\] = L"\(.*\)";/\1/p' "$root/src/win32/file_security.h")
everyone_reads() { probe sddl "${win_pf}$1" | grep -q ';;;WD)'; }
check_private_config() {  # when
  echo "[ measure ] nimbard-demo.json $1: the code sets $code_sddl; Wine reports $(probe sddl "${win_pf}nimbard-demo.json")"
  everyone_reads nimbard-demo.json && fail "$1: Everyone may read the installed configuration" ||
    ok "$1: only SYSTEM and the administrator may read the installed configuration"
}

echo "== install from C:\\nimbard test\\download"
t=$(now)
box=$(install_answered "$src")
expect_eq "--install exits 1" 1 $?
echo "[ measure ] install to its last box: $(since "$t") s"
expect_eq "the last box says where the monitor comes from" "$installed_box" "$box"
expect_eq "no monitor started by the installer" "" "$(monitor_pids)"
expect_eq "the service runs the installed copy" "\"$win_installed\" --service" "$(probe config | field path)"
expect_eq "the logon entry (HKLM) starts the installed copy" "\"$win_installed\" --tray" "$(probe runvalue | field data)"
expect_eq "no logon entry in HKCU" absent "$(probe runvalue hkcu | field runvalue)"
cmp -s "$src/nimbard.exe" "$pf/nimbard.exe" && ok "the exe was copied" || fail "no copy of the exe in $pf"
cmp -s "$src/nimbard-demo.json" "$pf/nimbard-demo.json" && ok "the configuration was copied" || fail "no copy of the configuration"
logon_monitor
expect_eq "the logon entry's monitor shows its icon" present "$(probe icon 20 | field icon)"
wait_for 60 record_is 203.0.113.7 && ok "the service updated the record" || fail "no update"
wait_for 10 test -s "$pf/nimbard.status" && ok "status written in the installed folder" || fail "no status in $pf"
[ -s "$pf/nimbard.log" ] && ok "log written in the installed folder" || fail "no log in $pf"
expect_eq "nothing written into the download folder" "nimbard-demo.json nimbard.exe " "$(listing "$src")"
show_permissions
check_private_config "after --install"
everyone_reads nimbard.log && everyone_reads nimbard.status && ok "the log and status stay readable by everyone" ||
  fail "log or status not readable"

echo "== the monitor's configuration commands"
probe command 32781 >/dev/null  # Manage DNS Records
dialog=$(probe dialog "nimbard Configuration" 30 1003=7 '!1')
grep -qx 'control=1001:example.com' <<<"$dialog" && ok "the dialog shows the installed configuration" ||
  fail "the dialog shows: $(grep '^control=100' <<<"$dialog" | tr '\n' ' ')"
wait_for 10 grep -q '"pollMinutes": 7' "$pf/nimbard-demo.json" && ok "--configure saved into the installed folder" ||
  fail "installed configuration: $(cat "$pf/nimbard-demo.json")"
grep -q '"pollMinutes": 5' "$src/nimbard-demo.json" && ok "the download folder's file is untouched" || fail "the download folder's file changed"
check_private_config "after --configure"
probe command 32773 >/dev/null  # Open Configuration
notepad_pid() { ps -eo pid=,args= | awk '/notepad/ && /nimbard-demo.json/ {print $1; exit}'; }
wait_for 20 eval '[ -n "$(notepad_pid)" ]' && ok "Open Configuration started Notepad on the installed file" || fail "no Notepad"
[ -n "$(notepad_pid)" ] && kill "$(notepad_pid)"

echo "== upgrade while the monitor runs and --configure holds the old exe"
new="$SANDBOX_DIR/new"
place_exe "$new"
printf 'another build' >>"$new/nimbard.exe"  # bytes after the image: a different exe that runs alike
timeout 120 wine "$pf/nimbard.exe" --configure & configure=$!
probe dialog "nimbard Configuration" 30 >/dev/null || fail "no dialog from --configure"
old_monitor=$(monitor_pids)
old_service=$(service_pid)
t=$(now)
box=$(install_answered "$new")
expect_eq "the upgrade exits 1" 1 $?
within "upgrade until its last box" 5 "$(since "$t")"
expect_eq "... which says where the monitor comes from" "$installed_box" "$box"
cmp -s "$new/nimbard.exe" "$pf/nimbard.exe" && ok "the installed exe holds the new bytes" || fail "the installed exe was not replaced"
expect_eq "the old exe, still in use, was renamed aside" 1 "$(ls "$pf" | grep -c '^nimbard\.exe\..*\.old$')"
expect_eq "the service runs" 4 "$(state)"
svc=$(service_pid)
[ -n "$svc" ] && [ "$svc" != "$old_service" ] && ok "a new service process" || fail "service process $svc (was $old_service)"
grep -q "Program Files/nimbard/nimbard.exe$" "/proc/$svc/maps" && ! grep -q "nimbard.exe\..*\.old" "/proc/$svc/maps" &&
  ok "the service runs the new file" || fail "the service maps: $(grep nimbard "/proc/$svc/maps" | awk '{print $6, $7}' | sort -u)"
alive "$old_monitor" && fail "the old monitor still runs" || ok "the old monitor closed"
expect_eq "no monitor after the upgrade" "" "$(monitor_pids)"
logon_monitor
wait_for 20 eval '[ "$(monitor_pids | wc -l)" = 1 ]' && ok "the logon entry's monitor runs" || fail "$(monitor_pids | wc -l) monitors"
probe dialog "nimbard Configuration" 5 '!2' >/dev/null
wait "$configure"

echo "== a plain start beside the running service"
probe command 105 >/dev/null  # Exit the monitor
wait_for 10 no_monitor || fail "the monitor did not end"
wine "$src/nimbard.exe" & plain=$!
expect_eq "the first plain start shows the monitor's icon" present "$(probe icon 20 | field icon)"
expect_eq "... without a box" none "$(probe msgbox "nimbard Demo" 2 | field msgbox)"
timeout 60 wine "$src/nimbard.exe" & second=$!
expect_eq "a second plain start shows the box" "The nimbard demo is already running. Only one instance is permitted." \
  "$(probe msgbox "nimbard Demo" 30 | field text)"
wait "$second"
expect_eq "... and exits 0" 0 $?

echo "== uninstall, run from the installed exe"
timeout 90 wine "$pf/nimbard.exe" --uninstall & uninstall=$!
box=$(probe msgbox "nimbard Demo" 30 | field text)
wait "$uninstall"
expect_eq "--uninstall exits 1" 1 $?
expect_eq "the box says where the files are" \
  "nimbard was removed. Your configuration, log and status files are kept in $win_pf for a later install; delete that folder to remove them too." "$box"
expect_eq "the service is gone" absent "$(state)"
expect_eq "the logon entry is gone" absent "$(probe runvalue | field runvalue)"
expect_eq "no logon entry in HKCU" absent "$(probe runvalue hkcu | field runvalue)"
wait_for 10 eval '! kill -0 $plain 2>/dev/null' && ok "the monitor closed" || fail "the monitor still runs"
wait "$plain"
expect_eq "the exe is gone; configuration, log and status kept" "nimbard-demo.json nimbard.log nimbard.status " \
  "$(listing "$pf" | sed 's/nimbard\.exe\.[^ ]*\.old //g')"
aside=$(ls "$pf" | grep '^nimbard\.exe\..*\.old$' | tr '\n' ' ')
echo "set aside, to be deleted at the next start of Windows: $aside"
probe pending | grep -qF '\nimbard\nimbard.exe.' && ok "Windows is to delete what was set aside" || fail "nothing scheduled: $(probe pending)"

echo "== a scheduled deletion of the exe does not outlive the next install"
probe pending "$win_installed" >/dev/null  # as when an exe in use could not even be renamed
install_answered "$src" >/dev/null
expect_eq "--install exits 1" 1 $?
probe pending | grep -qxF "pending=\\??\\$win_installed" && fail "the deletion is still scheduled: $(probe pending)" || ok "the deletion was cancelled"
echo "restarting Wine (as a restart of Windows)"
restart_wine
[ -f "$pf/nimbard.exe" ] && ok "the installed exe survived the restart" || fail "the restart deleted the installed exe"
expect_eq "what was set aside is gone" "" "$(ls "$pf" | grep '\.old$')"
wait_for 30 eval '[ "$(state)" = 4 ]' && ok "the service started with Wine" || fail "service state $(state)"

echo "== an upgrade refused after the service stopped"
(umask 000 && restart_wine)  # the Wine session makes every new file writable by Everyone
wait_for 30 eval '[ -n "$(service_pid)" ]' || fail "no service after the restart"
old_service=$(service_pid)
registration=$(probe config)
box=$(install_answered "$new")
expect_eq "the refused upgrade exits 0" 0 $?
expect_eq "the box names the new exe and says the old one is back" \
  "nimbard was not installed, because ${win_installed} may be changed by Everyone (write), not only by administrators: any program could then run its own code with full rights through the service. Let only administrators change it (right-click it, Properties, Security), then install again. The version installed before was put back as it was." "$box"
cmp -s "$src/nimbard.exe" "$pf/nimbard.exe" && ok "the installed exe holds the old bytes again" || fail "the installed exe is not the old one"
expect_eq "the registration is unchanged" "$registration" "$(probe config)"
wait_for 20 eval '[ "$(state)" = 4 ]' && ok "the service runs again" || fail "service state $(state)"
svc=$(service_pid)
[ -n "$svc" ] && [ "$svc" != "$old_service" ] && ok "... in a new process" || fail "service process $svc (was $old_service)"
grep -q "Program Files/nimbard/nimbard.exe$" "/proc/$svc/maps" && ok "... from the old exe, back at its place" ||
  fail "the service maps: $(grep nimbard "/proc/$svc/maps" | awk '{print $6, $7}' | sort -u)"
expect_eq "nothing left of the refused copy" "" "$(ls "$pf" | grep -E '\.(new|previous)$')"
restart_wine

echo "== a folder that Everyone may change"
timeout 90 wine "$pf/nimbard.exe" --uninstall & uninstall=$!
probe msgbox "nimbard Demo" 30 >/dev/null
wait "$uninstall"
chmod o+w "$pf"
echo "[ measure ] with Unix mode $(stat -c %A "$pf"): $(probe sddl "$win_pf")"
timeout 90 wine "$src/nimbard.exe" --install & install=$!
box=$(probe msgbox "nimbard Demo" 30 | field text)
wait "$install"
expect_eq "the refused install exits 0" 0 $?
expect_eq "the box names the folder and the group" \
  "nimbard was not installed, because $win_pf may be changed by Everyone (write), not only by administrators: any program could then run its own code with full rights through the service. Let only administrators change it (right-click it, Properties, Security), then install again." "$box"
expect_eq "no service" absent "$(state)"
expect_eq "no logon entry" absent "$(probe runvalue | field runvalue)"
[ -e "$pf/nimbard.exe" ] && fail "the exe was copied into the refused folder" || ok "nothing copied"
chmod o-w "$pf"

finish "install location"
