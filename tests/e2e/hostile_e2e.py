#!/usr/bin/env python3
"""End-to-end checks of the real quorvane-monitor against a hostile quorvane-sim, and of the line
overview's first placement on a laptop's screen, on loopback under Xvfb.

  hostile_e2e.py mix    --monitor M --sim S --probe P --work DIR
  hostile_e2e.py long   --monitor M --sim S --work DIR
  hostile_e2e.py laptop --monitor M --sim S --work DIR

mix, long: quorvane-sim --hostile[=long] --lines 2048 (formulas, control bytes, markup, bytes that
        are not GBK, texts of 29,988 bytes, a distinct status on every line; or every status a
        distinct 29,988-byte text) and SLEEP_SEC = 0, so the board arrives as fast as the monitor
        reads it. The line overview is open, the pointer rests on a tile and on a grid cell (their
        tooltips), and the find bar is used (a query no line holds, then one many hold, F3 a few
        times). Nothing ends the monitor, its GUI thread uses less than a quarter of a core over the
        run, and no window it shows (tooltips, the overview) is wider than the screen. mix also runs
        quorvane-probe in every format against the same simulator meanwhile: each output keeps its
        bounds and passes no control character.
laptop: on a 1366 x 768 screen under a window manager (openbox), F2 opens the overview of a
        2048-line board with its whole frame on the screen, so every tile is on screen.

Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing). Everything runs in DIR, which is
emptied first; only 127.0.0.1 is ever contacted.
"""

import argparse
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import time
import unicodedata

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from testkit import Failure, Workdir, read_bytes, visible_window, wait_for  # noqa: E402

SKIP = 77

# The GUI thread's share of one core over the run, at most.
MAX_GUI_SHARE = 0.25
# How long the monitor runs against the hostile server with the overview open, at least.
RUN_SECONDS = 8
SCREEN = (1280, 900)
LAPTOP = (1366, 768)

# The probe's bounds, as its --help states them.
CHECK_LINE_BYTES = 1024
STATUS_SERIES = 50
LABEL_CHARS = 128
TABLE_LINE_COLUMNS = 494
# Control characters: the C0 range but the line end, DEL, C1, the bidirectional overrides.
CONTROLS = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u202a-\u202e\u2066-\u2069]")


def log(text):
    print(text, flush=True)


class Session(Workdir):
    def __init__(self, args):
        env = dict(os.environ)
        env.pop("WAYLAND_DISPLAY", None)
        env["LANG"] = "C.UTF-8"
        env["QT_QPA_PLATFORM"] = "xcb"
        super().__init__(args.work, env)
        # The placement goes to the scratch directory, not the user's settings.
        self.env["XDG_CONFIG_HOME"] = self.path("xdg")
        os.mkdir(self.path("runtime"), 0o700)
        self.env["XDG_RUNTIME_DIR"] = self.path("runtime")
        self.monitor_path = os.path.abspath(args.monitor)
        self.sim_path = os.path.abspath(args.sim)
        self.probe_path = os.path.abspath(args.probe) if args.probe else None

    def x(self, *argv):
        return subprocess.run(list(argv), env=self.env, capture_output=True, text=True, timeout=20)

    def key(self, window, *keys):
        self.x("xdotool", "windowfocus", "--sync", window)
        self.x("xdotool", "key", "--clearmodifiers", *keys)

    def named(self, name):
        ids = self.x("xdotool", "search", "--onlyvisible", "--name", name).stdout.split()
        return ids[0] if ids else None

    def client_geometry(self, window):
        """The window's client area on screen: x, y, width, height."""
        info = self.x("xwininfo", "-id", window).stdout

        def field(name):
            return int(re.search(name + r":\s*(-?\d+)", info).group(1))

        return field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height")

    def viewable_windows(self):
        """Every viewable window straight under the root (top levels, frames, tooltips): id, width."""
        tree = self.x("xwininfo", "-root", "-children").stdout
        found = []
        for m in re.finditer(r"^\s+(0x[0-9a-f]+) .*?(\d+)x\d+\+-?\d+\+-?\d+", tree, re.M):
            if "IsViewable" in self.x("xwininfo", "-id", m.group(1)).stdout:
                found.append((m.group(1), int(m.group(2))))
        return found


