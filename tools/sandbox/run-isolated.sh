#!/bin/bash
# Runs a command in a private network and mount namespace with the local API
# mock standing in for the real services, and a throwaway Wine prefix that
# trusts only the mock's test CA. See tools/sandbox/README.md.
#
#   run-isolated.sh [options] -- COMMAND [ARG...]
#
# Options:
#   --win-build DIR   Windows build dir holding trust_ca.exe (default: build/win,
#                     else the newest build/*-win that has it)
#   --no-wine         no Wine prefix (mock and network only)
#   --xvfb            a virtual display for the Wine session and COMMAND (for
#                     tests that open windows); Wine draws the window frames
#                     itself, as no window manager runs
#   --timeout SECS    limit for COMMAND (default 900)
#   --scene FILE      JSON scene loaded into the mock before COMMAND starts
#   --keep            keep the scratch directory (prefix, certificates, mock log)
#   --no-global-ipv6  interface v0 without its global IPv6 address (also
#                     SANDBOX_NO_GLOBAL_IPV6=1)
#
# COMMAND sees: WINEPREFIX, TMPDIR (inside the scratch dir), MOCK_CONTROL (control URL), MOCK_DIR (ca.pem,
# ca.der, ...), MOCK_CTL (path of ctl.py), SANDBOX_DIR (scratch dir, removed
# afterwards), SANDBOX_HOSTS (the file behind /etc/hosts, which `ctl.py route`
# rewrites), SANDBOX_IPV6_GLOBAL (v0's global address, empty without one), WINEDEBUG. The exit status is COMMAND's (124 on timeout), or 125
# when the sandbox itself could not be set up.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
self="$root/tools/sandbox/run-isolated.sh"
CONTROL_PORT=8080
# A host name that resolves but where nothing listens: the "unreachable" case.
CLOSED_HOST=closed-port.test
CLOSED_ADDR=127.0.0.2

die() { echo "run-isolated: $*" >&2; exit 125; }

win_build="" use_wine=1 use_xvfb=0 timeout_s=900 scene="" keep=0 inside=0
no_global_ipv6=0
[ "${SANDBOX_NO_GLOBAL_IPV6:-0}" = 1 ] && no_global_ipv6=1
while [ $# -gt 0 ]; do
  case "$1" in
    --win-build) win_build=$2; shift 2 ;;
    --no-wine) use_wine=0; shift ;;
    --xvfb) use_xvfb=1; shift ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --scene) scene=$(realpath "$2"); shift 2 ;;
    --keep) keep=1; shift ;;
    --no-global-ipv6) no_global_ipv6=1; shift ;;
    --inside) inside=1; shift ;;
    --) shift; break ;;
    *) die "unknown option $1 (usage: run-isolated.sh [options] -- COMMAND...)" ;;
  esac
