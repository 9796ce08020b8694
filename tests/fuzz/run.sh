#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz"), replays each target's seed
# corpus (the committed one and the seeds make_seeds writes from small images
# in the games' layout), then fuzzes each in-memory target for FUZZ_SECONDS
# seconds (default 60) and each file-shell target for a third of that.
# Any crash, leak or sanitizer report fails the run; the input that caused
# it is kept under <build>/fuzz-artifacts. Installs nothing: run
# scripts/deps.sh fuzz first. FUZZ_BUILD_DIR overrides the preset's folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-build/fuzz}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
"$build/tests/fuzz/make_seeds" "$work/seeds"

# The file shells write and read scratch files on every run: a shorter run.
# The codec target keeps its inputs short, a sample of a few blocks; the
# image target a little over the seed images.
options() {
  case $1 in
    fuzz_dump|fuzz_compress) echo "-max_total_time=$((seconds / 3))" ;;
    fuzz_codec) echo "-max_total_time=$seconds -max_len=300" ;;
    fuzz_image) echo "-max_total_time=$seconds -max_len=3072" ;;
    *) echo "-max_total_time=$seconds" ;;
  esac
}

# Freed blocks wait in a quarantine so that a use after free is caught. Runs
# free everything they allocate, all small: 16 MiB (instead of 256) keeps
# every recent block there and the memory in cache, a third more runs.
export ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

# Runs one fuzzer invocation quietly; on failure shows its report and stops.
# -close_fd_mask=1 hides the codec's own stdout lines.
run() {
  local name=$1; shift
  if ! "$@" -close_fd_mask=1 -artifact_prefix="$artifacts/$name-" >"$work/log" 2>&1; then
    tail -n 60 "$work/log" >&2
    echo "run.sh: $name failed" >&2
    exit 1
  fi
  grep -E '^(Done [0-9]+ runs|#[0-9]+ +DONE|stat::number_of_executed_units)' "$work/log" || true
}

shopt -s nullglob
found=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [[ -f $target && -x $target ]] || continue
  found=1
  name=$(basename "$target")
  corpus=("$work/$name")
  mkdir -p "$work/$name"
  for seeds in "tests/fuzz/corpus/$name" "$work/seeds/$name"; do
    [[ -d $seeds ]] || continue
    files=("$seeds"/*)
    echo "--- $name: replaying ${#files[@]} seeds from $seeds"
    [[ ${#files[@]} -eq 0 ]] || run "$name" "$target" "${files[@]}"
    corpus+=("$seeds")
  done
  read -ra flags <<<"$(options "$name")"
  echo "--- $name: fuzzing (${flags[*]})"
  # New inputs go to the scratch folder, so the committed corpus stays as it is.
  run "$name" "$target" "${flags[@]}" -print_final_stats=1 "${corpus[@]}"
done
[[ $found -eq 1 ]] || { echo "run.sh: no fuzz targets built in $build" >&2; exit 1; }
echo "fuzzers: all passed"
