"""Time from a finished download to the started program, for a signed launcher (which checks the
program's signature first, and in a fresh process its own) and for the same launcher unsigned
(which checks nothing), with one 100 MiB program signed by the launcher's publisher
(QUORVEL_BENCH_MIB sets another size; 512 takes the largest the launcher downloads;
QUORVEL_BASELINE=path/to/QuorvelLauncher.exe adds another build, signed too, to the same rounds). "Finished"
is the downloaded file's last write; "started" is the time the recorder notes as it starts. The
rounds alternate the two launchers; each round is a fresh launcher process. Prints each round and
the medians. Run under the test bed, from build/win:

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

LIMIT = 512 * 1024 * 1024
# Its signature must still leave the signed program within the launcher's limit.
BYTES = min(int(os.environ.get("QUORVEL_BENCH_MIB", "100")) * 1024 * 1024, LIMIT - 65536)
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


def one_round(t, w, exe, entries):
    t.probe.watched = None
    launcher = w.start_launcher("launcher-%s.log" % os.path.basename(exe), exe=exe)
    state = steps.wait_ready(t, entries)
    x, y = probe.row_center(state, 0)
    before = set(w.downloaded(NAME))
    t.screen.double_click(x, y)
    landed = poll(lambda: set(w.downloaded(NAME)) - before, "the download to be kept", 300).pop()
    record = steps.read_record(landed + ".record", 300)
    launcher.wait_exit("the launcher to close", 60)
    started = int(record["time"]) / 1e7 - FILETIME_UNIX_OFFSET
    return started - os.path.getmtime(landed)


def body(t):
    signer = ca.make_signer(t.artefact("signing-ca"))
    wine.ensure_trusted(t.args.trust_ca, signer)
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    launchers = {"signed": signed(t, t.args.launcher, "QuorvelLauncher.exe", signer),
                 "unsigned": t.args.launcher}
    baseline = os.environ.get("QUORVEL_BASELINE")
    if baseline:  # another build, signed the same way, timed in the same rounds
        launchers["baseline signed"] = signed(t, baseline, "QuorvelLauncher-baseline.exe", signer)
    w.add_file(NAME, source=signed(t, t.args.recorder, "big.exe", signer, pad_to=BYTES))
    entries = w.publish()
    times = {kind: [] for kind in launchers}
    for i in range(ROUNDS):
        for kind, exe in launchers.items():
            seconds = one_round(t, w, exe, entries)
            times[kind].append(seconds)
            t.log("round %d, %s launcher: %.3f s from download complete to launch" % (i + 1, kind, seconds))
    for kind, values in times.items():
        t.log("%s launcher: median %.3f s over %d rounds (%s)" % (
            kind, statistics.median(values), len(values), ", ".join("%.3f" % v for v in values)))


if __name__ == "__main__":
    scenario.run("signed_launch_bench", body)
