#!/usr/bin/env bash
# Installs the Debian packages a task needs, when any is missing.
# Usage: scripts/deps.sh GROUP...   (groups: build test windows source-packages fuzz cli demo docs package page web)
set -euo pipefail

declare -A group=(
  [build]="cmake ninja-build g++ pkg-config"
  [test]="libgtest-dev libgmock-dev libbenchmark-dev sox nodejs npm"
  [cli]="libsndfile1-dev libsoxr-dev libcli11-dev nlohmann-json3-dev"
  [windows]="g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 wine wine64 xvfb xauth"
  [source-packages]="dpkg-dev xz-utils patch"
  [fuzz]="clang libclang-rt-14-dev"
  [demo]="espeak-ng imagemagick"
  [docs]="python3-matplotlib"
  [package]="zip unzip"
  [page]="emscripten"
  [web]="emscripten chromium chromium-driver python3-selenium"
)

# Packages that count as present when their command is: node's own builds
# carry npm inside a nodejs package of their own, which Debian's npm would
# replace.
declare -A command_of=([nodejs]=node [npm]=npm)

wanted=()
for g in "$@"; do
  [[ -n "${group[$g]:-}" ]] || { echo "deps.sh: unknown group '$g'" >&2; exit 2; }
  for p in ${group[$g]}; do
    [[ -n "${command_of[$p]:-}" ]] && command -v "${command_of[$p]}" >/dev/null && continue
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || wanted+=("$p")
  done
done
[[ ${#wanted[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "deps.sh: need root or sudo to install: ${wanted[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "Installing: ${wanted[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${wanted[@]}"
