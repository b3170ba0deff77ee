#!/usr/bin/env python3
"""The window benchmarks of bench/e2e/run.sh: tessalvpn against the minimal
web-engine program (minimal_page.cpp), run by run, on loopback and over a
network with a delay each way, for each build named.

    e2e.py bench [--pairs N] [--cpu-seconds S] [--delay-ms D] NAME=BUILD_DIR...
    e2e.py soak [--minutes M] [--minimal] --build BUILD_DIR
    e2e.py start-functions --build BUILD_DIR [--out FILE]

Run by run.sh inside network and mount namespaces of its own (the svpn port
and the CA trusted for the HTTPS row stay private) and a private session bus.
"""

import argparse
import fcntl
import json
import os
import queue
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "road"))
import road  # noqa: E402

GOAL_LAUNCH = 1.1
GOAL_MEMORY = 1.05
GOAL_CPU_PERCENT = 0.5
CPU_WINDOWS = 3
PAGE = "/vdesk/resource_template"


held = []


def use_build(build):
    """Points the road's stand-ins and programs at one build tree, held for
    this run alone: the svpn stand-in's files under its system root are one
    for every run of the build."""
    while held:
        held.pop().close()
    os.makedirs(os.path.join(build, "sysroot"), exist_ok=True)
    lock = open(os.path.join(build, "sysroot", "e2e-run.lock"), "a")
    fcntl.flock(lock, fcntl.LOCK_EX)
    held.append(lock)
    road.BUILD = build
    road.BIN = os.path.join(build, "bin")
    road.TOOLS = os.path.join(build, "test-bin")
    road.SYSROOT = os.path.join(build, "sysroot")
    road.SVPN_DIR = os.path.join(road.SYSROOT, "opt", "tessal", "vpn")
    road.SVPN_PID_FILE = os.path.join(road.SYSROOT, "usr/local/lib/TessalNetworks/SSLVPN/var/run/svpn.pid")


def spread(values, scale=1.0, places=3):
    values = [v * scale for v in values]
    form = "%%.%df" % places
    return (form + " [" + form + "-" + form + "]") % (statistics.median(values), min(values), max(values))


# ---------------------------------------------------------------------------
# A network with a delay each way: a TCP relay in front of the stand-in. The
# kernel's netem is not everywhere (nor here), so the relay holds every chunk
# for the one-way delay, and a client's first bytes until a handshake's round
# trip has passed, as a real network would.


class DelayRelay:
    def __init__(self, target_port, delay):
        self.target = ("127.0.0.1", target_port)
        self.delay = delay
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.connections = []  # [accepted, last byte delivered to the client]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            accepted = time.time()
            record = [accepted, accepted]
            with self.lock:
                self.connections.append(record)
            try:
                server = socket.create_connection(self.target)
            except OSError:
                client.close()
                continue
            for s in (client, server):
                s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            # SYN out, SYN-ACK back: nothing the client sends leaves before that.
            self._pipe(client, server, accepted + 2 * self.delay, None)
            self._pipe(server, client, 0, record)

    def _pipe(self, source, sink, not_before, record):
        chunks = queue.Queue()

        def read():
            while True:
                try:
                    data = source.recv(65536)
                except OSError:
                    data = b""
                chunks.put((max(time.time(), not_before) + self.delay, data))
                if not data:
                    return

        def write():
            while True:
                due, data = chunks.get()
                wait = due - time.time()
                if wait > 0:
                    time.sleep(wait)
                if not data:
                    try:
                        sink.shutdown(socket.SHUT_WR)
                    except OSError:
                        pass
                    return
                try:
                    sink.sendall(data)
                except OSError:
                    return
                if record is not None:
                    record[1] = time.time()

        threading.Thread(target=read, daemon=True).start()
        threading.Thread(target=write, daemon=True).start()

    def since(self, start):
        with self.lock:
            return [list(c) for c in self.connections if c[0] >= start]

    def close(self):
        self.listener.close()


# ---------------------------------------------------------------------------
# The server by name: a name server on this namespace's own loopback, which
# answers one name after the network's round trip, as a resolver without a
# cache of its own would. It notes when each question came.

