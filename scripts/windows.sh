#!/usr/bin/env bash
# Cross-builds the core, the simulator, the probe and the core tests for 64-bit Windows with mingw-w64
# (the windows preset), then runs those tests and a smoke test of the simulator and the probe under
# Wine, headless: the tests labelled wine. SQLite for Windows is built once from Debian's own source
# package into a cache (scripts/sqlite-windows.sh).
#
#   scripts/windows.sh            set up, build in ./build-win (or $QUORVANE_WIN_BUILD), run
#   scripts/windows.sh --build    set up and build only
#
# When Debian's packages for this cannot be installed, it says so and exits 0: on a machine without
# them only this part is skipped. A build or test failure exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUORVANE_WIN_BUILD:-build-win}
run_tests=1
[ "${1:-}" = "--build" ] && run_tests=0

packages=(cmake g++-mingw-w64-x86-64 googletest wine wine64 python3 libsqlite3-dev tcl dpkg-dev make)
if ! scripts/setup.sh "${packages[@]}"; then
    echo "windows: SKIPPED: could not install ${packages[*]} from Debian's archive;"
    echo "windows: the Windows cross-build and its Wine test run did not run."
    exit 0
fi

scripts/sqlite-windows.sh
sqlite=$(scripts/sqlite-windows.sh --prefix)
echo "windows: configuring $build"
cmake --preset windows -B "$build" -DCMAKE_PREFIX_PATH="$sqlite" >/dev/null
echo "windows: building"
cmake --build "$build" -j"$(nproc)"
[ $run_tests -eq 1 ] || exit 0

# A prefix of our own, no display, no prompts for Wine's .NET or browser add-ons (as the windows test
# preset has them for ./build-win).
WINEPREFIX="$(cd "$build" && pwd)/wineprefix"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "windows: creating the Wine prefix (once)"
    timeout 300 wineboot --init >/dev/null 2>&1 || true
    # The registry files are written when the server that wineboot started exits.
    timeout 300 wineserver -w || true
fi
[ -f "$WINEPREFIX/system.reg" ] || { echo "windows: Wine could not create its prefix in $WINEPREFIX" >&2; exit 1; }
# One wineserver for every test process: starting one per process costs seconds each.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# The first program starts Wine's own background services, which keep its output open; started
# here with nothing attached, they do not hold a test's output (and CTest waiting on it) open.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

echo "windows: running the tests under $(wine --version), the simulator and probe smoke test among them"
# Now and then Wine loses a test process as it starts: it ends at once, without a line of output,
# and passes when run again. Such a test gets one more run; a test that fails twice fails the step.
ctest --test-dir "$build" -L wine -j"$(nproc)" --output-on-failure --timeout 60 --repeat until-pass:2
echo "windows: all passed"
