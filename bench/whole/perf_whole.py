#!/usr/bin/env python3
"""Whole-program measurements of quorvane-monitor against quorvane-sim on loopback.

Run through scripts/perf.sh. Every run gets a scratch working directory under OUT whose
Quorvane.cfg points at 127.0.0.1; nothing else is contacted. Prints a table and writes
OUT/results.json.
"""

import argparse
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "support"))
import testkit  # noqa: E402
from testkit import Failure, Workdir, read_text, visible_window, wait_for  # noqa: E402

CLK_TCK = os.sysconf("SC_CLK_TCK")


def log(text):
    print(text, file=sys.stderr, flush=True)


def cpu_seconds(pid):
    """utime + stime of a process (all its threads), in seconds."""
    stat = read_text(f"/proc/{pid}/stat")
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def status_fields(pid):
    out = {}
    for line in read_text(f"/proc/{pid}/status").splitlines():
        key, _, value = line.partition(":")
        out[key] = value.strip()
    return out


def memory_mb(pid):
    s = status_fields(pid)
    return {k: int(s[k].split()[0]) / 1024 for k in ("VmRSS", "VmHWM", "RssAnon", "RssFile", "RssShmem")}


def gui_thread_seconds(pid):
    """CPU seconds of the process's first thread, which runs the GUI."""
    stat = read_text(f"/proc/{pid}/task/{pid}/stat")
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def switches(pid):
    s = status_fields(pid)
    return int(s["voluntary_ctxt_switches"]) + int(s["nonvoluntary_ctxt_switches"])


def polls_received(port):
    """Bytes the simulator's side of the established connection(s) on port has received, over 5."""
    out = subprocess.run(["ss", "-tinH", "state", "established", f"( sport = :{port} )"], capture_output=True,
                         text=True).stdout
    return sum(int(n) for n in re.findall(r"bytes_received:(\d+)", out)) / 5


class Run(Workdir):
    """The processes of one measurement in one scratch directory; stopped by their own ids."""

    def __init__(self, env, work):
        super().__init__(work, env)
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.work, "xdg")

    def write_config(self, port, sleep_sec, groups=1):
        super().write_config(port, sleep_sec, f"COL_GROUP_NUM = {groups}", "LANGUAGE_TYPE = English")

    def write_placement(self, x, y, width, height):
        """The window's place and outer size in the per-user store, as the monitor saves them on exit."""
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "Halverdon")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "Quorvane.conf"), "w", encoding="ascii") as f:
            f.write(f"[General]\nWinX={x}\nWinY={y}\nWinWidth={width}\nWinHeight={height}\n")

    def connected(self):
        return "connected\n" in read_text(self.path("sim.log"))


def steady_cpu(args, env, name, sim_args, sleep_sec, warmup, window, groups=1, placement=None):
    """CPU of the monitor (and of the simulator) over window seconds once warmup seconds have passed."""
    run = Run(env, os.path.join(args.out, name))
    try:
        sim, port = run.start_sim(args.sim, *sim_args)
        run.write_config(port, sleep_sec, groups)
        if placement:
            run.write_placement(*placement)
        monitor = run.start([args.monitor], "monitor")
        wait_for("the monitor to connect", run.connected, 20)
        time.sleep(warmup)
        cpu0, gui0, sim0, sw0, polls0, t0 = cpu_seconds(monitor.pid), gui_thread_seconds(monitor.pid), \
            cpu_seconds(sim.pid), switches(monitor.pid), polls_received(port), time.monotonic()
        time.sleep(window)
        cpu1, gui1, sim1, sw1, polls1, t1 = cpu_seconds(monitor.pid), gui_thread_seconds(monitor.pid), \
            cpu_seconds(sim.pid), switches(monitor.pid), polls_received(port), time.monotonic()
        mem = memory_mb(monitor.pid)
        if monitor.poll() is not None:
            raise Failure(f"the monitor ended with {monitor.returncode}")
        wall = t1 - t0
        return {
            "window_s": round(wall, 1),
            "monitor_cpu_percent": round(100 * (cpu1 - cpu0) / wall, 2),
            "gui_thread_cpu_percent": round(100 * (gui1 - gui0) / wall, 2),
            "sim_cpu_percent": round(100 * (sim1 - sim0) / wall, 2),
            "monitor_context_switches_per_s": round((sw1 - sw0) / wall, 1),
            "answers": int(polls1 - polls0),
            "answers_per_s": round((polls1 - polls0) / wall, 1),
            "VmRSS_MB": round(mem["VmRSS"], 1),
            "VmHWM_MB": round(mem["VmHWM"], 1),
            "RssAnon_MB": round(mem["RssAnon"], 1),
            "RssFile_MB": round(mem["RssFile"], 1),
        }
    finally:
        run.close()


