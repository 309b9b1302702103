#!/usr/bin/env python3
"""End-to-end checks of the Windows build under Wine: the monitor against the simulator on loopback,
and the installer with its Start-menu shortcut and its uninstaller.

  windows_e2e.py monitor   --lang English|Chinese --monitor M.exe --sim S.exe --work DIR
  windows_e2e.py installer --installer quorvane-1.13-win64.exe --work DIR

Both take --prefix WINEPREFIX; without it, $WINEPREFIX, else build-win/wineprefix of this
repository, which is created (as scripts/windows.sh creates it) when it does not exist.

monitor:   on a private Xvfb server under openbox, with a placement put into the registry beforehand
           (HKCU\\Software\\Halverdon\\Quorvane), the window comes up at that outer geometry with the
           language's title; the grid shows the simulator's four status colours, and the Ringing and
           Talking cells' texts are drawn as different shapes (in Chinese: CJK glyphs, not two rows
           of the same missing-glyph boxes); System > Exit ends the monitor, which leaves twelve
           REG_SZ values in "%4d" in the key, the placed ones unchanged.
installer: the NSIS installer, run silently, puts the monitor, the simulator and the probe into
           Program Files\\Quorvane and a "Quorvane Monitor" shortcut into the Start menu that starts
           the monitor in the user's own %APPDATA%\\Halverdon\\Quorvane, which it creates but leaves
           without a Quorvane.cfg. With a loopback Quorvane.cfg written there, the shortcut starts
           the monitor, which polls the installed simulator; after System > Exit and the simulator's
           end, the silent uninstaller removes the programs and the shortcut but leaves the user's
           Quorvane.cfg and placement in the registry.

Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing). Everything runs in DIR, which is
emptied first; only 127.0.0.1 is ever contacted. Both modes change the same user's registry key and
folder in the prefix: run them one after the other, not at the same time in one prefix.
"""

import argparse
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from testkit import Failure, Workdir, loopback_config, read_bytes, wait_for  # noqa: E402
from monitor_e2e import MIN_CELL_PIXELS, STATUS_BACKGROUNDS, colour_counts, outer_geometry  # noqa: E402

SKIP = 77
REPOSITORY = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TOOLS = ("wine", "wineserver", "winepath", "Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import", "convert")

# Wine without its .NET and browser add-ons (it would offer to download them) and without its
# debugging channels, whose lines would fill the logs.
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}

KEY = r"HKCU\Software\Halverdon\Quorvane"
VALUE_NAMES = ("WinX", "WinY", "WinWidth", "WinHeight") + tuple(f"GridWid{i}" for i in range(8))
# Wine 8 on Xvfb takes the screen for 1024 x 768 whatever the X screen's size, and what a window
# shows beyond that stays black. The X screen has that size too: the screen the test sees is the
# one Wine draws.
SCREEN = "1024x768x24"
# A placement far enough from the first-run one (123, 168, 795 x 528) and from the design's column
# widths (124, 108, 56, 76, 204, 83, 57, 62) that a placement not restored cannot pass for it, and
# all on the screen (openbox would move a window that reaches beyond it).
PLACED = dict(zip(VALUE_NAMES, (180, 50, 820, 660, 40, 120, 96, 70, 180, 90, 60, 70)))
# The stored text of a number: printf "%4d".
STORED_NUMBER = re.compile(r"^[ -]*\d+$")
# Wine gives the window the frame of Windows' metrics, which is what the monitor measures and stores,
# while the frame on screen is openbox's: each edge of the frame on screen may be off by the
# difference between the two (3 pixels at most under Wine 8 and openbox's default theme).
FRAME_TOLERANCE = 8

TITLES = {
    "English": "Zandoral Platform Monitor",
    "Chinese": "Halverdon\u8bed\u97f3\u5e73\u53f0 \u8fd0\u884c\u76d1\u63a7",  # Halverdon语音平台 运行监控
}
SIM_LANGUAGES = {"English": "en", "Chinese": "zh"}
# The windows of the monitor, whatever its language: both titles hold this.
TITLE_PATTERN = "Zandoral|Halverdon"

