#!/usr/bin/env python3
"""The whole launch road of tessalvpn against the stand-ins, shared by the
demo, the end-to-end benchmarks and the stress run.

A launch URL goes to tessalvpn as a browser would hand it over; the access
session runs against the access-server stand-in (127.0.0.1), the window loads
the stand-in's resource page, the page starts the network-access tunnel
through the svpn stand-in and reports every event of "external" back to the
server, whose request log is what this script reads. Run it inside a private
session bus (dbus-run-session) inside tessal_private_network, which gives it
the svpn port and folders of its own.

    road.py demo [--seconds N] [--https CERT KEY] [--ask]
    road.py bench [--runs N] [--cpu-seconds S]
    road.py stress COUNT
"""

import argparse
import json
import os
import secrets
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("TESSAL_BUILD_DIR", os.path.join(ROOT, "build", "dev"))
BIN = os.environ.get("TESSAL_BIN_DIR", os.path.join(BUILD, "bin"))  # a copy keeps a long run off rebuilds
# The stand-ins and test programs never lie beside the client.
TOOLS = os.environ.get("TESSAL_TOOLS_DIR", os.path.join(BUILD, "test-bin"))
SYSROOT = os.path.join(BUILD, "sysroot")
SVPN_DIR = os.path.join(SYSROOT, "opt", "tessal", "vpn")
SVPN_PID_FILE = os.path.join(SYSROOT, "usr/local/lib/TessalNetworks/SSLVPN/var/run/svpn.pid")
LOCK_FILES = ("tessalvpn.lock", "tessalvpn-svpn.lock")
RESOURCE = "demo_na"

PROFILE = (
    "<PROFILE><AUTOUPDATE_LINUX><PACKAGE><ITEM><ID>NetworkAccessAppX64.deb</ID><VERSION>7270.0.0.1</VERSION>"
    "<SIGNATURE>x</SIGNATURE><SOURCE>/public/download/linux.deb</SOURCE></ITEM></PACKAGE></AUTOUPDATE_LINUX>"
    "<ServerIpCheck><ServerIPCheckEnabled>1</ServerIPCheckEnabled><IP_ServerIP>127.0.0.1</IP_ServerIP>"
    "</ServerIpCheck><LocalNetCheck><LocalNetCheckEnabled>0</LocalNetCheckEnabled></LocalNetCheck></PROFILE>")
PARAMS = ("<?xml version=\"1.0\"?><favorite><object><SESSION_ID>demo</SESSION_ID>"
          "<tunnel_host0>127.0.0.1</tunnel_host0><tunnel_port0>443</tunnel_port0></object></favorite>")
# Connecting, connected, then growing traffic; the last reply repeats.
SVPN_SCRIPT = "reply &setloaded\nreply &setloaded&sslcreate\n" + "".join(
    "reply &settraffic,%d,%d,%d,%d\n" % (k * 1500, k * 900, k * 1800, k * 1200) for k in range(1, 40))


def fail(text):
    print("road: " + text, file=sys.stderr)
    sys.exit(2)


def after(signal_name, count, **action):
    action.update({"once": "%s-%d" % (signal_name, count), "after": signal_name, "count": count})
    return action


# ---------------------------------------------------------------------------
# Processes


def children_map():
    kids = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as f:
                stat = f.read()
        except OSError:
            continue
        ppid = int(stat[stat.rfind(")") + 2:].split()[1])
        kids.setdefault(ppid, []).append(int(name))
    return kids


def tree(pid):
    kids = children_map()
    out, todo = [], [pid]
    while todo:
        p = todo.pop()
        out.append(p)
        todo.extend(kids.get(p, []))
    return out


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except OSError:
        return False
    return stat[stat.rfind(")") + 2] != "Z"


