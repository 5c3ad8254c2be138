#!/usr/bin/env python3
"""Runs one Windows download test program under Wine against its own loopback HTTPS test server.

    run_with_server.py --exe PROGRAM --trust-exe TRUST_CA --ca-dir DIR [--filter NAME] [--small-disk]

The server listens on a free port, whose base URL reaches the program as QUORVEL_DOWNLOAD_BASE; the
same routes over plain HTTP on another free port come as QUORVEL_DOWNLOAD_PLAIN_BASE.
--small-disk mounts a 1 MiB tmpfs for the program to fill (QUORVEL_DOWNLOAD_SMALL_DIR); it needs
root and exits 77 (skipped) with the reason when it can't mount.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from testbed import ca, wine
from testbed.server import TestServer

SKIPPED = 77


def mount_small_disk(parent):
    if os.geteuid() != 0:
        print("skipped: mounting a small tmpfs needs root", file=sys.stderr)
        sys.exit(SKIPPED)
    folder = tempfile.mkdtemp(prefix="small-disk-", dir=parent)
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", folder],
                            capture_output=True, text=True)
    if result.returncode != 0:
        os.rmdir(folder)
        print(f"skipped: cannot mount a tmpfs here: {result.stderr.strip()}", file=sys.stderr)
        sys.exit(SKIPPED)
    return folder


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--trust-exe", required=True)
    parser.add_argument("--ca-dir", required=True)
    parser.add_argument("--filter")
    parser.add_argument("--small-disk", action="store_true")
    args = parser.parse_args()

    env = dict(os.environ)
    small = None
    if args.small_disk:
        small = mount_small_disk(os.path.dirname(os.path.abspath(args.exe)))
        env["QUORVEL_DOWNLOAD_SMALL_DIR"] = "Z:" + small.replace("/", "\\")
    try:
        certs = ca.ensure_ca(args.ca_dir)
        wine.ensure_trusted(args.trust_exe, certs)
        with TestServer(port=0, certfile=certs.server_pem, keyfile=certs.server_key) as server, \
                TestServer(port=0) as plain:
            env["QUORVEL_DOWNLOAD_BASE"] = server.base_url
            env["QUORVEL_DOWNLOAD_PLAIN_BASE"] = plain.base_url
            command = [wine.wine_binary(), args.exe] + ([args.filter] if args.filter else [])
            return subprocess.run(command, env=env).returncode
    finally:
        if small:
            subprocess.run(["umount", small])
            os.rmdir(small)


if __name__ == "__main__":
    sys.exit(main())
