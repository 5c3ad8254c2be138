#!/usr/bin/env python3
"""filelist.json.php deployed as a vendor runs it: nginx with TLS in front of PHP-FPM, on loopback,
checked with curl against a throwaway CA.

Usage: test_nginx_stack.py --work DIR [--checker quorvel-manifest-check]
Exits 77 (skipped) with a reason when PHP-FPM, nginx, openssl or curl is missing.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import download_folder
from testbed import ca, checks, php_stack

SKIP = 77


class Curl:
    """Fetches through curl, trusting only the test CA and speaking TLS 1.2 only, as the launcher."""

    def __init__(self, ca_cert, scratch):
        self.ca_cert = ca_cert
        self.scratch = scratch

    def __call__(self, url, method="GET", extra_headers=None, byte_range=None):
        head_file = os.path.join(self.scratch, "head")
        body_file = os.path.join(self.scratch, "body")
        for old in (head_file, body_file):  # curl writes no body file for a reply without a body
            if os.path.exists(old):
                os.remove(old)
        command = ["curl", "--silent", "--show-error", "--cacert", self.ca_cert,
                   "--tlsv1.2", "--tls-max", "1.2", "--max-time", "120",
                   "--dump-header", head_file]
        if method == "HEAD":
            command += ["--head", "--output", os.devnull]  # curl reads no body after a HEAD
        else:
            command += ["--output", body_file]
        if method not in ("GET", "HEAD"):
            command += ["--request", method]
        for name, value in (extra_headers or {}).items():
            command += ["--header", f"{name}: {value}"]
        if byte_range:
            command += ["--range", byte_range]
        result = subprocess.run(command + [url], capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"curl {method} {url} failed: {result.stderr.strip()}")
        with open(head_file, "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        headers = {}
        for line in lines[1:]:
            if ":" in line:
                name, value = line.split(":", 1)
                headers[name.strip().lower()] = value.strip()
        if method == "HEAD":
            return status, headers, b""
        if not os.path.exists(body_file):
            return status, headers, b""
        with open(body_file, "rb") as f:
            body = f.read()
        return status, headers, body


def readme_shows_the_tested_block(fails):
    """The block the README tells vendors to use is the one this test runs (comments aside)."""
    def lines(path):
        with open(path, encoding="utf-8") as f:
            return [l.strip() for l in f if l.strip() and not l.strip().startswith("#")]
    block = lines(php_stack.VENDOR_BLOCK)
    readme = lines(os.path.join(php_stack.SOURCE_ROOT, "README.md"))
    starts = [i for i, line in enumerate(readme) if line == block[0]]
    fails.check(any(readme[i:i + len(block)] == block for i in starts),
                "README.md shows server/nginx-download.conf as it stands")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--checker")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    for tool in ("curl", "openssl"):
        if not shutil.which(tool):
            print(f"SKIP: {tool} is not installed (Debian package {tool})")
            return SKIP
    try:
        php_stack.find_php_fpm()
        php_stack.find_nginx()
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
    except php_stack.Unavailable as missing:
        print(f"SKIP: {missing}")
        return SKIP

    certs = ca.ensure_ca(os.path.join(work, "tls"))
    folder = os.path.join(work, "published")
    expected = download_folder.build(folder, php_stack.DEFAULT_SCRIPT)
    fails = checks.Checks(keep_going=True, quiet=True)
    readme_shows_the_tested_block(fails)
    port = php_stack.free_port()
    scratch = tempfile.mkdtemp(dir=work)
    fetch = Curl(certs.ca_pem, scratch)
    with php_stack.serve_folder(folder, port, certs.server_pem, certs.server_key, os.path.join(work, "stack")) as stack:
        base = stack.base_url
        download_folder.seed_big_digest(download_folder.cache_file(stack.temp_folder, folder), folder)
        download_folder.check_manifest_reply(fails, fetch, base, expected, args.checker)
        download_folder.check_downloads(fails, fetch, base, expected, ranges=True)
        download_folder.check_digest_cache(fails, fetch, base, download_folder.cache_file(stack.temp_folder, folder),
                                           folder, expected)

        # The vendor block keeps hidden files and other scripts private.
        for path in ("/download/latest/.hidden.msi", "/download/latest/.htaccess"):
            status, _, _ = fetch(base + path)
            fails.check_eq(status, 404, f"status of {path}")

        # TLS is checked for real: a client trusting another CA is refused (curl: 60).
        stranger = ca.ensure_ca(os.path.join(work, "other-ca"), "Quorvel Untrusted CA")
        refused = subprocess.run(["curl", "--silent", "--output", os.devnull,
                                  "--cacert", stranger.ca_pem, stack.manifest_url])
        fails.check_eq(refused.returncode, 60, "curl trusting another CA is refused")

        log_path = stack.php_error_log

    try:
        with open(log_path, "rb") as f:
            log = f.read()
    except FileNotFoundError:
        log = b""
    fails.check(b"not valid UTF-8: bad%FF%20name.bin" in log,
                f"the file whose name is not UTF-8 is logged by PHP-FPM ({log_path})")

    if fails.failures:
        print(f"{len(fails.failures)} check(s) failed; logs in {os.path.join(work, 'stack', 'logs')}")
        return 1
    print(f"ok: {len(expected)} files listed and downloaded through nginx (TLS 1.2) and PHP-FPM")
    shutil.rmtree(work, ignore_errors=True)  # kept only when something failed
    return 0


if __name__ == "__main__":
    sys.exit(main())
