#!/bin/bash
# Renders the application icons from their SVG drawings: src/ui/icons/
# nimbard.ico, and nimbard-warning.ico, the same pictures with the warning
# badge (nimbard-warning*.svg) drawn over them, which the tray shows while
# the last check failed. The build uses the committed .ico files; run this
# only after changing a drawing, then commit them.
#
# Each icon holds nine images: 256, 48, 32 and 16 pixels in 8-bit colour
# (palettised, transparency by mask) and in 32-bit colour (alpha channel),
# and 64 pixels in 32-bit colour only. The exe carries both icons and must
# stay small, so the large images are stored as PNG (Windows reads PNG
# images of any size), recompressed with zopflipng: in nimbard.ico the
# 256-pixel images and the 64 and 48 pixel ones in 32 bits, the small ones as
# bitmaps; in nimbard-warning.ico every image.
#
# Beside nimbard.ico it writes nimbard-small.grp, the directory of the small
# icon, which shares the large icon's images (see below).
#
# Needs ImageMagick (convert, its own SVG renderer is enough), icoutils
# (icotool), zopfli (zopflipng) and python3.
# Usage: tools/render-icons.sh [preview.png]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
src=$root/src/ui/icons
preview=${1:-}

for tool in convert icotool zopflipng; do
  command -v "$tool" >/dev/null || { echo "render-icons: $tool is missing (apt-get install imagemagick icoutils zopfli)" >&2; exit 1; }
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

# images NAME [BADGE]: the nine pictures of one icon into $work/NAME-*.png,
# with the badge drawings (BADGE.svg, BADGE-32.svg, BADGE-16.svg) drawn
# over the application's own.
images() {
  local name=$1 badge=${2:-} s
  draw "$src/nimbard.svg" 256 "$work/$name-256.png"
  draw "$src/nimbard.svg" 64 "$work/$name-64.png"
  draw "$src/nimbard.svg" 48 "$work/$name-48.png"
  draw "$src/nimbard-32.svg" 32 "$work/$name-32.png"
  draw "$src/nimbard-16.svg" 16 "$work/$name-16.png" crisp
  if [ -n "$badge" ]; then
    draw "$src/$badge.svg" 256 "$work/badge-256.png"
    draw "$src/$badge.svg" 64 "$work/badge-64.png"
    draw "$src/$badge.svg" 48 "$work/badge-48.png"
    draw "$src/$badge-32.svg" 32 "$work/badge-32.png"
    draw "$src/$badge-16.svg" 16 "$work/badge-16.png" crisp
    for s in 256 64 48 32 16; do
      convert "$work/$name-$s.png" "$work/badge-$s.png" -composite \
        -strip -depth 8 -define png:compression-level=9 "PNG32:$work/$name-$s.png"
    done
  fi
  for s in 256 48 32 16; do to8bit "$work/$name-$s.png" "$work/$name-$s-8.png"; done
}

# check ICO: the icon must hold exactly the nine size/depth pairs, nothing else.
check() {
  local want got
  want=$'16 32\n16 8\n256 32\n256 8\n32 32\n32 8\n48 32\n48 8\n64 32'
  got=$(icotool -l "$1" |
    sed -n 's/.*--width=\([0-9]*\) .*--bit-depth=\([0-9]*\).*/\1 \2/p' | sort)
  if [ "$got" != "$want" ]; then
    printf 'render-icons: unexpected images in %s:\n%s\n' "$1" "$got" >&2
    exit 1
  fi
}

# fix ICO [GROUP]: two fix-ups in Python (standard library only):
# - icotool writes 32 as the bit count of every PNG image; an 8-bit one must
#   say 8, or Windows, which chooses by the directory, may show the 8-bit
#   picture where the 32-bit one belongs.
# - the small icon's group directory: the same nine images as the large icon,
#   referenced by the numbers the resource compiler gives the large icon's
#   images (1 to 9, as it is the first icon in the script), so the exe carries
#   each picture once.
fix() {
  python3 - "$1" "${2:-}" <<'PY'
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
if group_path:
    open(group_path, "wb").write(group)
PY
}

# squeeze PNG...: recompresses each with zopflipng. It keeps the pixels, but
# may choose another colour type (RGB with a transparent colour for a
# picture whose alpha is all on or off): such a result is not taken, as the
# directory must name 8 or 32 bits.
colour_type() { od -An -j25 -N1 -tu1 "$1"; }
squeeze() {
  local f
  for f in "$@"; do
    zopflipng -y --iterations=50 --filters=01234mepb "$f" "$f.z.png" >/dev/null
    [ "$(colour_type "$f")" = "$(colour_type "$f.z.png")" ] && mv "$f.z.png" "$f"
  done
  return 0
}

# The application icon. icotool would store a picture of few colours at 4
# bits: name each depth.
images nimbard
w=$work/nimbard
squeeze "$w-256-8.png" "$w-256.png" "$w-64.png" "$w-48.png"
icotool -c -o "$work/nimbard.ico" \
  --raw="$w-256-8.png" -b 8 "$w-48-8.png" -b 8 "$w-32-8.png" -b 8 "$w-16-8.png" \
  --raw="$w-256.png" --raw="$w-64.png" --raw="$w-48.png" -b 32 "$w-32.png" -b 32 "$w-16.png"
check "$work/nimbard.ico"
fix "$work/nimbard.ico" "$src/nimbard-small.grp"
mv "$work/nimbard.ico" "$src/nimbard.ico"
echo "wrote $src/nimbard.ico ($(stat -c %s "$src/nimbard.ico") bytes) and $src/nimbard-small.grp"

# The warning icon: every image a PNG.
images warning nimbard-warning
w=$work/warning
squeeze "$w"-{256,64,48,32,16}.png "$w"-{256,48,32,16}-8.png
icotool -c -o "$work/warning.ico" \
  --raw="$w-256-8.png" --raw="$w-48-8.png" --raw="$w-32-8.png" --raw="$w-16-8.png" \
  --raw="$w-256.png" --raw="$w-64.png" --raw="$w-48.png" --raw="$w-32.png" --raw="$w-16.png"
fix "$work/warning.ico"
check "$work/warning.ico"
mv "$work/warning.ico" "$src/nimbard-warning.ico"
echo "wrote $src/nimbard-warning.ico ($(stat -c %s "$src/nimbard-warning.ico") bytes)"

# Optional contact sheet: every image of both icons, 8-bit row under 32-bit
# row, each blown up to 128 pixels without smoothing, on a light and a dark
# ground.
if [ -n "$preview" ]; then
  row() {
    local out=$1 ground=$2; shift 2
    local tiles=()
    for f in "$@"; do
      convert "$f" -background "$ground" -flatten -filter point -resize 128x128 "$f.$ground.png"
      tiles+=("$f.$ground.png")
    done
    convert "${tiles[@]}" -bordercolor "$ground" -border 8 +append "$out"
  }
  n=0
  for name in nimbard warning; do
    for ground in '#f4f4f4' '#202020'; do
      row "$work/row-$((n += 1)).png" "$ground" "$work/$name"-{256,64,48,32,16}.png
      row "$work/row-$((n += 1)).png" "$ground" "$work/$name"-{256,48,32,16}-8.png
    done
  done
  convert "$work"/row-{1..8}.png -background '#808080' -gravity west -append "$preview"
  echo "wrote $preview"
fi
