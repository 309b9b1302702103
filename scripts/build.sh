#!/usr/bin/env bash
# Configures and builds the project in ./build (or $QUORVANE_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUORVANE_BUILD:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
