#!/bin/bash
# The release build is reproducible: makes the package here (make dist), then
# once more from a copy of the source tree in another folder with a build
# folder of its own, and compares the SHA-256 of nimbard.exe and of the zip.
# Only the exe and the package are built the second time, not the tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
scratch=$(mktemp -d /tmp/nimbard-reproducible.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

make -s -C "$root" dist JOBS="$jobs" >/dev/null

# The files a build of this tree sees: tracked and untracked ones that git
# does not ignore (a deleted tracked file is left out).
mkdir "$scratch/copy"
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
     while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
     tar --null -T - -cf -) | tar -xf - -C "$scratch/copy"
else
  (cd "$root" && tar --exclude=./build --exclude=./dist -cf - .) | tar -xf - -C "$scratch/copy"
fi
start=$SECONDS
make -s -C "$scratch/copy" dist WIN="$scratch/build" JOBS="$jobs" >/dev/null
echo "second build: $((SECONDS - start)) s in $scratch"

zip=$(cd "$scratch/copy/dist" && ls nimbard-*-win64.zip)
failures=0
for f in nimbard.exe "$zip"; do
  first=$(sha256sum < "$root/dist/$f" | cut -d' ' -f1)
  second=$(sha256sum < "$scratch/copy/dist/$f" | cut -d' ' -f1)
  printf '%-26s %8d bytes  %s\n' "$f" "$(stat -c %s "$root/dist/$f")" "$first"
  if [ "$first" != "$second" ]; then
    echo "FAIL $f differs between the two builds (second: $second)"
    cmp -l "$root/dist/$f" "$scratch/copy/dist/$f" | head -5 || true
    failures=$((failures + 1))
  fi
done
# No build folder may leave its name in the exe.
for dir in "$root" "$scratch"; do
  if { strings -a "$root/dist/nimbard.exe" "$scratch/copy/dist/nimbard.exe"
       strings -a -el "$root/dist/nimbard.exe" "$scratch/copy/dist/nimbard.exe"; } | grep -qF "$dir"; then
    echo "FAIL nimbard.exe holds the path $dir"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "reproducible: both builds give the same nimbard.exe and $zip"
[ "$failures" -eq 0 ]
