#!/usr/bin/env bash
# The tests once more under AddressSanitizer and UndefinedBehaviorSanitizer, and every fuzz
# target over its committed corpus (the fuzz_replay_* tests). Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/sanitized-build.sh
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer-14 || true)}
cd "${FERNHOP_ASAN_BUILD_DIR:-build-asan}"
ctest --output-on-failure -j2 --timeout 600
