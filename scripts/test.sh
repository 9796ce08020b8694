#!/usr/bin/env bash
# Runs the project's tests, installing what they need first.
# Usage: scripts/test.sh [STEP...]   (all of them, in this order, by default)
#   unit     g++ build with warnings as errors, and the unit tests
#   web      the browser page built with emscripten, driven in headless chromium
#   asan     the unit tests again under AddressSanitizer and UBSan
#   windows  the mingw-w64 build (its audio libraries built once per machine by
#            scripts/mingw-audio-libs.sh), its unit tests under Wine
#   e2e      the dialog programs driven end to end under Wine in a virtual display
#   package  the Windows zip, unpacked and run under Wine
#   fuzz     each fuzzer for a bounded time
set -euo pipefail
cd "$(dirname "$0")/.."
all_steps=(unit web asan windows e2e package fuzz)
steps=("$@")
[[ ${#steps[@]} -gt 0 ]] || steps=("${all_steps[@]}")
for s in "${steps[@]}"; do
  [[ " ${all_steps[*]} " == *" $s "* ]] || { echo "test.sh: unknown step '$s' (steps: ${all_steps[*]})" >&2; exit 2; }
done

# The Debian packages each step needs.
declare -A needs=(
  [unit]="build test cli" [web]="build test cli web source-packages" [asan]="build test cli"
  [windows]="build test cli windows source-packages" [e2e]="build test cli windows source-packages demo"
  [package]="build test cli windows source-packages package page web" [fuzz]="build test fuzz"
)
groups=()
for s in "${steps[@]}"; do groups+=(${needs[$s]}); done
scripts/deps.sh $(printf '%s\n' "${groups[@]}" | sort -u)

step() { printf '\n=== %s ===\n' "$*"; }

run_unit() {
  step "Linux build and unit tests"
  cmake --preset default >/dev/null
  cmake --build --preset default
  ctest --preset default
}

run_web() {
  step "Browser page"
  cmake --preset default >/dev/null
  cmake --build --preset default --target brevox-cli brevox-web-images
  scripts/web.sh --build-only
  tests/web/test_types.py build/web/site
  tests/web/test_page.py build/default build/web/site
}

run_asan() {
  step "Sanitizer build and unit tests"
  cmake --preset asan >/dev/null
  cmake --build --preset asan
  ctest --preset asan
}

# The mingw build, with the audio libraries of brevox-cli.exe.
build_mingw() {
  scripts/mingw-audio-libs.sh >/dev/null  # built once per machine, where the preset finds them
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw
}

run_windows() {
  step "Windows build, unit tests under Wine"
  build_mingw
  (
    source scripts/wine-env.sh
    wine_home=$(mktemp -d)
    clean_up_on_exit "$wine_home"
    # One prefix and one Wine server, with its services, for the whole run
    # instead of one per test process. The services start here, away from
    # CTest's output pipes, which they would otherwise hold open.
    start_wine "$wine_home/prefix"
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    ctest --preset mingw
  )
}

run_e2e() {
  step "Dialog programs end to end under Wine"
  build_mingw
  tests/e2e/run.sh build/mingw
}

run_package() {
  step "Windows download: built by scripts/package.sh, run unpacked under Wine"
  tests/package/check.sh
}

run_fuzz() {
  step "Fuzzers"
  tests/fuzz/run.sh
}

for s in "${steps[@]}"; do "run_$s"; done
