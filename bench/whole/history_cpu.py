"""The whole monitor's CPU with line history kept and without, side by side in one run.

  history_cpu.py --monitor M --sim S --out DIR [--seconds 60] [--warmup 10] [--lines 2048]
                 [--change-rate 1] [--sleep-sec 0]

Two monitors run at the same time, each against a simulator of its own on 127.0.0.1
(`--change-rate 1 --lines 2048`, SLEEP_SEC 0: answers as fast as the link goes), one with
"Keep line history" on in its private per-user store, the other off; both under the same load of the
machine. After the warm-up, user + system CPU of each monitor (every thread, from /proc) over the
same window, the answers each got, the changes the journal recorded and the file's size. Prints
JSON; the ratio on / off is the figure. Uses a private Xvfb server when there is one, else Qt's
offscreen platform.
"""

import argparse
import json
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "support"))
from testkit import Failure, Workdir, read_text, start_xvfb, stop, wait_for  # noqa: E402

CLK_TCK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    stat = read_text(f"/proc/{pid}/stat")
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


class Side(Workdir):
    def __init__(self, env, work, keep):
        super().__init__(work, env)
        self.keep = keep
        self.env["XDG_CONFIG_HOME"] = self.path("xdg")
        self.env["XDG_DATA_HOME"] = self.path("data")
        self.history = self.path("history.sqlite3")
        self.port = 0
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "Halverdon")
        os.makedirs(folder)
        with open(os.path.join(folder, "Quorvane.conf"), "w", encoding="utf-8") as f:
            f.write(f"[History]\nEnabled={'true' if keep else 'false'}\nPath={self.history}\n")



def polls_received(port):
    """Polls the simulator on port has received (5 bytes each) on its established connections."""
    out = subprocess.run(["ss", "-tinH", "state", "established", f"( sport = :{port} )"], capture_output=True,
                         text=True).stdout
    return sum(int(n) for n in re.findall(r"bytes_received:(\d+)", out)) // 5


def recorded_changes(path):
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    try:
        # Each chunk and each pending row says how many changes it holds.
        return db.execute("SELECT (SELECT coalesce(sum(n), 0) FROM changes) + "
                          "(SELECT coalesce(sum(n), 0) FROM pending)").fetchone()[0]
    finally:
        db.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--warmup", type=float, default=10)
    parser.add_argument("--lines", type=int, default=2048)
    parser.add_argument("--change-rate", default="1")
    parser.add_argument("--sleep-sec", type=int, default=0)
    args = parser.parse_args()
    args.monitor, args.sim, args.out = (os.path.abspath(p) for p in (args.monitor, args.sim, args.out))

    env = dict(os.environ)
    env.pop("WAYLAND_DISPLAY", None)
    env["LANG"] = "C.UTF-8"
    os.makedirs(args.out, exist_ok=True)
    xvfb = None
    if shutil.which("Xvfb"):
        xvfb, env["DISPLAY"] = start_xvfb(os.path.join(args.out, "xvfb.log"), env=env)
        env["QT_QPA_PLATFORM"] = "xcb"
    else:
        env["QT_QPA_PLATFORM"] = "offscreen"
    sides = {"off": Side(env, os.path.join(args.out, "off"), False), "on": Side(env, os.path.join(args.out, "on"), True)}
    try:
        monitors = {}
        for name, side in sides.items():
            _, port = side.start_sim(args.sim, "--lines", str(args.lines), "--change-rate", args.change_rate, "--seed",
                                     "3")
            side.port = port
            side.write_config(port, args.sleep_sec, "LANGUAGE_TYPE = English")
            monitors[name] = side.start([args.monitor], "monitor")
        for name, side in sides.items():
            wait_for(f"the {name} monitor to connect", lambda s=side: "connected\n" in read_text(s.path("sim.log")), 20)
        time.sleep(args.warmup)
        before = {name: cpu_seconds(m.pid) for name, m in monitors.items()}
        polls0 = {name: polls_received(side.port) for name, side in sides.items()}
        changes0 = recorded_changes(sides["on"].history)
        t0 = time.monotonic()
        time.sleep(args.seconds)
        after = {name: cpu_seconds(m.pid) for name, m in monitors.items()}
        polls1 = {name: polls_received(side.port) for name, side in sides.items()}
        wall = time.monotonic() - t0
        changes1 = recorded_changes(sides["on"].history)
        for name, m in monitors.items():
            if m.poll() is not None:
                raise Failure(f"the {name} monitor ended with {m.returncode}")
        result = {
            "window_s": round(wall, 1),
            "lines": args.lines,
            "change_rate": args.change_rate,
            "sleep_sec": args.sleep_sec,
            "platform": env["QT_QPA_PLATFORM"],
            "loadavg": read_text("/proc/loadavg").split()[:3],
        }
        for name in sides:
            result[f"cpu_percent_{name}"] = round(100 * (after[name] - before[name]) / wall, 1)
            result[f"answers_per_s_{name}"] = round((polls1[name] - polls0[name]) / wall, 1)
        result["ratio_on_off"] = round(result["cpu_percent_on"] / max(result["cpu_percent_off"], 0.01), 3)
        result["changes_recorded_per_s"] = round((changes1 - changes0) / wall)
        result["history_file_MB"] = round(os.path.getsize(sides["on"].history) / 1e6, 1)
        if os.path.exists(sides["off"].history):
            raise Failure("the monitor with history off wrote a history file")
        print(json.dumps(result, indent=1))
        return 0
    except Failure as e:
        print(f"FAILED: {e}", file=sys.stderr)
        return 1
    finally:
        for side in sides.values():
            side.close()
        if xvfb:
            stop(xvfb)


if __name__ == "__main__":
    sys.exit(main())