SERVER_NAME = "access.e2e.test"


class NameServer:
    def __init__(self, work, name, delay):
        self.name = name
        self.delay = delay
        self.lock = threading.Lock()
        self.questions = []  # [time, type]
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind(("127.0.0.1", 53))
        self.conf = os.path.join(work, "resolv.conf")
        with open(self.conf, "w") as f:
            f.write("nameserver 127.0.0.1\noptions timeout:2 attempts:1\n")
        if subprocess.run(["mount", "--bind", self.conf, "/etc/resolv.conf"]).returncode != 0:
            road.fail("cannot mount the run's resolv.conf (run me through run.sh)")
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                data, peer = self.socket.recvfrom(4096)
            except OSError:
                return
            labels, at = [], 12
            while at < len(data) and data[at] != 0:
                labels.append(data[at + 1:at + 1 + data[at]].decode("ascii", "replace").lower())
                at += 1 + data[at]
            end = at + 5
            if len(data) < end:
                continue
            kind = int.from_bytes(data[at + 1:at + 3], "big")
            with self.lock:
                self.questions.append([time.time(), kind])
            ours = ".".join(labels) == self.name
            answer = b"\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04\x7f\x00\x00\x01" if ours and kind == 1 else b""
            reply = (data[:2] + (b"\x81\x80" if ours else b"\x81\x83") + b"\x00\x01" +
                     (b"\x00\x01" if answer else b"\x00\x00") + b"\x00\x00\x00\x00" + data[12:end] + answer)
            threading.Timer(2 * self.delay, self._send, (reply, peer)).start()

    def _send(self, reply, peer):
        try:
            self.socket.sendto(reply, peer)
        except OSError:
            pass

    def since(self, start):
        with self.lock:
            return [list(q) for q in self.questions if q[0] >= start]

    def close(self):
        self.socket.close()
        subprocess.run(["umount", "/etc/resolv.conf"], stderr=subprocess.DEVNULL)


# ---------------------------------------------------------------------------
# HTTPS with a CA of the run's own, trusted where each program looks: the
# system store (mounted over in this private mount namespace) for the
# client's OpenSSL, the user's NSS store under the run's home for the web
# engine.


class Authority:
    def __init__(self, work):
        self.work = work
        self.ca = os.path.join(work, "ca.pem")
        self.cert = os.path.join(work, "server.pem")
        self.key = os.path.join(work, "server.key")
        ca_key = os.path.join(work, "ca.key")
        ext = os.path.join(work, "server.ext")
        with open(ext, "w") as f:
            f.write("subjectAltName=IP:127.0.0.1,DNS:%s\nbasicConstraints=CA:FALSE\n"
                    "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n" % SERVER_NAME)
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "check": True}
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        "/CN=tessal bench CA", "-keyout", ca_key, "-out", self.ca], **quiet)
        csr = os.path.join(work, "server.csr")
        subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                        self.key, "-out", csr], **quiet)
        subprocess.run(["openssl", "x509", "-req", "-in", csr, "-CA", self.ca, "-CAkey", ca_key,
                        "-CAcreateserial", "-days", "2", "-extfile", ext, "-out", self.cert], **quiet)
        self._system_store()

    def _system_store(self):
        store = os.path.join(self.work, "certs")
        shutil.copytree("/etc/ssl/certs", store, symlinks=True)
        shutil.copy(self.ca, os.path.join(store, "tessal-bench-ca.pem"))
        with open(os.path.join(store, "ca-certificates.crt"), "a") as out, open(self.ca) as ca:
            out.write(ca.read())
        subprocess.run(["openssl", "rehash", store], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if subprocess.run(["mount", "--bind", store, "/etc/ssl/certs"]).returncode != 0:
            road.fail("cannot mount the run's CA store (run me through run.sh: it gives me a mount namespace)")

    def trust_in_home(self, home):
        nssdb = os.path.join(home, ".pki", "nssdb")
        os.makedirs(nssdb, exist_ok=True)
        if not shutil.which("certutil"):
            road.fail("certutil is missing (Debian: libnss3-tools): the web engine reads its CAs from NSS")
        subprocess.run(["certutil", "-N", "-d", "sql:" + nssdb, "--empty-password"], check=True)
        subprocess.run(["certutil", "-A", "-d", "sql:" + nssdb, "-n", "tessal bench CA", "-t", "C,,", "-i",
                        self.ca], check=True)


# ---------------------------------------------------------------------------
# The stand-in for the launch rows: the parameters of the main resource are
# held back, so both programs are measured with the page loaded and no tunnel.


def launch_routes(stand, actions, hold_params_ms=20000):
    stand.routes(actions)
    with open(stand.routes_path) as f:
        routes = json.load(f)
    for route in routes:
        if route.get("path") == "/vdesk/vpn/connect.php3":
            route["delay_ms"] = hold_params_ms
    tmp = stand.routes_path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(routes, f)
    os.replace(tmp, stand.routes_path)


def trust_sites(stand, sites):
    path = os.path.join(stand.home, ".TessalNetworks", "trusted_sites.xml")
    with open(path, "w") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n<version>1.0</version><sites>%s</sites>' %
                "".join("<site>%s</site>" % site for site in sites))
    os.chmod(path, 0o600)


