#!/usr/bin/env python3
"""End-to-end checks of the real quorvane-monitor against quorvane-sim on loopback.

  monitor_e2e.py board     --monitor M --sim S --work DIR
  monitor_e2e.py reconnect --monitor M --sim S --work DIR
  monitor_e2e.py outer     --monitor M --sim S --work DIR

board:     on a private Xvfb server, the grid shows the simulator's status colours, and closing the
           window through its System menu ends the monitor normally (placement saved, link closed).
outer:     on Xvfb under a real window manager (openbox), the first-run window's frame measures the
           design's 795 x 528, and a saved placement comes back to the same outer geometry.
reconnect: offscreen; the simulator is stopped and started again on the same port, and Monitor.log
           records the broken read, then the reconnection (GBK).

Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing). Everything runs in DIR, which is
emptied first; only 127.0.0.1 is ever contacted.
"""

import argparse
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time

SKIP = 77

# Backgrounds the simulator gives its statuses, as the screen shows them (palette entries
# 0x00BBGGRR turned into R,G,B): Ringing yellow, Talking blue, Recording red; silver is the line
# number column's and Hang-up's.
STATUS_BACKGROUNDS = {
    "Ringing": (255, 255, 0),
    "Talking": (0, 0, 255),
    "Recording": (255, 0, 0),
    "Line/Hang-up": (192, 192, 192),
}
# A status cell is about 100 x 16 pixels; fewer pixels than this would be a stray glyph, not a cell.
MIN_CELL_PIXELS = 150

RECV_CLOSED = b"[recv()<=0, len=0, errNo=0[0x0]]"
RECONNECTED = b"[" + "已经重新连接上.".encode("gbk") + b"]"


class Failure(Exception):
    pass


def log(text):
    print(text, flush=True)


def wait_for(what, predicate, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(step)


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


class Session:
    """The processes of one test, stopped (by their own ids) whatever happens."""

    def __init__(self, args):
        self.monitor_path = args.monitor
        self.sim_path = args.sim
        self.work = os.path.abspath(args.work)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.procs = []
        self.env = dict(os.environ)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env["LANG"] = "C.UTF-8"
        # The window placement goes to the scratch directory, not the user's settings.
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.work, "xdg")
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        self.env["XDG_RUNTIME_DIR"] = runtime

    def path(self, name):
        return os.path.join(self.work, name)

    def start(self, argv, name, **kw):
        out = open(self.path(name + ".out"), "ab")
        err = open(self.path(name + ".log"), "ab")
        proc = subprocess.Popen(argv, cwd=self.work, env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=err, **kw)
        out.close()
        err.close()
        self.procs.append(proc)
        return proc

    def start_sim(self, name, port, *extra):
        proc = self.start([self.sim_path, "--bind", "127.0.0.1", "--port", str(port), *extra], name)

        def listening():
            m = re.match(rb"listening 127\.0\.0\.1:(\d+)\n", read_bytes(self.path(name + ".out")))
            if m:
                return int(m.group(1))
            if proc.poll() is not None:
                raise Failure(f"{name} ended with {proc.returncode}: {read_bytes(self.path(name + '.log'))!r}")
            return None

        return proc, wait_for(f"{name} to listen", listening, 10)

    def write_config(self, port, *lines):
        text = "\r\n".join(["SERVER_IP = 127.0.0.1", f"SERVER_PORT = {port}", *lines]) + "\r\n"
        with open(self.path("Quorvane.cfg"), "w", encoding="ascii") as f:
            f.write(text)

    def start_monitor(self):
        return self.start([self.monitor_path], "monitor")

    def start_xvfb(self):
        r, w = os.pipe()
        proc = self.start(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x900x24", "-nolisten", "tcp"], "xvfb",
                          pass_fds=(w,))
        os.close(w)
        data = b""
        deadline = time.monotonic() + 15
        while not data.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([r], [], [], 0.2)
            if ready:
                chunk = os.read(r, 64)
                if not chunk:
                    break
                data += chunk
        os.close(r)
        if not data.strip().isdigit():
            raise Failure(f"Xvfb did not start: {read_bytes(self.path('xvfb.log'))!r}")
        self.env["DISPLAY"] = ":" + data.strip().decode()
        return proc

    @staticmethod
    def stop(proc, timeout=10):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        return proc.returncode

    def close(self):
        for proc in reversed(self.procs):
            self.stop(proc)


def sim_answered(session, name):
    """The simulator's log says the monitor connected."""
    return re.search(rb"127\.0\.0\.1:\d+ connected\n", read_bytes(session.path(name + ".log")))


def colour_counts(png):
    text = subprocess.run(["convert", png, "-format", "%c", "histogram:info:-"], check=True, capture_output=True,
                          text=True).stdout
    counts = {}
    for m in re.finditer(r"(\d+):\s*\(\s*(\d+),\s*(\d+),\s*(\d+)", text):
        counts[(int(m.group(2)), int(m.group(3)), int(m.group(4)))] = int(m.group(1))
    return counts