def whole(args, env, name, mode, sim_args, extra, placement=None):
    run = Run(env, os.path.join(args.out, name))
    try:
        _, port = run.start_sim(args.sim, *sim_args)
        if placement:
            run.write_placement(*placement)
        out = subprocess.run([args.whole, mode, "--sim-port", str(port), *extra], cwd=run.work, env=run.env,
                             capture_output=True, text=True, timeout=600)
        with open(run.path("whole.log"), "w") as f:
            f.write(out.stderr)
        values = {}
        for line in out.stdout.splitlines():
            key, _, value = line.partition(" ")
            try:
                values[key] = float(value)
            except ValueError:
                values[key] = value
        if out.returncode != 0:
            raise Failure(f"quorvane-whole {mode} failed ({out.returncode}): {out.stdout}{out.stderr}")
        return values
    finally:
        run.close()


class MapWatch:
    """Times of the X server's CreateNotify and MapNotify events for top-level windows, as xev reports them."""

    def __init__(self, env):
        self.events = []
        self.proc = subprocess.Popen(["xev", "-root", "-event", "substructure"], env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        time.sleep(0.5)  # xev has selected the events by then

    def _read(self):
        for line in self.proc.stdout:
            kind = line.split(" ", 1)[0]
            if kind in ("CreateNotify", "MapNotify"):
                self.events.append((kind, time.monotonic()))

    def first(self, kind, after):
        return next((t for k, t in list(self.events) if k == kind and t > after), None)

    def close(self):
        self.proc.terminate()
        self.proc.wait()


def startup(args, env, rounds):
    """Real binary: from exec to a mapped (visible) main window, with a local server. Returns the times to the
    first X window Qt creates and to the main window's mapping, in ms."""
    watch = MapWatch(env) if shutil.which("xev") else None
    if not watch:
        log("note: no xev; the window is found by polling xdotool every 20 ms, which also costs CPU")
    created, mapped = [], []
    try:
        for i in range(rounds):
            run = Run(env, os.path.join(args.out, f"startup{i}"))
            try:
                _, port = run.start_sim(args.sim, "--lines", "64")
                run.write_config(port, 1)
                time.sleep(0.2)
                t0 = time.monotonic()
                monitor = run.start([args.monitor], "monitor")
                if watch:
                    t1 = wait_for("the window to be mapped", lambda: watch.first("MapNotify", t0), 20, 0.005)
                    created.append((watch.first("CreateNotify", t0) - t0) * 1000)
                else:
                    wait_for("a visible window", lambda: visible_window(run.env), 20, 0.02)
                    t1 = time.monotonic()
                mapped.append((t1 - t0) * 1000)
                run.stop(monitor)
            finally:
                run.close()
    finally:
        if watch:
            watch.close()
    return {"first_x_window_ms": created, "mapped_ms": mapped}


def exit_real(args, env, rounds):
    """Real binary, SLEEP_SEC 10: from the E&xit key press, while the worker pauses, to the end of the process."""
    times = []
    for i in range(rounds):
        run = Run(env, os.path.join(args.out, f"exit{i}"))
        try:
            _, port = run.start_sim(args.sim, "--lines", "64")
            run.write_config(port, 10)
            monitor = run.start([args.monitor], "monitor")
            window = wait_for("a visible window", lambda: visible_window(run.env), 20, 0.05)
            wait_for("the monitor to connect", run.connected, 20)
            time.sleep(1.5)  # the first answer is handled; the worker sits in its 10 s pause
            subprocess.run(["xdotool", "windowfocus", "--sync", window], env=run.env, capture_output=True)
            subprocess.run(["xdotool", "key", "--clearmodifiers", "alt+s"], env=run.env)
            time.sleep(0.5)
            t0 = time.monotonic()
            subprocess.run(["xdotool", "key", "--clearmodifiers", "x"], env=run.env)
            try:
                monitor.wait(15)
            except subprocess.TimeoutExpired:
                raise Failure("E&xit did not end the monitor")
            times.append((time.monotonic() - t0) * 1000)
            if "after 1 answers" not in read_text(run.path("sim.log")):
                log("note: the monitor polled more than once before it closed: " + read_text(run.path("sim.log")))
        finally:
            run.close()
    return times


def start_xvfb(args, env, screen="1280x900x24", log_name="xvfb.log"):
    proc, env["DISPLAY"] = testkit.start_xvfb(os.path.join(args.out, log_name), screen)
    return proc


WALL_SCREEN = "3840x2160x24"
WALL_PLACEMENT = (0, 0, 3840, 2100)
PER_CELL = "QUORVANE_PER_CELL_NOTICES"


def loadavg():
    return [float(x) for x in read_text("/proc/loadavg").split()[:3]]


def wall(args, env, quick):
    """A wallboard: the real binary and quorvane-whole at 3840 x 2100 on a 3840 x 2160 screen, 2048 lines that
    all change, for SLEEP_SEC 0 and 1 and 10 and 4 groups; every case once with one notice per cell (as before the
    refresh reported one range) and once as the program runs now, one after the other. Then the design's window."""
    env = dict(env)
    xvfb = start_xvfb(args, env, WALL_SCREEN, "xvfb-wall.log") if env.get("QT_QPA_PLATFORM") == "xcb" else None
    window = 10 if quick else 30
    warmup = 5
    variants = (("per_cell", {PER_CELL: "1"}), ("one_range", {}))
    cases = []
    try:
        for sleep_sec in (0, 1):
            for groups in (10, 4):
                for variant, extra in variants:
                    venv = {k: v for k, v in env.items() if k != PER_CELL}
                    venv.update(extra)
                    name = f"wall-s{sleep_sec}-g{groups}-{variant}"
                    log(f"  {name} ...")
                    case = {"sleep_sec": sleep_sec, "groups": groups, "variant": variant, "load_start": loadavg()}
                    sim_args = ["--lines", "2048", "--change-rate", "1"]
                    case["cpu"] = steady_cpu(args, venv, name + "-cpu", sim_args, sleep_sec, warmup, window, groups,
                                             WALL_PLACEMENT)
                    case["ticks"] = whole(args, venv, name + "-ticks", "wall", sim_args,
                                          ["--sleep-sec", str(sleep_sec), "--groups", str(groups), "--warmup",
                                           str(warmup), "--seconds", str(window)], WALL_PLACEMENT)
                    case["load_end"] = loadavg()
                    cases.append(case)
        # The design's 795 x 528 window (no stored placement), 10 % of the lines changing once a second.
        for variant, extra in variants:
            venv = {k: v for k, v in env.items() if k != PER_CELL}
            venv.update(extra)
            name = f"wall-default-{variant}"
            log(f"  {name} ...")
            case = {"sleep_sec": 1, "groups": 1, "variant": variant, "default_window": True, "load_start": loadavg()}
            case["cpu"] = steady_cpu(args, venv, name + "-cpu", ["--lines", "2048", "--change-rate", "0.1"], 1,
                                     warmup, window)
            case["load_end"] = loadavg()
            cases.append(case)
    finally:
        if xvfb:
            xvfb.kill()
            xvfb.wait()
    return {"screen": WALL_SCREEN, "placement": WALL_PLACEMENT, "window_s": window, "cases": cases}


def machine():
    model = re.search(r"model name\s*:\s*(.*)", read_text("/proc/cpuinfo"))
    mhz = re.search(r"cpu MHz\s*:\s*(.*)", read_text("/proc/cpuinfo"))
    return {
        "nproc": os.cpu_count(),
        "cpu": model.group(1) if model else platform.processor(),
        "mhz": mhz.group(1) if mhz else "",
        "kernel": platform.release(),
        "loadavg_start": read_text("/proc/loadavg").split()[:3],
    }


def ratio(value, limit):
    return f"{value / limit:.2f}" if value is not None and limit else "-"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--whole", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--quick", action="store_true", help="shorter windows and fewer samples")
    parser.add_argument("--only", default="idle,busy,latency,stop,startup",
                        help="comma-separated: idle,busy,latency,stop,startup,wall (wall only when named)")
    args = parser.parse_args()
    # The programs run in scratch directories of their own.
    args.out, args.monitor, args.sim, args.whole = (os.path.abspath(p) for p in (args.out, args.monitor, args.sim,
                                                                               args.whole))
    os.makedirs(args.out, exist_ok=True)
    only = set(args.only.split(","))

    env = dict(os.environ)
    env.pop("WAYLAND_DISPLAY", None)
    env["LANG"] = "C.UTF-8"
    runtime = os.path.join(args.out, "runtime")
    os.makedirs(runtime, 0o700, exist_ok=True)
    env["XDG_RUNTIME_DIR"] = runtime
    xvfb = None
    if shutil.which("Xvfb"):
        xvfb = start_xvfb(args, env)
        env["QT_QPA_PLATFORM"] = "xcb"
    else:
        env.pop("DISPLAY", None)
        env["QT_QPA_PLATFORM"] = "offscreen"
        log("no Xvfb: offscreen platform; start-up and the real Exit are not measured")
    xdotool = xvfb is not None and shutil.which("xdotool") is not None

    results = {"machine": machine(), "platform": env["QT_QPA_PLATFORM"]}
    quick = args.quick

    def display_alive():
        # Another program on the machine may end the X server; each measurement starts on a live one.
        nonlocal xvfb
        if xvfb and xvfb.poll() is not None:
            log(f"note: Xvfb ended ({xvfb.returncode}) without being asked; starting another")
            xvfb = start_xvfb(args, env)
            results["xvfb_restarts"] = results.get("xvfb_restarts", 0) + 1

    sections = [
        ("idle", "idle", "idle: 2048 lines, SLEEP_SEC 5, answers 3 s late",
         lambda: steady_cpu(args, env, "idle", ["--lines", "2048", "--delay-ms", "3000"], 5, 3 if quick else 5,
                            20 if quick else 60)),
        ("busy", "busy", "busy: 2048 lines, SLEEP_SEC 0, 10 % of the lines change per answer",
         lambda: steady_cpu(args, env, "busy", ["--lines", "2048", "--change-rate", "0.1"], 0, 5,
                            10 if quick else 30)),
        ("latency", "latency", "latency: frame leaving the simulator to the cell's pixels",
         lambda: whole(args, env, "latency", "latency", ["--lines", "2048", "--change-rate", "0.1"],
                       ["--samples", "10" if quick else "60", "--sleep-sec", "1",
                        "--max-seconds", "60" if quick else "240"])),
        ("stop", "stop", "stop: Exit and Reconnect while the worker pauses 10 s",
         lambda: whole(args, env, "stop", "stop", ["--lines", "64"], ["--rounds", "2" if quick else "5"])),
    ]
    sections.append(("wall", "wall", "wall: 3840 x 2100 window, 2048 lines all changing, per-cell notices and one range",
                     lambda: wall(args, env, quick)))
    if xdotool:
        sections += [
            ("exit_real_ms", "stop", "exit: the real binary's E&xit while the worker pauses 10 s",
             lambda: exit_real(args, env, 2 if quick else 5)),
            ("startup_ms", "startup", "startup: exec to a visible window", lambda: startup(args, env, 3 if quick else 10)),
        ]
    failed = False
    try:
        for key, group, title, measure in sections:
            if group not in only:
                continue
            display_alive()
            log(title + " ...")
            try:
                results[key] = measure()
            except (Failure, subprocess.TimeoutExpired) as e:
                log(f"perf: {key} failed: {e}")
                results.setdefault("failed", {})[key] = str(e)
                failed = True
    finally:
        if xvfb:
            xvfb.kill()
            xvfb.wait()
    results["machine"]["loadavg_end"] = read_text("/proc/loadavg").split()[:3]
    with open(os.path.join(args.out, "results.json"), "w") as f:
        json.dump(results, f, indent=2)
    print_table(results)
    return 1 if failed else 0


