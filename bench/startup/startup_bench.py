#!/usr/bin/env python3
"""Startup figures under Wine: the launcher from process start to Ready with a 1,000-entry manifest
from the loopback server, an empty dialog of ours from process start to shown (same Wine, same run),
their ratio, and FillFileList for 10,000 entries. Prints figures; judges nothing.

Runs inside tools/testbed/with-wine.sh (the benchmark's own prefix and X server)."""
import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools", "test_server"))
import ca  # noqa: E402
import wine_trust  # noqa: E402
from server import TestServer, port_lock  # noqa: E402

PORT = 47443
ENTRIES = 1000


def wine():
    return os.environ.get("QUORVEL_WINE") or "wine64"


def run_json(args, what):
    out = subprocess.run([wine(), *args], capture_output=False, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, text=True, timeout=900)
    lines = [json.loads(line) for line in out.stdout.splitlines() if line.startswith("{")]
    if out.returncode != 0 or not lines:
        raise SystemExit("%s failed (%d): %s" % (what, out.returncode, out.stdout))
    return lines


def manifest(count):
    files = [{"name": "QuorvelSetup-%04d.msi" % i,
              "url": "https://127.0.0.1:%d/files/body/%d/QuorvelSetup-%04d.msi" % (PORT, 1000 + i, i),
              "size": 1000 + i * 4096, "modified_at": "2026-%02d-%02dT10:%02d:00Z" % (
                  1 + i % 12, 1 + i % 28, i % 60), "ext": "msi"} for i in range(count)]
    return json.dumps({"schema": "quorvel.download.v1", "files": files})


def main():
    p = argparse.ArgumentParser()
    for name in ("--launcher", "--empty-dialog", "--timer", "--trust-ca", "--ca-dir"):
        p.add_argument(name, required=True)
    p.add_argument("--fill-bench")
    p.add_argument("--runs", type=int, default=7)
    args = p.parse_args()
    subprocess.run([wine(), "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    certs = ca.ensure_ca(args.ca_dir)
    wine_trust.ensure_trusted(args.trust_ca, certs)
    body = manifest(ENTRIES)
    ready = "%d file(s) available" % ENTRIES
    with port_lock(PORT):
        with TestServer(port=PORT, certfile=certs.server_pem, keyfile=certs.server_key) as server:
            server.configure("manifest", {"body": body})
            empty_args = [args.timer, args.empty_dialog, "--title", "Quorvel Empty Dialog"]
            launcher_args = [args.timer, args.launcher, "--title", "Quorvel Launcher",
                             "--status", ready]
            run_json(empty_args + ["--runs", "1"], "empty dialog warm-up")
            run_json(launcher_args + ["--runs", "1"], "launcher warm-up")
            empty = run_json(empty_args + ["--runs", str(args.runs)], "empty dialog")[-1]
            launcher = run_json(launcher_args + ["--runs", str(args.runs)], "launcher")[-1]
    print("startup under Wine, median of %d runs (min..max):" % args.runs)
    print("  empty dialog shown:          %7.1f ms  (%.1f..%.1f)" % (
        empty["median_ms"], empty["min_ms"], empty["max_ms"]))
    print("  launcher Ready, %d entries: %7.1f ms  (%.1f..%.1f)" % (
        ENTRIES, launcher["median_ms"], launcher["min_ms"], launcher["max_ms"]))
    ratio = launcher["median_ms"] / empty["median_ms"]
    print("  ratio launcher / empty:      %7.2f   (target: at most 1.20, %s)" % (
        ratio, "met" if ratio <= 1.2 else "not met"))
    print("  manifest: %d bytes over HTTPS from 127.0.0.1:%d" % (len(body), PORT))
    if args.fill_bench:
        results = [r for r in run_json([args.fill_bench], "FillFileList benchmark")
                   if "median_ms" in r]
        labels = {"plain": "as the dialog calls it", "redraw_off": "with WM_SETREDRAW off around it",
                  "hidden": "with the list hidden"}
        for fill in sorted(results, key=lambda r: r["variant"] != "plain"):
            verdict = ""
            if fill["variant"] == "plain":
                verdict = ", target under 100 ms: %s" % ("met" if fill["median_ms"] < 100 else "not met")
            print("FillFileList, %d entries, %-32s median %8.1f ms (%.1f..%.1f), %d rows%s" % (
                fill["entries"], labels.get(fill["variant"], fill["variant"]) + ":",
                fill["median_ms"], fill["min_ms"], fill["max_ms"], fill["rows"], verdict))
    else:
        print("FillFileList: benchmark not built (the list code is not in this tree)")
    load = open("/proc/loadavg").read().split()[:3] if os.path.exists("/proc/loadavg") else []
    print("load average while measuring: %s" % " ".join(load))


if __name__ == "__main__":
    main()
