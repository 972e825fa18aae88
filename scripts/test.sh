#!/usr/bin/env bash
# Sets everything up from nothing and runs every test: once in the normal build, then the .deb
# of that build is made and checked (test-package.sh), then the tests once more under the
# sanitizers together with a replay of the fuzz corpora (test-sanitized.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
(cd "${FERNHOP_BUILD_DIR:-build}" && ctest --output-on-failure -j2 --timeout 600)
bash scripts/test-package.sh
bash scripts/test-sanitized.sh