def screenshot(session, name):
    png = session.path(name)
    subprocess.run(["import", "-window", "root", png], env=session.env, check=True, capture_output=True, timeout=20)
    return png


def visible_window(session):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Zandoral"], env=session.env,
                           capture_output=True, text=True)
    ids = found.stdout.split()
    return ids[0] if ids else None


def close_through_menu(session, monitor):
    """System > Exit with the keyboard, as an operator would; True once the monitor has ended."""
    window = wait_for("the monitor's window", lambda: visible_window(session), 10, 0.1)
    for _ in range(3):
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=session.env, capture_output=True, timeout=10)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "alt+s"], env=session.env, timeout=10)
        time.sleep(0.5)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "x"], env=session.env, timeout=10)
        try:
            monitor.wait(5)
            return True
        except subprocess.TimeoutExpired:
            pass
    return False


def test_board(session):
    for tool in ("Xvfb", "import", "convert"):
        if not shutil.which(tool):
            log(f"skipped: {tool} is not installed (scripts/setup.sh installs it)")
            return SKIP
    session.start_xvfb()
    session.env["QT_QPA_PLATFORM"] = "xcb"
    empty = colour_counts(screenshot(session, "before.png"))

    # No changes after the first answers: the screen settles on one picture of a mixed board.
    _, port = session.start_sim("sim", 0, "--lines", "64", "--change-rate", "0", "--seed", "7", "--language", "en")
    session.write_config(port, "SLEEP_SEC = 1", "COL_GROUP_NUM = 1", "LANGUAGE_TYPE = English")
    monitor = session.start_monitor()
    wait_for("the monitor to connect", lambda: sim_answered(session, "sim"), 20)

    def board_shown():
        counts = colour_counts(screenshot(session, "board.png"))
        missing = {s: counts.get(rgb, 0) for s, rgb in STATUS_BACKGROUNDS.items()
                   if counts.get(rgb, 0) < MIN_CELL_PIXELS}
        if monitor.poll() is not None:
            raise Failure(f"the monitor ended with {monitor.returncode}")
        return None if missing else counts

    try:
        counts = wait_for("the status colours on screen", board_shown, 20, 0.5)
    except Failure:
        counts = colour_counts(session.path("board.png"))
        for status, rgb in STATUS_BACKGROUNDS.items():
            log(f"{status} {rgb}: {counts.get(rgb, 0)} pixels")
        raise
    for status, rgb in STATUS_BACKGROUNDS.items():
        log(f"{status} background {rgb}: {counts[rgb]} pixels (before the monitor ran: {empty.get(rgb, 0)})")
        if empty.get(rgb, 0) >= MIN_CELL_PIXELS:
            raise Failure(f"{rgb} was on the screen before the monitor ran; the check proves nothing")

    if not shutil.which("xdotool"):
        log("note: xdotool is not installed; the monitor is stopped with SIGTERM, a normal close is not checked")
        return 0
    if not close_through_menu(session, monitor):
        raise Failure("System > Exit did not end the monitor")
    if monitor.returncode != 0:
        raise Failure(f"the monitor ended with {monitor.returncode} after System > Exit")
    placement = read_bytes(os.path.join(session.env["XDG_CONFIG_HOME"], "Halverdon", "Quorvane.conf"))
    if b"WinWidth" not in placement:
        raise Failure("closing did not save the window placement")
    wait_for("the simulator to see the link closed",
             lambda: re.search(rb"gone \(closed by peer\) after [1-9]\d* answers", read_bytes(session.path("sim.log"))),
             5)
    log("System > Exit closed the monitor normally: status 0, placement saved, link closed")
    return 0


def outer_geometry(session, window):
    """The window's frame on screen (x, y, width, height): its client area widened by the frame
    extents the window manager announces; None while it announces none."""
    extents = subprocess.run(["xprop", "-id", window, "_NET_FRAME_EXTENTS"], env=session.env, capture_output=True,
                             text=True, timeout=10).stdout
    m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", extents)
    if not m:
        return None
    left, right, top, bottom = (int(v) for v in m.groups())
    info = subprocess.run(["xwininfo", "-id", window], env=session.env, capture_output=True, text=True,
                          timeout=10).stdout

    def field(name):
        return int(re.search(name + r":\s*(-?\d+)", info).group(1))

    return (field("Absolute upper-left X") - left, field("Absolute upper-left Y") - top,
            field("Width") + left + right, field("Height") + top + bottom)


def settled_outer(session, expected=None):
    """The outer geometry once it has stopped changing (and equals expected, when given)."""
    window = wait_for("the monitor's window", lambda: visible_window(session), 15, 0.1)
    seen = []

    def stable():
        g = outer_geometry(session, window)
        seen.append(g)
        if g is None or len(seen) < 3 or seen[-2] != g or seen[-3] != g:
            return None
        return g if expected is None or g == expected else None

    try:
        return window, wait_for("the window's frame to settle", stable, 10, 0.2)
    except Failure:
        raise Failure(f"outer geometry {seen[-1]}, expected {expected or 'a settled one'}")


