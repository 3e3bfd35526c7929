#!/bin/bash
# Runs every libFuzzer executable found in BUILD_DIR for SECONDS each, with a
# corpus kept under BUILD_DIR/fuzz-corpus/NAME. Fails on the first crash,
# leak, timeout or broken invariant (libFuzzer exits non-zero for each).
# Seed inputs come from tests/fuzz/seeds/NAME when that folder exists.
set -euo pipefail
build_dir=${1:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
seconds=${2:-60}
found=0
for exe in "$build_dir"/fuzz_*; do
  [[ -f $exe && -x $exe ]] || continue
  found=1
  name=$(basename "$exe")
  mkdir -p "$build_dir/fuzz-corpus/$name"
  seeds="$(dirname "$0")/../tests/fuzz/seeds/$name"
  [[ -d $seeds ]] && cp -n "$seeds"/* "$build_dir/fuzz-corpus/$name/" 2>/dev/null || true
  log="$build_dir/$name.log"
  echo "== $name for ${seconds}s"
  if ! (cd "$build_dir" && "./$name" -max_total_time="$seconds" -max_len=1000000 \
          -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 "fuzz-corpus/$name") >"$log" 2>&1
  then
    tail -n 40 "$log"
    echo "FAILED: $name; log and reproducer in $build_dir" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
done
if (( ! found )); then
  echo "no fuzz executables in $build_dir" >&2
  exit 1
fi
echo "all fuzzers ran clean"
