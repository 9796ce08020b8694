#!/usr/bin/env bash
# Builds libsoxr for the browser page with emscripten, once per machine, and
# prints its install prefix (for cmake --preset web -DBREVOX_WEB_AUDIO=PREFIX).
#
# The page resamples with the same library as brevox-cli: Debian's source
# package, as scripts/debian-libs.sh tells, into
# ${XDG_CACHE_HOME:-~/.cache}/brevox/web-audio-VERSIONS-HASH, HASH covering
# these scripts, the patch and emscripten's version. Only the engine
# brevox uses (HQ, 32-bit constant rate), without SIMD nor threads (OpenMP),
# which a WebAssembly build of it cannot use as they are, and with
# scripts/patches/web-audio-libsoxr.patch, without which it traps.
#
# Usage: scripts/web-audio-libs.sh      (progress on standard error)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" build cli page source-packages >&2
source "$root/scripts/debian-libs.sh"
# Debian's node does not search /usr/share/nodejs, where emscripten's tools
# find acorn; without it every check CMake links fails.
export NODE_PATH=/usr/share/nodejs

libs=(libsoxr:libsoxr-dev)
open_cache web-audio "$(emcc --version)"
configure=(emcmake cmake)

build libsoxr -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF \
  -DWITH_CR32S=OFF -DWITH_CR64S=OFF -DWITH_CR64=OFF -DWITH_VR32=OFF
close_cache
