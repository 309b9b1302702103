#!/usr/bin/env bash
# Runs the GUI test programs (label gui) N rounds in a row while every core is kept busy by a CPU load beside
# them, to show that no window test depends on the machine being idle (a hang shows as a time-out
# of at most 60 s, named). Uses the build in ./build (or $QUORVANE_BUILD), building it first.
#
#   scripts/stress-tests.sh [ROUNDS]     default 20
#
# Prints each round's time and failures; exits non-zero when any round had a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-20}
build=${QUORVANE_BUILD:-build}

scripts/build.sh >/dev/null

# The load: one busy loop per core, at the tests' own priority, stopped however the script ends.
load=()
for _ in $(seq "$(nproc)"); do
    sh -c 'while :; do :; done' &
    load+=($!)
done
trap 'kill "${load[@]}" 2>/dev/null || true' EXIT

failed_rounds=0
total=$(date +%s)
for round in $(seq "$rounds"); do
    start=$(date +%s)
    log=$build/stress-round-$round.log
    if ctest --test-dir "$build" -L gui -j"$(nproc)" --timeout 60 --output-on-failure >"$log" 2>&1; then
        echo "stress: round $round/$rounds passed in $(($(date +%s) - start)) s ($(grep -c ' Passed ' "$log") tests)"
        rm -f "$log"
    else
        failed_rounds=$((failed_rounds + 1))
        echo "stress: round $round/$rounds FAILED in $(($(date +%s) - start)) s; the failures (log: $log):"
        grep -E '^\s+[0-9]+ - ' "$log" | sed 's/^/    /' || true
    fi
done
echo "stress: $rounds rounds under a load of $(nproc) busy loops in $(($(date +%s) - total)) s, $failed_rounds with a failure"
[ "$failed_rounds" -eq 0 ]