def test_outer(session):
    for tool in ("Xvfb", "openbox", "xprop", "xwininfo", "xdotool"):
        if not shutil.which(tool):
            log(f"skipped: {tool} is not installed (scripts/setup.sh installs it)")
            return SKIP
    session.start_xvfb()
    session.env["QT_QPA_PLATFORM"] = "xcb"
    wm = session.start(["openbox", "--sm-disable"], "openbox")
    wait_for("openbox to manage the screen", lambda: b"_NET_SUPPORTING_WM_CHECK(WINDOW)" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=session.env, capture_output=True, timeout=10).stdout
             or wm.poll() is not None, 10)
    if wm.poll() is not None:
        raise Failure(f"openbox ended with {wm.returncode}: {read_bytes(session.path('openbox.log'))!r}")

    _, port = session.start_sim("sim", 0, "--lines", "16", "--change-rate", "0")
    session.write_config(port, "SLEEP_SEC = 1", "LANGUAGE_TYPE = English")
    monitor = session.start_monitor()
    _, first = settled_outer(session)
    log(f"first run: frame at ({first[0]}, {first[1]}), {first[2]} x {first[3]}")
    if first[2:] != (795, 528):
        raise Failure(f"the first-run window's frame is {first[2]} x {first[3]}, not 795 x 528")
    if not close_through_menu(session, monitor):
        raise Failure("System > Exit did not end the monitor")
    placement = read_bytes(os.path.join(session.env["XDG_CONFIG_HOME"], "Halverdon", "Quorvane.conf")).decode()
    stored = {k: int(v) for k, v in re.findall(r"^(Win\w+)=\"?\s*(-?\d+)\"?\s*$", placement, re.M)}
    saved = (stored.get("WinX"), stored.get("WinY"), stored.get("WinWidth"), stored.get("WinHeight"))
    log(f"saved: {saved}")
    if saved != first:
        raise Failure(f"the saved placement {saved} is not the window's outer geometry {first}")

    monitor = session.start_monitor()
    _, again = settled_outer(session, first)
    log(f"restored: frame at ({again[0]}, {again[1]}), {again[2]} x {again[3]}")
    if not close_through_menu(session, monitor):
        raise Failure("System > Exit did not end the monitor")
    return 0


def test_reconnect(session):
    session.env["QT_QPA_PLATFORM"] = "offscreen"
    sim, port = session.start_sim("sim1", 0, "--lines", "16")
    # Between polls the simulator holds no unread request, so stopping it closes the connection
    # gracefully (a server that quits with a request unread resets it: len=-1, errNo=104).
    session.write_config(port, "SLEEP_SEC = 1", "LANGUAGE_TYPE = Chinese")
    monitor = session.start_monitor()
    wait_for("the monitor to connect", lambda: sim_answered(session, "sim1"), 20)
    time.sleep(1)
    if read_bytes(session.path("Monitor.log")):
        raise Failure(f"Monitor.log has lines before any fault: {read_bytes(session.path('Monitor.log'))!r}")

    session.stop(sim)
    log("simulator stopped")
    wait_for("the broken read in Monitor.log", lambda: RECV_CLOSED in read_bytes(session.path("Monitor.log")), 5)
    # The monitor waits 8 seconds before it tries again; the simulator is back well before that.
    _, again = session.start_sim("sim2", port, "--lines", "16")
    if again != port:
        raise Failure(f"the simulator came back on port {again}, not {port}")
    log(f"simulator started again on port {port}")
    wait_for("the reconnection in Monitor.log", lambda: RECONNECTED in read_bytes(session.path("Monitor.log")), 20, 0.1)
    wait_for("the monitor to poll the new simulator", lambda: sim_answered(session, "sim2"), 5)
    if monitor.poll() is not None:
        raise Failure(f"the monitor ended with {monitor.returncode}")

    lines = read_bytes(session.path("Monitor.log")).split(b"\r\n")
    stamp = re.compile(rb"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[")
    texts = [line[stamp.match(line).end() - 1:] for line in lines if line and stamp.match(line)]
    if len(texts) != len([line for line in lines if line]):
        raise Failure(f"Monitor.log holds a line without a time stamp: {lines!r}")
    if texts != [RECV_CLOSED, RECONNECTED]:
        raise Failure(f"Monitor.log should hold the broken read and then the reconnection, not {texts!r}")
    log("Monitor.log: " + " then ".join(t.decode("gbk") for t in texts))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("test", choices=["board", "reconnect", "outer"])
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    session = Session(args)
    try:
        return {"board": test_board, "reconnect": test_reconnect, "outer": test_outer}[args.test](session)
    except Failure as e:
        log(f"FAILED: {e}")
        for name in ("monitor.log", "sim.log", "sim1.log", "sim2.log", "Monitor.log"):
            data = read_bytes(session.path(name))
            if data:
                log(f"--- {name}:\n{data.decode('gbk', 'replace')}")
        return 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
