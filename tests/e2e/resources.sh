#!/bin/bash
# The resources of dist/nimbard.exe as Windows itself loads them (strings,
# class menu, accelerators, the three icons with all their images, the About
# box's version, manifest, version information), checked by
# tools/win/resource_check.cpp under Wine.
# Then the checker's own worth: resource-only DLLs built from deliberately
# broken copies of the resource script must each fail the named check, and
# an unbroken copy must pass.
#
# Needs the Windows build (make win). NIMBARD_WIN_BUILD names its directory
# when it is not build/win.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
win=${NIMBARD_WIN_BUILD:-$root/build/win}
case $win in /*) ;; *) win=$root/$win ;; esac
exe=$root/dist/nimbard.exe
checker=$win/resource_check.exe
for f in "$exe" "$checker"; do
  [ -f "$f" ] || { echo "resources: $f is missing; build it first (make win)"; exit 1; }
done

export WINEDEBUG=-all
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/nimbard-resources-wine.XXXXXX)
work=$(mktemp -d /tmp/nimbard-resources.XXXXXX)
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT
# One persistent wineserver, started before the prefix boots so that the
# background processes of the boot stay up: each checker run then starts in
# about a second.
wineserver -p
wineboot -i >/dev/null 2>&1 || true

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# Wine maps drive Z: to /, so a Unix path becomes a Windows one by prefix.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# The report goes through a file, not a pipe: a Wine background process that
# inherited the pipe would keep it open and the reader waiting.
check() {
  local status=0
  timeout 300 wine "$checker" "$@" > "$work/check.out" 2>&1 || status=$?
  tr -d '\r' < "$work/check.out"
  return "$status"
}

# ---------------------------------------------------------------- the exe
echo "-- dist/nimbard.exe"
if out=$(check "$(winpath "$exe")"); then
  echo "$out" | tail -n 1
else
  echo "$out" | grep -v '^ok' || true
  fail "dist/nimbard.exe lacks resources"
fi

# Each icon picture is stored once: the small icon only names the large
# icon's images. A second copy of them (44 KB) would pass this bound.
rsrc=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '$2 == ".rsrc" { print $3 }')
[ -n "$rsrc" ] && rsrc=$((16#$rsrc))
echo "exe $(stat -c %s "$exe") bytes, resources ${rsrc:-?} bytes"
if [ -z "$rsrc" ] || [ "$rsrc" -ge 114688 ]; then fail "resource section too big (${rsrc:-none} bytes)"; fi

# The manifest must be well-formed XML, or Windows refuses to start the exe.
wrestool -x --raw --type=24 --name=1 "$exe" > "$work/manifest.xml"
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$work/manifest.xml" ||
  fail "manifest is not well-formed XML"

# ------------------------------------------------- broken copies must fail
# ico_edit MODE ICO: damages one icon file in place.
ico_edit() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
mode, path = sys.argv[1], sys.argv[2]
data = bytearray(open(path, "rb").read())
count = struct.unpack_from("<H", data, 4)[0]
entries = [list(struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)) for i in range(count)]
if mode == "png-bits-lie":
    # The 8-bit PNG claims 32 bits, as icotool writes it when left alone.
    for e in entries:
        if e[0] == 0 and e[5] == 8:
            e[5] = 32
elif mode == "drop-64":
    # Rebuild the file without the 64-pixel image.
    keep = [e for e in entries if e[0] != 64]
    out = bytearray(struct.pack("<HHH", 0, 1, len(keep)))
    offset = 6 + 16 * len(keep)
    images = b""
    for e in keep:
        images += data[e[7]:e[7] + e[6]]
        out += struct.pack("<BBBBHHII", *e[:7], offset)
        offset += e[6]
    open(path, "wb").write(out + images)
    sys.exit(0)
elif mode == "blank-16":
    # The 16-pixel 32-bit picture made fully transparent.
    for e in entries:
        if e[0] == 16 and e[5] == 32:
            start = e[7] + 40
            for px in range(16 * 16):
                data[start + px * 4 + 3] = 0
            for m in range(16 * 4):
                data[start + 16 * 16 * 4 + m] = 0xFF
for i, e in enumerate(entries):
    struct.pack_into("<BBBBHHII", data, 6 + 16 * i, *e)
open(path, "wb").write(data)
PY
}

# variant NAME EXPECTED-CHECK EDIT: copies the resource sources, runs EDIT in
# the copy's src/ui and builds a resource-only DLL; once all are built, one
# checker run must report "FAIL EXPECTED" for each (nothing for an empty one).
names=() expectations=() dlls=()
variant() {
  local name=$1 expected=$2 edit=$3
  local dir=$work/$name
  mkdir -p "$dir/src"
  cp -r "$root/src/ui" "$dir/src/ui"
  (cd "$dir/src/ui" && eval "$edit")
  if ! x86_64-w64-mingw32-windres -I "$dir/src" -I "$win/generated" "$dir/src/ui/nimbard.rc" -O coff -o "$dir/res.o" 2>"$dir/build.log" ||
     ! x86_64-w64-mingw32-gcc -shared -nostdlib -Wl,-e,0 -o "$dir/res.dll" "$dir/res.o" 2>>"$dir/build.log"; then
    cat "$dir/build.log"
    fail "$name: the resource copy did not build"
    return
  fi
  names+=("$name") expectations+=("$expected") dlls+=("$(winpath "$dir/res.dll")")
}

echo "-- broken copies of the resource script"
variant unbroken "" ':'
variant title-case "string 103" 'sed -i "s/IDS_APP_TITLE \"nimbard\"/IDS_APP_TITLE \"Nimbard\"/" nimbard.rc'
variant class-name-missing "string 109" 'sed -i "/IDC_NIMBARD \"NIMBARD\"/d" nimbard.rc'
variant accel-virtual-key "accelerators 109" 'sed -i "0,/ASCII, ALT/s//VIRTKEY, ALT/" nimbard.rc'
variant accel-wrong-command "accelerators 109" 'sed -i "s|\"/\", IDM_ABOUT|\"/\", IDM_EXIT|" nimbard.rc'
variant accel-missing "accelerators 109" 'sed -i "/\"?\", IDM_ABOUT/d" nimbard.rc'
variant menu-exit-id "menu 109" 'sed -i "s/\"E&xit\", IDM_EXIT/\"E\&xit\", IDM_ABOUT/" nimbard.rc'
variant menu-about-text "menu 109" 'sed -i "s/&About \.\.\./\&About.../" nimbard.rc'
variant menu-missing "menu 109" 'sed -i "s/^IDC_NIMBARD MENU/200 MENU/" nimbard.rc'
variant small-icon-missing "icon 108" 'sed -i "/^IDI_SMALL/d" nimbard.rc'
variant icon-before-large "icon 108" \
  'python3 -c "import struct,sys; d=open(\"icons/nimbard.ico\",\"rb\").read(); e=struct.unpack_from(\"<BBBBHHII\",d,6+16*8); open(\"icons/one.ico\",\"wb\").write(struct.pack(\"<HHH\",0,1,1)+struct.pack(\"<BBBBHHII\",*e[:7],22)+d[e[7]:e[7]+e[6]])"; sed -i "s|^IDI_NIMBARD ICON|200 ICON \"ui/icons/one.ico\"\n&|" nimbard.rc'
variant png-bits-lie "icon 107 images" 'ico_edit png-bits-lie icons/nimbard.ico'
variant no-64px-image "icon 107 images" 'ico_edit drop-64 icons/nimbard.ico'
variant blank-16px-image "icon 107 16px/32bit" 'ico_edit blank-16 icons/nimbard.ico'
variant warning-icon-missing "icon 111" 'sed -i "/^IDI_TRAY_WARNING/d" nimbard.rc'
variant warning-icon-plain "icon 111 16px/32bit differs" 'sed -i "s|^IDI_TRAY_WARNING ICON .*|IDI_TRAY_WARNING ICON \"ui/icons/nimbard.ico\"|" nimbard.rc'
variant about-version "about box version" 'sed -i "s/\"nimbard, Version \" NIMBARD_VERSION_TEXT/\"nimbard, Version 1.0\"/" nimbard.rc'
variant no-segment-heap "manifest segment heap" 'sed -i "/heapType/d" nimbard.manifest'
variant needs-admin "manifest as invoker" 'sed -i "s/asInvoker/requireAdministrator/" nimbard.manifest'
variant no-manifest "manifest count" 'sed -i "/RT_MANIFEST/d" nimbard.rc'
variant version-number "version numbers" 'sed -i "s/^FILEVERSION .*/FILEVERSION 9, 9, 9, 9/" nimbard.rc'
variant original-filename "version OriginalFilename" 'sed -i "s/\"nimbard.exe\"/\"nimbard-demo.exe\"/" nimbard.rc'
variant description "version FileDescription" 'sed -i "/FileDescription/d" nimbard.rc'

# Split the one run's report into its modules' parts and judge each.
check "${dlls[@]}" > "$work/report.txt" || true
for i in "${!names[@]}"; do
  name=${names[$i]} expected=${expectations[$i]}
  # (through the environment: awk -v would read the backslashes as escapes)
  part=$(want="== ${dlls[$i]}" awk '$0 == ENVIRON["want"] { on = 1; next } /^== / { on = 0 } on' "$work/report.txt")
  if [ -z "$part" ]; then
    fail "$name: no report"
  elif [ -z "$expected" ]; then
    if echo "$part" | grep -q '^FAIL'; then echo "$part" | grep '^FAIL'; fail "$name should pass"
    else echo "ok   $name passes"; fi
  elif echo "$part" | grep -q "^FAIL $expected"; then
    echo "ok   $name caught by: $expected"
  else
    echo "$part" | grep '^FAIL' || true
    fail "$name not caught by \"$expected\""
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "resources: $failures failure(s)"
  exit 1
fi
echo "resources: all checks passed"
