#!/usr/bin/env bash
# Configures the project with the default preset (CMakePresets.json) and builds it in ./build (or
# $QUORVANE_BUILD). Arguments go to the configure step (-DNAME=VALUE).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUORVANE_BUILD:-build}
cmake --preset default -B "$build" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
