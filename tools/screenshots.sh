#!/bin/bash
# make screenshots: the tray menu, the status tooltip, the configuration
# dialog, the About box, and the warning icon with its balloon in Wine's own
# notification area, under Wine and Xvfb, as PNG files in docs/images/.
# Wine draws the window frames itself (no window manager runs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win}
out=$root/docs/images
gallery=$build/ui_gallery.exe
[ -f "$gallery" ] || { echo "missing $gallery (make win builds it)"; exit 1; }
mkdir -p "$out"

export WINEDEBUG=-all
export WINEPREFIX=$(mktemp -d /tmp/nimbard-screens.XXXXXX)
work=$(mktemp -d /tmp/nimbard-screens-work.XXXXXX)
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$work"; }
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
# Wine's own fonts (fonts-wine) where its programs look for Windows fonts:
# Tahoma for "MS Shell Dlg" and Marlett for the caption buttons.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w

xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  set -euo pipefail
  # Line by line as the gallery shows each piece (no buffering filter between).
  wine "$1" "$(winepath -w "$2")" 2>/dev/null | while read -r word name x y w h; do
    [ "$word" = shown ] || continue
    h=${h%$'"'"'\r'"'"'}
    sleep 0.3
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$3/$name.png"
    echo "$3/$name.png: ${w}x${h}"
  done
' _ "$gallery" "$work" "$out"
