#!/usr/bin/env bash
# Takes the README's picture of the dialog: brevox.exe under Wine in a
# virtual display, with the demonstration ROM verified and a cry's sizes
# shown, cropped to the window and saved as a small palette PNG.
#
# Usage: tools/demo/screenshot.sh [OUT.png]   (default docs/brevox-dialog.png)
# Needs the mingw build (build/mingw, or BREVOX_MINGW_BUILD) and brevox-gen
# (build/default, or BREVOX_GEN).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(realpath -m "${1:-$root/docs/brevox-dialog.png}")
bin=${BREVOX_MINGW_BUILD:-$root/build/mingw}
gen=${BREVOX_GEN:-$root/build/default/tools/demo/brevox-gen}
source "$root/scripts/wine-env.sh"

tmp=$(mktemp -d /tmp/brevox-shot.XXXXXX)
clean_up_on_exit "$tmp"

unset DISPLAY
start_display "$tmp/xvfb.log"
start_wine "$tmp/prefix"
unmanaged_windows
# The files sit on drive C: so that the fields show short Windows paths.
files=$WINEPREFIX/drive_c/Brevox
mkdir -p "$files"
"$gen" demo "$files"
cat >"$tmp/shot.txt" <<EOS
start $(winpath "$bin/win/brevox.exe") C:\\Brevox
set 1002 C:\\Brevox\\demo.gba
click 1010
set 1003 C:\\Brevox\\chirp.wav
set 1009 "2"
click 1016
setfocus 1009
detach
EOS
wine "$bin/tests/e2e/brevox-driver.exe" "$(winpath "$tmp/shot.txt")" >/dev/null
import -display "$DISPLAY" -window root "$tmp/screen.png"
mkdir -p "$(dirname "$out")"
convert "$tmp/screen.png" -trim +repage -strip -colors 64 "PNG8:$out"
echo "Wrote $out ($(identify -format '%wx%h' "$out"), $(stat -c %s "$out") bytes)"