def arrival(run, path):
    for record in run.requests():
        if record["path"] == path:
            return record["time"]
    return None


def first_act(start, relay, names):
    """When a program first went to the network: its first connection, or its
    first question for the server's name."""
    acts = [c[0] for c in relay.since(start)] + ([q[0] for q in names.since(start)] if names else [])
    return min(acts)


def lookups(start, names):
    return sum(1 for q in names.since(start) if q[1] == 1) if names else 0


def run_client(stand, port, protocol, relay, names=None):
    stand.port, stand.protocol = port, protocol
    stand.host = names.name if names else "127.0.0.1"
    run = road.Run(stand)
    if not run.wait(lambda: arrival(run, "/__page/ready") is not None and run.loaded_at() is not None, 60):
        run.finish(1)
        road.fail("tessalvpn did not load the page: see %s" % stand.log_path)
    loaded = run.loaded_at()
    result = {"launch": loaded - run.started}
    if relay is not None:
        # The client's own exchanges (start report, profile): from when it
        # first goes to the network (a connection, or a question for the
        # server's name) to the answer of its last request before the page's.
        page = arrival(run, PAGE)
        asked = [r["time"] for r in run.requests() if r["time"] < page and not r["path"].startswith("/__page/")]
        connections = relay.since(run.started)
        first = first_act(run.started, relay, names)
        answered = max(asked) + relay.delay
        result["checks"] = answered - first
        # What the bound leaves no room for: the client's own work outside
        # its exchanges, and the page's load from its connection.
        paged = min((c[0] for c in connections if c[0] >= answered), default=answered)
        result["before"] = first - run.started
        result["after"] = paged - answered
        result["page"] = loaded - paged
        result["lookups"] = lookups(run.started, names)
    road.settle(lambda: road.tree(run.process.pid))
    result["pss"] = road.pss_kb(road.tree(run.process.pid))
    launch_routes(stand, [{"once": "end", "close": True}])
    run.finish(30)
    launch_routes(stand, [])
    return result


def yardstick():
    """This checkout's minimal program, the same for every build measured."""
    for build in ("bench", "dev"):
        path = os.path.join(road.ROOT, "build", build, "test-bin", "minimal_page_bench")
        if os.access(path, os.X_OK):
            return path
    road.fail("build the minimal program first (bench or dev preset)")


