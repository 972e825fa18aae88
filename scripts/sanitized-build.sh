#!/usr/bin/env bash
# Configures and builds the sanitizer build: clang, -fsanitize=address,undefined, the test
# programs and the fuzz targets in one directory (./build-asan, or $FERNHOP_ASAN_BUILD_DIR).
# Extra arguments name the targets to build (default: all). The window is left out: it only draws
# and forwards to the core, Qt's widget libraries are not instrumented, and its tests are the
# slowest to run under the sanitizers for the least they could find.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FERNHOP_ASAN_BUILD_DIR:-build-asan}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DFERNHOP_SANITIZE=ON -DFERNHOP_FUZZ=ON -DFERNHOP_BENCH=OFF -DFERNHOP_UI=OFF "${launcher[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
