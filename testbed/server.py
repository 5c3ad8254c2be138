#!/usr/bin/env python3
"""Loopback HTTPS test server for the launcher's live tests and the demo.

Standard library only. One `TestServer` is a ThreadingHTTPServer wrapped in TLS, bound to
127.0.0.1, whose behaviour is switched at run time through a shared state dictionary.

Library use:

    from testbed import ca, test_port
    from testbed.server import TestServer
    certs = ca.ensure_ca(work_dir)                    # throwaway CA + server cert (openssl CLI)
    with TestServer(port=test_port(), certfile=certs.server_pem, keyfile=certs.server_key,
                    log_path="requests.jsonl") as srv:  # tls_min / tls_max: "1.1", "1.2", "1.3"
        srv.configure("manifest", {"status": 404, "body": "missing"})
        ...                                           # the client talks to srv.base_url
        srv.requests()                                # every request seen so far, as dicts

CLI use (the demo, or by hand):

    python3 -m testbed.server --port N --cert-dir DIR [--tls-min 1.2] [--tls-max 1.2] [--log FILE]
                              [--set manifest='{"status": 200, "body": "..."}']
    curl --cacert DIR/ca.pem https://127.0.0.1:N/download/latest/filelist.json.php

Control endpoint (same server, same TLS):
    POST /_control/<key>   JSON body replaces state[<key>]; reply is the new state as JSON
    POST /_control/reset   back to the defaults, request log emptied
    GET  /_control         the whole state as JSON
    GET  /_control/log     the request log as a JSON array
Control requests are not recorded in the request log.

Fixed port. Tests that bind the launcher's port, test_port() (or need it free), take
`with port_lock(port):` around the whole test, and carry RESOURCE_LOCK port<N> in ctest; other helpers' test runs on
the same machine then wait instead of failing with "address in use". TestServer(bind_wait=S)
also retries a taken port for S seconds, for users that take no lock.

Route modules. The modules of ROUTE_MODULES register their routes when a server starts. Each
defines

    def register(server):
        server.route("GET", "/exact/path", handler)       # exact path match (query ignored)
        server.route("GET", "/files/", handler, prefix=True)  # any path starting with it
        server.defaults["mykey"] = {...}                 # optional initial state

and a handler is `handler(req, server)`, where `req` is the `http.server.BaseHTTPRequestHandler`
of the request (req.path, req.headers, req.wfile ...) and `server` the TestServer. A handler reads
its behaviour with `server.get(key)` and answers with `server.reply(req, status, body, headers)`,
or writes the status line, headers and body itself for anything unusual (no length, truncation,
resets, throttling). Exceptions from a peer that went away (broken pipe, reset) are swallowed.
Routes are matched in registration order, exact routes first; no match gives 404 "no route".
"""
import argparse
import contextlib
import errno
import fcntl
import json
import os
import socket
import ssl
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from testbed import ca, routes_download, routes_manifest, test_port

ROUTE_MODULES = (routes_download, routes_manifest)

_TLS_VERSIONS = {
    "1.0": ssl.TLSVersion.TLSv1,
    "1.1": ssl.TLSVersion.TLSv1_1,
    "1.2": ssl.TLSVersion.TLSv1_2,
    "1.3": ssl.TLSVersion.TLSv1_3,
}

PEER_GONE = (BrokenPipeError, ConnectionResetError, ConnectionAbortedError, ssl.SSLError, socket.timeout)


