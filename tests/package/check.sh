#!/usr/bin/env bash
# Checks the Windows download as a user gets it: unpacks the zip into a fresh
# folder and, from there, checks SHA256SUMS.txt against the files and that
# the programs import only system DLLs, opens the page from disk in headless
# chromium, then under Wine starts and closes both dialog programs (driven by
# brevox-driver.exe) and runs brevox-cli.exe: its --version, its help against
# the Linux build's, and an import of sounds in several formats, which must
# give the very image the Linux build gives.
#
# Usage: tests/package/check.sh [ZIP]   (without ZIP: built by scripts/package.sh)
# BREVOX_DRIVER may name a brevox-driver.exe already built; otherwise it is
# built in build/mingw. The Linux brevox-cli and brevox-gen are built in
# build/default.
set -euo pipefail
export LC_ALL=C  # file names in byte order, as SHA256SUMS.txt lists them
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/deps.sh" build test cli windows package web
source "$root/scripts/wine-env.sh"
tmp=$(mktemp -d /tmp/brevox-package.XXXXXX)
clean_up_on_exit "$tmp"

if [[ $# -eq 1 ]]; then
  zip=$(realpath "$1")
else
  "$root/scripts/package.sh" | tee "$tmp/package.log"
  zip=$root/$(tail -n 2 "$tmp/package.log" | head -n 1)
fi
driver=${BREVOX_DRIVER:-}
if [[ -z $driver ]]; then
  audio=$("$root/scripts/mingw-audio-libs.sh")
  (cd "$root" && cmake --preset mingw -DBREVOX_MINGW_AUDIO="$audio" >/dev/null &&
    cmake --build build/mingw --target brevox-driver >/dev/null)
  driver=$root/build/mingw/tests/e2e/brevox-driver.exe
fi
(cd "$root" && cmake --preset default >/dev/null && cmake --build build/default --target brevox-cli brevox-gen >/dev/null)
linux_cli=$root/build/default/cli/brevox-cli

fail() { echo "FAIL $*" >&2; exit 1; }
pass() { echo "PASS $*"; }

name=$(basename "$zip" .zip)
version=${name#brevox-}
version=${version%-win64}
unzip -q "$zip" -d "$tmp/unpacked"
dir=$tmp/unpacked/$name
[[ $(ls "$tmp/unpacked") == "$name" ]] || fail "the zip holds one folder, $name"

files=$(cd "$dir" && printf '%s ' *)
[[ $files == "LICENSE.txt LISEZMOI.txt README.txt SHA256SUMS.txt brevox-cli.exe brevox-species.exe brevox.exe page " ]] ||
  fail "the folder holds: $files"
# The page in one script, the wasm inside: a separate file would not load from disk.
[[ -f $dir/page/index.html && -f $dir/page/brevox.js && -z $(find "$dir/page" -name '*.wasm') ]] ||
  fail "the page folder holds: $(ls "$dir/page")"
(cd "$dir" && sha256sum --check --quiet --strict SHA256SUMS.txt) || fail "SHA256SUMS.txt"
listed=$(cut -c67- "$dir/SHA256SUMS.txt")
[[ "$listed" == "$(cd "$dir" && find . -type f ! -name SHA256SUMS.txt -printf '%P\n' | sort)" ]] ||
  fail "SHA256SUMS.txt lists: $listed"
for program in "$dir"/*.exe; do
  strings -el "$program" | grep -qx "$version" || fail "$(basename "$program") has no version resource for $version"
  system_dlls_only "$program" || fail "$(basename "$program") imports other DLLs than Windows' own"
done
pass "$name: the files, each with its SHA-256; the programs' version resources and DLLs"

# The engine starts in a worker, in real time, which chromium's --dump-dom with
# a virtual time budget does not wait for: the page is driven instead.
ready=$(/usr/bin/python3 - "file://$dir/page/index.html" <<'EOF'
import sys
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait
options = webdriver.ChromeOptions()
options.binary_location = '/usr/bin/chromium'
for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'):
    options.add_argument(flag)
driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
try:
    driver.get(sys.argv[1])
    done = "return document.body.dataset.ready || document.querySelector('#status.error')"
    WebDriverWait(driver, 30).until(lambda d: d.execute_script(done))
finally:
    print(driver.execute_script("return document.body.dataset.ready || document.querySelector('#status').textContent"))
    driver.quit()
EOF
)
[[ $ready == true ]] || fail "page/index.html opened from disk does not load its engine: $ready"
pass "page/index.html opens from disk and loads its engine"

start_display "$tmp/xvfb.log"
start_wine "$tmp/prefix"
unmanaged_windows
for program in brevox brevox-species; do
  printf 'start %s %s\nclose\nexit 0\n' "$(winpath "$dir/$program.exe")" "$(winpath "$dir")" >"$tmp/$program.txt"
  timeout 120 wine "$driver" "$(winpath "$tmp/$program.txt")" >"$tmp/$program.log" 2>&1 ||
    { cat "$tmp/$program.log" >&2; fail "$program.exe starts and closes"; }
  pass "$program.exe starts and closes"
done

cd "$dir"
answer=$(wine brevox-cli.exe --version 2>&1 | tr -d '\r') || fail "brevox-cli.exe --version: \"$answer\""
[[ $answer == "brevox-cli $version" ]] || fail "brevox-cli.exe --version answers \"$answer\""
pass "brevox-cli.exe --version"
# The same commands and options as the Linux build: the same help, but for
# the program's path.
usage() { tr -d '\r' | sed 's/^Usage: [^ ]*/Usage: brevox-cli/'; }
for command in "" identify list dump dump-all encode repoint import quality; do
  # shellcheck disable=SC2086 # no word for the program's own help
  diff <("$linux_cli" $command --help | usage) <(wine brevox-cli.exe $command --help | usage) ||
    fail "brevox-cli.exe $command --help differs from the Linux build's"
done
pass "brevox-cli.exe --help, and each command's, as the Linux build's"

# Sounds as users have them, at 44.1 kHz in stereo, imported into the same
# image by both builds.
mkdir "$tmp/images" "$tmp/sounds"
"$root/build/default/tools/demo/brevox-gen" demo "$tmp/images" >/dev/null
synth() { sox -R -n -r 44100 -c 2 -b 16 "$tmp/sounds/$1" synth "${@:2}"; }
synth cry-001.wav 0.5 sine 300-1200 sine 450
synth cry-002.wav 0.3 square 220 sine 330 vol 0.5
synth cry-003.wav 0.7 pinknoise fade 0 0.7 0.5
synth cry-004.aiff 0.4 sawtooth 180-90 sine 600
synth cry-005.flac 0.6 sine 500-250 triangle 700
synth cry-006.ogg 0.5 sine 880 square 440 vol 0.3
cp "$tmp/images/demo.gba" "$tmp/linux.gba"
cp "$tmp/images/demo.gba" "$tmp/windows.gba"
"$linux_cli" import "$tmp/linux.gba" "$tmp/sounds" >"$tmp/import-linux.log" 2>&1 ||
  { cat "$tmp/import-linux.log" >&2; fail "brevox-cli import (Linux)"; }
wine brevox-cli.exe import "$(winpath "$tmp/windows.gba")" "$(winpath "$tmp/sounds")" >"$tmp/import-windows.log" 2>&1 ||
  { cat "$tmp/import-windows.log" >&2; fail "brevox-cli.exe import"; }
! cmp -s "$tmp/linux.gba" "$tmp/images/demo.gba" || fail "the Linux import changed nothing"
cmp "$tmp/linux.gba" "$tmp/windows.gba" || fail "brevox-cli.exe import gives another image than the Linux build"
pass "brevox-cli.exe import of WAV, AIFF, FLAC and Ogg Vorbis at 44.1 kHz stereo: the Linux build's image"
