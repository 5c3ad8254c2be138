#!/usr/bin/env python3
"""filelist.json.php under PHP's built-in server, over a folder of awkward real files.

Usage: test_builtin_server.py --script FILE --work DIR [--checker quorvel-manifest-check]
Exits 77 (skipped) with a reason when PHP's command-line program is missing.
"""
import argparse
import fcntl
import glob
import http.client
import json
import os
import shutil
import subprocess
import sys
import time
import urllib.parse

import download_folder
from testbed import checks, php_stack

SKIP = 77


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


def check_generator(fails, checker, folder, base):
    """The checker's --make writes the very bytes the script serves for the same folder and URL."""
    status, _, served = fetch(base + download_folder.FOLDER_PATH + "filelist.json.php")
    made = subprocess.run([checker, "--make", folder, "--base-url", base + download_folder.FOLDER_PATH],
                          capture_output=True, timeout=300)
    fails.check_eq(made.returncode, 0, f"--make exit code (stderr {made.stderr!r})")
    fails.check(made.stdout == served, f"--make output equals the served body:\n  made   {made.stdout[:300]!r}\n"
                                       f"  served {served[:300]!r}")
    fails.check(b"not valid UTF-8: bad%FF%20name.bin" in made.stderr, "--make names the file it left out")
    fails.check(b"in the future (it may still be arriving): " + download_folder.FUTURE_NAME.encode() in made.stderr,
                "--make names the future-dated file it left out")


def check_configured_cache(fails, server, log_path, cache_dir, private):
    """A configured cache folder that is a link, or open to others, is not used and is named in the
    log once per request; a private real folder is used."""
    url = server.base_url + "/proxied/download/latest/filelist.json.php"
    os.makedirs(private, mode=0o700)
    us = os.geteuid()

    def owned_by(uid):
        os.chmod(cache_dir, 0o700)
        os.chown(cache_dir, uid, -1)

    rows = [  # (what the configured path is, whether the cache is used there)
        ("a link to a private folder", lambda: os.symlink(private, cache_dir), False),
        ("a folder open to others", lambda: os.mkdir(cache_dir, 0o755), False),
        # Only root can give a folder away and still write into it, which is the case to refuse.
        ("a private folder owned by another account", lambda: owned_by(65534), False),
        ("a private folder", lambda: owned_by(us), True),
    ]
    if us != 0:
        print("note: not root, so the cache folder owned by another account is not tried")
        rows = [row for row in rows if "another account" not in row[0]]
    for what, make, used in rows:
        if os.path.islink(cache_dir):
            os.remove(cache_dir)
        make()
        with open(log_path, "rb") as f:
            before = f.read().count(b"not using " + cache_dir.encode())
        status, _, _ = fetch(url)
        fails.check_eq(status, 200, f"status with the cache folder {what}")
        with open(log_path, "rb") as f:
            named = f.read().count(b"not using " + cache_dir.encode()) - before
        fails.check_eq(named, 0 if used else 1, f"log lines naming the cache folder when it is {what}")
        written = glob.glob(os.path.join(private, "digests-*")) + glob.glob(os.path.join(cache_dir, "digests-*"))
        fails.check_eq(bool(written), used, f"a cache file written when the folder is {what}")


def check_signed_list(fails, server, folder):
    """An uploaded filelist.signed.json is the reply byte for byte, with the list's usual headers and
    revalidation; one that is not a readable regular file gets 503, never a list of the script's own;
    without one the script lists the folder again."""
    url = server.base_url + "/signed/download/latest/filelist.json.php"
    signed = os.path.join(folder, "filelist.signed.json")
    # Not even JSON the script could read: it must pass the bytes on untouched.
    body = (b'{"schema":"quorvel.download.v1","serial":7,"expires":"2030-01-01T00:00:00Z","files":[]}\n'
            b'{"quorvel-signature":"ecdsa-p256-sha256 0123456789abcdef ' + b"A" * 86 + b'=="}\n\xff\r\n')
    outside = os.path.join(os.path.dirname(folder), "outside.json")
    with open(outside, "wb") as f:
        f.write(body)

    def regular():
        with open(signed, "wb") as f:
            f.write(body)

    def unreadable():
        regular()
        os.chmod(signed, 0)

    rows = [  # (what stands under the name, how to make it, whether it is served)
        ("a regular file", regular, True),
        ("a link to a file", lambda: os.symlink(outside, signed), False),
        ("a folder", lambda: os.mkdir(signed), False),
        ("an unreadable file", unreadable, False),
    ]
    if os.geteuid() == 0:
        rows = [row for row in rows if row[0] != "an unreadable file"]  # root reads it all the same
    for what, make, served in rows:
        make()
        status, headers, got = fetch(url)
        if served:
            fails.check_eq((status, got), (200, body), f"the signed list served byte for byte from {what}")
            fails.check_eq((headers.get("cache-control"), headers.get("content-type")),
                           ("no-cache", "application/json; charset=utf-8"), "the signed list's headers")
            etag = headers.get("etag", "")
            status, again, got = fetch(url, extra_headers={"If-None-Match": etag})
            fails.check_eq((status, got, again.get("etag")), (304, b"", etag), "304 for the signed list's ETag")
            status, head, got = fetch(url, method="HEAD")
            fails.check_eq((status, got, head.get("etag")), (200, b"", etag), "HEAD of the signed list")
            status, _, _ = fetch(url, method="POST")
            fails.check_eq(status, 405, "POST with a signed list")
        else:
            fails.check_eq((status, headers.get("retry-after"), b"files" in got), (503, "5", False),
                           f"the reply when the signed list is {what}")
        if os.path.isdir(signed) and not os.path.islink(signed):
            os.rmdir(signed)
        else:
            os.remove(signed)
    status, _, got = fetch(url)
    fails.check_eq((status, [f["name"] for f in json.loads(got)["files"]]), (200, ["Setup 1.msi"]),
                   "without a signed list the folder is listed as before")


