"""Time from a finished download to the started program, for a signed launcher (which checks the
program's signature first, and in a fresh process its own) and for the same launcher unsigned
(which checks nothing), with one program of the largest size a download may have (512 MiB, less
room for its signature) signed by the launcher's publisher. "Finished" is the downloaded file's last
write; "started" is the time the recorder notes as it starts. The rounds alternate the launchers,
each round starting with the next one; each run is a fresh launcher process, and its download is
deleted after it. With QUORVEL_BASELINE=path/to/QuorvelLauncher.exe another build is timed, signed
and unsigned, in the same rounds, so a before and after share one load. QUORVEL_BENCH_BYTES sets
another size. Prints each round and the medians. Run under the test bed, from build/win:

  QUORVEL_TESTBED=$PWD/testbed-bench PYTHONPATH=../.. ../../testbed/with-wine.sh --xvfb \\
    python3 ../../bench/download/signed_launch.py --artefacts bench-artefacts --root ../.. \\
    --probe tests/programs/window_probe/window_probe.exe --launcher QuorvelLauncher.exe \\
    --trust-ca tests/programs/trust_ca/trust_ca.exe --ca-dir test-ca --recorder tests/programs/recorder/quorvel_recorder.exe
"""
import os
import shutil
import statistics
import subprocess

from testbed import ca, probe, scenario, steps, wine, world
from testbed.checks import poll

BYTES = int(os.environ.get("QUORVEL_BENCH_BYTES", str(512 * 1024 * 1024 - 64 * 1024)))
ROUNDS = int(os.environ.get("QUORVEL_ROUNDS", "5"))
NAME = "Big Signed.exe"
FILETIME_UNIX_OFFSET = 11644473600


def signed(t, source, name, signer, pad_to=None):
    path = shutil.copy(source, t.artefact(name))
    if pad_to:
        with open(path, "ab") as f:
            f.write(b"\0" * (pad_to - os.path.getsize(path)))
    subprocess.run([os.path.join(t.args.root, "tools", "release", "sign.sh"), path],
                   env=ca.sign_env(signer), check=True, timeout=300, stdout=subprocess.DEVNULL)
    return path


def one_round(t, w, kind, exe, entries):
    t.probe.watched = None
    launcher = w.start_launcher("launcher-%s.log" % kind.replace(" ", "-"), exe=exe)
    state = steps.wait_ready(t, entries)
    x, y = probe.row_center(state, 0)
    before = set(w.downloaded(NAME))
    t.screen.double_click(x, y)
    landed = poll(lambda: set(w.downloaded(NAME)) - before, "the download to be kept", 300).pop()
    record = steps.read_record(landed + ".record", 300)
    launcher.wait_exit("the launcher to close", 60)
    started = int(record["time"]) / 1e7 - FILETIME_UNIX_OFFSET
    seconds = started - os.path.getmtime(landed)
    # 512 MiB a round would fill the disk; the next round downloads it anew.
    os.remove(landed)
    return seconds


def body(t):
    signer = ca.make_signer(t.artefact("signing-ca"))
    wine.ensure_trusted(t.args.trust_ca, signer)
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    launchers = {"signed": signed(t, t.args.launcher, "QuorvelLauncher.exe", signer),
                 "unsigned": t.args.launcher}
    baseline = os.environ.get("QUORVEL_BASELINE")
    if baseline:
        os.makedirs(t.artefact("baseline"), exist_ok=True)
        launchers["baseline signed"] = signed(t, baseline, os.path.join("baseline", "QuorvelLauncher.exe"), signer)
        launchers["baseline unsigned"] = baseline
    w.add_file(NAME, source=signed(t, t.args.recorder, "big.exe", signer, pad_to=BYTES))
    entries = w.publish()
    times = {kind: [] for kind in launchers}
    kinds = list(launchers)
    for i in range(ROUNDS):
        # Each round starts with the next launcher, so none always runs first after a deletion.
        for kind in kinds[i % len(kinds):] + kinds[:i % len(kinds)]:
            exe = launchers[kind]
            seconds = one_round(t, w, kind, exe, entries)
            times[kind].append(seconds)
            t.log("round %d, %s launcher: %.3f s from download complete to launch" % (i + 1, kind, seconds))
    for kind, values in times.items():
        t.log("%s launcher: median %.3f s over %d rounds (%s)" % (
            kind, statistics.median(values), len(values), ", ".join("%.3f" % v for v in values)))


if __name__ == "__main__":
    scenario.run("signed_launch_bench", body)
