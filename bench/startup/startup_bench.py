#!/usr/bin/env python3
"""Startup figures under Wine: the launcher from process start to Ready with a 1,000-entry manifest
from the loopback server, an empty dialog of ours from process start to shown, and a bare WinHTTP
fetch of the same manifest as a whole process (same Wine, same server, rounds taken in turn in one
run); where the launcher's time goes (a timeline from its process start to the window shown, the
server's accept, TLS handshake, request and reply, and Ready); the ratio launcher / (empty dialog +
bare fetch); and FillFileList for 10,000 entries. Prints figures; judges nothing.

Runs inside testbed/with-wine.sh (the benchmark's own prefix and X server)."""
import argparse
import json
import os
import shutil
import socket
import statistics
import subprocess
import threading
import time

from testbed import ca, test_port
from testbed.server import TestServer, port_lock
from testbed.wine import ensure_trusted, wine_binary as wine

PORT = test_port()
ENTRIES = 1000


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


class ServerClock:
    """Times, on the wall clock the timer's process starts are given in, of what the server does:
    each TLS connection accepted and its handshake done, and each manifest reply sent. Request
    arrival comes from the server's own request log."""

    def __init__(self, server):
        self.events = []
        self._lock = threading.Lock()
        listener = server.httpd.socket
        context = listener.context

        def get_request():
            raw, address = socket.socket.accept(listener)
            accepted = time.time()
            # The handshake runs on the accepting thread: a client that never finishes it must not
            # keep the next one waiting.
            raw.settimeout(5)
            connection = context.wrap_socket(raw, server_side=True, do_handshake_on_connect=False)
            connection.do_handshake()
            connection.settimeout(None)
            self._add("accepted", accepted)
            self._add("handshake done", time.time())
            return connection, address

        server.httpd.get_request = get_request
        for index, (method, path, prefix, handler) in enumerate(server.routes):
            if method == "GET" and path == "/download/latest/filelist.json.php" and not prefix:
                server.routes[index] = (method, path, prefix, self._timed(handler))
        self._server = server

    def _add(self, what, when):
        with self._lock:
            self.events.append((what, when * 1000.0))

    def _timed(self, handler):
        def timed(req, srv):
            handler(req, srv)
            self._add("reply sent", time.time())
        return timed

    def all_events(self):
        with self._lock:
            events = list(self.events)
        requests = [("request arrived", r["time"] * 1000.0) for r in self._server.requests()]
        return sorted(events + requests, key=lambda e: e[1])


EVENTS = ("accepted", "handshake done", "request arrived", "reply sent")


def attach_events(runs, events):
    """Gives each run the first server event of each kind between its start and the next start."""
    starts = [r["start_unix_ms"] for r in runs] + [float("inf")]
    for index, run in enumerate(runs):
        for what, when in events:
            if starts[index] <= when < starts[index + 1]:
                run.setdefault(what, when - starts[index])


def median_of(runs, key):
    values = [r[key] for r in runs if key in r and r[key] >= 0]
    return statistics.median(values) if values else float("nan")


def copy_into_wine_temp(exe):
    """A copy of the launcher in the Wine user's temporary folder, where its shortcut worker looks
    at the folder and does nothing else: the same program, with the shell and COM work left out."""
    out = subprocess.run([wine(), "cmd", "/c", "echo %TEMP%"], capture_output=True, text=True,
                         stdin=subprocess.DEVNULL).stdout.strip()
    unix = subprocess.run([wine(), "winepath", "-u", out], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL).stdout.strip()
    if not unix or not os.path.isdir(unix):
        return None
    target = os.path.join(unix, "QuorvelLauncher.exe")
    shutil.copyfile(exe, target)
    return target


