#!/usr/bin/env bash
# Builds the program with clang and the GUI (tests on Qt's offscreen platform) under two sanitizers
# and runs its tests. Any report fails its test, so the script fails on the first one.
#
#   asan   AddressSanitizer + UndefinedBehaviorSanitizer, leaks included: everything is built and
#          every test runs (core, GUI, simulator, fault tests, the corpus replays, the whole-program
#          tests).
#   tsan   ThreadSanitizer: only the test programs whose tests run more than one thread are built
#          and run: the board and the grid, the link, the main window (the real worker against
#          the real Timer1Timer, cell drawing and layout hand-off), the fault tests, the log and
#          the text conversion. Qt itself is not instrumented: tests/tsan.supp hides what its
#          own locking hides from TSan, one Qt internal per entry.
#
#   scripts/sanitizers.sh [asan|tsan]...     default: both
#
# Build folders: build-asan and build-tsan (QUORVANE_ASAN_BUILD, QUORVANE_TSAN_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(asan tsan)

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:suppressions=$root/tests/asan.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp:print_suppressions=0

tsan_tests=(app_tests board_tests board_gui_tests link_tests fault_tests history_tests platform_tests probe_tests settings_tests)

for kind in "${kinds[@]}"; do
    targets=()
    filter=()
    case $kind in
    asan) build=${QUORVANE_ASAN_BUILD:-build-asan} option=-DWITH_ASAN=ON ;;
    tsan)
        build=${QUORVANE_TSAN_BUILD:-build-tsan} option=-DWITH_TSAN=ON
        targets=(--target "${tsan_tests[@]}")
        filter=(-R "^($(IFS='|' && echo "${tsan_tests[*]}"))\.")
        ;;
    *)
        echo "usage: $0 [asan|tsan]..." >&2
        exit 2
        ;;
    esac
    start=$(date +%s)
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON -DQUORVANE_GUI=ON \
        -DQUORVANE_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ "$option" >/dev/null
    cmake --build "$build" -j"$(nproc)" "${targets[@]}"
    built=$(date +%s)
    ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 300 "${filter[@]}"
    echo "$kind: built in $((built - start)) s, tested in $(($(date +%s) - built)) s"
done
