"""What the Python tests and measurements share: a scratch working directory whose processes are
stopped by their own ids, the simulator started on 127.0.0.1 with its port read from its
"listening" line, the loopback Quorvane.cfg, a private Xvfb server, and waiting for files.

Only 127.0.0.1 is ever contacted: every Quorvane.cfg written here starts with an upper-case
"SERVER_IP = 127.0.0.1" line.

  sys.path.insert(0, "<repository>/tests/support")
  import testkit
"""

import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time


class Failure(Exception):
    pass


def wait_for(what, predicate, timeout, step=0.05):
    """predicate()'s first true value, asked every step seconds; Failure after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(step)


def read_bytes(path):
    """The file's bytes; empty when it does not exist (yet)."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


def read_text(path):
    """The file as text, each byte one character (so GBK never fails to decode); empty when missing."""
    return read_bytes(path).decode("latin-1")


def loopback_config(port, sleep_sec=None, *lines):
    """The text of a Quorvane.cfg that points at 127.0.0.1:port, in the program's CR LF lines:
    SERVER_IP first, SERVER_PORT, SLEEP_SEC when given, then the further "KEY = VALUE" lines."""
    keys = ["SERVER_IP = 127.0.0.1", f"SERVER_PORT = {port}"]
    if sleep_sec is not None:
        keys.append(f"SLEEP_SEC = {sleep_sec}")
    return "\r\n".join([*keys, *lines]) + "\r\n"


def start_xvfb(log_path, screen="1280x900x24", env=None, cwd=None):
    """A private Xvfb server on a display number it picks itself; returns the process and the value
    for DISPLAY. Its messages go to log_path."""
    r, w = os.pipe()
    with open(log_path, "ab") as err:
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp"],
                                pass_fds=(w,), cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=err)
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
        stop(proc)
        raise Failure(f"Xvfb did not start: {read_bytes(log_path)!r}")
    return proc, ":" + data.strip().decode()


def visible_window(env, name="Zandoral"):
    """The id of a visible window whose name contains name (the monitor's title), or None."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=env, capture_output=True,
                           text=True)
    ids = found.stdout.split()
    return ids[0] if ids else None


def stop(proc, timeout=10):
    """SIGTERM, then SIGKILL after timeout seconds; the exit status."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    return proc.returncode


class Workdir:
    """A scratch working directory, emptied first, and the processes started in it, which close()
    stops (by their own ids) whatever happened. A process NAME writes NAME.out and NAME.log there."""

    def __init__(self, work, env):
        self.work = os.path.abspath(work)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.env = dict(env)
        self.procs = []

    def path(self, name):
        return os.path.join(self.work, name)

    def start(self, argv, name, **kw):
        with open(self.path(name + ".out"), "ab") as out, open(self.path(name + ".log"), "ab") as err:
            kw.setdefault("env", self.env)
            proc = subprocess.Popen(argv, cwd=self.work, stdin=subprocess.DEVNULL, stdout=out, stderr=err, **kw)
        self.procs.append(proc)
        return proc

    def start_sim(self, sim, *args, name="sim", port=0, launcher=(), timeout=10):
        """quorvane-sim on 127.0.0.1:port (0: a free one) with the further arguments, started through
        launcher (e.g. ["wine"]) when given; returns the process and the port its
        "listening 127.0.0.1:PORT" line names (LF or, from a Windows program, CR LF)."""
        proc = self.start([*launcher, sim, "--bind", "127.0.0.1", "--port", str(port), *args], name)

        def listening():
            m = re.match(rb"listening 127\.0\.0\.1:(\d+)\r?\n", read_bytes(self.path(name + ".out")))
            if m:
                return int(m.group(1))
            if proc.poll() is not None:
                raise Failure(f"{name} ended with {proc.returncode}: {read_bytes(self.path(name + '.log'))!r}")
            return None

        return proc, wait_for(f"{name} to listen", listening, timeout, 0.05 if timeout <= 10 else 0.2)

    def write_config(self, port, sleep_sec=None, *lines):
        """Quorvane.cfg in the directory: loopback_config(port, sleep_sec, *lines)."""
        with open(self.path("Quorvane.cfg"), "w", encoding="ascii", newline="") as f:
            f.write(loopback_config(port, sleep_sec, *lines))

    def start_xvfb(self, screen="1280x900x24"):
        """A private Xvfb server for this directory's programs: DISPLAY is set in env."""
        proc, self.env["DISPLAY"] = start_xvfb(self.path("xvfb.log"), screen, self.env, self.work)
        self.procs.append(proc)
        return proc

    def start_wm(self):
        """openbox on this directory's display, once it manages the screen. Now and then it ended at
        once, without a word, while other tests started theirs: it gets a cache folder of its own
        and, when it ends before managing the screen, one more start; a second failure is the
        test's, with what it wrote."""
        env = dict(self.env, XDG_CACHE_HOME=self.path("openbox-cache"))

        def managed():
            return b"_NET_SUPPORTING_WM_CHECK(WINDOW)" in subprocess.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True, timeout=10).stdout

        why = ""
        for attempt in (1, 2):
            wm = self.start(["openbox", "--sm-disable"], "openbox", env=env)
            wait_for("openbox to manage the screen", lambda: wm.poll() is not None or managed(), 10)
            if wm.poll() is None:
                return wm
            why = (f"openbox ended with {wm.returncode}: {read_bytes(self.path('openbox.log'))!r} "
                   f"{read_bytes(self.path('openbox.out'))!r}")
            print(why + (", started once more" if attempt == 1 else ""), file=sys.stderr, flush=True)
        raise Failure(why)

    @staticmethod
    def stop(proc, timeout=10):
        return stop(proc, timeout)

    def print_logs(self, names, last=None):
        """After a failure: each log of the run that has something in it (its last bytes, if given)."""
        for name in names:
            data = read_bytes(self.path(name))
            if data:
                print(f"--- {name}:\n{data[-last if last else 0:].decode('gbk', 'replace')}", flush=True)

    def close(self):
        for proc in reversed(self.procs):
            stop(proc)
