#!/usr/bin/env bash
# Smoke test of the cross-built simulator and probe under Wine, over loopback only; the Windows
# cross-build runs it as the CTest test windows_sim_smoke (label wine):
#   check-windows-smoke.sh SIM_EXE PROBE_EXE
# Starts quorvane-sim.exe on 127.0.0.1 with a free port, waits (up to 40 s, Wine's first start is
# slow) for its "listening 127.0.0.1:PORT" line, polls it twice from Linux with python3 and checks
# that each answer is a well-formed frame, runs quorvane-probe.exe against it (JSON, check mode) and
# against a closed port, then stops the simulator with Ctrl+C (Wine turns SIGINT into the console
# event the simulator listens for) and expects exit status 0.
#
# The caller sets WINEPREFIX (required: a prefix of its own, already booted; the windows test
# preset names the build's) and may set WINEDEBUG (default -all), WINEDLLOVERRIDES and DISPLAY
# (unset it to stay headless). The prefix and its wineserver stay the caller's: scripts/windows.sh
# ends them when all its tests are done.
#
# Exit status 0 on success; otherwise 1 with the reason on stderr.
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 SIM_EXE PROBE_EXE" >&2
    exit 2
fi
sim_exe=$1
probe_exe=$2
if [[ -z ${WINEPREFIX:-} ]]; then
    echo "windows-sim-smoke: set WINEPREFIX to a Wine prefix of your own" >&2
    exit 1
fi
export WINEDEBUG=${WINEDEBUG:--all}
if [[ ! -f $sim_exe ]]; then
    echo "windows-sim-smoke: $sim_exe not found" >&2
    exit 1
fi
sim_exe=$(realpath "$sim_exe")

work=$(mktemp -d)
sim_pid=
cleanup() {
    if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -KILL "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "windows-sim-smoke: $*" >&2
    for f in out err; do
        if [[ -s $work/$f ]]; then
            echo "--- simulator std$f:" >&2
            tr -d '\r' <"$work/$f" | head -n 20 >&2
        fi
    done
    exit 1
}

# Its own working directory, so nothing the simulator or Wine might write lands in the caller's.
(cd "$work" && exec wine "$sim_exe" --bind 127.0.0.1 --port 0 --lines 5 --seed 7) \
    >"$work/out" 2>"$work/err" &
sim_pid=$!

port=
line=
for _ in $(seq 1 200); do
    # Only a whole line counts: a half-written one could name a shorter port. Windows ends it in CR LF.
    if IFS= read -r line <"$work/out"; then
        line=${line%$'\r'}
        [[ $line =~ ^listening\ 127\.0\.0\.1:([0-9]+)$ ]] && port=${BASH_REMATCH[1]}
        break
    fi
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        wait "$sim_pid" && status=0 || status=$?
        sim_pid=
        fail "the simulator ended (status $status) before it listened"
    fi
    sleep 0.2
done
if [[ -z $port ]]; then
    fail "no 'listening 127.0.0.1:PORT' line within 40 s (first line: '${line:-}')"
fi
if ((port < 1 || port > 65535)); then
    fail "the simulator named port $port"
fi
echo "windows-sim-smoke: simulator listening on 127.0.0.1:$port"

python3 - "$port" <<'PY' || fail "the answers were not as expected"
import socket
import struct
import sys
import time

port = int(sys.argv[1])
LINES = 5


def read_frame(sock, deadline):
    held = b""
    size = None
    while size is None or len(held) < size:
        if size is None and len(held) >= 4:
            if held[0:1].isdigit() and held[1:2].isdigit():
                digits = held[:4]
                if not digits.isdigit():
                    raise SystemExit(f"text length field {digits!r} is not four digits")
                size = 4 + int(digits)
            else:
                (length,) = struct.unpack("<i", held[:4])
                if length < 2:
                    raise SystemExit(f"binary length field {length} is too short")
                size = 4 + length
            continue
        left = deadline - time.monotonic()
        if left <= 0:
            raise SystemExit(f"timed out with {len(held)} bytes of the answer")
        sock.settimeout(left)
        try:
            chunk = sock.recv(65536)
        except TimeoutError:
            raise SystemExit(f"no whole answer within 20 s, {len(held)} bytes of it arrived")
        if not chunk:
            raise SystemExit(f"connection closed after {len(held)} bytes of the answer")
        held += chunk
    if len(held) != size:
        raise SystemExit(f"{len(held) - size} bytes after a frame of {size}; one poll, one answer")
    return held


