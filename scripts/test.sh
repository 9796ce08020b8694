#!/usr/bin/env bash
# Runs every test of the project, installing what it needs first:
# the unit tests (plain, then with AddressSanitizer and UBSan), the Windows
# build with its tests under Wine, the dialog programs driven end to end under
# Wine in a virtual X display, and each fuzzer for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build test cli windows fuzz demo

step() { printf '\n=== %s ===\n' "$*"; }

step "Linux build and unit tests"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

step "Sanitizer build and unit tests"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

step "Windows build, tests under Wine"
cmake --preset mingw >/dev/null
cmake --build --preset mingw
tests/e2e/run.sh build/mingw

step "Fuzzers"
tests/fuzz/run.sh
