"""End to end: the monitor keeps line history while it runs against the simulator, and the probe
reads the board of a past moment back from the file.

  history_e2e.py --monitor M --sim S --probe P --work DIR

On a private Xvfb server (offscreen without one), with "Keep line history" on in the test's private
per-user store, the monitor watches a simulator whose board never changes (seed 7), then that
simulator is stopped and another (seed 8) takes its port; the monitor reconnects, and is closed.
Then `quorvane-probe --history FILE --at T` must give, line for line, the statuses the first
simulator sent for a T in the first stretch, "link down" for a T between the two, and the second
simulator's statuses for a T after the reconnection. The simulators' boards are read with the probe
from the simulators themselves. Bounded: about 30 seconds.

Exit status: 0 passed, 1 failed, 77 skipped. Everything runs in DIR; only 127.0.0.1 is contacted.
"""

import argparse
import csv
import datetime
import io
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from monitor_e2e import Session, close_through_menu, log  # noqa: E402
from testkit import Failure, read_bytes, wait_for  # noqa: E402

LINES = 48


def utc_now():
    return datetime.datetime.now(datetime.timezone.utc)


def iso(moment):
    return moment.isoformat(timespec="milliseconds").replace("+00:00", "Z")


def probe_csv(probe, session, *args):
    out = subprocess.run([probe, *args, "--format", "csv"], cwd=session.work, env=session.env, capture_output=True,
                         timeout=30)
    if out.returncode != 0:
        raise Failure(f"quorvane-probe {' '.join(args)} ended with {out.returncode}: {out.stderr!r}")
    return list(csv.reader(io.StringIO(out.stdout.decode("utf-8"))))


def live_statuses(probe, session, port):
    """Line -> status of the simulator's board as the probe reads it (column 2)."""
    rows = probe_csv(probe, session, "-H", "127.0.0.1", "-p", str(port))
    return {int(r[0]): r[2] for r in rows[1:]}


def monitor_connected(session, name):
    """The simulator has seen a second connection: the probe's came first, then the monitor's."""
    return len(re.findall(rb"127\.0\.0\.1:\d+ connected\n", read_bytes(session.path(name + ".log")))) >= 2


def history_at(probe, session, file, moment):
    """Line -> (status, gap) of the file's board at moment."""
    rows = probe_csv(probe, session, "--history", file, "--at", iso(moment))
    if rows[0] != ["Line", "Status", "Since", "Gap"]:
        raise Failure(f"unexpected header {rows[0]!r}")
    return {int(r[0]): (r[1], r[3]) for r in rows[1:]}


def expect_board(what, shown, expected):
    got = {line: status for line, (status, gap) in shown.items()}
    gaps = {gap for _, gap in shown.values() if gap}
    if got != expected or gaps:
        diff = [(k, expected.get(k), got.get(k)) for k in sorted(set(got) | set(expected)) if expected.get(k) != got.get(k)]
        raise Failure(f"{what}: the history differs from the board at {len(diff)} lines {diff[:5]}, gaps {gaps}")
    log(f"{what}: the history's {len(got)} lines equal the simulator's board")


def run(session, probe):
    history = session.path("history.sqlite3")
    store = os.path.join(session.env["XDG_CONFIG_HOME"], "Halverdon")
    os.makedirs(store)
    with open(os.path.join(store, "Quorvane.conf"), "w", encoding="utf-8") as f:
        f.write(f"[History]\nEnabled=true\nPath={history}\n")
    # Nothing may go to the user's data folder.
    session.env["XDG_DATA_HOME"] = session.path("data")
    graceful = bool(shutil.which("Xvfb") and shutil.which("xdotool"))
    if graceful:
        session.start_xvfb()
        session.env["QT_QPA_PLATFORM"] = "xcb"
    else:
        log("note: Xvfb or xdotool is missing; offscreen, stopped with SIGTERM")
        session.env["QT_QPA_PLATFORM"] = "offscreen"

    sim1, port = session.start_sim(session.sim_path, "--lines", str(LINES), "--change-rate", "0", "--seed", "7",
                                   name="sim1")
    first = live_statuses(probe, session, port)
    session.write_config(port, 1, "LANGUAGE_TYPE = English")
    monitor = session.start_monitor()
    wait_for("the monitor to connect", lambda: monitor_connected(session, "sim1"), 20)
    wait_for("the history file", lambda: os.path.exists(history), 10)
    time.sleep(3)
    t1 = utc_now()
    time.sleep(1)

    session.stop(sim1)
    log("first simulator stopped")
    time.sleep(3)
    t_down = utc_now()
    time.sleep(1)
    sim2, again = session.start_sim(session.sim_path, "--lines", str(LINES), "--change-rate", "0", "--seed", "8",
                                    name="sim2", port=port)
    if again != port:
        raise Failure(f"the second simulator listens on {again}, not {port}")
    second = live_statuses(probe, session, port)
    if second == first:
        raise Failure("both simulators send the same board; the check would prove nothing")
    # The monitor waits 8 seconds before it connects again.
    wait_for("the monitor to poll the second simulator", lambda: monitor_connected(session, "sim2"), 20, 0.1)
    time.sleep(3)
    t2 = utc_now()
    time.sleep(3)
    if monitor.poll() is not None:
        raise Failure(f"the monitor ended with {monitor.returncode}")
    if graceful:
        if not close_through_menu(session, monitor):
            raise Failure("System > Exit did not end the monitor")
    else:
        session.stop(monitor)
    session.stop(sim2)

    if os.path.exists(session.path("data")):
        raise Failure("the monitor wrote into the per-user data folder although the history lives elsewhere")
    expect_board(f"at {iso(t1)}", history_at(probe, session, history, t1), first)
    down = history_at(probe, session, history, t_down)
    gaps = {gap for _, gap in down.values()}
    if gaps != {"link down"}:
        raise Failure(f"at {iso(t_down)}, with the simulator stopped, the history should say link down: {gaps}")
    log(f"at {iso(t_down)}: every line is a 'link down' gap")
    expect_board(f"at {iso(t2)}", history_at(probe, session, history, t2), second)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    session = Session(args)
    try:
        return run(session, args.probe)
    except Failure as e:
        log(f"FAILED: {e}")
        session.print_logs(("monitor.log", "sim1.log", "sim2.log", "Monitor.log"))
        return 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
