"""Time to Ready (or to the error), time from Esc to the end of the process, and the launcher's peak
memory for the two largest manifests a server can send within the limits. A scenario under Wine:

    QUORVEL_TESTBED=build/testbed-bench testbed/with-wine.sh --xvfb \\
      env PYTHONPATH=. QUORVEL_TEST_PORT=47443 python3 bench/startup/large_manifest_bench.py --artefacts build/bench-large \\
      --launcher build/win/QuorvelLauncher.exe --probe build/win/tests/programs/window_probe/window_probe.exe \\
      --trust-ca build/win/tests/programs/trust_ca/trust_ca.exe --ca-dir build/test-ca [--rounds N] [--baseline EXE]

Times are measured by polling the window every 0.2 s from here, so each is up to a poll late.
"""
import argparse
import time

from testbed import large_manifests, scenario, world


def peak_rss_mib(pid):
    """The process's peak resident memory (the Linux process is the Windows one)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return None


def one_round(t, w, exe, want, log_name):
    start = time.monotonic()
    launcher = w.start_launcher(log_name, exe=exe)
    t.probe.watched = launcher
    state = t.probe.wait(lambda s: s["status"].get("text") == want or s["status"].get("error"), "the end state",
                         300, rows=0)
    settled = time.monotonic() - start
    peak = peak_rss_mib(launcher.process.pid)
    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("Escape")
    pressed = time.monotonic()
    while not launcher.exited():
        peak = peak_rss_mib(launcher.process.pid) or peak
        if time.monotonic() - pressed > 300:
            break
        time.sleep(0.05)
    gone = time.monotonic() - pressed
    launcher.stop()
    return settled, gone, peak, state["list"]["count"]


def body(t, rounds, baseline):
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    cases = [("10,000 long entries (%.1f MiB)", large_manifests.longest_entries(world.PORT),
              world.ready_text(large_manifests.MAX_ENTRIES)),
             ("16 MiB of minimal entries (%.1f MiB)", large_manifests.minimal_entries(),
              large_manifests.TOO_MANY_TEXT)]
    for index, (label, text, want) in enumerate(cases):
        # The baseline is given the long entries only: before the bound, the minimal ones took
        # minutes and gigabytes.
        builds = [("this build", t.args.launcher)] + ([("baseline", baseline)] if baseline and index == 0 else [])
        w.serve_manifest({"body": text})
        label = label % (len(text.encode()) / 1048576.0)
        for build, exe in builds:
            for n in range(rounds):
                settled, gone, peak, rows = one_round(t, w, exe, want, "launcher-%s-%d.log" % (build, n))
                print("%s, %s, round %d: %s at %.2f s, %d rows; exit %.2f s after Esc; peak memory %.0f MiB" % (
                    label, build, n + 1, "Ready" if rows else "the error", settled, rows, gone, peak or -1),
                    flush=True)
                if settled > 300 or gone > 300:
                    return


if __name__ == "__main__":
    own = argparse.ArgumentParser()
    own.add_argument("--rounds", type=int, default=3)
    own.add_argument("--baseline", help="another build of QuorvelLauncher.exe, timed in the same rounds")
    args, rest = own.parse_known_args()
    scenario.run("large_manifest_bench", lambda t: body(t, args.rounds, args.baseline), rest)
