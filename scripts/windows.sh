#!/usr/bin/env bash
# Cross-builds everything for 64-bit Windows with mingw-w64 (the windows preset): the monitor with a
# static Qt, the simulator, the probe and the tests, then under Wine, headless:
#   1. the tests labelled wine (the core's, and the GUI's on Qt's offscreen platform),
#   2. the window tests on Qt's real windows platform, on Xvfb with a window manager,
#   3. the monitor end to end against the simulator, in English and in Chinese,
#   4. the installer (NSIS) and the .zip, and the installer's own test.
# Qt and SQLite for Windows are built once from Debian's own source packages into a cache
# (scripts/qt-windows.sh, scripts/sqlite-windows.sh); Qt takes about half an hour the first time.
#
#   scripts/windows.sh            set up, build in ./build-win (or $QUORVANE_WIN_BUILD), run it all
#   scripts/windows.sh --build    set up and build only
#   scripts/windows.sh --core     without Qt: the core, the simulator, the probe and their tests
#                                 under Wine only (a quick round)
#   scripts/windows.sh --setup    install the Debian packages only (CI does so before it starts
#                                 building Qt and the project beside its other steps)
#
# When Debian's packages for this cannot be installed, it says so and exits 0: on a machine without
# them only this part is skipped. A build or test failure exits non-zero.
set -euo pipefail
# The whole script is one function, read before it runs.
main() {
    cd "$(dirname "$0")/.."

    build=${QUORVANE_WIN_BUILD:-build-win}
    run_tests=1
    [ "${1:-}" = "--build" ] && run_tests=0
    gui=ON
    [ "${1:-}" = "--core" ] && gui=OFF

    packages=(cmake ninja-build g++-mingw-w64-x86-64 googletest wine wine64 python3 libsqlite3-dev tcl
        dpkg-dev make qt6-base-dev qt6-base-dev-tools nsis xvfb xauth openbox x11-utils xdotool
        imagemagick fonts-wqy-microhei)
    if ! scripts/setup.sh "${packages[@]}"; then
        echo "windows: SKIPPED: could not install ${packages[*]} from Debian's archive;"
        echo "windows: the Windows cross-build and its Wine test run did not run."
        exit 0
    fi
    [ "${1:-}" != "--setup" ] || exit 0

    timed sqlite scripts/sqlite-windows.sh
    prefixes=$(scripts/sqlite-windows.sh --prefix)
    if [ $gui = ON ]; then
        timed qt scripts/qt-windows.sh
        prefixes="$prefixes;$(scripts/qt-windows.sh --prefix)"
    fi
    echo "windows: configuring $build"
    cmake --preset windows -B "$build" -DQUORVANE_GUI=$gui -DCMAKE_PREFIX_PATH="$prefixes" \
        >"$build.configure.log" 2>&1 || {
        cat "$build.configure.log" >&2
        exit 1
    }
    rm -f "$build.configure.log"
    timed build cmake --build "$build" -j"$(nproc)"
    [ $run_tests -eq 1 ] || exit 0

    # A prefix of our own, no display, no prompts for Wine's .NET or browser add-ons (as the windows
    # test preset has them for ./build-win).
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
    [ -f "$WINEPREFIX/system.reg" ] || {
        echo "windows: Wine could not create its prefix in $WINEPREFIX" >&2
        exit 1
    }
    # One wineserver for every test process: starting one per process costs seconds each.
    wineserver -p || true
    trap 'wineserver -k 2>/dev/null || true' EXIT
    # The first program starts Wine's own background services, which keep its output open; started
    # here with nothing attached, they do not hold a test's output (and CTest waiting on it) open.
    timeout 120 wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

    echo "windows: running the tests under $(wine --version)"
    # Now and then Wine loses a test process as it starts: it ends at once, without a line of output,
    # and passes when run again. Such a test gets one more run; a test that fails twice fails the step.
    timed wine-tests ctest --test-dir "$build" -L wine -j"$(nproc)" --output-on-failure --timeout 60 \
        --repeat until-pass:2

    if [ $gui = OFF ]; then
        echo "windows: all passed (without the GUI)"
        exit 0
    fi

    e2e=tests/e2e/windows_e2e.py
    fresh_wine
    timed window-tests python3 tests/e2e/windows_window_tests.py --build "$build" --work "$build/e2e/window-tests"
    for lang in English Chinese; do
        fresh_wine
        timed "e2e-$lang" python3 "$e2e" monitor --lang "$lang" --monitor "$build/app/quorvane-monitor.exe" \
            --sim "$build/sim/quorvane-sim.exe" --work "$build/e2e/monitor-$lang"
    done

    timed package cpack --config "$build/CPackConfig.cmake" -B "$build"
    installer=$(find "$build" -maxdepth 1 -name 'quorvane-*-win64.exe' | head -1)
    [ -n "$installer" ] || {
        echo "windows: cpack made no installer in $build" >&2
        exit 1
    }
    fresh_wine
    timed installer python3 "$e2e" installer --installer "$installer" --work "$build/e2e/installer"
    echo "windows: all passed; $(basename "$installer") and its .zip are in $build"
}

# Wine's desktop process serves every program of the prefix while any runs. Started by headless
# tests, or on the private display of a run that has ended, it shows no window: everything of the
# prefix ends before a run with a display of its own, whose programs start it again there.
fresh_wine() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}

# Runs a step and prints how long it took.
timed() {
    local name=$1 start
    shift
    start=$(date +%s)
    "$@"
    echo "windows: $name: $(($(date +%s) - start)) s"
}

main "$@"; exit
