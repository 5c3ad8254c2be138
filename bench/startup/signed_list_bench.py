#!/usr/bin/env python3
"""What a signed list costs the user: the time from the last byte of the list leaving the server to
Ready, for the launcher without list keys reading the list unsigned, and for the launcher that pins
the test build's throwaway keys reading it signed (the vendor's 1,000-entry list of the start-up
benchmark, rounds taken in turn). Every run is a fresh process, so the verification's first use
(loading CNG, the key ids, the registry) is in each; every signed round carries a new serial, so
the launcher also writes what it remembers. Prints figures; judges nothing.

Runs inside testbed/with-wine.sh, with a test build (build/win) configured with -DQUORVEL_BENCH=ON
for the timer:

    QUORVEL_TESTBED=build/testbed-bench testbed/with-wine.sh --xvfb python3 bench/startup/signed_list_bench.py \\
        --launcher build/win/QuorvelLauncher.exe --pinned-launcher build/win/tests/e2e/pinned/QuorvelLauncher.exe \\
        --list-keys build/win/test-list-keys --timer build/win/bench/startup/startup_timer.exe \\
        --trust-ca build/win/tests/programs/trust_ca/trust_ca.exe --ca-dir build/test-ca
"""
import argparse
import json
import os
import statistics

from startup_bench import ENTRIES, PORT, ServerClock, attach_events, manifest, run_json
from testbed import ca, signed_lists
from testbed.server import TestServer, port_lock
from testbed.wine import ensure_trusted


def main():
    p = argparse.ArgumentParser()
    for name in ("--launcher", "--pinned-launcher", "--list-keys", "--timer", "--trust-ca", "--ca-dir"):
        p.add_argument(name, required=True)
    p.add_argument("--runs", type=int, default=5)
    args = p.parse_args()
    certs = ca.ensure_ca(args.ca_dir)
    ensure_trusted(args.trust_ca, certs)
    signing = signed_lists.load_key(args.list_keys, "signing")
    files = json.loads(manifest(ENTRIES))["files"]
    ready = "%d file(s) available" % ENTRIES
    timed = ["--title", "Quorvel Launcher", "--status", ready, "--runs", "1"]
    signed_lists.forget()
    serial = [10 ** 9]

    def unsigned():
        return signed_lists.document(files, serial[0], signed_lists.in_days(30))

    def signed():
        serial[0] += 1
        return signed_lists.sign(signed_lists.document(files, serial[0], signed_lists.in_days(30)), signing)

    kinds = {"no list keys, unsigned list": (args.launcher, unsigned),
             "list keys pinned, signed list": (args.pinned_launcher, signed)}
    runs = {kind: [] for kind in kinds}
    with port_lock(PORT):
        with TestServer(port=PORT, certfile=certs.server_pem, keyfile=certs.server_key) as server:
            clock = ServerClock(server)
            for kind, (exe, body) in kinds.items():
                server.configure("manifest", {"body_hex": body().hex()})
                run_json([args.timer, exe] + timed, kind + " warm-up")
            # In turn, each round in the other order, so neither kind always follows the other.
            for round_ in range(args.runs):
                for kind, (exe, body) in (list(kinds.items()) if round_ % 2 == 0 else list(kinds.items())[::-1]):
                    server.configure("manifest", {"body_hex": body().hex()})
                    runs[kind].append(run_json([args.timer, exe] + timed, kind)[0])
            events = clock.all_events()
    print("from the list's last byte to Ready under Wine, %d entries, median of %d rounds (min..max):" % (
        ENTRIES, args.runs))
    for kind in kinds:
        attach_events(runs[kind], events)
        spans = [r["ms"] - r["reply sent"] for r in runs[kind] if r["ms"] >= 0 and "reply sent" in r]
        print("  %-32s %7.1f ms  (%.1f..%.1f)  rounds: %s" % (
            kind + ":", statistics.median(spans), min(spans), max(spans), " ".join("%.1f" % s for s in spans)))
        starts = [r["ms"] for r in runs[kind] if r["ms"] >= 0]
        print("  %-32s %7.1f ms" % ("  process start to Ready:", statistics.median(starts)))
    print("  what the launcher remembers afterwards: %s" % signed_lists.remembered())
    load = open("/proc/loadavg").read().split()[:3] if os.path.exists("/proc/loadavg") else []
    print("load average while measuring: %s" % " ".join(load))


if __name__ == "__main__":
    main()