# A status cell is about 100 pixels wide (the placed width of its column); no text is this wide.
MIN_CELL_WIDTH = 40
# A status text of two CJK glyphs or a word covers more pixels than this; none would be a text not
# drawn at all.
MIN_TEXT_PIXELS = 20
# Two texts drawn as the same boxes differ in no pixel; two different words or glyph pairs differ in
# far more than this share of the pixels either covers.
MIN_SHAPE_DIFFERENCE = 0.2

INSTALL_FOLDER = r"C:\Program Files\Quorvane"
PROGRAMS = ("quorvane-monitor.exe", "quorvane-sim.exe", "quorvane-probe.exe")
SHORTCUT = r"Quorvane\Quorvane Monitor.lnk"
USER_FOLDER = r"Halverdon\Quorvane"


def log(text):
    print(text, flush=True)


class WineSession(Workdir):
    """The scratch directory, the Wine prefix and the processes of one test, stopped (by their own
    ids) whatever happens."""

    def __init__(self, args):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY") and not k.startswith("QT_")}
        env["LANG"] = "C.UTF-8"
        env.update(WINE_ENV)
        prefix = args.prefix or os.environ.get("WINEPREFIX") or os.path.join(REPOSITORY, "build-win", "wineprefix")
        env["WINEPREFIX"] = os.path.abspath(prefix)
        super().__init__(args.work, env)
        self.prefix = env["WINEPREFIX"]
        self.started_at = time.monotonic()

    def run(self, argv, timeout, what=None, **kw):
        """A command run to its end, its output captured; Failure when it outlasts timeout seconds."""
        kw.setdefault("env", self.env)
        kw.setdefault("stdin", subprocess.DEVNULL)
        try:
            return subprocess.run(argv, capture_output=True, timeout=timeout, cwd=self.work, **kw)
        except subprocess.TimeoutExpired:
            raise Failure(f"{what or argv[:3]} took more than {timeout} s")

    def wine(self, *args, timeout=60):
        return self.run(["wine", *args], timeout, f"wine {' '.join(args[:2])}")

    def detached(self, argv, timeout, env):
        """A command run to its end with no pipe of this test's: what it leaves running (the
        wineserver, Wine's services) would hold a pipe open after it ends."""
        try:
            subprocess.run(argv, env=env, cwd=self.work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{' '.join(argv)} took more than {timeout} s")

    def prepare_prefix(self):
        """The prefix (created once, as scripts/windows.sh does) and one persistent wineserver for
        every program: starting one per program costs seconds each."""
        headless = {k: v for k, v in self.env.items() if k != "DISPLAY"}
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            log(f"creating the Wine prefix {self.prefix}")
            self.detached(["wineboot", "--init"], 300, headless)
            # The registry files are written when the server that wineboot started exits.
            self.detached(["wineserver", "-w"], 300, headless)
            if not os.path.exists(os.path.join(self.prefix, "system.reg")):
                raise Failure(f"Wine could not create its prefix in {self.prefix}")
        self.detached(["wineserver", "-p"], 30, headless)

    def start_desktop(self):
        """Wine's services and its desktop, on this test's display. The desktop process (explorer.exe)
        serves every program of the prefix while one is running: started without a display, as
        for headless programs, it gives the monitor no window at all. One on another display or
        none, still serving another run, is waited out. Started here with nothing attached, the
        services do not hold the first program's output open after it ends."""

        def foreign():
            return [pid for pid, env in wine_processes(self, "explorer.exe")
                    if env.get("DISPLAY") != self.env["DISPLAY"]]

        try:
            wait_for("Wine's desktop of another run to end", lambda: not foreign(), 30, 0.5)
        except Failure:
            raise Failure(f"Wine's desktop process {foreign()} of {self.prefix} serves another display or none: "
                          "a program of another run is still running in the prefix")
        self.detached(["wine", "cmd.exe", "/c", "exit"], 120, self.env)

    def start_screen(self):
        """Xvfb, Wine's desktop on it and the window manager, before this run's first Wine program:
        that program starts Wine's services, which would keep a captured program's output open until
        its time-out, and bind Wine's desktop to no display."""
        self.start_xvfb(SCREEN)
        self.start_desktop()
        self.start_wm()

    def unix_path(self, windows_path):
        out = self.run(["winepath", "-u", windows_path], 30, "winepath").stdout.decode().strip()
        if not out:
            raise Failure(f"winepath found no Unix path for {windows_path}")
        return out

    def windows_environment(self):
        """Wine's environment for its programs, as cmd.exe's "set" shows it (APPDATA, ProgramData)."""
        out = self.wine("cmd.exe", "/c", "set").stdout.decode("utf-8", "replace")
        return dict(line.split("=", 1) for line in out.replace("\r", "").split("\n") if "=" in line)

    def start_wine_sim(self, sim, *args, name="sim"):
        """quorvane-sim under Wine on 127.0.0.1, a free port; returns the process and its port.
        Wine starts a program in a second or two, far slower while the machine builds."""
        return self.start_sim(sim, *args, name=name, launcher=["wine"], timeout=60)

    def elapsed(self):
        return time.monotonic() - self.started_at

    def describe_screen(self):
        """After a failure: the windows on the display, Wine's desktop processes and their displays,
        and the screen as failure.png."""
        if "DISPLAY" not in self.env:
            return
        try:
            found = self.run(["xdotool", "search", "--onlyvisible", "--name", "."], 10).stdout.split()
            names = [window_title(self, w.decode()) for w in found]
            log(f"visible windows on {self.env['DISPLAY']}: {[n for n in names if n]}")
            log("Wine's desktop processes (id, display): "
                f"{[(pid, env.get('DISPLAY')) for pid, env in wine_processes(self, 'explorer.exe')]}")
            screenshot(self, "failure.png")
            log(f"the screen: {self.path('failure.png')}")
        except (Failure, subprocess.CalledProcessError) as e:
            log(f"(the screen could not be described: {e})")


def sim_answered(session, name="sim"):
    """The simulator's log says a client connected from 127.0.0.1."""
    return re.search(rb"127\.0\.0\.1:\d+ connected\r?\n", read_bytes(session.path(name + ".log")))


# --- The registry -----------------------------------------------------------------------------

def delete_key(session):
    # Fails when there is no key, which is as good.
    session.wine("reg", "delete", KEY, "/f")


def place_values(session, values):
    for name, number in values.items():
        done = session.wine("reg", "add", KEY, "/v", name, "/t", "REG_SZ", "/d", "%4d" % number, "/f")
        if done.returncode != 0:
            raise Failure(f"reg add {name} failed: {done.stdout!r} {done.stderr!r}")


def query_key(session):
    """The key's values as {name: (type, data)}; empty when there is no key. reg query's lines are
    "    NAME    TYPE    DATA": the data keeps its leading blanks, which are part of "%4d"."""
    done = session.wine("reg", "query", KEY)
    values = {}
    for line in done.stdout.decode("utf-8", "replace").split("\n"):
        m = re.match(r"^    (\S+)    (REG_\w+)    (.*?)\r?$", line)
        if m:
            values[m.group(1)] = (m.group(2), m.group(3))
    return values


def check_stored_values(values):
    """All twelve values, REG_SZ, each a number as "%4d" writes it; their numbers."""
    numbers = {}
    for name in VALUE_NAMES:
        if name not in values:
            raise Failure(f"{KEY} has no {name}: {values}")
        kind, data = values[name]
        if kind != "REG_SZ" or not STORED_NUMBER.match(data) or len(data) != 4:
            raise Failure(f"{name} is {kind} {data!r}, not a REG_SZ number in four characters (\"%4d\")")
        numbers[name] = int(data)
    return numbers


# --- The window -------------------------------------------------------------------------------

def monitor_window(session):
    """The id of the visible window of the monitor, or None."""
    found = session.run(["xdotool", "search", "--onlyvisible", "--name", TITLE_PATTERN], 10, "xdotool search")
    ids = found.stdout.split()
    return ids[0].decode() if ids else None


def window_title(session, window):
    return session.run(["xdotool", "getwindowname", window], 10, "xdotool getwindowname").stdout.decode(
        "utf-8", "replace").rstrip("\n")


def settled_geometry(session, window, timeout=20):
    """The window's outer geometry once three readings in a row agree."""
    seen = []

    def stable():
        g = outer_geometry(session, window)
        seen.append(g)
        return g if g is not None and len(seen) >= 3 and seen[-2] == g and seen[-3] == g else None

    try:
        return wait_for("the window's frame to settle", stable, timeout, 0.3)
    except Failure:
        raise Failure(f"the window's frame did not settle: last seen {seen[-3:]}")


def activate(session, window):
    # Through the window manager (_NET_ACTIVE_WINDOW): Wine takes the focus as a managed window does.
    # Not --sync: xdotool would wait for good if the window never became active.
    session.run(["xdotool", "windowactivate", window], 10, "xdotool windowactivate")
    time.sleep(0.3)


def close_through_menu(session, window, ended, timeout=15):
    """System > Exit with the keyboard, as an operator would; True once ended() says the monitor has
    ended."""
    deadline = time.monotonic() + timeout
    for _ in range(3):
        activate(session, window)
        session.run(["xdotool", "key", "--clearmodifiers", "alt+s"], 10, "xdotool key")
        time.sleep(0.7)
        session.run(["xdotool", "key", "--clearmodifiers", "x"], 10, "xdotool key")
        try:
            wait_for("the monitor to end", ended, max(1.0, min(8.0, deadline - time.monotonic())), 0.2)
            return True
        except Failure:
            if time.monotonic() > deadline:
                break
    return False


def screenshot(session, name):
    png = session.path(name)
    session.run(["import", "-window", "root", png], 30, "import")
    return png


def board_colours(session, png_name, empty, alive, timeout=60):
    """The screen's colour counts once every status background covers a cell's worth of pixels."""
    last = {}

    def shown():
        if not alive():
            raise Failure("the monitor ended")
        counts = colour_counts(screenshot(session, png_name))
        last.clear()
        last.update(counts)
        return counts if all(counts.get(rgb, 0) >= MIN_CELL_PIXELS for rgb in STATUS_BACKGROUNDS.values()) else None

    try:
        counts = wait_for("the status colours on screen", shown, timeout, 1.0)
    except Failure:
        for status, rgb in STATUS_BACKGROUNDS.items():
            log(f"{status} {rgb}: {last.get(rgb, 0)} pixels")
        raise
    for status, rgb in STATUS_BACKGROUNDS.items():
        log(f"{status} background {rgb}: {counts[rgb]} pixels (before the monitor ran: {empty.get(rgb, 0)})")
        if empty.get(rgb, 0) >= MIN_CELL_PIXELS:
            raise Failure(f"{rgb} was on the screen before the monitor ran; the check proves nothing")
    return counts


# --- Text shapes in the status cells ----------------------------------------------------------

def read_pixels(png):
    """(width, height, RGB bytes) of the picture."""
    ppm = subprocess.run(["convert", png, "-depth", "8", "ppm:-"], capture_output=True, check=True, timeout=30).stdout
    m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
    if not m:
        raise Failure(f"convert gave no PPM for {png}")
    width, height = int(m.group(1)), int(m.group(2))
    return width, height, ppm[m.end():m.end() + width * height * 3]


def find_cell(picture, rgb):
    """(x0, y0, x1, y1) of the topmost cell whose background is rgb. A cell's top row is background
    from edge to edge; its text stays clear of its left and right edges, which are background down
    to its bottom row."""
    width, height, data = picture
    colour = bytes(rgb)
    stride = width * 3

    def at(x, y):
        return data[y * stride + x * 3:y * stride + x * 3 + 3] == colour

    top = None
    for y in range(height):
        row = data[y * stride:(y + 1) * stride]
        x = 0
        while top is None and x < width:
            i = row.find(colour, x * 3)
            if i < 0:
                break
            if i % 3:  # the bytes straddle two pixels
                x = i // 3 + 1
                continue
            x0 = x1 = i // 3
            while x1 + 1 < width and at(x1 + 1, y):
                x1 += 1
            if x1 - x0 + 1 >= MIN_CELL_WIDTH:
                top = (x0, y, x1)
            x = x1 + 1
        if top:
            break
    if top is None:
        return None
    x0, y0, x1 = top
    y1 = y0
    while y1 + 1 < height and at(x0, y1 + 1) and at(x1, y1 + 1):
        y1 += 1
    return x0, y0, x1, y1


def text_shape(picture, cell, rgb):
    """The pixels of the cell that are not its background (the text with its smoothing), relative to
    their bounding box."""
    width, _, data = picture
    colour = bytes(rgb)
    x0, y0, x1, y1 = cell
    ink = {(x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)
           if data[(y * width + x) * 3:(y * width + x) * 3 + 3] != colour}
    if not ink:
        return frozenset()
    left = min(x for x, _ in ink)
    top = min(y for _, y in ink)
    return frozenset((x - left, y - top) for x, y in ink)


def check_status_texts(png, language):
    """The Ringing and Talking cells' texts are drawn, and as different shapes: a font without the
    glyphs draws both as the same row of boxes."""
    picture = read_pixels(png)
    shapes = {}
    for status in ("Ringing", "Talking"):
        cell = find_cell(picture, STATUS_BACKGROUNDS[status])
        if cell is None:
            raise Failure(f"no {status} cell found on the screen")
        shape = text_shape(picture, cell, STATUS_BACKGROUNDS[status])
        log(f"{status} cell at ({cell[0]}, {cell[1]}), {cell[2] - cell[0] + 1} x {cell[3] - cell[1] + 1}: text of "
            f"{len(shape)} pixels")
        if len(shape) < MIN_TEXT_PIXELS:
            raise Failure(f"the {status} cell's text is not drawn ({len(shape)} pixels)")
        shapes[status] = shape
    ringing, talking = shapes["Ringing"], shapes["Talking"]
    difference = len(ringing ^ talking) / len(ringing | talking)
    log(f"the Ringing and Talking texts differ in {difference:.0%} of their pixels")
    if difference < MIN_SHAPE_DIFFERENCE:
        what = "missing-glyph boxes, not CJK glyphs" if language == "Chinese" else "the same shapes"
        raise Failure(f"the Ringing and Talking texts are drawn as {what} ({difference:.0%} of pixels differ)")
    if language == "Chinese":
        log("the Chinese status texts are drawn as glyphs of their own, not as missing-glyph boxes")


# --- monitor ----------------------------------------------------------------------------------

def missing_tool():
    for tool in TOOLS:
        if not shutil.which(tool):
            return tool
    return None


def test_monitor(session, args):
    for path in (args.monitor, args.sim):
        if not os.path.isfile(path):
            raise Failure(f"{path} does not exist")
    session.prepare_prefix()
    session.start_screen()
    empty = colour_counts(screenshot(session, "before.png"))

    # No changes after the first answers: the screen settles on one picture of a mixed board.
    _, port = session.start_wine_sim(os.path.abspath(args.sim), "--lines", "64", "--change-rate", "0", "--seed",
                                     "7", "--language", SIM_LANGUAGES[args.lang])
    session.write_config(port, 1, "COL_GROUP_NUM = 1", f"LANGUAGE_TYPE = {args.lang}")
    config = read_bytes(session.path("Quorvane.cfg"))

    delete_key(session)
    place_values(session, PLACED)
    before = check_stored_values(query_key(session))
    if before != PLACED:
        raise Failure(f"the placed values read back as {before}")
    log("placed: " + ", ".join(f"{n}={v}" for n, v in PLACED.items()))

    monitor = session.start(["wine", os.path.abspath(args.monitor)], "monitor")
    alive = lambda: monitor.poll() is None  # noqa: E731

    def connected():
        if not alive():
            raise Failure(f"the monitor ended with {monitor.returncode}")
        return sim_answered(session)

    wait_for("the monitor to connect", connected, 90, 0.2)
    log("the monitor connected to the simulator on 127.0.0.1")

    window = wait_for("the monitor's window", lambda: monitor_window(session), 60, 0.3)
    expected_title = TITLES[args.lang]
    try:
        wait_for("the window's title", lambda: window_title(session, window) == expected_title, 20, 0.3)
    except Failure:
        raise Failure(f"the window's title is {window_title(session, window)!r}, not {expected_title!r}")
    log(f"title: {expected_title}")

    first = settled_geometry(session, window)
    placed = (PLACED["WinX"], PLACED["WinY"], PLACED["WinWidth"], PLACED["WinHeight"])
    log(f"frame on screen at ({first[0]}, {first[1]}), {first[2]} x {first[3]}; placed at ({placed[0]}, "
        f"{placed[1]}), {placed[2]} x {placed[3]}")
    off = [abs(a - b) for a, b in zip(first, placed)]
    if max(off) > FRAME_TOLERANCE:
        raise Failure(f"the window's frame {first} is not at the placed {placed} (off by {off}, more than "
                      f"{FRAME_TOLERANCE})")

    board_colours(session, "board.png", empty, alive)
    check_status_texts(session.path("board.png"), args.lang)

    last = outer_geometry(session, window)
    if not close_through_menu(session, window, lambda: not alive(), 30):
        raise Failure("System > Exit did not end the monitor")
    log(f"System > Exit ended the monitor with status {monitor.returncode}")
    if monitor.returncode != 0:
        raise Failure(f"the monitor ended with {monitor.returncode} after System > Exit")

    saved = check_stored_values(query_key(session))
    log("saved: " + ", ".join(f"{n}={v}" for n, v in saved.items()) + " (all REG_SZ, \"%4d\")")
    if last != first:
        raise Failure(f"the window moved from {first} to {last} while nothing moved it")
    changed = {n: (PLACED[n], saved[n]) for n in VALUE_NAMES if saved[n] != PLACED[n]}
    if changed:
        raise Failure("values placed beforehand changed though the window was not moved (placed, saved): "
                      + ", ".join(f"{n} {a} -> {b}" for n, (a, b) in changed.items()))
    log("the twelve values placed beforehand came back unchanged")
    if read_bytes(session.path("Quorvane.cfg")) != config:
        raise Failure("Quorvane.cfg changed")
    return 0


# --- installer --------------------------------------------------------------------------------

def read_shortcut(path):
    """(target, working folder) of a Windows shell link (.lnk): the target from its LinkInfo's local
    base path, the working folder from its string data."""
    data = read_bytes(path)
    if len(data) < 76 or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        raise Failure(f"{path} is not a shell link")
    flags = struct.unpack_from("<I", data, 20)[0]
    pos = 76
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    target = None
    if flags & 0x2:  # HasLinkInfo
        size = struct.unpack_from("<I", data, pos)[0]
        info = data[pos:pos + size]
        header = struct.unpack_from("<I", info, 4)[0]
        base = struct.unpack_from("<I", info, 16)[0]
        if header >= 0x24:  # the Unicode local base path
            base_u = struct.unpack_from("<I", info, 28)[0]
            if base_u:
                end = base_u
                while info[end:end + 2] != b"\0\0":
                    end += 2
                target = info[base_u:end].decode("utf-16-le")
        if target is None and base:
            target = info[base:info.index(b"\0", base)].decode("latin-1")
        pos += size
    strings = {}
    unicode = bool(flags & 0x80)
    for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            pos += 2
            width = 2 if unicode else 1
            strings[name] = data[pos:pos + count * width].decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
            pos += count * width
    return target, strings.get("workdir")


def wine_processes(session, command_part):
    """(id, environment) of each process of this prefix whose command line holds command_part: the
    programs a shortcut started, and Wine's own, are not this test's children."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
            with open(f"/proc/{entry}/environ", "rb") as f:
                env = dict(v.decode("utf-8", "replace").split("=", 1) for v in f.read().split(b"\0") if b"=" in v)
        except OSError:
            continue
        if command_part.lower() in cmdline.lower() and env.get("WINEPREFIX") == session.prefix:
            found.append((int(entry), env))
    return found


def wine_pids(session, command_part):
    return [pid for pid, _ in wine_processes(session, command_part)]


def stop_pids(pids, timeout=10):
    for pid in pids:
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            continue
    deadline = time.monotonic() + timeout
    for pid in pids:
        while time.monotonic() < deadline and os.path.exists(f"/proc/{pid}"):
            time.sleep(0.1)
        if os.path.exists(f"/proc/{pid}"):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass


class Places:
    """Where the installer puts things in this prefix, as Unix paths."""

    def __init__(self, session):
        env = session.windows_environment()
        for name in ("APPDATA", "ProgramData"):
            if name not in env:
                raise Failure(f"Wine's environment has no {name}")
        self.appdata = env["APPDATA"]
        self.install = session.unix_path(INSTALL_FOLDER)
        self.programs = [os.path.join(self.install, "bin", p) for p in PROGRAMS]
        self.uninstaller = os.path.join(self.install, "Uninstall.exe")
        # An installer with administrator rights (Wine's user has them) puts its shortcuts into the
        # all-users Start menu, one without them into the user's own.
        self.shortcuts = {
            "all users": env["ProgramData"] + "\\Microsoft\\Windows\\Start Menu\\Programs\\" + SHORTCUT,
            "this user": env["APPDATA"] + "\\Microsoft\\Windows\\Start Menu\\Programs\\" + SHORTCUT,
        }
        self.shortcut_paths = {k: session.unix_path(v) for k, v in self.shortcuts.items()}
        self.user_folder_windows = env["APPDATA"] + "\\" + USER_FOLDER
        self.user_folder = session.unix_path(self.user_folder_windows)

    def installed(self):
        """Every program, the uninstaller and a shortcut are there."""
        return (all(os.path.exists(p) for p in self.programs + [self.uninstaller])
                and any(os.path.exists(p) for p in self.shortcut_paths.values()))

    def remaining(self):
        """What of the installation is still there: the programs, the uninstaller, the shortcut, and
        the install folder and the shortcut's Start-menu folder, which hold nothing of the user's."""
        paths = self.programs + [self.uninstaller] + list(self.shortcut_paths.values())
        paths += [self.install] + [os.path.dirname(p) for p in self.shortcut_paths.values()]
        return [p for p in paths if os.path.exists(p)]


def uninstall(session, places, timeout=120):
    """The silent uninstaller, and a bounded wait for what it removes: it copies itself to a temporary
    folder, starts that copy and returns at once."""
    session.wine(INSTALL_FOLDER + "\\Uninstall.exe", "/S", timeout=timeout)
    try:
        wait_for("the uninstaller to finish", lambda: not places.remaining(), timeout, 0.5)
    except Failure:
        raise Failure(f"the uninstaller left {places.remaining()}")


def test_installer(session, args):
    if not os.path.isfile(args.installer):
        raise Failure(f"{args.installer} does not exist")
    session.prepare_prefix()
    session.start_screen()
    places = Places(session)

    # From a clean slate: no earlier installation, no placement, no folder of the user's.
    if os.path.exists(places.uninstaller):
        log("an earlier installation is there: uninstalled first")
        uninstall(session, places)
    for leftover in places.remaining():
        shutil.rmtree(leftover, ignore_errors=True)
    shutil.rmtree(places.user_folder, ignore_errors=True)
    delete_key(session)
    if query_key(session):
        raise Failure(f"{KEY} could not be deleted")

    begun = time.monotonic()
    session.wine(os.path.abspath(args.installer), "/S", timeout=300)
    wait_for("the installer to finish", places.installed, 120, 0.5)
    log(f"installed in {time.monotonic() - begun:.1f} s: " + ", ".join(
        os.path.relpath(p, places.install) for p in places.programs))

    where = [k for k, p in places.shortcut_paths.items() if os.path.exists(p)][0]
    shortcut_unix = places.shortcut_paths[where]
    shortcut = places.shortcuts[where]
    target, workdir = read_shortcut(shortcut_unix)
    log(f"shortcut (the Start menu of {where}): {shortcut}\n  target {target}\n  start in {workdir}")
    if (target or "").lower() != (INSTALL_FOLDER + "\\bin\\quorvane-monitor.exe").lower():
        raise Failure(f"the shortcut starts {target!r}, not the installed monitor")
    if (workdir or "").rstrip("\\").lower() != places.user_folder_windows.lower():
        raise Failure(f"the shortcut starts the monitor in {workdir!r}, not in {places.user_folder_windows}")
    if not os.path.isdir(places.user_folder):
        raise Failure(f"the installer did not create {places.user_folder_windows}")
    written = [p for p in (os.path.join(places.user_folder, "Quorvane.cfg"),
                           os.path.join(places.install, "Quorvane.cfg"),
                           os.path.join(places.install, "bin", "Quorvane.cfg")) if os.path.exists(p)]
    if written:
        raise Failure(f"the installer wrote {written}")
    log("the installer created the user's folder and wrote no Quorvane.cfg")

    empty = colour_counts(screenshot(session, "before.png"))
    sim, port = session.start_wine_sim(places.programs[1], "--lines", "64", "--change-rate", "0", "--seed", "7")
    config_path = os.path.join(places.user_folder, "Quorvane.cfg")
    with open(config_path, "w", encoding="ascii", newline="") as f:
        f.write(loopback_config(port, 1, "COL_GROUP_NUM = 1", "LANGUAGE_TYPE = English"))
    config = read_bytes(config_path)

    # Started as the operator starts it: the shortcut, through the shell, which takes its working
    # folder from the link. The monitor is then no child of this test; it is found by its command
    # line in this prefix.
    launcher = session.start(["wine", "start", shortcut], "start")
    alive = lambda: bool(wine_pids(session, "quorvane-monitor.exe"))  # noqa: E731
    try:
        wait_for("the monitor started by the shortcut to connect", lambda: sim_answered(session), 90, 0.2)
        log("the monitor started by the shortcut polls the installed simulator on 127.0.0.1")
        window = wait_for("the monitor's window", lambda: monitor_window(session), 60, 0.3)
        log(f"window: {window_title(session, window)}")
        board_colours(session, "board.png", empty, alive)
        if not close_through_menu(session, window, lambda: not alive(), 30):
            raise Failure("System > Exit did not end the monitor")
        log("System > Exit ended the monitor")
    finally:
        stop_pids(wine_pids(session, "quorvane-monitor.exe"))
        session.stop(launcher)

    saved = check_stored_values(query_key(session))
    log("the monitor saved its placement: " + ", ".join(f"{n}={v}" for n, v in saved.items()))

    # Windows does not remove a program that is running.
    session.stop(sim)
    wait_for("the simulator to end", lambda: not wine_pids(session, "quorvane-sim.exe"), 20, 0.2)
    begun = time.monotonic()
    uninstall(session, places)
    log(f"uninstalled in {time.monotonic() - begun:.1f} s: programs, shortcut and their folders removed")

    after = query_key(session)
    if check_stored_values(after) != saved:
        raise Failure(f"the user's placement changed with the uninstall: {after}")
    if read_bytes(config_path) != config:
        raise Failure("the user's Quorvane.cfg did not survive the uninstall")
    log("the user's Quorvane.cfg and the twelve placement values in the registry remain")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("test", choices=["monitor", "installer"])
    parser.add_argument("--lang", choices=sorted(TITLES), default="English")
    parser.add_argument("--monitor")
    parser.add_argument("--sim")
    parser.add_argument("--installer")
    parser.add_argument("--prefix", help="the Wine prefix (default: $WINEPREFIX, else build-win/wineprefix)")
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    if args.test == "monitor" and not (args.monitor and args.sim):
        parser.error("monitor needs --monitor and --sim")
    if args.test == "installer" and not args.installer:
        parser.error("installer needs --installer")
    tool = missing_tool()
    if tool:
        log(f"skipped: {tool} is not installed (scripts/setup.sh and scripts/windows.sh install them)")
        return SKIP
    session = WineSession(args)
    try:
        status = (test_monitor if args.test == "monitor" else test_installer)(session, args)
        log(f"passed in {session.elapsed():.0f} s")
        return status
    except Failure as e:
        log(f"FAILED after {session.elapsed():.0f} s: {e}")
        session.print_logs(("sim.log", "monitor.log", "monitor.out", "start.log", "openbox.log"), 4000)
        session.describe_screen()
        return 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
