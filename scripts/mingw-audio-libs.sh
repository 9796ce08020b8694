#!/usr/bin/env bash
# Builds the audio libraries brevox-cli.exe links, once per machine, and
# prints their install prefix (for cmake -DBREVOX_MINGW_AUDIO=PREFIX).
#
# libsndfile (with FLAC, Ogg, Vorbis and Opus) and libsoxr, cross-compiled
# with mingw-w64 from Debian's source packages as scripts/debian-libs.sh
# tells, into ${XDG_CACHE_HOME:-~/.cache}/brevox/mingw-audio-VERSIONS-HASH,
# HASH covering these scripts, the toolchain file and the compiler: a change
# of any of them builds anew, in a folder of its own. Later runs only print
# it. PREFIX/share/licenses holds the copyright files for the zip.
#
# Usage: scripts/mingw-audio-libs.sh      (progress on standard error)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" build cli windows source-packages >&2
source "$root/scripts/debian-libs.sh"

libs=(libogg:libogg-dev flac:libflac-dev libvorbis:libvorbis-dev opus:libopus-dev
  libsndfile:libsndfile1-dev libsoxr:libsoxr-dev)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
open_cache mingw-audio "$(cat "$toolchain"; x86_64-w64-mingw32-gcc-posix --version)"
configure=(cmake -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DBREVOX_MINGW_AUDIO="$prefix")

build libogg -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
build flac -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF \
  -DINSTALL_MANPAGES=OFF -DWITH_FORTIFY_SOURCE=OFF -DWITH_STACK_PROTECTOR=OFF
build libvorbis
build opus -DOPUS_STACK_PROTECTOR=OFF -DOPUS_BUILD_PROGRAMS=OFF -DBUILD_TESTING=OFF
# The codecs' own CMake packages carry their static-linking definitions
# (FLAC__NO_DLL), which libsndfile's find modules would leave out.
build libsndfile -DCMAKE_FIND_PACKAGE_PREFER_CONFIG=ON -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF \
  -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF
build libsoxr -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF
# libsoxr writes its pkg-config file for other systems only; this is the same.
cat >"$prefix/lib/pkgconfig/soxr.pc" <<PC
prefix=$prefix
Name: soxr
Description: High quality, one-dimensional sample-rate conversion library
Version: ${version[libsoxr]%-*}
Libs: -L\${prefix}/lib -lsoxr
Cflags: -I\${prefix}/include
PC
close_cache
