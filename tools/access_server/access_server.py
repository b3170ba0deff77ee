#!/usr/bin/env python3
"""Stand-in for the access server, used by the tests.

Serves HTTP and HTTPS on 127.0.0.1 from a route script (JSON) that the test
may rewrite at any time, and writes every request it receives as one JSON
line to a request log. See README.md beside this file for the formats.
"""

import argparse
import base64
import gzip
import json
import os
import re
import select
import signal
import socket
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

STOP = threading.Event()
PATTERN = b"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ\n"


class RouteBook:
    """The route script, read again whenever its file changes."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.stamp = None
        self.routes = []
        self.used = {}

    def _load(self):
        if not self.path:
            return
        try:
            st = os.stat(self.path)
            stamp = (st.st_mtime_ns, st.st_size, st.st_ino)
        except FileNotFoundError:
            stamp = None
        if stamp == self.stamp:
            return
        routes = []
        if stamp is not None:
            with open(self.path, "r", encoding="utf-8") as f:
                text = f.read()
            doc = json.loads(text) if text.strip() else []
            routes = doc.get("routes", []) if isinstance(doc, dict) else doc
        self.stamp = stamp
        self.routes = routes
        self.used = {}

    def match(self, listener, method, path, query):
        with self.lock:
            try:
                self._load()
            except (OSError, ValueError) as e:
                sys.stderr.write("access_server: bad route script: %s\n" % e)
                return None, None
            for index, route in enumerate(self.routes):
                if not _route_matches(route, listener, method, path, query):
                    continue
                times = route.get("times")
                if times is not None and self.used.get(index, 0) >= times:
                    continue
                self.used[index] = self.used.get(index, 0) + 1
                return index, route
        return None, None


def _route_matches(route, listener, method, path, query):
    if "listener" in route and route["listener"] != listener:
        return False
    if "method" in route and route["method"].upper() != method:
        return False
    if "path" in route and route["path"] != path:
        return False
    if "path_prefix" in route and not path.startswith(route["path_prefix"]):
        return False
    if "path_regex" in route and not re.fullmatch(route["path_regex"], path):
        return False
    if "query" in route and route["query"] != query:
        return False
    return True


class RequestLog:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.seq = 0

    def write(self, record):
        with self.lock:
            self.seq += 1
            record["seq"] = self.seq
            if not self.path:
                return
            line = json.dumps(record, ensure_ascii=False, sort_keys=True) + "\n"
            with open(self.path, "a", encoding="utf-8") as f:
                f.write(line)
                f.flush()


class Listener(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    block_on_close = False

    def __init__(self, name, scheme, port, cert, key, app):
        self.name = name
        self.scheme = scheme
        self.cert = cert
        self.key = key
        self.app = app
        self.tls_lock = threading.Lock()
        self.tls_stamp = None
        self.tls_context = None
        self.connections = {}  # connection -> the context it was made with
        super().__init__(("127.0.0.1", port), Handler)

    def _context(self):
        # Reload the certificate when its files change, so a test can make the
        # server present another certificate on the same port. While the pair
        # is half written the previous certificate stays in use.
        with self.tls_lock:
            stamp = tuple(os.stat(p).st_mtime_ns for p in (self.cert, self.key))
            if stamp != self.tls_stamp:
                ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                try:
                    try:
                        ctx.load_cert_chain(self.cert, self.key)
                    except ssl.SSLError:
                        # A weak certificate (small key, SHA-1) that the
                        # client is to refuse: served at the lowest level.
                        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                        ctx.set_ciphers("DEFAULT:@SECLEVEL=0")
                        ctx.load_cert_chain(self.cert, self.key)
                except (ssl.SSLError, OSError):
                    if self.tls_context is None:
                        raise
                    return self.tls_context
                self.tls_context = ctx
                self.tls_stamp = stamp
                # Connections made with the previous certificate end, idle
                # ones a client keeps included: what comes next meets the new one.
                for conn in list(self.connections):
                    try:
                        socket.socket.shutdown(conn, socket.SHUT_RDWR)
                    except OSError:
                        pass
            return self.tls_context

    def stale(self, conn):
        """True when conn was made with a certificate no longer served."""
        try:
            current = self._context()
        except (ssl.SSLError, OSError):
            return False
        with self.tls_lock:
            return self.connections.get(conn) is not current

    def watch_certificate(self):
        while not STOP.wait(0.05):
            try:
                self._context()
            except (ssl.SSLError, OSError):
                pass

    def finish_request(self, request, client_address):
        # The handshake runs on the connection's own thread: a client that
        # keeps a certificate question open must not hold up other clients.
        if self.scheme != "https":
            self.RequestHandlerClass(request, client_address, self)
            return
        ctx = self._context()
        conn = ctx.wrap_socket(request, server_side=True)
        with self.tls_lock:
            self.connections[conn] = ctx
            stale = ctx is not self.tls_context
        try:
            if not stale:
                self.RequestHandlerClass(conn, client_address, self)
        finally:
            with self.tls_lock:
                self.connections.pop(conn, None)
            conn.close()

    def handle_error(self, request, client_address):
        err = sys.exc_info()[1]
        if isinstance(err, (ssl.SSLError, OSError)):
            return
        super().handle_error(request, client_address)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "AccessServerStandIn/1.0"
    # Headers and body go out in separate writes: with Nagle's algorithm the
    # body could wait for the client's delayed ACK, a stall no real server has.
    disable_nagle_algorithm = True

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self._serve()

    do_POST = do_PUT = do_DELETE = do_HEAD = do_OPTIONS = do_PATCH = do_GET

    # --- request ---------------------------------------------------------
    def _read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            data = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length", "0") or "0")
        return self.rfile.read(length) if length > 0 else b""

    def _serve(self):
        server = self.server
        if server.scheme == "https" and server.stale(self.connection):
            # A request on a connection kept from before the certificate
            # changed: closed unanswered, the client sends it again on a new one.
            self.close_connection = True
            return
        app = server.app
        split = urllib.parse.urlsplit(self.path)
        path, query = split.path, split.query
        body = self._read_body()
        index, route = app.routes.match(server.name, self.command, path, query)
        headers = {}
        for name, value in self.headers.items():
            headers[name] = headers[name] + ", " + value if name in headers else value
        record = {
            "time": time.time(),
            "listener": server.name,
            "scheme": server.scheme,
            "method": self.command,
            "target": self.path,
            "path": path,
            "query": query,
            "headers": headers,
            "header_list": [[n, v] for n, v in self.headers.items()],
            "body": body.decode("utf-8", "replace"),
            "body_length": len(body),
            "route": index,
            "client_port": self.client_address[1],
        }
        app.log.write(dict(record))
        if route is None:
            route = {"status": 404, "headers": {"Content-Type": "text/plain"}, "body": "no route\n"}
        self.body_sent = 0
        try:
            self._respond(route, record)
        except (ConnectionError, BrokenPipeError, ssl.SSLError, socket.timeout):
            self.close_connection = True
        # How much of the body left before the answer ended or the client went.
        app.sent.write({"path": path, "query": query, "sent": self.body_sent})

    # --- response --------------------------------------------------------
    def _expand(self, text):
        app = self.server.app

        def port(m):
            name = m.group(1) or self.server.name
            return str(app.ports.get(name, 0))

        return re.sub(r"\{port(?::([A-Za-z0-9_-]+))?\}", port, text)

    def _wait(self, seconds):
        """Sleeps, but returns early when the server stops or the peer hangs up."""
        end = time.monotonic() + seconds
        while not STOP.is_set():
            left = end - time.monotonic()
            if left <= 0:
                return True
            try:
                readable, _, _ = select.select([self.connection], [], [], min(left, 0.05))
                if readable and not socket.socket.recv(self.connection, 1, socket.MSG_PEEK):
                    return False
            except (OSError, ValueError):
                return False
        return False

    def _body(self, route, record):
        if route.get("echo"):
            return json.dumps(record, ensure_ascii=False, sort_keys=True).encode("utf-8")
        if "body_base64" in route:
            return base64.b64decode(route["body_base64"])
        if "body_file" in route:
            with open(route["body_file"], "rb") as f:
                return f.read()
        if "body_size" in route:
            return None  # generated while sending
        return self._expand(route.get("body", "")).encode("utf-8")

    def _respond(self, route, record):
        if route.get("delay_ms"):
            if not self._wait(route["delay_ms"] / 1000.0):
                self.close_connection = True
                return
        if route.get("drop"):
            self.close_connection = True
            return
        if route.get("silence"):
            # Never answer; hold the connection until the client gives up.
            self._wait(float("inf"))
            self.close_connection = True
            return

        status = int(route.get("status", 302 if "redirect" in route else 200))
        body = self._body(route, record)
        size = len(body) if body is not None else int(route["body_size"])
        if route.get("gzip"):
            if body is None:
                body = _pattern(size)
            body = gzip.compress(body)
            size = len(body)
        elif route.get("gzip_invalid"):
            body = b"this is not gzip data" if body is None or not body else body
            size = len(body)

        headers = route.get("headers", {})
        pairs = list(headers.items()) if isinstance(headers, dict) else [tuple(p) for p in headers]
        pairs = [(n, self._expand(str(v))) for n, v in pairs]
        if "redirect" in route:
            pairs.append(("Location", self._expand(route["redirect"])))
        if route.get("gzip") or route.get("gzip_invalid"):
            pairs.append(("Content-Encoding", "gzip"))
        chunked = bool(route.get("chunked"))
        close = bool(route.get("close")) or bool(route.get("no_content_length"))
        if chunked:
            pairs.append(("Transfer-Encoding", "chunked"))
        elif not route.get("no_content_length"):
            length = route.get("content_length", size)
            pairs.append(("Content-Length", str(length)))
        if close:
            pairs.append(("Connection", "close"))

        self.send_response(status, route.get("reason"))
        for name, value in pairs:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.flush()
        if self.command == "HEAD":
            self.close_connection = close
            return

        limit = size
        if "cut_after" in route:
            limit = min(size, int(route["cut_after"]))
        trickle = route.get("trickle")
        piece = int(trickle.get("bytes", 1)) if trickle else 65536
        interval = trickle.get("interval_ms", 100) / 1000.0 if trickle else 0
        sent = 0
        while sent < limit:
            n = min(piece, limit - sent)
            data = body[sent:sent + n] if body is not None else _pattern_at(sent, n)
            if chunked:
                self.wfile.write(b"%x\r\n" % len(data) + data + b"\r\n")
            else:
                self.wfile.write(data)
            self.wfile.flush()
            sent += n
            self.body_sent = sent
            if trickle and sent < limit and not self._wait(interval):
                self.close_connection = True
                return
        if "cut_after" in route and limit < size:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        if chunked:
            self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
        self.close_connection = close


_BLOCK = PATTERN * (65536 // len(PATTERN) + 2)


def _pattern_at(offset, n):
    out = bytearray()
    while n > 0:
        start = offset % len(PATTERN)
        take = min(n, 65536)
        out += _BLOCK[start:start + take]
        offset += take
        n -= take
    return bytes(out)


def _pattern(n):
    return _pattern_at(0, n)


class App:
    def __init__(self, routes, log, sent=None):
        self.routes = routes
        self.log = log
        self.sent = sent or RequestLog(None)
        self.ports = {}


def parse_listener(text):
    # name=scheme[,port=N][,cert=FILE,key=FILE]
    name, _, rest = text.partition("=")
    fields = rest.split(",")
    scheme = fields[0] or "http"
    opts = dict(f.split("=", 1) for f in fields[1:] if "=" in f)
    if scheme not in ("http", "https"):
        raise SystemExit("access_server: unknown scheme in --listen %s" % text)
    if scheme == "https" and not ("cert" in opts and "key" in opts):
        raise SystemExit("access_server: https listener %s needs cert= and key=" % name)
    return name, scheme, int(opts.get("port", "0")), opts.get("cert"), opts.get("key")


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--listen", action="append", default=[],
                    help="name=http|https[,port=N][,cert=PEM,key=PEM]; repeatable")
    ap.add_argument("--routes", help="route script (JSON), read again when it changes")
    ap.add_argument("--log", help="request log, one JSON object per line")
    ap.add_argument("--sent-log", help="one JSON line per answer: the body bytes it sent")
    ap.add_argument("--port-file", help="written with {name: port} once every listener is up")
    ap.add_argument("--watch-stdin", action="store_true",
                    help="stop when standard input closes (the test that started us is gone)")
    args = ap.parse_args()
    if not args.listen:
        args.listen = ["http=http"]

    app = App(RouteBook(args.routes), RequestLog(args.log), RequestLog(args.sent_log))
    servers = []
    for text in args.listen:
        name, scheme, port, cert, key = parse_listener(text)
        srv = Listener(name, scheme, port, cert, key, app)
        if scheme == "https":
            srv._context()  # fail now on bad certificate files
        app.ports[name] = srv.server_address[1]
        servers.append(srv)

    for srv in servers:
        threading.Thread(target=srv.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True).start()
        if srv.scheme == "https":
            threading.Thread(target=srv.watch_certificate, daemon=True).start()

    ports = json.dumps(app.ports, sort_keys=True)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(ports + "\n")
        os.replace(tmp, args.port_file)
    sys.stdout.write(ports + "\n")
    sys.stdout.flush()

    signal.signal(signal.SIGTERM, lambda *_: STOP.set())
    signal.signal(signal.SIGINT, lambda *_: STOP.set())
    if args.watch_stdin:
        def watch():
            try:
                while sys.stdin.buffer.read(4096):
                    pass
            except OSError:
                pass
            STOP.set()
        threading.Thread(target=watch, daemon=True).start()

    while not STOP.wait(0.05):
        pass
    # Every log line is already on disk; connections still held open
    # (silent routes) need no goodbye.
    sys.stdout.flush()
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