@contextlib.contextmanager
def port_lock(port):
    """Holds a machine-wide lock on one port, so test runs of several work trees or ctest
    processes that all need the same fixed port take turns instead of colliding."""
    with open(os.path.join(tempfile.gettempdir(), f"quorvel-port-{port}.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


def _bind_patiently(httpd, wait):
    """Binds, retrying for up to `wait` seconds while the port is taken by someone else."""
    deadline = time.monotonic() + wait
    while True:
        try:
            httpd.server_bind()
            return
        except OSError as fault:
            if fault.errno != errno.EADDRINUSE or time.monotonic() >= deadline:
                httpd.server_close()
                raise
            time.sleep(0.2)


def wait_port_free(port, host="127.0.0.1", wait=300.0):
    """True once nothing listens on host:port (polled), False when `wait` seconds pass first."""
    deadline = time.monotonic() + wait
    while True:
        probe = socket.socket()
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind((host, port))
            return True
        except OSError:
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.2)
        finally:
            probe.close()


HANDSHAKE_SECONDS = 30


class _Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuorvelTestServer/1.0"

    def log_message(self, *args):  # the JSON-lines log replaces stderr chatter
        pass

    def _dispatch(self):
        srv = self.server.owner
        path = self.path.split("?", 1)[0]
        if path == "/_control" or path.startswith("/_control/"):
            return srv._control(self, path)
        srv._record(self)
        handler = srv._find(self.command, path)
        try:
            if handler is None:
                srv.reply(self, 404, b"no route\n", {"Content-Type": "text/plain"})
            else:
                handler(self, srv)
        except PEER_GONE:
            self.close_connection = True

    def setup(self):
        super().setup()
        # The TLS handshake runs on the connection's own thread: a client that connects and then
        # stalls holds up only itself, never the accept loop every other client waits behind.
        self.handshake_failed = False
        if isinstance(self.connection, ssl.SSLSocket):
            try:
                self.connection.settimeout(HANDSHAKE_SECONDS)
                self.connection.do_handshake()
                self.connection.settimeout(None)
            except (OSError, ValueError):
                self.handshake_failed = True

    def handle(self):
        if self.handshake_failed:
            return
        try:
            super().handle()
        except PEER_GONE:
            pass

    do_GET = do_POST = do_HEAD = do_PUT = do_DELETE = _dispatch


class TestServer:
    def __init__(self, port=0, certfile=None, keyfile=None, tls_min=None, tls_max=None,
                 log_path=None, host="127.0.0.1", bind_wait=0.0):
        self.routes = []  # (method, path, prefix, handler)
        self.defaults = {}
        self._state = {}
        self._lock = threading.Lock()
        self._log = []
        self.log_path = log_path
        for module in ROUTE_MODULES:
            module.register(self)
        self.reset()
        self.httpd = ThreadingHTTPServer((host, port), _Handler, bind_and_activate=False)
        self.httpd.daemon_threads = True
        self.httpd.allow_reuse_address = True
        self.httpd.owner = self
        _bind_patiently(self.httpd, bind_wait)
        self.httpd.server_activate()
        if certfile:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            if tls_min in ("1.0", "1.1") or tls_max in ("1.0", "1.1"):
                # OpenSSL 3 refuses the old versions at the default security level.
                context.set_ciphers("DEFAULT:@SECLEVEL=0")
            if tls_min:
                context.minimum_version = _TLS_VERSIONS[tls_min]
            if tls_max:
                context.maximum_version = _TLS_VERSIONS[tls_max]
            context.load_cert_chain(certfile, keyfile)
            self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True,
                                                   do_handshake_on_connect=False)
        self.host, self.port = self.httpd.server_address[:2]
        scheme = "https" if certfile else "http"
        self.base_url = f"{scheme}://{host}:{self.port}"
        self._thread = None

    # Routing and state -------------------------------------------------------------------------
    def route(self, method, path, handler, prefix=False):
        self.routes.append((method.upper(), path, prefix, handler))

    def _find(self, method, path):
        for want_prefix in (False, True):
            for m, p, prefix, handler in self.routes:
                if prefix != want_prefix or m != method:
                    continue
                if path == p or (prefix and path.startswith(p)):
                    return handler
        return None

    def configure(self, key, value):
        with self._lock:
            self._state[key] = value

    def get(self, key, default=None):
        with self._lock:
            return self._state.get(key, default)

    def reset(self):
        """Back to the route modules' defaults and an empty request log."""
        with self._lock:
            self._state = json.loads(json.dumps(self.defaults))
            self._log = []
        if self.log_path:
            open(self.log_path, "w").close()

    # Request log -------------------------------------------------------------------------------
    def _record(self, req):
        entry = {"time": time.time(), "method": req.command, "path": req.path,
                 "version": req.request_version, "headers": [[k, v] for k, v in req.headers.items()]}
        with self._lock:
            self._log.append(entry)
            if self.log_path:
                with open(self.log_path, "a", encoding="utf-8") as log:
                    log.write(json.dumps(entry) + "\n")

    def requests(self):
        with self._lock:
            return list(self._log)

    # Replies -----------------------------------------------------------------------------------
    @staticmethod
    def reply(req, status, body=b"", headers=None):
        if isinstance(body, str):
            body = body.encode("utf-8")
        req.send_response(status)
        sent = {k.lower() for k in (headers or {})}
        for key, value in (headers or {}).items():
            req.send_header(key, value)
        if "content-length" not in sent:
            req.send_header("Content-Length", str(len(body)))
        req.end_headers()
        if req.command != "HEAD":
            req.wfile.write(body)

    def _control(self, req, path):
        key = path[len("/_control/"):] if path.startswith("/_control/") else ""
        if req.command == "POST" and key == "reset":
            self.reset()
            return self.reply(req, 200, "{}")
        if req.command == "POST" and key:
            length = int(req.headers.get("Content-Length") or 0)
            raw = req.rfile.read(length) if length else b"null"
            try:
                self.configure(key, json.loads(raw.decode("utf-8")))
            except ValueError as fault:
                return self.reply(req, 400, f"bad JSON: {fault}\n")
            return self.reply(req, 200, json.dumps(self.get(key)), {"Content-Type": "application/json"})
        if key == "log":
            return self.reply(req, 200, json.dumps(self.requests()), {"Content-Type": "application/json"})
        with self._lock:
            state = json.dumps(self._state)
        return self.reply(req, 200, state, {"Content-Type": "application/json"})

    # Life cycle --------------------------------------------------------------------------------
    def start(self):
        self._thread = threading.Thread(target=self.httpd.serve_forever, kwargs={"poll_interval": 0.05},
                                        daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._thread:
            self.httpd.shutdown()
            self._thread.join()
            self._thread = None
        self.httpd.server_close()

    def serve_until_interrupted(self):
        """Serves on the calling thread until Ctrl+C or SIGINT (the demo and the CLI)."""
        try:
            self.httpd.serve_forever(poll_interval=0.2)
        except KeyboardInterrupt:
            pass
        finally:
            self.httpd.server_close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def main(argv=None):
    parser = argparse.ArgumentParser(description="Loopback HTTPS test server")
    parser.add_argument("--port", type=int, default=None, help="default: test_port()")
    parser.add_argument("--cert-dir", help="where the throwaway CA lives (made when missing)")
    parser.add_argument("--plain", action="store_true", help="serve plain HTTP, no TLS")
    parser.add_argument("--tls-min", choices=sorted(_TLS_VERSIONS))
    parser.add_argument("--tls-max", choices=sorted(_TLS_VERSIONS))
    parser.add_argument("--log", help="JSON-lines request log")
    parser.add_argument("--set", action="append", default=[], metavar="KEY=JSON",
                        help="initial behaviour of one route key")
    args = parser.parse_args(argv)
    certfile = keyfile = None
    if not args.plain:
        certs = ca.ensure_ca(args.cert_dir or os.path.join(os.getcwd(), "test-ca"))
        certfile, keyfile = certs.server_pem, certs.server_key
    port = test_port() if args.port is None else args.port
    srv = TestServer(port, certfile, keyfile, args.tls_min, args.tls_max, args.log)
    for item in args.set:
        key, _, value = item.partition("=")
        srv.configure(key, json.loads(value))
    print(f"serving {srv.base_url}", flush=True)
    srv.serve_until_interrupted()


if __name__ == "__main__":
    main()
