#!/usr/bin/env bash
# Sets everything up from nothing and runs the program's main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
dir=${1:-$PWD/src}
./"${FERNHOP_BUILD_DIR:-build}"/src/fernhop --scan "$dir"
