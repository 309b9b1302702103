#!/usr/bin/env bash
# Runs scripts/run-demo.sh without a display for a few seconds and checks that the monitor showed the
# simulator's board. Exits 77 (skipped) when Xvfb or ImageMagick's import is missing.
#   check-run-demo.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
source=$1 build=$2 work=$3
for tool in Xvfb import convert; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done
rm -rf "$work"
env -u DISPLAY -u WAYLAND_DISPLAY QUORVANE_DEMO_SECONDS=6 QUORVANE_DEMO_DIR="$work" QUORVANE_LANG=en \
    "$source/scripts/run-demo.sh" "$build"
fail=0
grep -q '^SERVER_IP = 127.0.0.1' "$work/Quorvane.cfg" || { echo "Quorvane.cfg does not point at loopback"; fail=1; }
grep -q 'SERVER_PORT = [1-9]' "$work/Quorvane.cfg" || { echo "no port in Quorvane.cfg"; fail=1; }
# The simulator saw the monitor poll, and the monitor closing (the script stopped the simulator after).
grep -q 'connected$' "$work/sim.log" || { echo "the monitor never connected"; fail=1; }
grep -q 'gone (closed by peer) after [1-9]' "$work/sim.log" || { echo "no answers before the monitor closed"; fail=1; }
if [ ! -s "$work/screenshot.png" ]; then
    echo "no screenshot"
    exit 1
fi
# The status cells' backgrounds: yellow (Ringing), blue (Talking), red (Recording).
colours=$(convert "$work/screenshot.png" -format %c histogram:info:- | tr -d ' ')
for rgb in '(255,255,0)' '(0,0,255)' '(255,0,0)'; do
    grep -qF "$rgb" <<<"$colours" || { echo "screenshot lacks the colour $rgb"; fail=1; }
done
exit $fail
