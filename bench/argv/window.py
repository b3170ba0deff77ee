#!/usr/bin/env python3
"""How long a launch URL's query stays readable in /proc/<pid>/cmdline.

Starts the program RUNS times with a launch URL whose query carries a marker
(a closed port, a HOME of its own, no display needed), reads the new
process's cmdline as fast as it can from the moment it exists, and prints
the time from the first read that shows the marker to the first that no
longer does: the window in which another local user could copy the secrets
(an upper bound, by the time one read takes, which is printed too).

    python3 bench/argv/window.py build/dev/src/tessalvpn [RUNS]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

MARKER = b"sid=windowmarker"


def one_run(program, home):
    env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=home, QT_QPA_PLATFORM="offscreen")
    url = "tessal-vpn://launch?server=127.0.0.1&port=9&protocol=http&" + MARKER.decode()
    child = subprocess.Popen([program, url], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    path = "/proc/%d/cmdline" % child.pid
    seen = gone = None
    reads = 0
    began = time.monotonic()
    deadline = began + 10
    while gone is None and time.monotonic() < deadline:
        try:
            with open(path, "rb", buffering=0) as f:
                text = f.read()
        except OSError:
            break
        now = time.monotonic()
        reads += 1
        if MARKER in text:
            seen = seen or now
        elif seen is not None:
            gone = now
    spent = time.monotonic() - began
    child.kill()
    child.wait()
    return (gone - seen) * 1000 if seen and gone else None, reads, spent


def main():
    program = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    windows, reads, spent = [], 0, 0.0
    with tempfile.TemporaryDirectory() as home:
        for _ in range(runs):
            window, n, s = one_run(program, home)
            reads, spent = reads + n, spent + s
            if window is not None:
                windows.append(window)
    per_read_us = spent / max(reads, 1) * 1e6
    print("runs %d, marker seen in %d" % (runs, len(windows)))
    if windows:
        windows.sort()
        print("window ms: median %.2f, p90 %.2f, max %.2f (one read about %.0f us)"
              % (statistics.median(windows), windows[max(0, int(len(windows) * 0.9) - 1)], windows[-1], per_read_us))


if __name__ == "__main__":
    main()