def records(frame):
    body = frame[4:]
    if len(body) < 2:
        raise SystemExit("body too short for the line count")
    (line_count,) = struct.unpack_from("<h", body, 0)
    out = []
    p = 2
    while p < len(body):
        if len(body) - p < 6:
            raise SystemExit(f"{len(body) - p} bytes left after the last record")
        line, column, fore, back = struct.unpack_from("<hbbb", body, p)
        end = body.find(b"\0", p + 5)
        if end < 0:
            raise SystemExit(f"record at {p} has no 0 byte ending its text")
        out.append((line, column, fore, back, body[p + 5 : end]))
        p = end + 1
    return line_count, out


def check():
    with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
        deadline = time.monotonic() + 20
        sock.sendall(b"00011")
        line_count, first = records(read_frame(sock, deadline))
        if line_count != LINES:
            raise SystemExit(f"line count {line_count}, asked for {LINES}")
        cells = {(r[0], r[1]) for r in first if r[0] >= 0}
        summaries = [r for r in first if r[0] == -1]
        if cells != {(l, c) for l in range(LINES) for c in range(8)} or len(cells) + len(summaries) != len(first):
            raise SystemExit(f"the first answer should carry each of the {LINES * 8} cells once, got {len(first)} records")
        if len(summaries) != 1 or not summaries[0][4].startswith(b"Lines 5 | Idle "):
            raise SystemExit(f"the first answer should carry one summary, got {summaries!r}")
        sock.sendall(b"00011")
        line_count, later = records(read_frame(sock, deadline))
        if line_count != LINES:
            raise SystemExit(f"second answer: line count {line_count}")
        print(f"windows-sim-smoke: answers of {len(first)} and {len(later)} records are well-formed")


try:
    check()
except OSError as e:
    raise SystemExit(f"talking to the simulator: {e}")
PY

# The probe's .exe against the simulator's: its JSON is the whole board, its check line says OK,
# and a port nobody listens on is CRITICAL.
[[ -f $probe_exe ]] || fail "$probe_exe not found"
probe_exe=$(realpath "$probe_exe")
probe() { (cd "$work" && exec wine "$probe_exe" "$@") 2>"$work/probe.err"; }
probe --host 127.0.0.1 --port "$port" --format json >"$work/probe.json" ||
    fail "probe.exe --format json exited $?: $(tr -d '\r' <"$work/probe.err")"
python3 - "$work/probe.json" <<'PY' || fail "probe.exe's JSON is not the board"
import json
import sys

doc = json.load(open(sys.argv[1], encoding="utf-8"))
if doc["lineCount"] != 5 or len(doc["lines"]) != 5 or not doc["complete"]:
    raise SystemExit(f"lineCount {doc['lineCount']}, {len(doc['lines'])} lines, complete {doc['complete']}")
for line in doc["lines"]:
    if len(line["cells"]) != 8 or line["cells"][0]["text"] != str(line["line"]):
        raise SystemExit(f"line {line['line']}: {line['cells']!r}")
if not doc["summary"].startswith("Lines 5 | Idle "):
    raise SystemExit(f"summary {doc['summary']!r}")
print("windows-sim-smoke: probe.exe printed the whole board of 5 lines")
PY
check=$(probe --host 127.0.0.1 --port "$port" --check) || fail "probe.exe --check exited $?: $check"
[[ $check == "QUORVANE OK - 5 lines, "* ]] || fail "probe.exe --check printed '$check'"
echo "windows-sim-smoke: $check"
closed_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
status=0
check=$(probe --host 127.0.0.1 --port "$closed_port" --timeout 1 --check) || status=$?
((status == 2)) || fail "probe.exe --check of a closed port exited $status, expected 2 (CRITICAL): $check"
echo "windows-sim-smoke: closed port: ${check%$'\r'}"

kill -INT "$sim_pid"
for _ in $(seq 1 150); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$sim_pid" 2>/dev/null; then
    fail "the simulator did not stop within 15 s of Ctrl+C"
fi
wait "$sim_pid" && status=0 || status=$?
sim_pid=
if ((status != 0)); then
    fail "the simulator exited with status $status after Ctrl+C, expected 0"
fi
echo "windows-sim-smoke: passed"
