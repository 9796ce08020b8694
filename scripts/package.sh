#!/usr/bin/env bash
# Builds the download for Windows users: dist/brevox-VERSION-win64.zip, one
# folder holding brevox.exe, brevox-species.exe and brevox-cli.exe (mingw-w64,
# Release, stripped; brevox-cli.exe with the audio libraries of
# scripts/mingw-audio-libs.sh), the browser page in page/ (opens from disk;
# libsoxr from scripts/web-audio-libs.sh),
# README.txt, LISEZMOI.txt, LICENSE.txt (with the libraries' licences) and
# SHA256SUMS.txt. Prints the zip's path and its SHA-256.
#
# Usage: scripts/package.sh [BUILD_DIR]     (default build/package)
#
# Two runs from the same commit give the same zip, byte for byte: the
# executables carry no link time, and every file in the archive gets the
# commit's time (or SOURCE_DATE_EPOCH, needed outside a git checkout), fixed
# permissions and a fixed order. The compilers must be the same Debian ones.
set -euo pipefail
export LC_ALL=C  # byte order for file names, in globs and sums
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh build cli windows package page
audio=$(scripts/mingw-audio-libs.sh)
web_audio=$(scripts/web-audio-libs.sh)

build=${1:-build/package}
cmake --preset mingw -B "$build" -DBREVOX_TESTS=OFF -DBREVOX_BENCH=OFF -DBREVOX_MINGW_AUDIO="$audio" \
  -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$root/=" >/dev/null
cmake --build "$build" --target brevox brevox-species brevox-cli
# Debian's node does not search /usr/share/nodejs, where emscripten's tools
# find acorn (the preset sets it for cmake --build --preset web only).
cmake --preset web -B "$build/page" -DBREVOX_WEB_AUDIO="$web_audio" >/dev/null
NODE_PATH=/usr/share/nodejs cmake --build "$build/page"

version=$(sed -n 's/^#define BREVOX_VERSION "\(.*\)"$/\1/p' "$build/core/include/brevox_version.h")
[[ -n $version ]] || { echo "package.sh: no version in $build/core/include/brevox_version.h" >&2; exit 1; }
name=brevox-$version-win64
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

stage=$build/zip/$name
rm -rf "$build/zip" && mkdir -p "$stage/page"
cp "$build/win/brevox.exe" "$build/win/brevox-species.exe" "$build/cli/brevox-cli.exe" "$stage/"
cp "$build/page/site"/* "$stage/page/"
# Texts for Notepad: CRLF line ends, and a byte-order mark on the UTF-8.
text() {  # text DEST: standard input
  { printf '\xef\xbb\xbf'; sed -e "s/@VERSION@/$version/g" -e 's/$/\r/'; } >"$stage/$1"
}
text README.txt <scripts/package/README.txt
text LISEZMOI.txt <scripts/package/LISEZMOI.txt
# Brevox's licence, then the libraries in brevox-cli.exe and the page: which,
# from which Debian source packages, Debian's record of their copyrights and
# licences (and of the compilers' runtimes linked in), and the licence texts
# those records refer to.
{
  cat LICENSE
  echo
  libraries=$(sed 's/^/    /' "$audio/versions")
  template=$(<scripts/package/LIBRARIES.txt)
  echo "${template//@LIBRARIES@/$libraries}"
  for copyright in "$audio"/share/licenses/*.copyright; do
    title="Debian's copyright file of $(basename "$copyright" .copyright)"
    printf '\n\n%s\n%s\n\n' "$title" "${title//?/-}"
    cat "$copyright"
  done
  for package in mingw-w64-common emscripten; do
    title="Debian's copyright file of $package"
    printf '\n\n%s\n%s\n\n' "$title" "${title//?/-}"
    cat "/usr/share/doc/$package/copyright"
  done
  for licence in LGPL-2.1 Apache-2.0; do
    printf '\n\n%s\n%s\n\n' "$licence" "${licence//?/-}"
    cat "/usr/share/common-licenses/$licence"
  done
} | text LICENSE.txt
(cd "$stage" && find . -type f ! -name SHA256SUMS.txt -printf '%P\n' | sort | xargs sha256sum -- >SHA256SUMS.txt)

find "$stage" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$stage" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p dist
zip=$root/dist/$name.zip
rm -f "$zip"
# -X: no extra fields (owner, exact times); -D: no folder entries. Zip
# stores local time, so the time zone is fixed too.
(cd "$build/zip" && find "$name" -type f | sort | TZ=UTC zip -X -D -9 -q "$zip" -@)

echo "${zip#"$root"/}"
echo "SHA-256 $(sha256sum "$zip" | cut -d' ' -f1)"
