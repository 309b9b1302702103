#!/usr/bin/env bash
# Builds the fuzz programs with clang (libFuzzer, ASan, UBSan; the fuzz preset) and runs each for a
# while.
#
#   scripts/fuzz-smoke.sh [seconds]      seconds per program, default 60
#
# Environment: QUORVANE_FUZZ_BUILD (build folder, default build-fuzz), FUZZ_TARGETS (default
# "frame config placement"), FUZZ_MAX_RUNS (stop a program after that many executions as well),
# FUZZ_MAX_LEN (largest input; default: the largest seed). New inputs found are kept in
# <build>/corpus/<target>, crashes in <build>/artifacts. Exits non-zero when a program fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
build=${QUORVANE_FUZZ_BUILD:-build-fuzz}
targets=${FUZZ_TARGETS:-frame config placement}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz >/dev/null

mkdir -p "$build/artifacts"
status=0
for t in $targets; do
    work="$root/$build/corpus/$t"
    log="$root/$build/fuzz-$t.log"
    mkdir -p "$work"
    extra=()
    [ -n "${FUZZ_MAX_RUNS:-}" ] && extra+=("-runs=$FUZZ_MAX_RUNS")
    [ -n "${FUZZ_MAX_LEN:-}" ] && extra+=("-max_len=$FUZZ_MAX_LEN")
    # The programs work in a scratch directory of their own, so every path given them is absolute.
    # One process, one job: the machine is shared.
    start=$(date +%s)
    if "$root/$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -dict="$root/fuzz/$t.dict" -artifact_prefix="$root/$build/artifacts/$t-" "${extra[@]}" \
        "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        status=1
    fi
    stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -1; }
    echo "fuzz_$t: $result, $(stat number_of_executed_units) executions in $(($(date +%s) - start)) s" \
        "($(stat average_exec_per_sec)/s), $(stat new_units_added) new inputs, peak RSS $(stat peak_rss_mb) MB," \
        "corpus $(find "$work" -type f | wc -l) + $(find "$root/fuzz/corpus/$t" -type f | wc -l) seeds"
    if [ "$result" != ok ]; then
        grep -E 'ERROR|invariant|runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
        echo "full log: $log"
    fi
done
exit $status
