#!/usr/bin/env python3
"""Times filelist.json.php over a folder of 10,000 files: under PHP's built-in server and under
nginx (TLS) + PHP-FPM as deployed. Each request is a fresh connection, as the launcher makes it.

Usage: filelist_bench.py [--work DIR] [--files N] [--requests N]
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

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tests", "server"))
import php_stack  # noqa: E402

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


def time_requests(connect, path, requests):
    times = []
    body = b""
    for _ in range(requests + 1):  # the first one warms caches and is not counted
        began = time.perf_counter()
        connection = connect()
        connection.request("GET", path, headers={"Accept": "application/json"})
        reply = connection.getresponse()
        body = reply.read()
        connection.close()
        times.append(time.perf_counter() - began)
        if reply.status != 200:
            raise RuntimeError(f"status {reply.status}: {body[:200]!r}")
    return times[1:], body


def report(label, times, body, count):
    listed = len(json.loads(body)["files"])
    if listed != count:
        raise RuntimeError(f"{label}: {listed} files listed, {count} expected")
    print(f"{label}: {count} files, {len(body) / 1e6:.2f} MB reply: "
          f"median {statistics.median(times) * 1000:.1f} ms, min {min(times) * 1000:.1f} ms, "
          f"max {max(times) * 1000:.1f} ms over {len(times)} requests")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", default=os.path.join(os.getcwd(), "filelist-bench"))
    parser.add_argument("--files", type=int, default=10_000)
    parser.add_argument("--requests", type=int, default=20)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    root = os.path.join(work, "www")
    folder = os.path.join(root, "download", "latest")
    make_folder(folder, args.files)
    shutil.copyfile(php_stack.DEFAULT_SCRIPT, os.path.join(folder, "filelist.json.php"))
    path = "/download/latest/filelist.json.php"
    print("load average before: %.2f %.2f %.2f (figures rise with it)" % os.getloadavg())

    try:
        with php_stack.serve_builtin(root, php_stack.free_port(), os.path.join(work, "php-server.log")) as server:
            times, body = time_requests(
                lambda: http.client.HTTPConnection("127.0.0.1", server.port, timeout=60), path, args.requests)
            report("php -S (no php.ini, no opcache)", times, body, args.files)
    except php_stack.Unavailable as missing:
        print(f"php -S: skipped, {missing}")

    try:
        ca = php_stack.make_test_ca(work)
        port = php_stack.free_port()
        with php_stack.serve_folder(folder, port, ca.cert, ca.key, os.path.join(work, "stack")):
            context = ssl.create_default_context(cafile=ca.ca_cert)
            times, body = time_requests(
                lambda: http.client.HTTPSConnection("127.0.0.1", port, timeout=60, context=context),
                path, args.requests)
            report("nginx TLS + php-fpm", times, body, args.files)
    except php_stack.Unavailable as missing:
        print(f"nginx + php-fpm: skipped, {missing}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
