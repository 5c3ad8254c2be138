"""Serves the files of one folder from the loopback test server, for the demo and the end-to-end
tests: GET <url_prefix><name> answers 200 with the file and its Content-Length.

Behaviour is switched through the server state key "catalogue" (all members optional):
    rate         bytes a second to send (0 or absent: as fast as possible)
    step         bytes per paced write (default 16384)
    break        {"<name>": N}: the next N downloads of that file stop after "break_after" bytes
                 with a TCP reset, as a server that falls over mid-transfer would
    break_after  bytes sent before such a break (default 65536)
Every request for a file is counted in state "catalogue_served" ({"<name>": count}).
"""
import os
import threading
import time
from urllib.parse import unquote

from testbed.routes_download import reset_connection

KEY = "catalogue"
_lock = threading.Lock()


def _take_break(server, name):
    """True when this download of name is one that must break off (and counts it used)."""
    with _lock:
        config = dict(server.get(KEY) or {})
        breaks = dict(config.get("break") or {})
        left = int(breaks.get(name, 0))
        if left > 0:
            breaks[name] = left - 1
            config["break"] = breaks
            server.configure(KEY, config)
        served = dict(server.get("catalogue_served") or {})
        served[name] = served.get(name, 0) + 1
        server.configure("catalogue_served", served)
        return left > 0, config


def register_folder(server, url_prefix, folder):
    folder = os.path.abspath(folder)

    def serve(req, srv):
        name = unquote(req.path.split("?", 1)[0][len(url_prefix):])
        path = os.path.join(folder, name)
        if not name or "/" in name or "\\" in name or name.startswith(".") or not os.path.isfile(path):
            return srv.reply(req, 404, b"no such file\n", {"Content-Type": "text/plain"})
        size = os.path.getsize(path)
        broken, config = _take_break(srv, name)
        req.send_response(200)
        req.send_header("Content-Type", "application/octet-stream")
        req.send_header("Content-Length", str(size))
        req.end_headers()
        if req.command == "HEAD":
            return
        rate = int(config.get("rate") or 0)
        step = max(1, int(config.get("step") or 16384))
        limit = int(config.get("break_after", 65536)) if broken else size
        sent = 0
        with open(path, "rb") as source:
            while sent < limit:
                piece = source.read(min(step if rate else 262144, limit - sent))
                if not piece:
                    break
                req.wfile.write(piece)
                sent += len(piece)
                if rate and sent < limit:
                    time.sleep(len(piece) / rate)
        if broken:
            req.wfile.flush()
            reset_connection(req)

    server.route("GET", url_prefix, serve, prefix=True)
    server.route("HEAD", url_prefix, serve, prefix=True)