def run_minimal(stand, url, relay=None, names=None):
    minimal = yardstick()
    other = road.Run(stand, program=minimal, args=[url], stdout=subprocess.PIPE, stdin=subprocess.PIPE)
    result = {}
    while "launch" not in result:
        words = other.process.stdout.readline().decode().split()
        if not words or words[0] == "failed":
            other.finish(1)
            road.fail("the minimal program did not load %s" % url)
        if words[0] == "engine":
            result["engine"] = float(words[1]) / 1000.0
        elif words[0] == "loaded":
            result["launch"] = float(words[1]) / 1000.0 - other.started
    if relay is not None:
        connected = min(c[0] for c in relay.since(other.started))
        result["before"] = connected - other.started - result["engine"]
        result["page"] = result["launch"] - (connected - other.started)
        result["lookups"] = lookups(other.started, names)
    other.wait(lambda: any(r["path"] == "/__page/ready" for r in other.requests()), 30)
    road.settle(lambda: road.tree(other.process.pid))
    result["pss"] = road.pss_kb(road.tree(other.process.pid))
    other.process.stdin.close()
    other.finish(30)
    other.process.stdout.close()
    return result


def pairs_of(stand, count, client, minimal):
    rows = []
    for i in range(count):
        # Alternating order: neither program always runs on a warmer cache.
        if i % 2 == 0:
            c = client()
            m = minimal()
        else:
            m = minimal()
            c = client()
        rows.append((c, m))
    return rows


def cpu_with_tunnel(stand, seconds):
    stand.port, stand.protocol = stand.loopback_port, "http"
    stand.routes([{"once": "quiet", "quiet": True, "poll_ms": 5000}])
    run = road.Run(stand)
    if not run.wait(lambda: road.page_count(run, "onTunnelData") >= 1, 90):
        run.finish(1)
        kept = os.path.join(tempfile.gettempdir(), "tessal-e2e-cpu-%d.log" % run.process.pid)
        shutil.copy(stand.log_path, kept)
        print("e2e: the tunnel did not connect (the client's log: %s)" % kept, file=sys.stderr)
        return None
    road.settle(lambda: road.tree(run.process.pid))
    if run.process.poll() is not None:
        return None
    # Windows one after the other: one window can catch the engine's
    # occasional work, or another program's, and alone say little.
    shares = []
    for _ in range(CPU_WINDOWS):
        before, start = road.cpu_seconds(road.tree(run.process.pid)), time.time()
        time.sleep(seconds)
        used, spent = road.cpu_seconds(road.tree(run.process.pid)) - before, time.time() - start
        shares.append(100.0 * used / spent)
    stand.routes([{"once": "end", "close": True}])
    run.finish(30)
    return shares