def print_table(r):
    m = r["machine"]
    print(f"Machine: {m['nproc']} x {m['cpu']}, kernel {m['kernel']}; load average {' '.join(m['loadavg_start'])} "
          f"at the start, {' '.join(m['loadavg_end'])} at the end; Qt platform {r['platform']}")
    for key, error in r.get("failed", {}).items():
        print(f"FAILED {key}: {error}")
    if r.get("xvfb_restarts"):
        print(f"Xvfb was ended from outside and restarted {r['xvfb_restarts']} time(s)")
    rows = []

    def row(what, figure, target, value=None, limit=None):
        rows.append((what, figure, target, ratio(value, limit)))

    if "idle" in r:
        i = r["idle"]
        row(f"CPU, 2048 lines, SLEEP_SEC 5, answers 3 s late ({i['window_s']} s)", f"{i['monitor_cpu_percent']} %",
            "<= 1 % of a core", i["monitor_cpu_percent"], 1.0)
        row("  wake-ups of the monitor while idle", f"{i['monitor_context_switches_per_s']} /s", "-")
        row("  answers in the window", f"{i['answers']}", "-")
    if "busy" in r:
        b = r["busy"]
        row(f"CPU, 2048 lines, SLEEP_SEC 0, 10 % change ({b['window_s']} s)", f"{b['monitor_cpu_percent']} %",
            "report")
        row("  of which the GUI thread", f"{b['gui_thread_cpu_percent']} %", "-")
        row("  answers per second", f"{b['answers_per_s']}", "report")
        if b["answers_per_s"]:
            row("  monitor CPU per answer", f"{10 * b['monitor_cpu_percent'] / b['answers_per_s']:.3f} ms", "-")
        row("  simulator CPU meanwhile", f"{b['sim_cpu_percent']} %", "-")
        row("Resident memory, 2048-line board (busy run)", f"RSS {b['VmRSS_MB']} MB, peak {b['VmHWM_MB']} MB",
            "<= 60 MB", b["VmHWM_MB"], 60)
        row("  of which private (heap, stacks) / mapped files", f"{b['RssAnon_MB']} MB / {b['RssFile_MB']} MB", "-")
    if "idle" in r:
        i = r["idle"]
        row("Resident memory, 2048-line board (idle run)", f"RSS {i['VmRSS_MB']} MB, peak {i['VmHWM_MB']} MB",
            "<= 60 MB", i["VmHWM_MB"], 60)
    if "latency" in r:
        lat = r["latency"]
        row(f"Frame leaving the simulator to its cell's pixels (n={int(lat['latency_ms_n'])})",
            f"median {lat['latency_ms_median']:.0f} ms, p95 {lat['latency_ms_p95']:.0f}, "
            f"max {lat['latency_ms_max']:.0f}", "<= 805 ms", lat["latency_ms_max"], 805)
        row("  refresh tick to the cell's pixels (seen by)", f"median {lat['tick_to_pixels_ms_median']:.1f} ms, "
            f"max {lat['tick_to_pixels_ms_max']:.1f}", "<= 5 ms", lat["tick_to_pixels_ms_max"], 5)
        row("  refresh tick to the cell's pixels (not yet at)", f"median {lat['tick_to_pixels_low_ms_median']:.1f} ms, "
            f"max {lat['tick_to_pixels_low_ms_max']:.1f}", "<= 5 ms", lat["tick_to_pixels_low_ms_max"], 5)
        row("  screen looked at every (last look before the change)",
            f"median {lat['look_interval_ms_median']:.1f} ms, max {lat['look_interval_ms_max']:.1f}", "-")
        row("  refresh tick interval", f"{lat['tick_interval_ms_min']:.1f} .. {lat['tick_interval_ms_max']:.1f} ms",
            "800 ms")
    if "stop" in r:
        s = r["stop"]
        row(f"Exit1Click while the worker pauses 10 s (n={int(s['exit_ms_n'])})",
            f"max {s['exit_ms_max']:.1f} ms", "<= 500 ms", s["exit_ms_max"], 500)
        row("  StopMonitor alone (100 ms settle included)", f"max {s['stopmonitor_ms_max']:.1f} ms", "<= 500 ms",
            s["stopmonitor_ms_max"], 500)
        row("Reconnect1Click while the worker pauses 10 s", f"max {s['reconnect_ms_max']:.0f} ms",
            "stop part <= 500 ms")
        row("  of which StartMonitor (connect + 800 ms settling)", f"max {s['startmonitor_ms_max']:.0f} ms", "~880 ms",
            s["startmonitor_ms_max"], 880)
    if "exit_real_ms" in r:
        e = r["exit_real_ms"]
        row(f"Real binary: E&xit key to process end (n={len(e)})", f"median {statistics.median(e):.0f} ms, "
            f"max {max(e):.0f}", "<= 500 ms", max(e), 500)
    if "startup_ms" in r:
        s = r["startup_ms"]
        m = s["mapped_ms"]
        row(f"Real binary: exec to visible window, local server (n={len(m)})",
            f"median {statistics.median(m):.0f} ms, min {min(m):.0f}, max {max(m):.0f}", "floor ~880 ms",
            statistics.median(m), 880)
        if s["first_x_window_ms"]:
            row("  exec to Qt's first X window (libraries, QApplication)",
                f"median {statistics.median(s['first_x_window_ms']):.0f} ms", "-")
    if "wall" in r:
        for c in r["wall"]["cases"]:
            cpu = c["cpu"]
            what = "one notice per cell" if c["variant"] == "per_cell" else "one range per tick"
            load = f"load {c['load_start'][0]:.2f} -> {c['load_end'][0]:.2f}"
            if c.get("default_window"):
                row(f"Default window, SLEEP_SEC 1, 10 % change, {what} ({cpu['window_s']} s, {load})",
                    f"CPU {cpu['monitor_cpu_percent']} %, GUI thread {cpu['gui_thread_cpu_percent']} %",
                    "GUI <= 0.2 %" if c["variant"] == "one_range" else "-",
                    cpu["gui_thread_cpu_percent"] if c["variant"] == "one_range" else None, 0.2)
                continue
            t = c["ticks"]
            s0g10 = c["sleep_sec"] == 0 and c["groups"] == 10 and c["variant"] == "one_range"
            s1 = c["sleep_sec"] == 1 and c["variant"] == "one_range"
            row(f"Wall 4K, SLEEP_SEC {c['sleep_sec']}, G{c['groups']}, {what} ({cpu['window_s']} s, {load})",
                f"CPU {cpu['monitor_cpu_percent']} %, GUI thread {cpu['gui_thread_cpu_percent']} %, "
                f"RSS {cpu['VmRSS_MB']} MB", "GUI <= 25 %" if s0g10 else "-",
                cpu["gui_thread_cpu_percent"] if s0g10 else None, 25)

            def spread(key):
                if not t.get(key + "_n"):
                    return "none"
                return f"median {t[key + '_median']:.1f} ms, p95 {t[key + '_p95']:.1f}, max {t[key + '_max']:.1f}"

            row(f"  ticks {int(t['ticks'])}, of which rewrote cells {int(t['cells_per_tick_n'])} "
                f"(median {t.get('cells_per_tick_median', 0):.0f} of {int(t['cells_in_view'])} in view)",
                f"{int(t['viewport_width'])} x {int(t['viewport_height'])} grid", "-")
            row("  refresh (Timer1Timer)", spread("refresh_ms"), "-")
            row("  repaint: the grid's paint events", spread("paint_ms"), "-")
            row("    GUI thread CPU in them", spread("paint_cpu_ms"), "-")
            row("  repaint: the window's update requests (paint + flush)", spread("update_ms"),
                "median <= 40, max <= 80 ms" if s0g10 else "-", t.get("update_ms_max") if s0g10 else None, 80)
            row("    GUI thread CPU in them", spread("update_cpu_ms"), "-")
            row(f"  tick to pixels (probed {int(t['probed'])}, missed {int(t['missed'])})", spread("tick_to_pixels_ms"),
                "max <= 40 ms" if s1 else "-", t.get("tick_to_pixels_ms_max") if s1 else None, 40)
    width = [max(len(x[i]) for x in rows + [("Measure", "Figure", "Target", "Ratio")]) for i in range(4)]
    line = "  ".join("{:<" + str(w) + "}" for w in width)
    print(line.format("Measure", "Figure", "Target", "Ratio"))
    print(line.format(*("-" * w for w in width)))
    for x in rows:
        print(line.format(*x))


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        log(f"perf: {e}")
        sys.exit(1)
