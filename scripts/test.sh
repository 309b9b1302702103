#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build=${QUORVANE_BUILD:-build}
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 300
