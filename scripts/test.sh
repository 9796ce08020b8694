#!/usr/bin/env bash
# Runs every test of the project, installing what it needs first:
# the unit tests (plain, then with AddressSanitizer and UBSan), the browser
# page in headless chromium, the Windows
# build with its tests under Wine, the dialog programs driven end to end under
# Wine in a virtual X display, and each fuzzer for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build test cli windows fuzz demo web

step() { printf '\n=== %s ===\n' "$*"; }

step "Linux build and unit tests"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

step "Browser page"
scripts/web.sh --build-only
tests/web/test_page.py build/default build/web/site

step "Sanitizer build and unit tests"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

step "Windows build, unit tests under Wine"
cmake --preset mingw >/dev/null
cmake --build --preset mingw
# A Wine prefix of its own, made before the tests so that its first-run set-up
# does not race the first test.
wine_home=$(mktemp -d)
trap 'WINEPREFIX="$wine_home/prefix" wineserver -k 2>/dev/null || true; rm -rf "$wine_home"' EXIT
export WINEDEBUG=-all WINEPREFIX="$wine_home/prefix"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
# Keep one Wine server, and its services, for the whole run instead of one per
# test process. The services start here, away from CTest's output pipes, which
# they would otherwise hold open.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null
ctest --preset mingw
wineserver -k
unset WINEPREFIX

step "Dialog programs end to end under Wine"
tests/e2e/run.sh build/mingw

step "Windows download: built by scripts/package.sh, run unpacked under Wine"
tests/package/check.sh

step "Fuzzers"
tests/fuzz/run.sh
