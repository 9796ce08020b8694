#!/usr/bin/env bash
# The main job: builds brevox and brevox-species for Windows, writes a
# demonstration ROM image and two WAVs next to brevox.exe, and opens brevox
# under Wine. With a DISPLAY the window opens there; without one it runs in
# a virtual display (Xvfb), and this script tells how to look at it.
# Closing the window, or Ctrl-C here, ends everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh build test cli windows demo
source scripts/wine-env.sh

echo "== Building the dialog programs (mingw-w64) and the demo generator"
scripts/mingw-audio-libs.sh >/dev/null  # built once per machine, where the preset finds them
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target brevox brevox-species
cmake --preset default >/dev/null
cmake --build --preset default --target brevox-gen
bin=$root/build/mingw/win

tmp=$(mktemp -d /tmp/brevox-run.XXXXXX)
clean_up_on_exit "$tmp"

echo "== Writing the demonstration files into $bin"
# Spoken cries: espeak-ng, then what the games play, 8-bit unsigned mono at 11050 Hz.
speech=()
for words in "Brevox" "Bonjour"; do
  espeak-ng -v fr -w "$tmp/$words.wav" "$words!"
  sox "$tmp/$words.wav" -r 11050 -c 1 -b 8 -e unsigned-integer "$tmp/$words-8bit.wav" norm -1
  speech+=("$tmp/$words-8bit.wav")
done
build/default/tools/demo/brevox-gen demo "$bin" "${speech[@]}"

start_display "$tmp/xvfb.log"
# A prefix of the project's own, made once and kept for the next runs.
echo "== Preparing Wine (the first time takes a little while)"
start_wine "$root/build/wine-prefix"
if [[ -n $XVFB_PID ]]; then
  unmanaged_windows
  cat <<EOS

brevox is running in the virtual display $DISPLAY (there was no DISPLAY).
  Screenshot:  DISPLAY=$DISPLAY import -window root brevox.png
  Stop:        Ctrl-C here
EOS
else
  wine_reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d Y
fi
cat <<EOS

In the window: "..." next to Rom: picks $(winpath "$bin")\\demo.gba, laid out
as the games lay out theirs (its game code is unknown to the tool, which finds
its cry table by scanning). IDcrtr 1 is a tone, 2 a sweep, 3 and 4 spoken
words, 5 to 388 short notes. "Dumper" writes the cry to the
Wav: file and plays it; "Encoder" writes a WAV (chirp.wav, beep.wav beside
the ROM) into it. The ROM is changed in place: copy demo.gba first to keep it.
EOS
cd "$bin"
wine brevox.exe
