#!/usr/bin/env bash
# Builds the fuzz targets (in the sanitizer build, see sanitized-build.sh) and runs each for a
# given time:
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      default: 60 seconds, every target
#
# Targets run at the lowest priority, FUZZ_JOBS at a time (default 1). Each grows its own corpus
# in BUILD/fuzz-work/TARGET, starting from fuzz/corpus/TARGET, and leaves what it found (crash-*,
# leak-*, timeout-* inputs) and its log in BUILD/fuzz-findings/TARGET. A finding that a fix made
# harmless belongs in fuzz/corpus/TARGET, so that CI replays it from then on.
# FUZZ_ARGS adds libFuzzer options (for example "-fork=1 -ignore_crashes=1" to go on after a find).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
all=(listing_line listing listing_cache settings site_list cipher ftp_reply)
targets=("$@")
((${#targets[@]})) || targets=("${all[@]}")

build=${FERNHOP_ASAN_BUILD_DIR:-build-asan}
case $build in /*) ;; *) build="$PWD/$build" ;; esac
export FERNHOP_ASAN_BUILD_DIR=$build
bash scripts/sanitized-build.sh "${targets[@]/#/fuzz_}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer-14 || true)}

run() {
  local target=$1 work="$build/fuzz-work/$1" findings="$build/fuzz-findings/$1"
  mkdir -p "$work" "$findings"
  # shellcheck disable=SC2086
  nice -n 19 "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$findings/" ${FUZZ_ARGS:-} "$work" "$PWD/fuzz/corpus/$target" \
    >"$findings/log" 2>&1 || true
  local runs found
  runs=$(grep -ao 'stat::number_of_executed_units: [0-9]*' "$findings/log" | tail -1 | grep -o '[0-9]*$' || true)
  # fork mode (FUZZ_ARGS=-fork=...) prints no final statistics: its last progress line counts.
  [[ -n $runs ]] || runs=$(grep -ao '^#[0-9]*' "$findings/log" | tail -1 | tr -d '#' || true)
  found=$(find "$findings" -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' | wc -l)
  printf '%-14s %10s executions  %3d findings  %s\n' "$target" "${runs:-?}" "$found" "$findings"
}

jobs=${FUZZ_JOBS:-1}
for target in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
  run "$target" &
done
wait