def check_hashing_wait(fails, server, cache_path):
    """While another request holds the cache's lock (hashing), a request that needs a digest waits
    a bounded time and then answers 503 with Retry-After."""
    with open(cache_path + ".lock", "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        start = time.monotonic()
        status, headers, _ = fetch(server.base_url + download_folder.FOLDER_PATH + "filelist.json.php")
        took = time.monotonic() - start
        fcntl.flock(lock, fcntl.LOCK_UN)
    fails.check_eq((status, headers.get("retry-after")), (503, "5"), "reply while another request hashes")
    fails.check(19 <= took < 40, f"the wait for another request's hashing took {took:.1f} s (about 20 s)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--checker")
    args = parser.parse_args()

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
    # Its digest cache is a configured folder, which must pass the default folder's checks.
    cache_dir = os.path.join(work, "configured-cache")
    configured = source.replace("const QUORVEL_BASE_URL = '';",
                                "const QUORVEL_BASE_URL = 'https://downloads.example.com/';")
    configured = configured.replace("const QUORVEL_DIGEST_CACHE_DIR = '';",
                                    f"const QUORVEL_DIGEST_CACHE_DIR = '{cache_dir}';")
    fails = checks.Checks(keep_going=True, quiet=True)
    fails.check(configured.count("downloads.example.com") == 1 and cache_dir in configured,
                "the script has QUORVEL_BASE_URL and QUORVEL_DIGEST_CACHE_DIR lines to configure")
    with open(os.path.join(proxied, "filelist.json.php"), "w", encoding="utf-8") as f:
        f.write(configured)
    # And a third folder, where the vendor uploads a signed list.
    signed = os.path.join(root, "signed", "download", "latest")
    for published in (proxied, signed):
        os.makedirs(published, exist_ok=True)
        with open(os.path.join(published, "Setup 1.msi"), "wb") as f:
            f.write(b"x")
        os.utime(os.path.join(published, "Setup 1.msi"), (download_folder.utc("2026-01-01T00:00:00Z"),) * 2)
    shutil.copyfile(args.script, os.path.join(signed, "filelist.json.php"))

    log_path = os.path.join(work, "php-server.log")
    temp_folder = os.path.join(work, "tmp")
    download_folder.seed_big_digest(download_folder.cache_file(temp_folder, folder), folder)
    try:
        server = php_stack.serve_builtin(root, php_stack.free_port(), log_path, temp_folder)
    except php_stack.Unavailable as missing:
        print(f"SKIP: {missing}")
        return SKIP
    try:
        download_folder.check_manifest_reply(fails, fetch, server.base_url, expected, args.checker)
        download_folder.check_downloads(fails, fetch, server.base_url, expected)

        # A forged Host header must not reach the URLs.
        status, _, body = fetch(server.base_url + "/download/latest/filelist.json.php",
                                extra_headers={"Host": 'evil.example/"><x'})
        fails.check_eq(status, 200, "status with a forged Host")
        urls = [f["url"] for f in json.loads(body)["files"]]
        fails.check(all(u.startswith(f"http://127.0.0.1:{server.port}/download/latest/") for u in urls),
                    f"forged Host kept out of the URLs: {urls[:1]}")

        # A request path never picks the folder: query strings and extra segments change nothing.
        status, _, queried = fetch(server.base_url + "/download/latest/filelist.json.php?dir=../..&path=/etc")
        fails.check_eq(status, 200, "status with a query")
        fails.check_eq(json.loads(queried)["files"], json.loads(body)["files"], "a query changes nothing")

        # A file written just now may be an upload still in progress: it stays out of the list.
        with open(os.path.join(proxied, "Setup 2.msi"), "wb") as f:
            f.write(b"half an upl")
        status, _, body = fetch(server.base_url + "/proxied/download/latest/filelist.json.php")
        fails.check_eq(status, 200, "status with a configured base URL")
        fails.check_eq([f["url"] for f in json.loads(body)["files"]],
                    ["https://downloads.example.com/proxied/download/latest/Setup%201.msi"],
                    "URLs from the configured base URL, without the file modified just now")
        check_configured_cache(fails, server, log_path, cache_dir, os.path.join(work, "private"))
        check_signed_list(fails, server, signed)

        # Without the 5 GiB file from here on, which the generator would hash each time.
        os.rename(os.path.join(folder, download_folder.BIG_NAME), os.path.join(work, download_folder.BIG_NAME))
        expected = [e for e in expected if e["name"] != download_folder.BIG_NAME]
        if args.checker:
            check_generator(fails, args.checker, folder, server.base_url)
        download_folder.check_digest_cache(fails, fetch, server.base_url,
                                           download_folder.cache_file(temp_folder, folder), folder, expected)
        check_hashing_wait(fails, server, download_folder.cache_file(temp_folder, folder))
    finally:
        server.stop()

    with open(log_path, "rb") as f:
        log = f.read()
    fails.check(b"not valid UTF-8: bad%FF%20name.bin" in log,
                "the file whose name is not UTF-8 is logged with error_log")
    fails.check(b"PHP Warning" not in log and b"PHP Notice" not in log, "no PHP warnings in the log")

    if fails.failures:
        print(f"{len(fails.failures)} check(s) failed; server log: {log_path}")
        return 1
    print(f"ok: {len(expected)} files listed and downloaded through php -S")
    shutil.rmtree(work, ignore_errors=True)  # kept only when something failed
    return 0


if __name__ == "__main__":
    sys.exit(main())
