"""The manifest path, /download/latest/filelist.json.php, with switchable replies.

State key "manifest", a JSON object; every member is optional:
    status        HTTP status (default 200)
    body          the body as text, sent as UTF-8
    body_hex      the body as hex bytes (wins over "body"), e.g. a byte-order mark "efbbbf3c"
    pad_to        append spaces after the body until it is exactly this many bytes long
    fill          ignore the body: send this many bytes of "x" (made on the fly, never held whole)
    chunked       true: chunked transfer coding, no Content-Length
    truncate_at   announce the whole length but close the connection after this many body bytes
    content_type  default "application/json"
    headers       extra response headers, {"Name": "value"}
    hang          accept the request and send nothing for this many seconds, then close
The default is a small good manifest (default_manifest).
"""
import json
import time

PATH = "/download/latest/filelist.json.php"
STEP = 65536


def default_manifest(port):
    """A small good manifest whose files are on this server."""
    files = [("QuorvelTools-1.2.msi", 1048576, "2026-03-01T10:00:00Z", "msi"),
             ("QuorvelViewer-3.0.exe", 2411724, "2026-05-17T08:30:00Z", "exe"),
             ("readme.txt", 512, "2025-12-24T18:00:00Z", "txt")]
    return {"schema": "quorvel.download.v1",
            "files": [{"name": name, "url": f"https://127.0.0.1:{port}/download/latest/{name}", "size": size,
                       "modified_at": modified_at, "ext": ext} for name, size, modified_at, ext in files]}


def _pieces(config, port):
    """The body as a sequence of byte strings, and its total length."""
    if "fill" in config:
        total = int(config["fill"])
        def filler():
            left = total
            while left > 0:
                step = min(STEP, left)
                yield b"x" * step
                left -= step
        return filler(), total
    if "body_hex" in config:
        head = bytes.fromhex(config["body_hex"])
    else:
        head = (config["body"] if "body" in config else json.dumps(default_manifest(port), indent=1)).encode("utf-8")
    total = max(len(head), int(config.get("pad_to", 0)))
    def padded():
        yield head
        left = total - len(head)
        while left > 0:
            step = min(STEP, left)
            yield b" " * step
            left -= step
    return padded(), total


def serve_manifest(req, server):
    config = server.get("manifest") or {}
    if "hang" in config:
        time.sleep(float(config["hang"]))
        req.close_connection = True
        return
    pieces, total = _pieces(config, server.port)
    chunked = bool(config.get("chunked"))
    req.send_response(int(config.get("status", 200)))
    req.send_header("Content-Type", config.get("content_type", "application/json"))
    for key, value in (config.get("headers") or {}).items():
        req.send_header(key, value)
    if chunked:
        req.send_header("Transfer-Encoding", "chunked")
    else:
        req.send_header("Content-Length", str(total))
    req.end_headers()
    if req.command == "HEAD":
        return
    left = int(config["truncate_at"]) if "truncate_at" in config else None
    for piece in pieces:
        if left is not None:
            piece = piece[:left]
            left -= len(piece)
        if not piece:
            if left == 0:
                break
            continue
        if chunked:
            req.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        else:
            req.wfile.write(piece)
    if left is not None:
        req.wfile.flush()
        req.close_connection = True
        return
    if chunked:
        req.wfile.write(b"0\r\n\r\n")


def register(server):
    server.defaults["manifest"] = {}
    server.route("GET", PATH, serve_manifest)
    server.route("HEAD", PATH, serve_manifest)
