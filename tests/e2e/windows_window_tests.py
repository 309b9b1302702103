#!/usr/bin/env python3
"""The window tests of the Windows build on Qt's real windows platform: under Wine, on a private
Xvfb server with a window manager (openbox), where the offscreen platform of the other Wine runs
has no frames, no window manager and no real screen.

  windows_window_tests.py --build BUILD-WIN --work DIR

Each program runs its window suites in one process; a test that fails there runs once more alone,
in a process of its own, and only a test that fails alone too fails the run (under Wine a window
of one test now and then still holds the focus or the screen when the next test starts).
Wine's environment (WINEPREFIX, WINEDEBUG, a running wineserver) is the caller's.

Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing). DIR is emptied first.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from testkit import Failure, Workdir  # noqa: E402

SKIP = 77

# Program (relative to the build folder), gtest filter. The settings program is the placement store
# with the window's frame; the app program's suites are the main window, its placement and its
# configuration dialog, and the worker against the window. Left to the offscreen run: the dialog
# centred on the screen (openbox places a dialog by its own rules, not where Qt asked) and the
# configuration round trips through the modal dialog, which under Wine now and then waits on a
# modal that never gets the key.
SUITES = [
    ("tests/settings/qt/settings_gui_tests.exe", "*"),
    ("tests/app/app_tests.exe",
     "MainWindowTest.*:MainWindowPlacementTest.*:MainWindowThreadTest.*:ConfigFormTest.*"
     ":-ConfigFormTest.CentredOnTheScreen"),
]
# Bounds: a whole suite, and one test alone.
SUITE_SECONDS = 300
ALONE_SECONDS = 60

FAILED = re.compile(r"^\[  FAILED  \] (\S+\.\S+)", re.M)
PASSED = re.compile(r"^\[  PASSED  \] (\d+) test", re.M)


def run(session, program, gtest_filter, timeout):
    argv = ["wine", program, f"--gtest_filter={gtest_filter}"]
    try:
        done = subprocess.run(argv, env=session.env, cwd=session.work, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired as e:
        out = (e.stdout or b"").decode("utf-8", "replace")
        return None, out + f"\n(stopped after {timeout} s)"
    return done.returncode, done.stdout.decode("utf-8", "replace") + done.stderr.decode("utf-8", "replace")


def run_suite(session, build, program, gtest_filter):
    path = os.path.join(build, program)
    name = os.path.basename(program)
    start = time.monotonic()
    code, out = run(session, path, gtest_filter, SUITE_SECONDS)
    passed = PASSED.search(out)
    failed = sorted(set(FAILED.findall(out)))
    print(f"{name}: exit {code}, {passed.group(1) if passed else 'no'} tests passed, {len(failed)} failed "
          f"({time.monotonic() - start:.0f} s)", flush=True)
    if code == 0 and passed:
        return []
    if code is None or not passed and not failed:
        # Stopped or ended without its summary: there is no list of failures to retry.
        print(out[-4000:], flush=True)
        return [f"{name} (whole run)"]
    still = []
    for test in failed:
        code, alone = run(session, path, test, ALONE_SECONDS)
        if code == 0 and PASSED.search(alone):
            print(f"{name}: {test} failed beside the others and passed alone", flush=True)
        else:
            print(f"{name}: {test} FAILED alone too:\n{alone[-3000:]}", flush=True)
            still.append(f"{name} {test}")
    return still


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    for tool in ("wine", "Xvfb", "openbox", "xprop"):
        if not shutil.which(tool):
            print(f"SKIPPED: {tool} is missing")
            return SKIP
    build = os.path.abspath(args.build)
    env = dict(os.environ, QT_QPA_PLATFORM="windows", LANG="C.UTF-8")
    env.pop("WAYLAND_DISPLAY", None)
    session = Workdir(os.path.abspath(args.work), env)
    # The per-user store of each test goes under the scratch directory, not the prefix's registry.
    session.env["XDG_CONFIG_HOME"] = session.path("xdg")
    failures = []
    try:
        session.start_xvfb()
        session.start_wm()
        for program, gtest_filter in SUITES:
            failures += run_suite(session, build, program, gtest_filter)
    except Failure as e:
        print(f"FAILED: {e}", flush=True)
        return 1
    finally:
        session.close()
    if failures:
        print("FAILED: " + ", ".join(failures), flush=True)
        return 1
    print("passed", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