done
[ $# -gt 0 ] || die "no command given (usage: run-isolated.sh [options] -- COMMAND...)"

find_trust_ca() {
  local d dirs
  if [ -n "$win_build" ]; then dirs=("$win_build")
  else dirs=("$root/build/win" $(ls -td "$root"/build/*-win 2>/dev/null)); fi
  for d in "${dirs[@]}"; do
    [ -f "$d/trust_ca.exe" ] && { realpath "$d/trust_ca.exe"; return 0; }
  done
  return 1
}

# ------------------------------------------------------------ outside: enter
if [ "$inside" -eq 0 ]; then
  command -v unshare >/dev/null || die "unshare not found (install util-linux)"
  command -v python3 >/dev/null || die "python3 not found"
  command -v openssl >/dev/null || die "openssl not found"
  command -v ip >/dev/null || die "ip not found (install iproute2)"
  opts=()
  if [ "$use_wine" -eq 1 ]; then
    command -v wine >/dev/null || die "wine not found"
    trust=$(find_trust_ca) || die "trust_ca.exe not found: build the Windows tools (cmake --build build/win --target trust_ca) or pass --win-build DIR"
    opts+=(--win-build "$(dirname "$trust")")
  else
    opts+=(--no-wine)
  fi
  [ "$use_xvfb" -eq 1 ] && opts+=(--xvfb)
  [ "$keep" -eq 1 ] && opts+=(--keep)
  [ "$no_global_ipv6" -eq 1 ] && opts+=(--no-global-ipv6)
  [ -n "$scene" ] && opts+=(--scene "$scene")
  userns=()
  [ "$(id -u)" -eq 0 ] || userns=(--map-root-user)
  unshare "${userns[@]}" -mn true 2>/dev/null ||
    die "cannot create network and mount namespaces (unshare -mn failed: need root or unprivileged user namespaces)"
  exec unshare "${userns[@]}" -mn -- "$self" --inside "${opts[@]}" --timeout "$timeout_s" -- "$@"
fi

# ------------------------------------------------------------ inside
work=$(mktemp -d /tmp/nimbard-sandbox.XXXXXX) || die "mktemp failed"
mock_pid="" xvfb_pid=""
# The processes whose environment names this run's prefix: the server, and
# any Wine program or helper the command left running.
prefix_pids() {
  local pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    case " $$ $BASHPID $xvfb_pid $mock_pid " in *" $pid "*) continue ;; esac
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}
cleanup() {
  if [ "$use_wine" -eq 1 ] && [ -n "${WINEPREFIX:-}" ]; then
    timeout 20 wineserver -k 2>/dev/null
    timeout 20 wineserver -w 2>/dev/null
    # Whatever is left (a program started after the server went, which then
    # started a server of its own) must not outlive the prefix it serves.
    local left
    left=$(prefix_pids)
    [ -n "$left" ] && kill -9 $left 2>/dev/null
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  if [ -n "$mock_pid" ]; then
    kill "$mock_pid" 2>/dev/null
    wait "$mock_pid" 2>/dev/null
  fi
  if [ "$keep" -eq 1 ]; then echo "run-isolated: kept $work" >&2; else rm -rf "$work"; fi
}
cmd_pid=""
trap cleanup EXIT
trap '[ -n "$cmd_pid" ] && kill -TERM "$cmd_pid" 2>/dev/null; exit 130' INT TERM

mount --make-rprivate / || die "cannot make mounts private"
ip link set lo up || die "cannot bring lo up"

# IPv6 as a PC on a home network holds it: on v0 (one end of a veth pair; a
# dummy link cannot be made here) a global address from the documentation
# range, a unique-local one and a link-local one, without duplicate address
# detection so that each is preferred at once. No route leaves the namespace.
IPV6_GLOBAL=2001:db8:5:6::10
ip link add v0 type veth peer name v1 || die "cannot make the veth pair v0/v1"
for link in v0 v1; do
  # No addresses of the kernel's own making beside the three below.
  echo 1 >"/proc/sys/net/ipv6/conf/$link/addr_gen_mode" 2>/dev/null || true
  ip link set "$link" up || die "cannot bring $link up"
done
if [ "$no_global_ipv6" -eq 1 ]; then IPV6_GLOBAL=""; else
  ip -6 addr add "$IPV6_GLOBAL/64" dev v0 nodad || die "cannot add $IPV6_GLOBAL to v0"
fi
ip -6 addr add fd00:5:6::10/64 dev v0 nodad || die "cannot add the unique-local address to v0"
ip -6 addr add fe80::5:6:10/64 dev v0 nodad || die "cannot add the link-local address to v0"
export SANDBOX_IPV6_GLOBAL="$IPV6_GLOBAL"

# Name resolution: only the services, a redirect target and one closed port
# exist. `ctl.py route` rewrites this file in place to move a name between
# 127.0.0.1 and the closed address.
cat >"$work/hosts" <<EOF
127.0.0.1 localhost
127.0.0.1 api.cloudflare.com
127.0.0.1 api.godaddy.com
127.0.0.1 api.ipify.org
127.0.0.1 checkip.amazonaws.com
127.0.0.1 redirect-target.test
$CLOSED_ADDR $CLOSED_HOST
EOF
: >"$work/resolv.conf"
mount --bind "$work/hosts" /etc/hosts || die "cannot bind-mount /etc/hosts"
mount --bind "$work/resolv.conf" /etc/resolv.conf 2>/dev/null || true

# Hide the host's CA bundles so that the prefix trusts only the test CA.
mkdir -p "$work/empty"
for d in /etc/ssl/certs /etc/pki /usr/share/ca-certificates /usr/local/share/certs; do
  [ -d "$d" ] && { mount --bind "$work/empty" "$d" || die "cannot hide $d"; }
done
[ -f /etc/ssl/cert.pem ] && mount --bind /dev/null /etc/ssl/cert.pem

export MOCK_DIR="$work/mock"
export MOCK_CONTROL="http://127.0.0.1:$CONTROL_PORT"
export MOCK_CTL="$root/tools/mock_api/ctl.py"
export SANDBOX_DIR="$work"
export SANDBOX_HOSTS="$work/hosts"
mkdir -p "$MOCK_DIR"
python3 "$root/tools/mock_api/mock_api.py" --dir "$MOCK_DIR" --port 443 \
  --control-port "$CONTROL_PORT" ${scene:+--scene "$scene"} \
  >"$work/mock.log" 2>&1 &
mock_pid=$!

if [ "$use_wine" -eq 1 ]; then
  export WINEPREFIX="$work/prefix"
  # Each wineserver keeps its socket in a folder of its own under TMPDIR
  # (Debian's Wine: wine-XXXXXX, named in the prefix's "wineserver" file) or
  # under /tmp/.wine-UID, named after the prefix's device and inode (Wine's
  # own builds). Both are private to this run, so no program here can reach
  # another run's server, nor a server whose prefix is gone, even when a new
  # prefix gets a deleted one's inode number.
  export TMPDIR="$work/tmp"
  mkdir -p "$TMPDIR" "/tmp/.wine-$(id -u)"
  mount -t tmpfs -o mode=0700 tmpfs "/tmp/.wine-$(id -u)" || die "cannot mount a private /tmp/.wine-$(id -u)"
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
  # The server starts here, inside the namespace: Wine's sockets are made by
  # the wineserver, so it must live in the private network.
  mkdir -p "$WINEPREFIX"
  wineserver -p || die "cannot start wineserver"
  # Wine's own errors are kept for this step (its log is shown only when it
  # fails): a prefix that cannot be made then says why, which WINEDEBUG=-all
  # would hide (a boot event that timed out, a DLL that would not load).
  WINEDEBUG=err+all,fixme-all timeout 180 wineboot -i >"$work/wineboot.log" 2>&1 || {
    cat "$work/wineboot.log" >&2; die "wineboot failed"; }
fi

timeout 20 python3 "$MOCK_CTL" wait || { cat "$work/mock.log" >&2; die "mock did not start"; }

# The display comes before the Wine session: the session's desktop process
# (which also hosts the notification area) takes the display it starts with,
# and every window of the session lives on it.
# Xvfb picks a free display itself and says which when it is ready, so that
# runners started side by side never take the same one.
if [ "$use_xvfb" -eq 1 ]; then
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for ((i = 0; i < 100; i++)); do [ -s "$work/display" ] && break; sleep 0.1; done
  display=$(tr -dc 0-9 <"$work/display")
  [ -n "$display" ] || die "Xvfb did not start"
  export DISPLAY=":$display"
fi

if [ "$use_wine" -eq 1 ]; then
  trust=$(find_trust_ca) || die "trust_ca.exe not found"
  timeout 60 wine "$trust" "$(winepath -w "$MOCK_DIR/ca.der" 2>/dev/null)" ||
    die "could not add the test CA to the prefix"
  # Windows gives a service 30 s to connect to the Service Control Manager
  # after its process starts; Wine's own default is 10 s, which a busy machine
  # can miss while a Wine process starts. The restarted session reads this.
  timeout 60 wine reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout \
    /t REG_DWORD /d 30000 /f </dev/null >/dev/null 2>&1 || die "could not set the services' start timeout"
  # A persistent wineserver that saw the prefix created keeps two services.exe,
  # each with its own service list, and service calls land on either at random.
  # One clean restart of the session leaves one.
  timeout 20 wineserver -k 2>/dev/null
  timeout 20 wineserver -w 2>/dev/null
  wineserver -p || die "cannot restart wineserver"
  # Unmanaged windows: with no window manager, hiding a managed window (any
  # dialog that ends) waits two seconds for one.
  [ "$use_xvfb" -eq 1 ] && timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' \
    /v Managed /d N /f </dev/null >/dev/null 2>&1
  # Start the session's background processes (services.exe and friends) here,
  # with their output going nowhere: started by COMMAND's first wine call they
  # would inherit its stdout and hold any pipe on it open until the end.
  timeout 120 wineboot </dev/null >/dev/null 2>&1 || die "cannot start the Wine session"
  # The session's desktop, up before COMMAND and until its end (hold-desktop.sh).
  if [ "$use_xvfb" -eq 1 ]; then
    export SANDBOX_DESKTOP_HOLDER="$(dirname "$trust")/service_probe.exe"
    "$root/tools/sandbox/hold-desktop.sh" || die "the session's desktop did not start"
  fi
fi

cmd=("$@")
# In the background so that a signal to the runner is handled at once (bash
# runs traps only between foreground commands) and still cleans up.
timeout --kill-after=10 "$timeout_s" "${cmd[@]}" <&0 &
cmd_pid=$!
wait "$cmd_pid"
rc=$?
cmd_pid=""
[ "$rc" -eq 124 ] && echo "run-isolated: command timed out after ${timeout_s}s" >&2
exit "$rc"
