#!/usr/bin/env bash
# A server host that vanishes without closing the connection, shown for real: in a private network
# namespace (its own loopback and nothing else), the simulator stops answering after one answer,
# then that loopback goes down, so nothing gets through any more, keep-alive probes included. The
# link must find out by itself, about 25 seconds (10 s idle, 3 probes 5 s apart) after the last
# byte. Needs root for the namespace; run by hand, it takes about 30 seconds.
#
# Environment: QUORVANE_BUILD (default build; configured with the default preset, core only, when it
# does not exist yet).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUORVANE_BUILD:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset default -B "$build" -DQUORVANE_GUI=OFF -DQUORVANE_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target quorvane_soak quorvane-sim >/dev/null
# The script is the namespace's own shell's: $0 and $driver are its, not this one's.
# shellcheck disable=SC2016
exec unshare --net sh -c '
    ip link set lo up
    "$0" --seconds 90 --lines 8 --change-rate 0 --sim-arg --stall-after --sim-arg 1 --until-down &
    driver=$!
    sleep 3
    ip link set lo down
    wait $driver' "$PWD/$build/tests/faults/quorvane_soak"
