#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what lands where.
#   check-install.sh BUILD_DIR PREFIX GUI(ON|OFF)
set -euo pipefail
build=$1 prefix=$2 gui=$3
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
expect() {
    if [ ! -e "$prefix/$1" ]; then
        echo "missing: $1"
        fail=1
    fi
}
# The help is read whole before it is searched: grep -q stops at the first match, and a program
# still writing its help then dies of SIGPIPE, which pipefail would count as a failure.
runs() {
    local program=$1 option=$2 help
    if ! help=$("$prefix/bin/$program" --help 2>&1); then
        echo "installed $program does not run:"
        echo "$help"
        fail=1
    elif ! grep -q -- "$option" <<<"$help"; then
        echo "installed $program --help does not mention $option"
        fail=1
    fi
}
expect bin/quorvane-sim
runs quorvane-sim '--lines N'
expect bin/quorvane-probe
runs quorvane-probe '--check'
# The probe links the core only, never Qt, so it runs where no display libraries are installed.
if command -v ldd >/dev/null && grep -qi qt <<<"$(ldd "$prefix/bin/quorvane-probe")"; then
    echo "quorvane-probe links Qt"
    fail=1
fi
if [ "$gui" = ON ]; then
    expect bin/quorvane-monitor
    expect share/applications/quorvane-monitor.desktop
    expect share/icons/hicolor/scalable/apps/quorvane-monitor.svg
    desktop=$prefix/share/applications/quorvane-monitor.desktop
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail=1
    else
        echo "desktop-file-validate not installed; entry not validated"
    fi
    # The entry must start the installed program and name the installed icon.
    grep -qx 'Exec=quorvane-monitor' "$desktop" || { echo "Exec= does not name quorvane-monitor"; fail=1; }
    grep -qx 'Icon=quorvane-monitor' "$desktop" || { echo "Icon= does not name quorvane-monitor"; fail=1; }
else
    [ ! -e "$prefix/bin/quorvane-monitor" ] || { echo "monitor installed without the GUI"; fail=1; }
fi
# Nothing of the tests or benchmarks is installed.
extra=$(find "$prefix" -type f | grep -v -E '/bin/quorvane-(sim|probe|monitor)$|/quorvane-monitor\.(desktop|svg)$' || true)
if [ -n "$extra" ]; then
    echo "unexpected files installed:"
    echo "$extra"
    fail=1
fi
exit $fail
