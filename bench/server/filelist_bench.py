#!/usr/bin/env python3
"""Times filelist.json.php over a folder of 10,000 files: under PHP's built-in server and under
nginx (TLS) + PHP-FPM as deployed. Each request is a fresh connection, as the launcher makes it.
The first request after a start finds no digest cache and hashes every file (cold); the others are
warm. Then once more with a 1 GiB file (sparse) in the folder, and a 304 revalidation.

Usage: filelist_bench.py [--work DIR] [--files N] [--requests N] [--baseline OLD_SCRIPT]
  --baseline: also time another version of the script (for example the one before digests) warm.
"""
import argparse
import http.client
import json
import os
import shutil
import ssl
import statistics
import sys
import time

from testbed import ca, php_stack

NAMES = ["Quorvel Setup {v}.msi", "quorvel-{v}-x64.exe", "Quorvel Tools {v} (beta #{i}).zip",
         "Handbuch für Quorvel {v}.pdf", "release notes {v}.txt", "Quorvel+Plugins_{v}.7z"]


def make_folder(folder, count):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    start = 1_600_000_000
    for i in range(count):
        version = f"{i // 1000}.{i // 10 % 100}.{i}"
        name = NAMES[i % len(NAMES)].format(v=version, i=i)
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(b"x" * (i % 97))
        stamp = start + (i * 7919) % 100_000_000  # spread, not in name order
        os.utime(path, (stamp, stamp))


def request(connect, path, headers=None):
    began = time.perf_counter()
    connection = connect()
    connection.request("GET", path, headers=dict({"Accept": "application/json"}, **(headers or {})))
    reply = connection.getresponse()
    body = reply.read()
    connection.close()
    return time.perf_counter() - began, reply, body


def time_requests(connect, path, requests):
    """The first (cold) request's time, the warm ones' times, the body and the 304 time."""
    times = []
    body = b""
    etag = ""
    for _ in range(requests + 1):
        seconds, reply, body = request(connect, path)
        times.append(seconds)
        if reply.status != 200:
            raise RuntimeError(f"status {reply.status}: {body[:200]!r}")
        etag = reply.getheader("ETag") or ""
    revalidations = []
    for _ in range(requests if etag else 0):
        seconds, reply, _ = request(connect, path, {"If-None-Match": etag})
        if reply.status != 304:
            raise RuntimeError(f"revalidation status {reply.status}")
        revalidations.append(seconds)
    return times[0], times[1:], body, revalidations


def report(label, measured, count):
    cold, times, body, revalidations = measured
    listed = len(json.loads(body)["files"])
    if listed != count:
        raise RuntimeError(f"{label}: {listed} files listed, {count} expected")
    line = (f"{label}: {count} files, {len(body) / 1e6:.2f} MB reply: cold {cold * 1000:.0f} ms; warm "
            f"median {statistics.median(times) * 1000:.1f} ms, min {min(times) * 1000:.1f} ms, "
            f"max {max(times) * 1000:.1f} ms over {len(times)} requests")
    if revalidations:
        line += f"; 304 median {statistics.median(revalidations) * 1000:.1f} ms"
    print(line)


def run_servers(label, work, root, folder, requests, count):
    path = "/download/latest/filelist.json.php"
    try:
        temp = os.path.join(work, "tmp-builtin")
        shutil.rmtree(temp, ignore_errors=True)  # no digests yet: the first request is cold
        with php_stack.serve_builtin(root, php_stack.free_port(), os.path.join(work, "php-server.log"),
                                     temp) as server:
            measured = time_requests(
                lambda: http.client.HTTPConnection("127.0.0.1", server.port, timeout=600), path, requests)
            report(f"php -S (no php.ini, no opcache), {label}", measured, count)
    except php_stack.Unavailable as missing:
        print(f"php -S: skipped, {missing}")

    try:
        certs = ca.ensure_ca(os.path.join(work, "tls"))
        port = php_stack.free_port()
        with php_stack.serve_folder(folder, port, certs.server_pem, certs.server_key, os.path.join(work, "stack"),
                                    script=None):
            context = ssl.create_default_context(cafile=certs.ca_pem)
            measured = time_requests(
                lambda: http.client.HTTPSConnection("127.0.0.1", port, timeout=600, context=context),
                path, requests)
            report(f"nginx TLS + php-fpm, {label}", measured, count)
    except php_stack.Unavailable as missing:
        print(f"nginx + php-fpm: skipped, {missing}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", default=os.path.join(os.getcwd(), "filelist-bench"))
    parser.add_argument("--files", type=int, default=10_000)
    parser.add_argument("--requests", type=int, default=20)
    parser.add_argument("--baseline", help="another version of filelist.json.php to time as well")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    root = os.path.join(work, "www")
    folder = os.path.join(root, "download", "latest")
    make_folder(folder, args.files)
    shutil.copyfile(php_stack.DEFAULT_SCRIPT, os.path.join(folder, "filelist.json.php"))
    print("load average before: %.2f %.2f %.2f (figures rise with it)" % os.getloadavg())
    if args.baseline:
        shutil.copyfile(args.baseline, os.path.join(folder, "filelist.json.php"))
        run_servers("the baseline script", work, root, folder, args.requests, args.files)
        shutil.copyfile(php_stack.DEFAULT_SCRIPT, os.path.join(folder, "filelist.json.php"))
    run_servers("with digests", work, root, folder, args.requests, args.files)
    big = os.path.join(folder, "Quorvel Big 1 GiB.bin")
    with open(big, "wb") as f:
        f.truncate(1 << 30)
    run_servers("with digests and one 1 GiB file", work, root, folder, args.requests, args.files + 1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
