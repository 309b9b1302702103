#!/usr/bin/env bash
# Runs the notification tests against a real notification server: a private session bus
# (dbus-run-session), Debian's notification-daemon on its own Xvfb display, and dbus-monitor writing
# every call to org.freedesktop.Notifications into the file the tests read ($QUORVANE_NOTIFY_LOG).
#   notify_bus.sh TEST_EXECUTABLE [gtest options]
# Exits 77 (skipped) when a tool is missing.
set -euo pipefail

daemon=/usr/lib/notification-daemon/notification-daemon

# Waits (at most 10 s) until the command succeeds.
wait_for() {
    local i
    for ((i = 0; i < 100; i++)); do
        if "$@"; then
            return 0
        fi
        sleep 0.1
    done
    echo "notify_bus: gave up waiting for: $*" >&2
    return 1
}

server_up() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.Notifications 2>/dev/null | grep -q "boolean true"
}

monitor_listens() {
    dbus-send --session --print-reply --dest=org.freedesktop.Notifications /org/freedesktop/Notifications \
        org.freedesktop.Notifications.GetServerInformation >/dev/null 2>&1 || return 1
    grep -q "member=GetServerInformation" "$QUORVANE_NOTIFY_LOG"
}

inside() {
    local test_exe=$1
    shift
    # Global: the exit trap runs after this function has returned.
    pids=()
    work=$(mktemp -d)
    # shellcheck disable=SC2317 # called by the trap
    cleanup() {
        local pid
        for pid in "${pids[@]}"; do
            kill "$pid" 2>/dev/null || true
        done
        wait 2>/dev/null || true
        rm -rf "$work"
    }
    trap cleanup EXIT

    Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    wait_for test -s "$work/display"
    DISPLAY=":$(cat "$work/display")"
    export DISPLAY

    export QUORVANE_NOTIFY_LOG="$work/calls.txt"
    dbus-monitor --session "interface='org.freedesktop.Notifications'" >"$QUORVANE_NOTIFY_LOG" 2>/dev/null &
    pids+=($!)
    # Without the accessibility bridge: its bus would outlive the session and hold the output open.
    NO_AT_BRIDGE=1 "$daemon" >/dev/null 2>&1 &
    pids+=($!)
    wait_for server_up
    # The monitor listens once it writes down a call made after it started.
    wait_for monitor_listens

    "$test_exe" "$@"
}

if [ "${1:-}" = "--inside" ]; then
    shift
    inside "$@"
    exit $?
fi

for tool in dbus-run-session dbus-monitor dbus-send Xvfb; do
    if ! command -v "$tool" >/dev/null; then
        echo "notify_bus: $tool is missing (scripts/setup.sh installs it); skipped"
        exit 77
    fi
done
if [ ! -x "$daemon" ]; then
    echo "notify_bus: notification-daemon is missing (scripts/setup.sh installs it); skipped"
    exit 77
fi
exec dbus-run-session -- bash "$0" --inside "$@"
