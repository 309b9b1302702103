#!/usr/bin/env bash
# Builds the core, its tests, the simulator and the fuzz corpus replays with clang twice, with
# AddressSanitizer + UndefinedBehaviorSanitizer (leaks included) and with ThreadSanitizer, and runs
# every test of each. Any report fails its test, so the script fails on the first one.
#
#   scripts/sanitizers.sh [asan|tsan]...     default: both
#
# Build folders: build-asan and build-tsan (QUORVANE_ASAN_BUILD, QUORVANE_TSAN_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(asan tsan)

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

for kind in "${kinds[@]}"; do
    case $kind in
    asan) build=${QUORVANE_ASAN_BUILD:-build-asan} option=-DWITH_ASAN=ON ;;
    tsan) build=${QUORVANE_TSAN_BUILD:-build-tsan} option=-DWITH_TSAN=ON ;;
    *)
        echo "usage: $0 [asan|tsan]..." >&2
        exit 2
        ;;
    esac
    start=$(date +%s)
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON -DQUORVANE_GUI=OFF \
        -DQUORVANE_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ "$option" >/dev/null
    cmake --build "$build" -j"$(nproc)"
    built=$(date +%s)
    ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 300
    echo "$kind: built in $((built - start)) s, tested in $(($(date +%s) - built)) s"
done
