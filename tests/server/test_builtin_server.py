#!/usr/bin/env python3
"""filelist.json.php under PHP's built-in server, over a folder of awkward real files.

Usage: test_builtin_server.py --script FILE --work DIR [--checker quorvel-manifest-check]
Exits 77 (skipped) with a reason when PHP's command-line program is missing.
"""
import argparse
import http.client
import json
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import download_folder  # noqa: E402

SKIP = 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fetch(url, method="GET", extra_headers=None, byte_range=None):
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=60)
    headers = dict(extra_headers or {})
    if byte_range:
        headers["Range"] = "bytes=" + byte_range
    path = parts.path + ("?" + parts.query if parts.query else "")
    connection.request(method, path, headers=headers)
    reply = connection.getresponse()
    body = reply.read()
    connection.close()
    return reply.status, {k.lower(): v for k, v in reply.getheaders()}, body


class BuiltinServer:
    def __init__(self, root, log_path):
        self.port = free_port()
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(
            ["php", "-n", "-d", "log_errors=1", "-S", f"127.0.0.1:{self.port}", "-t", root],
            stdout=self.log, stderr=subprocess.STDOUT, cwd=root)
        self.base = f"http://127.0.0.1:{self.port}"
        deadline = time.monotonic() + 30
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError(f"php -S did not start; see {log_path}")
                time.sleep(0.05)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--checker")
    args = parser.parse_args()
    if not shutil.which("php"):
        print("SKIP: PHP's command-line program 'php' is not installed (Debian package php-cli)")
        return SKIP

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    root = os.path.join(work, "www")
    folder = os.path.join(root, "download", "latest")
    expected = download_folder.build(folder, args.script)

    # A second folder whose script names a configured base URL, as behind a proxy.
    proxied = os.path.join(root, "proxied", "download", "latest")
    os.makedirs(proxied)
    with open(args.script, encoding="utf-8") as f:
        source = f.read()
    configured = source.replace("const QUORVEL_BASE_URL = '';",
                                "const QUORVEL_BASE_URL = 'https://downloads.example.com/';")
    fails = download_folder.Failures()
    fails.check(configured != source, "the script has a QUORVEL_BASE_URL line to configure")
    with open(os.path.join(proxied, "filelist.json.php"), "w", encoding="utf-8") as f:
        f.write(configured)
    with open(os.path.join(proxied, "Setup 1.msi"), "wb") as f:
        f.write(b"x")

    log_path = os.path.join(work, "php-server.log")
    server = BuiltinServer(root, log_path)
    try:
        download_folder.check_manifest_reply(fails, fetch, server.base, expected, args.checker)
        download_folder.check_downloads(fails, fetch, server.base, expected)

        # A forged Host header must not reach the URLs.
        status, _, body = fetch(server.base + "/download/latest/filelist.json.php",
                                extra_headers={"Host": 'evil.example/"><x'})
        fails.equal(status, 200, "status with a forged Host")
        urls = [f["url"] for f in json.loads(body)["files"]]
        fails.check(all(u.startswith(f"http://127.0.0.1:{server.port}/download/latest/") for u in urls),
                    f"forged Host kept out of the URLs: {urls[:1]}")

        # A request path never picks the folder: query strings and extra segments change nothing.
        status, _, queried = fetch(server.base + "/download/latest/filelist.json.php?dir=../..&path=/etc")
        fails.equal(status, 200, "status with a query")
        fails.equal(json.loads(queried)["files"], json.loads(body)["files"], "a query changes nothing")

        status, _, body = fetch(server.base + "/proxied/download/latest/filelist.json.php")
        fails.equal(status, 200, "status with a configured base URL")
        fails.equal([f["url"] for f in json.loads(body)["files"]],
                    ["https://downloads.example.com/proxied/download/latest/Setup%201.msi"],
                    "URLs from the configured base URL")
    finally:
        server.stop()

    with open(log_path, "rb") as f:
        log = f.read()
    fails.check(b"not valid UTF-8: bad%FF%20name.bin" in log,
                "the file whose name is not UTF-8 is logged with error_log")
    fails.check(b"PHP Warning" not in log and b"PHP Notice" not in log, "no PHP warnings in the log")

    if fails.items:
        print(f"{len(fails.items)} check(s) failed; server log: {log_path}")
        return 1
    print(f"ok: {len(expected)} files listed and downloaded through php -S")
    return 0


if __name__ == "__main__":
    sys.exit(main())
