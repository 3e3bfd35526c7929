# Sourced by the scenarios that run nimbard_net_tests.exe in the sandbox:
# sets root, win_build (absolute) and exports NET_TESTS_EXE.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
win_build=${NIMBARD_WIN_BUILD:-$root/build/win}
case $win_build in /*) ;; *) win_build=$root/$win_build ;; esac
NET_TESTS_EXE="$win_build/nimbard_net_tests.exe"
[ -f "$NET_TESTS_EXE" ] || { echo "missing $NET_TESTS_EXE (build the Windows tests first)" >&2; exit 1; }
export NET_TESTS_EXE
