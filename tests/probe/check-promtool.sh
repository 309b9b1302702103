#!/usr/bin/env bash
# The probe's metrics through promtool, Prometheus' own checker:
#   check-promtool.sh PROBE SIM WORKDIR
# a 2048-line board from the simulator, a board of odd status texts (quotes, backslashes, line
# feeds, GBK, control bytes, broken GBK) from a one-frame server on loopback, and the exposition of
# a server that cannot be reached. Exits 77 (skipped) with the reason where promtool is not
# installed: it comes with Debian's prometheus package (scripts/setup.sh prometheus).
set -euo pipefail
probe=$1 sim=$2 work=$3

if ! command -v promtool >/dev/null; then
    echo "SKIPPED: promtool is not installed (Debian's prometheus package; scripts/setup.sh prometheus)"
    exit 77
fi
if ! command -v python3 >/dev/null; then
    echo "SKIPPED: python3, which serves the odd status texts, is not installed"
    exit 77
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work"

pids=()
# Run by the EXIT trap, which this shellcheck does not follow into the function.
# shellcheck disable=SC2317
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT
fail=0

# Waits for "listening 127.0.0.1:PORT" in file $1 and prints the port.
port_of() {
    for _ in $(seq 1 100); do
        if [[ -s $1 ]] && port=$(sed -n 's/^listening 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$1") && [[ -n $port ]]; then
            echo "$port"
            return 0
        fi
        sleep 0.1
    done
    echo "no 'listening 127.0.0.1:PORT' line in $1" >&2
    return 1
}

check() {
    local name=$1 file=$2
    if promtool check metrics <"$file"; then
        echo "promtool: $name passes"
    else
        echo "promtool: $name FAILS:"
        cat "$file"
        fail=1
    fi
}

"$sim" --bind 127.0.0.1 --port 0 --lines 2048 --language zh >sim.out 2>sim.err &
pids+=($!)
sim_port=$(port_of sim.out)
"$probe" --host 127.0.0.1 --port "$sim_port" --format prometheus >board.prom
grep -qx 'quorvane_lines 2048' board.prom || { echo "no 2048 lines in board.prom"; fail=1; }
check "a 2048-line board" board.prom

python3 - >odd.out 2>odd.err <<'PY' &
import socket
import struct

statuses = [b'say "hi"', b"C:\\temp\\new", b"two\nlines", b"\xcd\xa8\xbb\xb0", b"\xcd\xa8\xbb\xb0",
            b"\x1b[31mred", b"\xff", b"\x81", b"{a=\"1\"} 2 # x", b""]
body = struct.pack("<h", len(statuses))
for line, text in enumerate(statuses):
    body += struct.pack("<hbbb", line, 2, 0, 15) + text + b"\0"
frame = b"%04d" % len(body) + body
with socket.socket() as server:
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    server.settimeout(30)
    print("listening 127.0.0.1:%d" % server.getsockname()[1], flush=True)
    peer, _ = server.accept()
    with peer:
        peer.settimeout(30)
        held = b""
        while True:
            data = peer.recv(64)
            if not data:
                break
            held += data
            while len(held) >= 5:
                held = held[5:]
                peer.sendall(frame)
PY
pids+=($!)
odd_port=$(port_of odd.out)
"$probe" --host 127.0.0.1 --port "$odd_port" --format prometheus --polls 1 >odd.prom 2>odd.probe.err || true
grep -q 'status="say \\"hi\\""' odd.prom || { echo "quotes not escaped in odd.prom"; fail=1; }
grep -q 'status="two\\nlines"' odd.prom || { echo "line feed not escaped in odd.prom"; fail=1; }
grep -q 'status="通话"} 2' odd.prom || { echo "GBK not decoded in odd.prom"; fail=1; }
check "odd status texts" odd.prom

# A server that is gone: the exposition still parses and says so.
"$sim" --bind 127.0.0.1 --port 0 --lines 1 >gone.out 2>gone.err &
gone_pid=$!
gone_port=$(port_of gone.out)
kill "$gone_pid"
wait "$gone_pid" || true
if "$probe" --host 127.0.0.1 --port "$gone_port" --timeout 0.5 --format prometheus >down.prom 2>down.err; then
    echo "the probe of a stopped server exited 0"
    fail=1
fi
grep -qx 'quorvane_link_up 0' down.prom || { echo "no quorvane_link_up 0 for a stopped server"; fail=1; }
check "a stopped server" down.prom
exit $fail
