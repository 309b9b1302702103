#!/usr/bin/env bash
# Starts quorvane-sim on a free loopback port and the monitor against it, in a fresh scratch working
# directory under ./run. Closing the monitor stops the simulator.
#
#   scripts/run-demo.sh [BUILD_DIR]        (default: ./build)
#
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) the monitor runs on a private Xvfb
# server and a screenshot is refreshed every few seconds; Ctrl-C stops everything.
#
# Environment:
#   QUORVANE_LANG=zh           Chinese texts (GBK) in the monitor and the simulator; default English
#   QUORVANE_DEMO_LINES=N      lines the simulator reports (default 64)
#   QUORVANE_DEMO_SECONDS=S    close the monitor by itself after S seconds
#   QUORVANE_DEMO_DIR=DIR      use DIR as the working directory instead of a new one under ./run
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
if [ ! -d "$build" ] && [ -d "$repo/$build" ]; then
    build=$repo/$build
fi
build=$(cd "$build" 2>/dev/null && pwd) || {
    echo "run-demo: no build directory '${1:-build}'; build first with scripts/build.sh" >&2
    exit 2
}
sim=$build/sim/quorvane-sim
monitor=$build/app/quorvane-monitor
for program in "$sim" "$monitor"; do
    if [ ! -x "$program" ]; then
        echo "run-demo: $program is missing; build first with scripts/build.sh" >&2
        exit 2
    fi
done

lines=${QUORVANE_DEMO_LINES:-64}
seconds=${QUORVANE_DEMO_SECONDS:-}
if [ -n "$seconds" ] && ! [[ $seconds =~ ^[0-9]+$ ]]; then
    echo "run-demo: QUORVANE_DEMO_SECONDS must be a whole number of seconds" >&2
    exit 2
fi
if [ "${QUORVANE_LANG:-en}" = zh ]; then
    sim_lang=zh
else
    sim_lang=en
fi

if [ -n "${QUORVANE_DEMO_DIR:-}" ]; then
    work=$QUORVANE_DEMO_DIR
else
    work=$repo/run/demo-$(date +%Y%m%d-%H%M%S)-$$
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)

sim_pid=""
xvfb_pid=""
monitor_pid=""
# shellcheck disable=SC2317 # called by the traps
cleanup() {
    trap - EXIT INT TERM
    for pid in "$monitor_pid" "$sim_pid" "$xvfb_pid"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
}
trap cleanup EXIT
trap 'echo; echo "run-demo: stopping"; exit 130' INT
trap 'exit 143' TERM

# The simulator prints "listening 127.0.0.1:PORT" once it accepts connections.
(cd "$work" && exec "$sim" --port 0 --bind 127.0.0.1 --lines "$lines" --language "$sim_lang" \
    >"$work/sim.out" 2>"$work/sim.log") &
sim_pid=$!
port=""
for _ in $(seq 100); do
    first=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
    if [[ $first =~ ^listening\ 127\.0\.0\.1:([0-9]+)$ ]]; then
        port=${BASH_REMATCH[1]}
        break
    fi
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if [ -z "$port" ]; then
    echo "run-demo: the simulator did not start:" >&2
    cat "$work/sim.log" >&2
    exit 1
fi

# The monitor reads its settings from Quorvane.cfg in its working directory; CR LF like its own.
if [ "$sim_lang" = zh ]; then
    language=Chinese
    # GBK: 主叫号码, 呼叫次数, 队列 (a title cannot hold blanks).
    title1=$'\326\367\275\320\272\305\302\353'
    title2=$'\272\364\275\320\264\316\312\375'
    title3=$'\266\323\301\320'
else
    language=English
    title1=Caller
    title2=Calls
    title3=Queue
fi
printf '%s\r\n' "SERVER_IP = 127.0.0.1" "SERVER_PORT = $port" "SLEEP_SEC = 1" "COL_GROUP_NUM = 1" \
    "LANGUAGE_TYPE = $language" "TITLE1 = $title1" "TITLE2 = $title2" "TITLE3 = $title3" >"$work/Quorvane.cfg"

echo "run-demo: working directory $work"
echo "run-demo: quorvane-sim listening on 127.0.0.1:$port ($lines lines, log: $work/sim.log)"

headless=""
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    headless=1
    if ! command -v Xvfb >/dev/null; then
        echo "run-demo: no display and no Xvfb; install it with scripts/setup.sh" >&2
        exit 1
    fi
    # Xvfb picks a free display number itself and writes it to descriptor 3 once it is ready.
    Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/xvfb.display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    display=""
    for _ in $(seq 100); do
        display=$(tr -dc '0-9' <"$work/xvfb.display" 2>/dev/null || true)
        if [ -n "$display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    if [ -z "$display" ]; then
        echo "run-demo: Xvfb did not start:" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    export DISPLAY=:$display
    export QT_QPA_PLATFORM=xcb
    # The window placement goes to the scratch directory, not the user's settings.
    export XDG_CONFIG_HOME=$work/xdg
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        mkdir -m 700 "$work/runtime"
        export XDG_RUNTIME_DIR=$work/runtime
    fi
    shot=$work/screenshot.png
    echo "run-demo: no display; the monitor runs on Xvfb $DISPLAY"
    echo "run-demo: screenshot refreshed every 3 seconds: $shot"
fi

(cd "$work" && exec "$monitor") &
monitor_pid=$!
if [ -n "$seconds" ]; then
    echo "run-demo: the monitor closes after $seconds seconds; Ctrl-C stops it sooner"
else
    echo "run-demo: close the monitor window or press Ctrl-C to stop"
fi

take_screenshot() {
    if import -display "$DISPLAY" -window root "png:$shot.tmp" 2>/dev/null; then
        mv -f "$shot.tmp" "$shot"
    fi
}

start=$SECONDS
next_shot=$((SECONDS + 2))
while kill -0 "$monitor_pid" 2>/dev/null; do
    if [ -n "$headless" ] && [ "$SECONDS" -ge "$next_shot" ]; then
        take_screenshot
        next_shot=$((SECONDS + 3))
    fi
    if [ -n "$seconds" ] && [ $((SECONDS - start)) -ge "$seconds" ]; then
        if [ -n "$headless" ]; then
            take_screenshot
        fi
        kill -TERM "$monitor_pid" 2>/dev/null || true
        break
    fi
    sleep 0.25
done
status=0
wait "$monitor_pid" 2>/dev/null || status=$?
monitor_pid=""
if [ -n "$seconds" ] && [ "$status" -eq 143 ]; then
    status=0 # closed by the time limit
fi
echo "run-demo: monitor ended (status $status); files are in $work"
exit "$status"
