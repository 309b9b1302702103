#!/usr/bin/env bash
# Measures the whole program: the real quorvane-monitor against quorvane-sim on loopback (CPU idle
# and busy, memory, frame-to-pixels latency, stop and start-up times), then runs every
# micro-benchmark. Prints a table; the raw figures go to run/perf-<time>/.
#
#   scripts/perf.sh [BUILD_DIR] [--quick] [--only idle,busy,latency,stop,startup,wall] [--no-micro]
#
# BUILD_DIR defaults to ./build. Uses a private Xvfb server (and xdotool for the start-up and the
# real Exit) when installed, else Qt's offscreen platform. Takes about 8 minutes (--quick: 2).
# The wallboard group (a 3840 x 2100 window on a 3840 x 2160 Xvfb of its own) runs only when named
# with --only wall: about 12 minutes (--quick: 5).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=build
extra=()
micro=1
while [ $# -gt 0 ]; do
    case $1 in
    --quick) extra+=(--quick) ;;
    --only)
        extra+=(--only "$2")
        shift
        ;;
    --no-micro) micro="" ;;
    -h | --help)
        sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    -*)
        echo "perf: unknown option $1" >&2
        exit 2
        ;;
    *) build=$1 ;;
    esac
    shift
done
if [ ! -d "$build" ] && [ -d "$repo/$build" ]; then
    build=$repo/$build
fi
build=$(cd "$build" 2>/dev/null && pwd) || {
    echo "perf: no build directory '$build'; configure one first (scripts/build.sh)" >&2
    exit 2
}

cmake --build "$build" -j"$(nproc)" --target quorvane-monitor quorvane-sim quorvane-whole >/dev/null
out=$repo/run/perf-$(date +%Y%m%d-%H%M%S)-$$
mkdir -p "$out"
status=0
echo "perf: results in $out" >&2

python3 "$repo/bench/whole/perf_whole.py" --monitor "$build/app/quorvane-monitor" --sim "$build/sim/quorvane-sim" \
    --whole "$build/bench/quorvane-whole" --out "$out" "${extra[@]}" | tee "$out/table.txt" || status=$?

if [ -n "$micro" ]; then
    echo >&2
    echo "perf: micro-benchmarks (cmake --build $build --target bench) ..." >&2
    cmake --build "$build" --target bench >"$out/micro.txt" 2>&1
    echo
    echo "Micro-benchmarks (full output: $out/micro.txt):"
    grep -E '^BM_' "$out/micro.txt"
fi
exit "$status"
