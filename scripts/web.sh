#!/usr/bin/env bash
# Builds the browser page into build/web/site and serves it on the loopback.
# Usage: scripts/web.sh [--build-only] [PORT]   (PORT defaults to 8080)
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=false
[[ "${1:-}" == "--build-only" ]] && { build_only=true; shift; }
port=${1:-8080}

scripts/deps.sh build web
# libsoxr for the page, built once per machine, where the preset finds it.
scripts/web-audio-libs.sh >/dev/null
# The preset sets NODE_PATH: Debian's node does not search /usr/share/nodejs,
# where emscripten's tools find acorn.
cmake --preset web >/dev/null
cmake --build --preset web
$build_only && exit 0

echo "Brevox in the browser: http://127.0.0.1:$port/ (Ctrl-C ends it)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web/site
