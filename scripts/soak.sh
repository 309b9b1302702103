#!/usr/bin/env bash
# Soak: the real link, worker and board against quorvane-sim --lines 2048 --change-rate 1.0 with
# SLEEP_SEC 0, resident memory sampled throughout (it must stay within 5 % after the warm-up),
# then a shorter run of the AddressSanitizer build whose LeakSanitizer must find no leak.
#
#   scripts/soak.sh [seconds]      default 1800; CI runs 60
#
# Environment: QUORVANE_BUILD (plain build, default build), QUORVANE_ASAN_BUILD (default build-asan),
# SOAK_SAMPLE (seconds between samples, default seconds/60 but at least 5), SOAK_LSAN_SECONDS
# (length of the leak run, default 60 or the soak's length if shorter; 0 skips it).
# Either build is configured core-only (the default and asan presets) when it does not exist yet.
# Loopback only.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
build=${QUORVANE_BUILD:-build}
asan=${QUORVANE_ASAN_BUILD:-build-asan}
sample=${SOAK_SAMPLE:-$((seconds / 60 > 5 ? seconds / 60 : 5))}
lsan_seconds=${SOAK_LSAN_SECONDS:-$((seconds < 60 ? seconds : 60))}

configure() { # preset dir
    local preset=$1 dir=$2
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake --preset "$preset" -B "$dir" -DQUORVANE_GUI=OFF -DQUORVANE_BENCH=OFF >/dev/null
    fi
    cmake --build "$dir" -j"$(nproc)" --target quorvane_soak quorvane-sim >/dev/null
}

configure default "$build"
echo "== soak, $seconds s ($build)"
"$build/tests/faults/quorvane_soak" --seconds "$seconds" --sample "$sample"

if [ "$lsan_seconds" -gt 0 ]; then
    configure asan "$asan"
    echo "== leak check, $lsan_seconds s ($asan)"
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$asan/tests/faults/quorvane_soak" --seconds "$lsan_seconds" --sample 5
    echo "LeakSanitizer: no leaks"
fi
