#!/usr/bin/env bash
# Sets up, builds, and starts the monitor against the bundled CTI server simulator on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec scripts/run-demo.sh "${QUORVANE_BUILD:-build}"