def rollup_kb(pids, field):
    """One field of smaps_rollup (kB) summed over the processes still there."""
    total = 0
    for pid in pids:
        try:
            with open("/proc/%d/smaps_rollup" % pid) as f:
                for line in f:
                    if line.startswith(field + ":"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def pss_kb(pids):
    return rollup_kb(pids, "Pss")


def cpu_seconds(pids):
    ticks = 0
    for pid in pids:
        try:
            with open("/proc/%d/stat" % pid) as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rfind(")") + 2:].split()
        ticks += int(fields[11]) + int(fields[12])
    return ticks / os.sysconf("SC_CLK_TCK")


def count_entries(path):
    try:
        return len(os.listdir(path))
    except OSError:
        return 0


def threads(pid):
    return count_entries("/proc/%d/task" % pid)


def descriptors(pid):
    return count_entries("/proc/%d/fd" % pid)


# ---------------------------------------------------------------------------
# The stand-ins and the temporary home


class Stand:
    def __init__(self, https=None, trusted=True, desktop=False):
        for folder, program in ((BIN, "tessalvpn"), (TOOLS, "access_server")):
            if not os.access(os.path.join(folder, program), os.X_OK):
                fail("%s/%s is missing; build first: cmake --preset dev && cmake --build --preset dev" % (folder, program))
        if not os.access(os.path.join(SVPN_DIR, "svpn"), os.X_OK):
            fail("the svpn stand-in is missing under %s" % SVPN_DIR)
        self.desktop = desktop
        self.locked = False
        self.work = tempfile.mkdtemp(prefix="tessal-road.")
        self.home = os.path.join(self.work, "home")
        self.tmp = os.path.join(self.work, "tmp")
        self.runtime = os.path.join(self.work, "runtime")
        for d in (os.path.join(self.home, ".TessalNetworks"), self.tmp, self.runtime):
            os.makedirs(d, mode=0o700)
        # One log for every run: no rotation.
        with open(os.path.join(self.home, ".TessalNetworks", "tessalnetworks.conf"), "w") as f:
            f.write("default_log_level=63\nlog_file_size=2000000000\n")
        self.log_path = os.path.join(self.home, ".TessalNetworks", "vpn.log")
        self.requests_path = os.path.join(self.work, "requests.jsonl")
        self.routes_path = os.path.join(self.work, "routes.json")
        self.routes([])
        listen = "road=http"
        self.protocol = "http"
        if https:
            listen = "road=https,cert=%s,key=%s" % https
            self.protocol = "https"
        self.server = subprocess.Popen(
            [os.path.join(TOOLS, "access_server"), "--listen", listen, "--routes", self.routes_path,
             "--log", self.requests_path, "--watch-stdin"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.port = json.loads(self.server.stdout.readline())["road"]
        self.host = "127.0.0.1"  # what the launch URL names the server by
        self.site = "%s://127.0.0.1:%d" % (self.protocol, self.port)
        if trusted:
            path = os.path.join(self.home, ".TessalNetworks", "trusted_sites.xml")
            with open(path, "w") as f:
                f.write('<?xml version="1.0" encoding="utf-8"?>\n<version>1.0</version>'
                        "<sites><site>%s</site></sites>" % self.site)
            os.chmod(path, 0o600)
        self.seen = []
        self.offset = 0

    # Whether this run has started the daemon; tessal_private_network gives
    # it the port and the pid file of its own.
    def take_port(self):
        self.locked = True

    def release_port(self):
        self.locked = False

    def routes(self, actions):
        pages = os.path.join(TOOLS, "access_server_pages")
        routes = [
            {"path": "/pre/config.php", "headers": {"Content-Type": "text/xml"}, "body": PROFILE},
            {"path": "/my.report.na", "body": ""},
            {"path": "/vdesk/resource_template", "headers": {"Content-Type": "text/html; charset=utf-8"},
             "body_file": os.path.join(pages, "resource_template.html")},
            {"path": "/vdesk/vpn/connect.php3", "headers": {"Content-Type": "text/xml"}, "body": PARAMS},
            {"path": "/__page/actions", "headers": {"Content-Type": "application/json"},
             "body": json.dumps(actions)},
            {"path_prefix": "/__page/", "status": 204},
        ]
        fd, path = tempfile.mkstemp(dir=os.path.dirname(self.routes_path))
        with os.fdopen(fd, "w") as f:
            json.dump(routes, f)
        os.rename(path, self.routes_path)

    def svpn(self, script):
        self.take_port()
        with open(os.path.join(SVPN_DIR, "svpn.script"), "w") as f:
            f.write(script)
        try:
            os.remove(os.path.join(SVPN_DIR, "svpn.record"))
        except OSError:
            pass

    def requests(self):
        """Every request so far, parsed, in order."""
        try:
            with open(self.requests_path) as f:
                f.seek(self.offset)
                text = f.read()
        except OSError:
            return self.seen
        end = text.rfind("\n") + 1
        self.offset += len(text[:end].encode())
        for line in text[:end].splitlines():
            if line.strip():
                record = json.loads(line)
                if record["path"] == "/__page/signal":
                    query = urllib.parse.parse_qs(record["query"])
                    record["signal"] = query.get("name", [""])[0]
                    record["args"] = json.loads(query.get("args", ["[]"])[0])
                self.seen.append(record)
        return self.seen

    def log(self):
        try:
            with open(self.log_path, errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def environment(self):
        env = dict(os.environ)
        for name in ("LANG", "LANGUAGE", "LC_MESSAGES"):
            env.pop(name, None)
        env.update({"HOME": self.home, "LC_ALL": "C.UTF-8", "TMPDIR": self.tmp, "XDG_RUNTIME_DIR": self.runtime,
                    "QTWEBENGINE_DISABLE_SANDBOX": "1"})
        if not self.desktop:
            env["QT_QPA_PLATFORM"] = "offscreen"
        return env

    def close(self):
        if self.server.poll() is None:
            self.server.stdin.close()
            try:
                self.server.wait(5)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        self.server.stdout.close()
        if self.locked:  # never the daemon of another run that holds the port now
            stop_svpn()
        self.release_port()
        shutil.rmtree(self.work, ignore_errors=True)


def svpn_pid():
    try:
        with open(SVPN_PID_FILE) as f:
            return int(f.read().strip() or 0)
    except (OSError, ValueError):
        return 0


def stop_svpn():
    """Stops a stand-in daemon a failed run left behind (never another program)."""
    pid = svpn_pid()
    if pid > 1 and alive(pid):
        try:
            with open("/proc/%d/cmdline" % pid) as f:
                if "/opt/tessal/vpn/svpn" not in f.read():
                    return
            os.kill(pid, signal.SIGTERM)
        except OSError:
            pass


# ---------------------------------------------------------------------------
# One launch


class Run:
    def __init__(self, stand, program=None, args=None, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL):
        self.stand = stand
        if program is None:
            stand.svpn(SVPN_SCRIPT)
        self.sid = secrets.token_hex(16)
        self.first = len(stand.requests())
        self.url = ("tessal-vpn://launch?server=%s&port=%d&protocol=%s&sid=%s&resourcename=%s"
                    "&resourcetype=network_access" % (stand.host, stand.port, stand.protocol, self.sid, RESOURCE))
        self.started = time.time()
        self.process = subprocess.Popen([program or os.path.join(BIN, "tessalvpn")] + (args or [self.url]),
                                        env=stand.environment(), stdin=stdin, stdout=stdout,
                                        stderr=subprocess.DEVNULL)

    def requests(self):
        return self.stand.requests()[self.first:]

    def signals(self, name=None):
        return [r for r in self.requests() if "signal" in r and (name is None or r["signal"] == name)]

    def wait(self, condition, seconds):
        end = time.time() + seconds
        while time.time() < end:
            if condition():
                return True
            if self.process.poll() is not None:
                return condition()
            time.sleep(0.02)
        return False

    def wait_signal(self, name, count=1, seconds=60):
        return self.wait(lambda: len(self.signals(name)) >= count, seconds)

    def finish(self, seconds=60):
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def loaded_at(self):
        """Wall-clock time of this process's first "page loaded" record, or None."""
        pid = ", %d," % self.process.pid
        for line in self.stand.log().splitlines():
            if pid in line and "Successfilly loaded page" in line:
                day, clock = line.split(",")[0:2]
                h, m, s, ms = (int(x) for x in clock.strip().split(":"))
                base = time.mktime(time.strptime(day.strip(), "%Y-%m-%d"))
                return base + h * 3600 + m * 60 + s + ms / 1000.0
        return None


# ---------------------------------------------------------------------------
# demo


def show(record):
    if "signal" in record:
        return "page  %s %s" % (record["signal"], json.dumps(record["args"]))
    if record["path"].startswith("/__page/"):
        return None if record["path"] == "/__page/actions" else "page  " + record["target"]
    return "server %s %s" % (record["method"], record["target"])


def demo(options):
    https = tuple(options.https) if options.https else None
    desktop = options.ask or bool(os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY"))
    stand = Stand(https=https, trusted=not options.ask, desktop=desktop)
    try:
        # The page disconnects after a few traffic updates. Offscreen nobody
        # can answer the client's question, so the page closes its window
        # instead, which ends every tunnel without one.
        if options.ask:
            stand.routes([after("onTunnelData", 6, call="disconnectResource", args=[RESOURCE]),
                          after("onTunnelData", 120, close=True)])
        else:
            stand.routes([after("onTunnelData", 6, close=True)])
        print("demo: access server %s, svpn stand-in on 127.0.0.1:44444" % stand.site)
        run = Run(stand)
        print("demo: launching tessalvpn '%s'" % run.url)
        shown = 0
        end = time.time() + options.seconds
        while run.process.poll() is None and time.time() < end:
            records = run.requests()
            for record in records[shown:]:
                line = show(record)
                if line:
                    print("  %6.2f s  %s" % (record["time"] - run.started, line), flush=True)
            shown = len(records)
            time.sleep(0.05)
        code = run.finish(10)
        for record in run.requests()[shown:]:
            line = show(record)
            if line:
                print("  %6.2f s  %s" % (record["time"] - run.started, line))
        print("\ndemo: what the client logged about the window and the tunnel:")
        for line in stand.log().splitlines():
            if ", BrowserController," in line or "No live sessions" in line or ", SessionManager," in line:
                fields = line.split(", ", 5)
                print("  " + fields[-1][:180])
        if code == 0:
            print("\ndemo: tessalvpn ran the whole road and exited with 0.")
            return 0
        print("\ndemo: tessalvpn %s." % ("did not end in %d s" % options.seconds if code is None else
                                          "exited with %d" % code))
        return 1
    finally:
        stand.close()


# ---------------------------------------------------------------------------
# bench


def settle(pids_of, seconds=3.0):
    """Waits until the tree has been stable for a while (helpers start late)."""
    end = time.time() + 20
    last, since = None, time.time()
    while time.time() < end:
        now = sorted(pids_of())
        if now != last:
            last, since = now, time.time()
        elif time.time() - since >= seconds:
            break
        time.sleep(0.2)


def page_count(run, name):
    """How often the page saw a signal, by its last poll."""
    for record in reversed(run.requests()):
        if record["path"] == "/__page/actions" and record["query"].startswith("seen="):
            return json.loads(urllib.parse.unquote(record["query"][5:])).get(name, 0)
    return 0


def bench(options):
    minimal = os.path.join(TOOLS, "minimal_page_bench")
    if not os.access(minimal, os.X_OK):
        fail("%s is missing; build the dev preset first" % minimal)
    stand = Stand()
    try:
        page = stand.site + "/vdesk/resource_template"
        load = {"tessalvpn": [], "minimal": []}
        pss = {"tessalvpn": [], "minimal": []}
        for _ in range(options.runs):
            stand.routes([])
            run = Run(stand)
            if not run.wait_signal("onTunnelConnected", 1, 90):
                run.finish(1)
                fail("tessalvpn did not connect its tunnel: see %s" % stand.log_path)
            loaded = run.loaded_at()
            load["tessalvpn"].append(loaded - run.started)
            settle(lambda: tree(run.process.pid))
            pss["tessalvpn"].append(pss_kb(tree(run.process.pid)))
            stand.routes([{"once": "end", "close": True}])
            if run.finish(30) != 0:
                fail("tessalvpn did not end with 0")

            other = Run(stand, program=minimal, args=[page], stdout=subprocess.PIPE, stdin=subprocess.PIPE)
            line = other.process.stdout.readline().decode().split()
            if not line or line[0] != "loaded":
                fail("the minimal program did not load the page")
            load["minimal"].append(float(line[1]) / 1000.0 - other.started)
            other.wait(lambda: any(r["path"] == "/__page/ready" for r in other.requests()), 30)
            settle(lambda: tree(other.process.pid))
            pss["minimal"].append(pss_kb(tree(other.process.pid)))
            other.process.stdin.close()
            other.finish(30)
            other.process.stdout.close()

        # CPU with one tunnel connected and the page timer running. The page
        # only counts the updates and asks the server every 5 s, so what is
        # measured is the client's work, not the stand-in page's reports.
        stand.routes([{"once": "quiet", "quiet": True, "poll_ms": 5000}])
        run = Run(stand)
        if not run.wait(lambda: page_count(run, "onTunnelData") >= 1, 90):
            fail("the tunnel did not connect")
        settle(lambda: tree(run.process.pid))
        pids = tree(run.process.pid)
        before, start = cpu_seconds(pids), time.time()
        first = page_count(run, "onTunnelData")
        time.sleep(options.cpu_seconds)
        used, spent = cpu_seconds(tree(run.process.pid)) - before, time.time() - start
        stand.routes([{"once": "end", "close": True}])
        run.wait(lambda: page_count(run, "onTunnelData") > first, 10)
        updates = page_count(run, "onTunnelData") - first
        run.finish(30)

        t, m = statistics.median(load["tessalvpn"]), statistics.median(load["minimal"])
        pt, pm = statistics.median(pss["tessalvpn"]), statistics.median(pss["minimal"])
        print("bench: median of %d runs each, in one run against the same stand-in page" % options.runs)
        print("  (1) launch to page loaded: tessalvpn %.3f s, minimal web-engine program %.3f s: %.2f x "
              "(target <= 1.2 x)" % (t, m, t / m))
        print("  (2) PSS of the process tree, page loaded: tessalvpn %.1f MiB, minimal %.1f MiB: %.2f x "
              "(target <= 1.1 x)" % (pt / 1024, pm / 1024, pt / pm))
        print("  (3) CPU of the tessalvpn tree, one tunnel connected, %.0f s, about %d page updates: %.3f s = "
              "%.2f %% of one core (target < 1 %%)" % (spent, updates, used, 100 * used / spent))
        return 0
    finally:
        stand.close()


# ---------------------------------------------------------------------------
# stress


def leftovers(path, before):
    try:
        return sorted(set(os.listdir(path)) - before)
    except OSError:
        return []


def stress(options):
    stand = Stand()
    failures, times, connect_times = [], [], []
    leaked_processes, daemons_left = [], []
    sysroot_tmp = os.path.join(SYSROOT, "tmp")
    sysroot_before = set(os.listdir(sysroot_tmp)) if os.path.isdir(sysroot_tmp) else set()
    own_fds = descriptors(os.getpid())
    try:
        server_fds, server_threads = descriptors(stand.server.pid), threads(stand.server.pid)
        stand.routes([after("onTunnelData", 1, close=True)])
        sids = []
        stop = []
        signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
        signal.signal(signal.SIGINT, lambda *_: stop.append(1))
        done = 0
        for loop in range(1, options.count + 1):
            if stop:
                break
            done = loop
            run = Run(stand)
            sids.append(run.sid)
            connected = run.wait_signal("onTunnelConnected", 1, 90)
            helpers = tree(run.process.pid)
            daemon = svpn_pid()
            code = run.finish(60)
            elapsed = time.time() - run.started
            if not connected or code != 0:
                failures.append("loop %d: %s, exit %s" % (loop, "connected" if connected else "never connected",
                                                          code))
            else:
                times.append(elapsed)
                connect_times.append(run.signals("onTunnelConnected")[0]["time"] - run.started)
            # Everything the run started must be gone shortly after it ended.
            end = time.time() + 5
            while time.time() < end and (any(alive(p) for p in helpers) or (daemon and alive(daemon))):
                time.sleep(0.05)
            left = [p for p in helpers if alive(p)]
            if left:
                leaked_processes.append((loop, left))
            if daemon and alive(daemon) or os.path.exists(SVPN_PID_FILE):
                daemons_left.append(loop)
                stop_svpn()
            stand.release_port()
            if loop % 50 == 0:
                print("stress: %d/%d loops, %d failed, median %.2f s per loop" %
                      (loop, options.count, len(failures), statistics.median(times) if times else 0), flush=True)

        time.sleep(1)
        fds_left = max(0, descriptors(stand.server.pid) - server_fds) + max(0, descriptors(os.getpid()) - own_fds)
        threads_left = max(0, threads(stand.server.pid) - server_threads)
        # The lock files stay in the runtime folder by design (a lock file
        # removed while another process waits on it guards nothing).
        temporary = ([os.path.join(stand.tmp, n) for n in os.listdir(stand.tmp)] +
                     [os.path.join(stand.runtime, n) for n in os.listdir(stand.runtime) if n not in LOCK_FILES] +
                     [os.path.join(sysroot_tmp, n) for n in leftovers(sysroot_tmp, sysroot_before)])
        log = stand.log()
        logged = sum(1 for sid in sids if "----Session %s starts----" % sid[-8:] in log)
        quits = log.count("No live sessions, quitting application....")

        print("stress: %d loops%s: %d ended with 0 after a connected tunnel, %d failed" %
              (done, "" if done == options.count else " (stopped early, %d asked)" % options.count,
               len(times), len(failures)))
        if times:
            print("  time per loop (launch to exit): mean %.2f s, median %.2f s, max %.2f s; launch to connected: "
                  "median %.2f s" % (statistics.mean(times), statistics.median(times), max(times),
                                     statistics.median(connect_times)))
        print("  left behind: %d processes (%d loops), %d svpn daemons, %d descriptors, %d threads, %d temporary "
              "files" % (sum(len(p) for _, p in leaked_processes), len(leaked_processes), len(daemons_left),
                         fds_left, threads_left, len(temporary)))
        print("  log: %d of %d runs started there, %d ended with \"No live sessions\"" % (logged, done, quits))
        for text in failures[:10]:
            print("  " + text)
        for path in temporary[:10]:
            print("  left: " + path)
        leak = (leaked_processes or daemons_left or fds_left or threads_left or temporary)
        return 1 if failures or leak or not done or logged != done or quits != done else 0
    finally:
        stand.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="mode", required=True)
    p = sub.add_parser("demo")
    p.add_argument("--seconds", type=int, default=120)
    p.add_argument("--https", nargs=2, metavar=("CERT", "KEY"))
    p.add_argument("--ask", action="store_true", help="on a desktop: you answer the client's questions")
    p = sub.add_parser("bench")
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--cpu-seconds", type=float, default=30)
    p = sub.add_parser("stress")
    p.add_argument("count", type=int, nargs="?", default=10)
    options = parser.parse_args()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        fail("run me inside dbus-run-session")
    return {"demo": demo, "bench": bench, "stress": stress}[options.mode](options)


if __name__ == "__main__":
    sys.exit(main())
