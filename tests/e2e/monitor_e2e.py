#!/usr/bin/env python3
"""End-to-end checks of the real quorvane-monitor against quorvane-sim on loopback.

  monitor_e2e.py board     --monitor M --sim S --work DIR
  monitor_e2e.py reconnect --monitor M --sim S --work DIR
  monitor_e2e.py outer     --monitor M --sim S --work DIR
  monitor_e2e.py overview  --monitor M --sim S --probe P --work DIR

board:     on a private Xvfb server, the grid shows the simulator's status colours, and closing the
           window through its System menu ends the monitor normally (placement saved, link closed).
outer:     on Xvfb under a real window manager (openbox), the first-run window's frame measures the
           design's 795 x 528, and a saved placement comes back to the same outer geometry.
overview:  on Xvfb, F2 opens the line overview of a 2048-line board, and each of the simulator's
           statuses fills as many tiles in its colour as the board has lines showing it (read from
           the same simulator with quorvane-probe); closing the monitor keeps the overview's
           geometry in the per-user store.
reconnect: offscreen; the simulator is stopped and started again on the same port, and Monitor.log
           records the broken read, then the reconnection (GBK).

Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing). Everything runs in DIR, which is
emptied first; only 127.0.0.1 is ever contacted.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from testkit import Failure, Workdir, read_bytes, visible_window, wait_for  # noqa: E402

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


def log(text):
    print(text, flush=True)


class Session(Workdir):
    """The processes of one test in its scratch directory, stopped (by their own ids) whatever happens."""

    def __init__(self, args):
        env = dict(os.environ)
        env.pop("WAYLAND_DISPLAY", None)
        env["LANG"] = "C.UTF-8"
        super().__init__(args.work, env)
        self.monitor_path = args.monitor
        self.sim_path = args.sim
        # The window placement goes to the scratch directory, not the user's settings.
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.work, "xdg")
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, 0o700)
        self.env["XDG_RUNTIME_DIR"] = runtime

    def start_monitor(self):
        return self.start([self.monitor_path], "monitor")


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


def close_through_menu(session, monitor):
    """System > Exit with the keyboard, as an operator would; True once the monitor has ended."""
    window = wait_for("the monitor's window", lambda: visible_window(session.env), 10, 0.1)
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
    _, port = session.start_sim(session.sim_path, "--lines", "64", "--change-rate", "0", "--seed", "7", "--language",
                                "en")
    session.write_config(port, 1, "COL_GROUP_NUM = 1", "LANGUAGE_TYPE = English")
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


# The overview window's legend beside its tiles, in pixels (kLegendWidth of app/Overview.cpp).
OVERVIEW_LEGEND_WIDTH = 200


def lay_tiles(count, width, height):
    """The overview's tile layout (board/TileLayout.cpp): the number of columns whose tiles have the
    largest smaller side, then the most area; returns columns, rows and the pitch."""
    best, best_side, best_area = None, -1, -1
    for columns in range(1, min(count, width) + 1):
        rows = (count + columns - 1) // columns
        if rows > height:
            continue
        w, h = width // columns, height // rows
        side, area = min(w, h), w * h
        if side > best_side or (side == best_side and area > best_area):
            best, best_side, best_area = (columns, rows, w, h), side, area
    return best


def image_size(png):
    text = subprocess.run(["identify", "-format", "%w %h", png], check=True, capture_output=True, text=True).stdout
    w, h = text.split()
    return int(w), int(h)


def visible_named(session, name):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=session.env,
                           capture_output=True, text=True)
    ids = found.stdout.split()
    return ids[0] if ids else None


def probe_backgrounds(session, probe, port):
    """Lines per background colour of the status column, as quorvane-probe reads the board."""
    run = subprocess.run([probe, "--host", "127.0.0.1", "--port", str(port), "--format", "json", "--timeout", "20"],
                         cwd=session.work, env=session.env, capture_output=True, timeout=40)
    if run.returncode != 0:
        raise Failure(f"quorvane-probe ended with {run.returncode}: {run.stderr!r}")
    board = json.loads(run.stdout)
    if board["lineCount"] != 2048 or not board["complete"]:
        raise Failure(f"the probe saw {board['lineCount']} lines, complete: {board['complete']}")
    counts = {}
    for line in board["lines"]:
        colour = line["cells"][2]["background"]
        rgb = (int(colour[1:3], 16), int(colour[3:5], 16), int(colour[5:7], 16))
        counts[rgb] = counts.get(rgb, 0) + 1
    return counts


def test_overview(session, probe):
    for tool in ("Xvfb", "import", "convert", "identify", "xdotool"):
        if not shutil.which(tool):
            log(f"skipped: {tool} is not installed (scripts/setup.sh installs it)")
            return SKIP
    if not probe or not os.path.exists(probe):
        log("skipped: no quorvane-probe given")
        return SKIP
    session.start_xvfb()
    session.env["QT_QPA_PLATFORM"] = "xcb"
    # No changes: the monitor and the probe see the same board.
    _, port = session.start_sim(session.sim_path, "--lines", "2048", "--change-rate", "0", "--seed", "7",
                                "--language", "en")
    session.write_config(port, 1, "COL_GROUP_NUM = 1", "LANGUAGE_TYPE = English")
    config = read_bytes(session.path("Quorvane.cfg"))
    monitor = session.start_monitor()
    wait_for("the monitor to connect", lambda: sim_answered(session, "sim"), 20)
    lines = probe_backgrounds(session, probe, port)
    # Idle's white is also the colour of a line not yet written: too much of it says the board has
    # not all arrived.
    colours = dict(STATUS_BACKGROUNDS, Idle=(255, 255, 255))
    expected = {status: lines.get(rgb, 0) for status, rgb in colours.items()}
    log("the board's status backgrounds: " + ", ".join(f"{s} {n}" for s, n in expected.items()))
    if min(expected.values()) == 0:
        raise Failure(f"the simulator's board lacks a status: {expected}")

    main = wait_for("the monitor's window", lambda: visible_window(session.env), 10, 0.1)

    def opened():
        found = visible_named(session, "^Line overview$")
        if found:
            return found
        subprocess.run(["xdotool", "windowfocus", "--sync", main], env=session.env, capture_output=True, timeout=10)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "F2"], env=session.env, timeout=10)
        return None

    overview = wait_for("F2 to open the line overview", opened, 15, 0.5)
    seen = {}

    def tiles_shown():
        if monitor.poll() is not None:
            raise Failure(f"the monitor ended with {monitor.returncode}")
        png = session.path("overview.png")
        subprocess.run(["import", "-window", overview, png], env=session.env, check=True, capture_output=True,
                       timeout=20)
        width, height = image_size(png)
        columns, rows, pitch_x, pitch_y = lay_tiles(2048, width - OVERVIEW_LEGEND_WIDTH, height)
        tile = (pitch_x - 1) * (pitch_y - 1)
        counts = colour_counts(png)
        # Each status's lines as whole tiles of its colour, less the ink of their numbers; while the
        # board is still arriving over several answers, lines not yet written are white.
        seen.clear()
        seen.update({s: counts.get(rgb, 0) / (expected[s] * tile) for s, rgb in colours.items()})
        seen["tile"] = f"{pitch_x - 1} x {pitch_y - 1}"
        return all(0.8 <= seen[s] <= 1.0 for s in colours)

    def report():
        return ", ".join(f"{s} {v:.2f}" if isinstance(v, float) else f"{s} {v}" for s, v in seen.items())

    try:
        wait_for("the overview's tiles in the board's colours", tiles_shown, 40, 1.0)
    except Failure:
        log("share of each status's tiles in its colour: " + report())
        raise
    log("share of each status's tiles in its colour: " + report())

    if not close_through_menu(session, monitor):
        raise Failure("System > Exit did not end the monitor")
    if monitor.returncode != 0:
        raise Failure(f"the monitor ended with {monitor.returncode} after System > Exit")
    placement = read_bytes(os.path.join(session.env["XDG_CONFIG_HOME"], "Halverdon", "Quorvane.conf"))
    if b"[Overview]" not in placement or b"Geometry=" not in placement:
        raise Failure(f"the overview's geometry was not kept: {placement!r}")
    if read_bytes(session.path("Quorvane.cfg")) != config:
        raise Failure("Quorvane.cfg changed")
    log("closing kept the overview's geometry beside the placement; Quorvane.cfg unchanged")
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
    window = wait_for("the monitor's window", lambda: visible_window(session.env), 15, 0.1)
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
    session.start_wm()

    _, port = session.start_sim(session.sim_path, "--lines", "16", "--change-rate", "0")
    session.write_config(port, 1, "LANGUAGE_TYPE = English")
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
    sim, port = session.start_sim(session.sim_path, "--lines", "16", name="sim1")
    # Between polls the simulator holds no unread request, so stopping it closes the connection
    # gracefully (a server that quits with a request unread resets it: len=-1, errNo=104).
    session.write_config(port, 1, "LANGUAGE_TYPE = Chinese")
    monitor = session.start_monitor()
    wait_for("the monitor to connect", lambda: sim_answered(session, "sim1"), 20)
    time.sleep(1)
    if read_bytes(session.path("Monitor.log")):
        raise Failure(f"Monitor.log has lines before any fault: {read_bytes(session.path('Monitor.log'))!r}")

    session.stop(sim)
    log("simulator stopped")
    wait_for("the broken read in Monitor.log", lambda: RECV_CLOSED in read_bytes(session.path("Monitor.log")), 5)
    # The monitor waits 8 seconds before it tries again; the simulator is back well before that.
    _, again = session.start_sim(session.sim_path, "--lines", "16", name="sim2", port=port)
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
    parser.add_argument("test", choices=["board", "reconnect", "outer", "overview"])
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--probe")
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    session = Session(args)
    try:
        if args.test == "overview":
            return test_overview(session, args.probe)
        return {"board": test_board, "reconnect": test_reconnect, "outer": test_outer}[args.test](session)
    except Failure as e:
        log(f"FAILED: {e}")
        session.print_logs(("monitor.log", "sim.log", "sim1.log", "sim2.log", "Monitor.log"))
        return 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