def bench(options):
    work = tempfile.mkdtemp(prefix="tessal-e2e.")
    authority = Authority(work)
    names = NameServer(work, SERVER_NAME, options.delay_ms / 1000.0)
    try:
        for name, build in options.builds:
            use_build(build)
            stand = road.Stand(https=(authority.cert, authority.key), trusted=False)
            plain = subprocess.Popen(
                [os.path.join(road.TOOLS, "access_server"), "--listen", "road=http", "--routes", stand.routes_path,
                 "--log", stand.requests_path, "--watch-stdin"],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            stand.loopback_port = json.loads(plain.stdout.readline())["road"]
            tls_port = stand.port
            relay = DelayRelay(tls_port, options.delay_ms / 1000.0)
            authority.trust_in_home(stand.home)
            try:
                launch_routes(stand, [])
                loop_site = "http://127.0.0.1:%d" % stand.loopback_port
                net_site = "https://127.0.0.1:%d" % relay.port
                named_site = "https://%s:%d" % (SERVER_NAME, relay.port)
                trust_sites(stand, [loop_site, net_site, named_site])
                loop = pairs_of(stand, options.pairs,
                                lambda: run_client(stand, stand.loopback_port, "http", None),
                                lambda: run_minimal(stand, loop_site + PAGE))
                net = pairs_of(stand, options.pairs, lambda: run_client(stand, relay.port, "https", relay),
                               lambda: run_minimal(stand, net_site + PAGE, relay))
                named = pairs_of(stand, options.pairs, lambda: run_client(stand, relay.port, "https", relay, names),
                                 lambda: run_minimal(stand, named_site + PAGE, relay, names))
                stand.host = "127.0.0.1"
                cpu = cpu_with_tunnel(stand, options.cpu_seconds)
            finally:
                relay.close()
                plain.stdin.close()
                plain.wait(10)
                plain.stdout.close()
                stand.close()
            print_build(options, name, loop, net, named, cpu)
    finally:
        names.close()
        subprocess.run(["umount", "/etc/ssl/certs"], stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)

    return 0


def print_network_row(options, rows, server):
    extra = [c["launch"] - m["launch"] for c, m in rows]
    bound = [c["checks"] - m["engine"] for c, m in rows]
    met = sum(1 for e, b in zip(extra, bound) if e <= b)
    print("        over %d ms each way, HTTPS, the server by %s: tessalvpn %s s, minimal %s s; tessalvpn's extra time "
          "%s s; its own exchanges take %s s, the engine's start %s s; goal: extra <= exchanges - engine start = %s s, "
          "met in %d of %d pairs" % (options.delay_ms, server, spread([c["launch"] for c, _ in rows]),
                                     spread([m["launch"] for _, m in rows]), spread(extra),
                                     spread([c["checks"] for c, _ in rows]), spread([m["engine"] for _, m in rows]),
                                     spread(bound), met, len(extra)))

    def milliseconds(values):
        return spread(values, 1000.0, 1)
    lookups = ""
    if rows and rows[0][0]["lookups"]:
        lookups = "; lookups of the name: tessalvpn and its engine %s, minimal %s" % (
            spread([c["lookups"] for c, _ in rows], places=0), spread([m["lookups"] for _, m in rows], places=0))
    print("          the rest, in ms: tessalvpn's own work before it first goes to the network %s, from its last "
          "answer to the page's connection %s, from there to the page loaded %s; the minimal program's from its "
          "start to its connection, engine start aside, %s, from there to the page loaded %s%s" %
          (milliseconds([c["before"] for c, _ in rows]), milliseconds([c["after"] for c, _ in rows]),
           milliseconds([c["page"] for c, _ in rows]), milliseconds([m["before"] for _, m in rows]),
           milliseconds([m["page"] for _, m in rows]), lookups))


def print_build(options, name, loop, net, named, cpu):
    print("bench: build %s, %d pairs a row, the two programs run by run in alternating order; each figure is "
          "the median [min-max]" % (name, options.pairs))
    ratio = [c["launch"] / m["launch"] for c, m in loop]
    print("    (1) launch to page loaded, loopback: tessalvpn %s s, minimal %s s; ratio %s (goal <= %.2f)" %
          (spread([c["launch"] for c, _ in loop]), spread([m["launch"] for _, m in loop]), spread(ratio),
           GOAL_LAUNCH))
    print_network_row(options, net, "address")
    print_network_row(options, named, "name")
    memory = [c["pss"] / m["pss"] for c, m in loop + net]
    print("    (2) PSS of the process tree, page loaded, no tunnel: tessalvpn %s MiB, minimal %s MiB; ratio %s "
          "(goal <= %.2f)" % (spread([c["pss"] / 1024.0 for c, _ in loop + net]),
                              spread([m["pss"] / 1024.0 for _, m in loop + net]), spread(memory), GOAL_MEMORY))
    print("    (3) CPU of the tessalvpn tree, one tunnel connected, %d windows of %.0f s: %s %% of one core (goal < "
          "%.1f %%)" % (CPU_WINDOWS, options.cpu_seconds, "n/a" if cpu is None else
                        spread(cpu, places=2), GOAL_CPU_PERCENT),
          flush=True)


# ---------------------------------------------------------------------------
# soak: a long session with the tunnel up and the page reporting every
# update; the client's and the renderer's growth per hour.


def renderer_pids(pid):
    found = []
    for p in road.tree(pid):
        try:
            with open("/proc/%d/cmdline" % p, "rb") as f:
                if b"--type=renderer" in f.read():
                    found.append(p)
        except OSError:
            pass
    return found


def anonymous_kb(pids):
    """Anonymous memory (heaps, the script engine's): what a process grows by.
    Unlike PSS it does not move when other programs map the same libraries."""
    return road.rollup_kb(pids, "Anonymous")


def slope_per_hour(samples):
    """Least-squares slope of (seconds, kB) pairs, in MiB an hour."""
    xs = [s[0] for s in samples]
    ys = [s[1] for s in samples]
    mx, my = statistics.mean(xs), statistics.mean(ys)
    den = sum((x - mx) ** 2 for x in xs)
    return 0.0 if den == 0 else sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / den * 3600 / 1024


def troughs(samples, window):
    """The lowest sample of each window (seconds): what stays after collections."""
    out, bucket, end = [], [], None
    for t, v in samples:
        if end is None:
            end = t + window
        if t >= end:
            out.append(min(bucket, key=lambda s: s[1]))
            bucket, end = [], t + window
        bucket.append((t, v))
    return out


def soak(options):
    use_build(options.build)
    stand = road.Stand()
    try:
        stand.routes([])  # every update reported by a request of its own, the page polls
        if options.minimal:
            # The same page fed the same signals, without the client.
            run = road.Run(stand, program=yardstick(),
                           args=[stand.site + PAGE, "--tunnel-data-ms", "500"], stdin=subprocess.PIPE)
        else:
            run = road.Run(stand)
        if not run.wait_signal("onTunnelConnected", 1, 90):
            run.finish(1)
            road.fail("the tunnel did not connect: see %s" % stand.log_path)
        start = time.time()
        client, renderer = [], []
        end = start + options.minutes * 60
        while time.time() < end and run.process.poll() is None:
            t = time.time() - start
            client.append((t, anonymous_kb([run.process.pid])))
            renderer.append((t, anonymous_kb(renderer_pids(run.process.pid))))
            time.sleep(5)
        updates = len(run.signals("onTunnelData"))
        if options.minimal:
            run.process.stdin.close()
        else:
            stand.routes([{"once": "end", "close": True}])
        run.finish(30)
        # The first minutes are the page and the engine settling in.
        warm = 120 if options.minutes >= 6 else 30
        c = [s for s in client if s[0] >= warm]
        r = [s for s in renderer if s[0] >= warm]
        print("soak: %.1f min with one tunnel connected, %d page updates reported; growth from minute %d on:" %
              ((time.time() - start) / 60, updates, warm // 60))
        # A cache filling up to its bound grows at first and then stops; a
        # leak grows as much in the second half as in the first.
        halves = lambda samples: "; %.1f, then %.1f" % (slope_per_hour(samples[:len(samples) // 2]),
                                                       slope_per_hour(samples[len(samples) // 2:]))
        print("  %s process, anonymous memory: %.1f -> %.1f MiB, %.1f MiB an hour%s" %
              ("minimal program's" if options.minimal else "client (tessalvpn)", c[0][1] / 1024.0,
               c[-1][1] / 1024.0, slope_per_hour(c), halves(c)))
        lows = troughs(r, 60)
        print("  renderer, anonymous memory: %.1f -> %.1f MiB, %.1f MiB an hour (troughs a minute: %.1f MiB an hour%s)" %
              (r[0][1] / 1024.0, r[-1][1] / 1024.0, slope_per_hour(r), slope_per_hour(lows), halves(lows)))
        return 0
    finally:
        stand.close()


# Run under gdb by start_functions(): a breakpoint on each of the program's
# functions; each one hit is written down once, in the order first hit, and
# left behind.
GDB_RECORDER = """
import gdb
gdb.execute("set pagination off")
gdb.execute("set confirm off")
gdb.execute("set breakpoint always-inserted on")
gdb.execute("starti")
base = next(int(line.split()[0], 16) for line in gdb.execute("info proc mappings", to_string=True).splitlines()
            if line.strip().endswith("/tessalvpn"))
out = open(OUT, "w")
class First(gdb.Breakpoint):
    def stop(self):
        if self.enabled:
            out.write(self.function + "\\n")
            out.flush()
            self.enabled = False
        return False
for line in open(FUNCTIONS):
    address, name = line.split()
    First("*0x%x" % (base + int(address, 16)), internal=True).function = name
for sig in ("SIGPIPE", "SIGUSR1", "SIGUSR2"):
    gdb.execute("handle %s nostop noprint pass" % sig)
gdb.execute("continue")
"""


def start_functions(options):
    """The sections of the functions a start runs up to the loaded page, over
    HTTPS and on loopback, in the order first run: src/start_functions.txt."""
    use_build(options.build)
    work = tempfile.mkdtemp(prefix="tessal-start.")
    program = os.path.join(road.BIN, "tessalvpn")
    nm = subprocess.run(["nm", "--defined-only", program], check=True, capture_output=True, text=True).stdout
    functions = os.path.join(work, "functions")
    with open(functions, "w") as f:
        for line in nm.splitlines():
            words = line.split()
            if len(words) == 3 and words[1] in "tTwW":
                f.write("%s %s\n" % (words[0], words[2]))
    authority = Authority(work)
    stand = road.Stand(https=(authority.cert, authority.key))
    authority.trust_in_home(stand.home)
    launch_routes(stand, [])
    order = []
    try:
        for protocol in ("https", "http"):
            if protocol == "http":
                stand.close()
                stand = road.Stand()
                launch_routes(stand, [])
            hits = os.path.join(work, "hits-" + protocol)
            script = os.path.join(work, "record.py")
            with open(script, "w") as f:
                f.write("OUT = %r\nFUNCTIONS = %r\n" % (hits, functions) + GDB_RECORDER)
            popen = subprocess.Popen
            road.subprocess.Popen = lambda cmd, **kw: popen(["gdb", "-batch", "-x", script, "--args"] + cmd, **kw)
            try:
                run = road.Run(stand)
            finally:
                road.subprocess.Popen = popen
            if not run.wait(lambda: arrival(run, "/__page/ready") is not None, 120):
                run.finish(1)
                road.fail("tessalvpn did not load the page under gdb")
            time.sleep(5)
            run.process.terminate()
            run.finish(30)
            with open(hits) as f:
                order += [name.strip() for name in f if name.strip() not in order]
    finally:
        stand.close()
        subprocess.run(["umount", "/etc/ssl/certs"], stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)
    crt = {"_start", "_init", "frame_dummy", "register_tm_clones", "deregister_tm_clones", "__do_global_dtors_aux"}
    startup = ("_GLOBAL__sub_I_", "_Z41__static_initialization_and_destruction_0")
    lines = []
    for name in order:
        section = (".text.startup." if name.startswith(startup) or name == "main" else ".text.") + name
        if name not in crt and section not in lines:  # a local function of several sources is one name
            lines.append(section)
    with open(options.out, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%d functions written to %s" % (len(lines), options.out))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="mode", required=True)
    p = sub.add_parser("bench")
    p.add_argument("--pairs", type=int, default=7)
    p.add_argument("--cpu-seconds", type=float, default=20)
    p.add_argument("--delay-ms", type=int, default=25)
    p.add_argument("builds", nargs="+", metavar="NAME=BUILD_DIR")
    p = sub.add_parser("soak")
    p.add_argument("--minutes", type=float, default=20)
    p.add_argument("--minimal", action="store_true", help="the minimal program fed the same signals instead")
    p.add_argument("--build", required=True, metavar="BUILD_DIR")
    p = sub.add_parser("start-functions")
    p.add_argument("--build", required=True, metavar="BUILD_DIR")
    p.add_argument("--out", default=os.path.join(road.ROOT, "src", "start_functions.txt"))
    options = parser.parse_args()
    if options.mode == "bench":
        options.builds = [tuple(b.split("=", 1)) for b in options.builds]
        if options.pairs < 7:
            road.fail("at least 7 pairs")
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        road.fail("run me through run.sh")
    # This network namespace is ours: the svpn port needs no machine-wide lock.
    road.PORT_LOCK = os.path.join(tempfile.gettempdir(), "tessal-e2e-port-%d.lock" % os.getpid())
    try:
        return {"bench": bench, "soak": soak, "start-functions": start_functions}[options.mode](options)
    finally:
        try:
            os.remove(road.PORT_LOCK)
        except OSError:
            pass


if __name__ == "__main__":
    sys.exit(main())
