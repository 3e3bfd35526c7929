#!/bin/bash
# Renders the application icon src/ui/icons/nimbard.ico from its SVG
# drawings. The build uses the committed .ico; run this only after changing
# a drawing, then commit both.
#
# The icon holds nine images: 256, 48, 32 and 16 pixels in 8-bit colour
# (palettised, transparency by mask) and in 32-bit colour (alpha channel),
# and 64 pixels in 32-bit colour only. The 256-pixel images are stored as
# PNG inside the icon, the others as bitmaps.
#
# Beside the icon it writes nimbard-small.grp, the directory of the small
# icon, which shares the large icon's images (see below).
#
# Needs ImageMagick (convert, its own SVG renderer is enough), icoutils
# (icotool) and python3.
# Usage: tools/render-icons.sh [output.ico] [preview.png]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
src=$root/src/ui/icons
out=${1:-$src/nimbard.ico}
group=${out%.ico}-small.grp
preview=${2:-}

for tool in convert icotool; do
  command -v "$tool" >/dev/null || { echo "render-icons: $tool is missing (apt-get install imagemagick icoutils)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# draw SVG SIZE OUT [crisp]: renders the drawing at 1024 pixels and averages
# it down to SIZE, which anti-aliases the edges. A crisp drawing is pixel art
# on its own grid: its alpha is snapped to fully on or off, because the
# renderer lets each shape bleed a sliver into the next pixel.
draw() {
  local svg=$1 size=$2 png=$3 crisp=${4:-}
  local width
  width=$(sed -n 's/.*<svg[^>]* width="\([0-9]*\)".*/\1/p' "$svg" | head -n1)
  [ -n "$width" ] || { echo "render-icons: no width in $svg" >&2; exit 1; }
  local snap=()
  [ -n "$crisp" ] && snap=(-channel A -threshold 50% +channel)
  convert -background none -density $((96 * 1024 / width)) "$svg" \
    -filter box -resize "${size}x${size}" "${snap[@]}" \
    -strip -depth 8 -define png:compression-level=9 "PNG32:$png"
}

# to8bit IN OUT: the same picture in at most 255 colours plus one fully
# transparent entry; half-transparent edge pixels go fully on or off.
to8bit() {
  convert "$1" -channel A -threshold 50% +channel +dither -colors 255 \
    -strip -define png:compression-level=9 "PNG8:$2"
}

draw "$src/nimbard.svg" 256 "$work/256.png"
draw "$src/nimbard.svg" 64 "$work/64.png"
draw "$src/nimbard.svg" 48 "$work/48.png"
draw "$src/nimbard-32.svg" 32 "$work/32.png"
draw "$src/nimbard-16.svg" 16 "$work/16.png" crisp
for s in 256 48 32 16; do to8bit "$work/$s.png" "$work/$s-8.png"; done

# icotool would store a picture of few colours at 4 bits: name each depth.
icotool -c -o "$work/icon.ico" \
  --raw="$work/256-8.png" -b 8 "$work/48-8.png" -b 8 "$work/32-8.png" -b 8 "$work/16-8.png" \
  --raw="$work/256.png" -b 32 "$work/64.png" -b 32 "$work/48.png" -b 32 "$work/32.png" -b 32 "$work/16.png"

# The icon must hold exactly the nine size/depth pairs, nothing else.
want=$'16 32\n16 8\n256 32\n256 8\n32 32\n32 8\n48 32\n48 8\n64 32'
got=$(icotool -l "$work/icon.ico" |
  sed -n 's/.*--width=\([0-9]*\) .*--bit-depth=\([0-9]*\).*/\1 \2/p' | sort)
if [ "$got" != "$want" ]; then
  printf 'render-icons: unexpected images in the icon:\n%s\n' "$got" >&2
  exit 1
fi
# Two fix-ups in Python (standard library only):
# - icotool writes 32 as the bit count of every PNG image; the 8-bit one must
#   say 8, or Windows, which chooses by the directory, may show the 8-bit
#   picture where the 32-bit one belongs.
# - the small icon's group directory: the same nine images as the large icon,
#   referenced by the numbers the resource compiler gives the large icon's
#   images (1 to 9, as it is the first icon in the script), so the exe carries
#   each picture once.
python3 - "$work/icon.ico" "$group" <<'PY'
import struct, sys
ico_path, group_path = sys.argv[1], sys.argv[2]
data = bytearray(open(ico_path, "rb").read())
reserved, kind, count = struct.unpack_from("<HHH", data, 0)
group = bytearray(struct.pack("<HHH", reserved, kind, count))
for i in range(count):
    at = 6 + 16 * i
    w, h, colours, res, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, at)
    image = data[offset:offset + size]
    if image[:8] == b"\x89PNG\r\n\x1a\n":
        depth, colour_type = image[24], image[25]
        channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
        bits = depth * channels
        struct.pack_into("<H", data, at + 6, bits)
    group += struct.pack("<BBBBHHIH", w, h, colours, res, planes, bits, size, i + 1)
open(ico_path, "wb").write(data)
open(group_path, "wb").write(group)
PY

mv "$work/icon.ico" "$out"
echo "wrote $out ($(stat -c %s "$out") bytes) and $group"

# Optional contact sheet: every image, 8-bit row under 32-bit row, each
# blown up to 128 pixels without smoothing, on a light and a dark ground.
if [ -n "$preview" ]; then
  row() {
    local ground=$1; shift
    local tiles=()
    for f in "$@"; do
      convert "$f" -background "$ground" -flatten -filter point -resize 128x128 "$f.$ground.png"
      tiles+=("$f.$ground.png")
    done
    convert "${tiles[@]}" -bordercolor "$ground" -border 8 +append "$work/row-$ground-$#.png"
  }
  for ground in '#f4f4f4' '#202020'; do
    row "$ground" "$work"/{256,64,48,32,16}.png
    row "$ground" "$work"/{256,48,32,16}-8.png
  done
  convert "$work"/row-*.png -background '#808080' -gravity west -append "$preview"
  echo "wrote $preview"
fi
