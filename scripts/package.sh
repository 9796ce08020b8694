#!/usr/bin/env bash
# Builds the download for Windows users: dist/brevox-VERSION-win64.zip, one
# folder holding brevox.exe, brevox-species.exe and brevox-cli.exe (mingw-w64,
# Release, stripped), README.txt, LISEZMOI.txt, LICENSE.txt and SHA256SUMS.txt.
# Prints the zip's path and its SHA-256.
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
scripts/deps.sh build cli windows package

build=${1:-build/package}
cmake --preset mingw -B "$build" -DBREVOX_TESTS=OFF -DBREVOX_BENCH=OFF \
  -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$root/=" >/dev/null
cmake --build "$build" --target brevox brevox-species brevox-cli

version=$(sed -n 's/^#define BREVOX_VERSION "\(.*\)"$/\1/p' "$build/core/include/brevox_version.h")
[[ -n $version ]] || { echo "package.sh: no version in $build/core/include/brevox_version.h" >&2; exit 1; }
name=brevox-$version-win64
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

stage=$build/zip/$name
rm -rf "$build/zip" && mkdir -p "$stage"
cp "$build/win/brevox.exe" "$build/win/brevox-species.exe" "$build/cli/brevox-cli.exe" "$stage/"
# Texts for Notepad: CRLF line ends, and a byte-order mark on the UTF-8.
text() {  # text SOURCE DEST
  { printf '\xef\xbb\xbf'; sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$1"; } >"$stage/$2"
}
text scripts/package/README.txt README.txt
text scripts/package/LISEZMOI.txt LISEZMOI.txt
text LICENSE LICENSE.txt
(cd "$stage" && sha256sum -- * >SHA256SUMS.txt)

chmod 644 "$stage"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
mkdir -p dist
zip=$root/dist/$name.zip
rm -f "$zip"
# -X: no extra fields (owner, exact times); -D: no folder entries. Zip
# stores local time, so the time zone is fixed too.
(cd "$build/zip" && printf '%s\n' "$name"/* | TZ=UTC zip -X -D -9 -q "$zip" -@)

echo "${zip#"$root"/}"
echo "SHA-256 $(sha256sum "$zip" | cut -d' ' -f1)"
