#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# promtool checks the probe's metrics; without it that one test is skipped and says why.
scripts/setup.sh prometheus || echo "test: Debian's prometheus package could not be installed; promtool checks are skipped"
scripts/build.sh
build=${QUORVANE_BUILD:-build}
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 60