def thread_seconds(pid, tid):
    """CPU time (user + system) one thread has used, in seconds."""
    with open(f"/proc/{pid}/task/{tid}/stat", "rb") as f:
        fields = f.read().rsplit(b")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime, stime


def columns(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 0 if unicodedata.combining(c) else 1 for c in text)


def check_probe_output(fmt, rc, out):
    """Failure unless the probe's output in fmt is whole UTF-8, free of control characters and within
    its bounds."""
    if not (rc in (0, 1, 2) if fmt == "check" else rc == 0):
        raise Failure(f"quorvane-probe --format {fmt} ended with {rc}")
    try:
        text = out.decode("utf-8")
    except UnicodeDecodeError as e:
        raise Failure(f"--format {fmt} wrote broken UTF-8: {e}") from None
    if fmt == "csv":
        if text.startswith("\ufeff"):
            raise Failure("the probe's CSV starts with a byte order mark")
        body = text.replace("\r\n", "\n")
    else:
        body = text
    bad = CONTROLS.search(body)
    if bad:
        raise Failure(f"--format {fmt} passed a control character U+{ord(bad.group()):04X} raw")
    if fmt == "table":
        widest = max(columns(line) for line in text.split("\n"))
        if widest > TABLE_LINE_COLUMNS:
            raise Failure(f"a table line is {widest} columns wide")
    elif fmt == "csv":
        for row in csv.reader(io.StringIO(text, newline="")):
            for field in row:
                if field[:1] in ("=", "+", "-", "@", "\t", "\r"):
                    raise Failure(f"a CSV field starts a formula: {field[:40]!r}")
    elif fmt == "json":
        json.loads(text)
    elif fmt == "prometheus":
        values = re.findall(r'^quorvane_lines_by_status\{status="((?:[^"\\]|\\.)*)"\} ', text, re.M)
        if not 0 < len(values) <= STATUS_SERIES + 1:
            raise Failure(f"{len(values)} series of quorvane_lines_by_status")
        longest = max(len(re.sub(r"\\(.)", r"\1", v)) for v in values)
        if longest > LABEL_CHARS:
            raise Failure(f"a label value of {longest} characters")
    elif fmt == "check":
        if len(out) > CHECK_LINE_BYTES or text.count("\n") != 1:
            raise Failure(f"the check line is {len(out)} bytes, {text.count(chr(10))} lines")
    return f"{fmt} {len(out)} bytes"


class Probes:
    """quorvane-probe in every format at once against the simulator on port."""

    FORMATS = {"table": ["--format", "table"], "csv": ["--format", "csv"], "json": ["--format", "json"],
               "prometheus": ["--format", "prometheus"], "check": ["--check", "-s", "Idle", "-c", "5"]}

    def __init__(self, session, port):
        self.session = session
        self.procs = {fmt: session.start([session.probe_path, "-H", "127.0.0.1", "-p", str(port), "-t", "30", *args],
                                         f"probe-{fmt}") for fmt, args in self.FORMATS.items()}
        self.done = []

    def finished(self):
        """True once every probe has ended and its output passed; Failure if one did not."""
        if any(proc.poll() is None for proc in self.procs.values()):
            return False
        if not self.done:
            self.done = [check_probe_output(fmt, proc.returncode, read_bytes(self.session.path(f"probe-{fmt}.out")))
                         for fmt, proc in self.procs.items()]
        return True


def check_hostile(session, mode):
    for tool in ("Xvfb", "xdotool", "xwininfo"):
        if not shutil.which(tool):
            log(f"skipped: {tool} is not installed (scripts/setup.sh installs it)")
            return SKIP
    session.start_xvfb("%dx%dx24" % SCREEN)
    sim, port = session.start_sim(session.sim_path, "--lines", "2048", "--hostile=" + mode, "--seed", "3")
    session.write_config(port, 0, "COL_GROUP_NUM = 1", "LANGUAGE_TYPE = English")
    monitor = session.start([session.monitor_path], "monitor")

    def alive():
        if monitor.poll() is not None:
            raise Failure(f"the monitor ended with {monitor.returncode}")
        if sim.poll() is not None:
            raise Failure(f"the simulator ended with {sim.returncode}")
        return True

    main = wait_for("the monitor's window", lambda: alive() and visible_window(session.env), 20, 0.1)
    start_cpu, start_at = thread_seconds(monitor.pid, monitor.pid), time.monotonic()

    def opened():
        alive()
        found = session.named("^Line overview$")
        if not found:
            session.key(main, "F2")
        return found

    overview = wait_for("F2 to open the line overview", opened, 15, 0.5)
    widest = {}
    counts = []

    def look():
        alive()
        shown = session.viewable_windows()
        counts.append(len(shown))
        for window, width in shown:
            widest[window] = max(width, widest.get(window, 0))
            if width > SCREEN[0]:
                raise Failure(f"window {window} is {width} px wide, wider than the screen ({SCREEN[0]})")

    probes = Probes(session, port) if mode == "mix" else None
    # A tile's tooltip: the line's eight texts.
    ox, oy, ow, oh = session.client_geometry(overview)
    session.x("xdotool", "windowfocus", "--sync", overview)  # tooltips show in the active window
    session.x("xdotool", "mousemove", str(ox + ow - 60), str(oy + 30))
    time.sleep(1.5)
    look()
    # The find bar: a query no line holds (every text is read), then one that many lines hold.
    session.key(main, "ctrl+f")
    session.x("xdotool", "type", "--delay", "10", "no such text")
    session.key(main, "Return")
    look()
    session.key(main, "ctrl+a")
    session.x("xdotool", "type", "--delay", "10", "=" if mode == "mix" else "x")
    for _ in range(3):
        session.key(main, "F3")
        time.sleep(0.2)
    look()
    # A grid cell's tooltip: the cell's whole text, cut.
    mx, my, mw, mh = session.client_geometry(main)
    session.x("xdotool", "mousemove", str(mx + mw // 3), str(my + mh // 2))
    time.sleep(1.5)
    look()
    while time.monotonic() - start_at < RUN_SECONDS or (probes and not probes.finished()):
        look()
        time.sleep(0.3)
    # Again over the board as it is now (the long board takes an answer per line to arrive).
    for _ in range(3):
        session.key(main, "F3")
        time.sleep(0.2)
    look()
    used = thread_seconds(monitor.pid, monitor.pid) - start_cpu
    elapsed = time.monotonic() - start_at
    share = used / elapsed
    log(f"GUI thread: {used:.2f} s of CPU in {elapsed:.1f} s ({share:.0%} of a core); "
        f"windows shown at once: {min(counts)} to {max(counts)}; widest {max(widest.values())} px")
    if probes:
        log("probe: " + ", ".join(probes.done))
    if max(counts) <= min(counts):
        raise Failure("no tooltip was ever shown")
    if share > MAX_GUI_SHARE:
        raise Failure(f"the GUI thread used {share:.0%} of a core, more than {MAX_GUI_SHARE:.0%}")
    return 0


def outer_geometry(session, window):
    """The window's frame on screen (x, y, width, height); None while the window manager announces
    no frame extents."""
    m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)",
                  session.x("xprop", "-id", window, "_NET_FRAME_EXTENTS").stdout)
    if not m:
        return None
    left, right, top, bottom = (int(v) for v in m.groups())
    x, y, width, height = session.client_geometry(window)
    return x - left, y - top, width + left + right, height + top + bottom


def check_laptop(session):
    for tool in ("Xvfb", "openbox", "xprop", "xwininfo", "xdotool"):
        if not shutil.which(tool):
            log(f"skipped: {tool} is not installed (scripts/setup.sh installs it)")
            return SKIP
    session.start_xvfb("%dx%dx24" % LAPTOP)
    session.start_wm()
    _, port = session.start_sim(session.sim_path, "--lines", "2048")
    session.write_config(port, 1, "LANGUAGE_TYPE = English")
    monitor = session.start([session.monitor_path], "monitor")
    main = wait_for("the monitor's window", lambda: monitor.poll() is None and visible_window(session.env), 20, 0.1)
    wait_for("the main window's frame", lambda: outer_geometry(session, main), 10, 0.1)

    def opened():
        if monitor.poll() is not None:
            raise Failure(f"the monitor ended with {monitor.returncode}")
        found = session.named("^Line overview$")
        if not found:
            session.key(main, "F2")
        return found

    overview = wait_for("F2 to open the line overview", opened, 15, 0.5)
    seen = []

    def settled():
        seen.append(outer_geometry(session, overview))
        return seen[-1] if seen[-1] and len(seen) >= 3 and seen[-1] == seen[-2] == seen[-3] else None

    x, y, width, height = wait_for("the overview's frame to settle", settled, 10, 0.2)
    log(f"overview: frame at ({x}, {y}), {width} x {height} on a {LAPTOP[0]} x {LAPTOP[1]} screen")
    if x < 0 or y < 0 or x + width > LAPTOP[0] or y + height > LAPTOP[1]:
        raise Failure(f"the overview's frame ({x}, {y}) {width} x {height} leaves the screen")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=["mix", "long", "laptop"])
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--probe")
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    session = Session(args)
    try:
        if args.check == "laptop":
            return check_laptop(session)
        return check_hostile(session, args.check)
    except Failure as e:
        log(f"FAILED: {e}")
        session.print_logs(("monitor.log", "sim.log", "Monitor.log", "openbox.log"), last=4000)
        return 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