def main():
    p = argparse.ArgumentParser()
    for name in ("--launcher", "--empty-dialog", "--timer", "--trust-ca", "--ca-dir"):
        p.add_argument(name, required=True)
    p.add_argument("--fill-bench")
    p.add_argument("--bare-fetch")
    p.add_argument("--fetch-stages", help="bench_fetch_stages.exe: the launcher's fetch, stage by stage")
    p.add_argument("--baseline", help="another build of the launcher, timed in the same rounds")
    p.add_argument("--runs", type=int, default=7)
    args = p.parse_args()
    subprocess.run([wine(), "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    certs = ca.ensure_ca(args.ca_dir)
    ensure_trusted(args.trust_ca, certs)
    body = manifest(ENTRIES)
    ready = "%d file(s) available" % ENTRIES
    url = "https://127.0.0.1:%d/download/latest/filelist.json.php" % PORT
    kinds = {"empty": [args.timer, args.empty_dialog, "--title", "Quorvel Empty Dialog"],
             "launcher": [args.timer, args.launcher, "--title", "Quorvel Launcher", "--status", ready,
                          "--shown-status", "Fetching"]}
    if args.bare_fetch:
        kinds["bare"] = [args.timer, args.bare_fetch, url]
    if args.baseline:
        kinds["baseline"] = [args.timer, args.baseline] + kinds["launcher"][2:]
    in_temp = copy_into_wine_temp(args.launcher)
    if in_temp:
        kinds["launcher in temp"] = [args.timer, in_temp] + kinds["launcher"][2:]
    runs = {kind: [] for kind in kinds}
    with port_lock(PORT):
        with TestServer(port=PORT, certfile=certs.server_pem, keyfile=certs.server_key) as server:
            clock = ServerClock(server)
            server.configure("manifest", {"body": body})
            for kind, command in kinds.items():
                run_json(command + ["--runs", "1"], kind + " warm-up")
            # One of each in turn, so a change in the machine's load touches all three alike.
            failures = []
            for _ in range(args.runs):
                for kind, command in kinds.items():
                    # A run that never reaches Ready is counted and shown, not timed.
                    try:
                        runs[kind].append(run_json(command + ["--runs", "1"], kind)[0])
                    except SystemExit as failure:
                        failures.append(str(failure))
            events = clock.all_events()
            stages = run_json([args.fetch_stages, "6"], "fetch stages") if args.fetch_stages else []
    for kind in runs:
        attach_events(runs[kind], events)
    empty, launcher = median_of(runs["empty"], "ms"), median_of(runs["launcher"], "ms")
    print("startup under Wine, median of %d rounds taken in turn (min..max):" % args.runs)

    def line(label, kind, key="ms"):
        values = [r[key] for r in runs[kind] if key in r and r[key] >= 0]
        if not values:
            print("  %-44s     n/a" % label)
            return
        print("  %-44s %7.1f ms  (%.1f..%.1f)" % (label, median_of(runs[kind], key), min(values), max(values)))

    line("empty dialog, start to shown:", "empty")
    if "bare" in runs:
        line("bare WinHTTP fetch, whole process:", "bare")
    line("launcher, start to Ready, %d entries:" % ENTRIES, "launcher")
    if "baseline" in runs:
        line("baseline launcher, start to Ready:", "baseline")
    floor = empty + median_of(runs["bare"], "ms") if "bare" in runs else None

    def timeline(kind, title):
        print("%s timeline, ms from process start (median; server times from its own log):" % title)
        fetching = sum(1 for r in runs[kind] if r["shown_status"])
        line("window shown (Fetching in %d of %d runs)" % (fetching, args.runs), kind, "shown_ms")
        for what in EVENTS:
            line("server: TCP connection " + what if what == "accepted" else "server: " + what, kind, what)
        line("Ready seen (list filled, count shown)", kind)
        line("its UI thread's longest busy spell began", kind, "longest_busy_at_ms")
        line("  and lasted (a status poll's wait)", kind, "longest_busy_ms")
        if floor is None:
            return
        ratio = median_of(runs[kind], "ms") / floor
        print("  ratio %s / (empty dialog + bare fetch): %7.2f   (target: at most 1.15, %s)" % (
            kind, ratio, "met" if ratio <= 1.15 else "not met"))
        # The same ratio round by round, to show its spread under the machine's load.
        pairs = [l["ms"] / (e["ms"] + b["ms"]) for l, e, b in zip(runs[kind], runs["empty"], runs["bare"])
                 if l["ms"] >= 0]
        print("  per round: %s" % " ".join("%.2f" % r for r in pairs))

    timeline("launcher", "launcher")
    if "baseline" in runs:
        timeline("baseline", "baseline launcher")
    if "bare" in runs:
        print("bare fetch timeline, ms from process start (median):")
        for what in EVENTS:
            line("server: TCP connection " + what if what == "accepted" else "server: " + what, "bare", what)
        line("process ended", "bare")
        print("  floor: empty dialog + bare fetch:             %7.1f ms" % floor)
    if "launcher in temp" in runs:
        print("the launcher run from the temporary folder, its shortcut worker idle (a diagnosis):")
        line("window shown", "launcher in temp", "shown_ms")
        line("server: request arrived", "launcher in temp", "request arrived")
        line("server: reply sent", "launcher in temp", "reply sent")
        line("Ready seen", "launcher in temp")
    if stages:
        print("the launcher's own fetch code, stage by stage in one process (first round cold, then warm median):")
        for key, label in (("open_ms", "open session and request"), ("send_receive_ms", "send, TLS, response head"),
                           ("read_body_ms", "read the body"), ("parse_ms", "HTML test and parse"),
                           ("close_ms", "close the handles")):
            warm = statistics.median(r[key] for r in stages[1:]) if len(stages) > 1 else float("nan")
            print("  %-44s %7.1f ms cold, %7.1f ms warm" % (label + ":", stages[0][key], warm))
    ratio = launcher / empty
    print("  ratio launcher / empty:                       %7.2f" % ratio)
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
    for failure in failures:
        print("failed run: %s" % failure.strip())
    load = open("/proc/loadavg").read().split()[:3] if os.path.exists("/proc/loadavg") else []
    print("load average while measuring: %s" % " ".join(load))


if __name__ == "__main__":
    main()
