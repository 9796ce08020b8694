#!/usr/bin/env bash
# Checks the Windows download as a user gets it: unpacks the zip into a fresh
# folder and, from there, checks SHA256SUMS.txt against the files, then under
# Wine starts and closes both dialog programs (driven by brevox-driver.exe)
# and asks brevox-cli.exe for --version and --help.
#
# Usage: tests/package/check.sh [ZIP]   (without ZIP: built by scripts/package.sh)
# BREVOX_DRIVER may name a brevox-driver.exe already built; otherwise it is
# built in build/mingw.
set -euo pipefail
export LC_ALL=C  # file names in byte order, as SHA256SUMS.txt lists them
root=$(cd "$(dirname "$0")/../.." && pwd)
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
  (cd "$root" && { [[ -f build/mingw/CMakeCache.txt ]] || cmake --preset mingw >/dev/null; } &&
    cmake --build build/mingw --target brevox-driver >/dev/null)
  driver=$root/build/mingw/tests/e2e/brevox-driver.exe
fi

fail() { echo "FAIL $*" >&2; exit 1; }
pass() { echo "PASS $*"; }

name=$(basename "$zip" .zip)
version=${name#brevox-}
version=${version%-win64}
unzip -q "$zip" -d "$tmp/unpacked"
dir=$tmp/unpacked/$name
[[ $(ls "$tmp/unpacked") == "$name" ]] || fail "the zip holds one folder, $name"

files=$(cd "$dir" && printf '%s ' *)
[[ $files == "LICENSE.txt LISEZMOI.txt README.txt SHA256SUMS.txt brevox-cli.exe brevox-species.exe brevox.exe " ]] ||
  fail "the folder holds: $files"
(cd "$dir" && sha256sum --check --quiet --strict SHA256SUMS.txt) || fail "SHA256SUMS.txt"
listed=$(cut -c67- "$dir/SHA256SUMS.txt" | tr '\n' ' ')
[[ "$listed" == "${files/SHA256SUMS.txt /}" ]] || fail "SHA256SUMS.txt lists: $listed"
for program in "$dir"/*.exe; do
  strings -el "$program" | grep -qx "$version" || fail "$(basename "$program") has no version resource for $version"
done
pass "$name: the files, each with its SHA-256; the programs' version resources"

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
answer=$(wine brevox-cli.exe --help 2>&1) || fail "brevox-cli.exe --help: $answer"
grep -q 'reads only 8-bit mono PCM WAV' <<<"$answer" || fail "brevox-cli.exe --help: $answer"
pass "brevox-cli.exe --help"
