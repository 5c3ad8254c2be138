"""A downloaded launcher takes over from the running one, which runs from a folder that also holds
planted DLLs and programs (cmd.exe, ping.exe among them), with its current directory in another:
- relaunch: the entry bears the running file's own name, so the running launcher closes and about
  a second later the hidden interpreter starts the downloaded copy;
- hand-over (--running-as "QuorvelLauncher (2).exe", a browser's name for a second download): the
  names differ, so the downloaded copy is opened at once while the old one is still closing.
Either way the new copy comes up with its own list and is not turned away by the single-instance
guard, although Wine here takes about two seconds to destroy the closing launcher's window (Xvfb
has no window manager); and nothing planted runs."""
import argparse
import glob
import os
import re
import time

from testbed import probe, scenario, steps, world

OWN_NAME = "QuorvelLauncher.exe"
# A copy started from a download folder of its own: ...\QuorvelLauncher\<stamp>-<hex>\QuorvelLauncher.exe
DOWNLOADED_COPY = re.compile(r"\\QuorvelLauncher\\\d{8}_\d{6}-[0-9a-f]{8}\\" + re.escape(OWN_NAME), re.I)


def process_command_lines():
    """Command lines of the processes of this test bed's prefix (other work trees run Wine too)."""
    mine = ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode()
    lines = []
    for folder in glob.glob("/proc/[0-9]*"):
        try:
            with open(folder + "/environ", "rb") as f:
                if mine not in f.read().split(b"\0"):
                    continue
            with open(folder + "/cmdline", "rb") as f:
                lines.append(f.read().replace(b"\0", b" ").decode("utf-8", "replace"))
        except OSError:
            pass
    return lines


def body(t, running_name):
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    newer = w.add_file(OWN_NAME, source=w.launcher_exe, modified_at="2026-09-01T00:00:00Z")
    w.add_file("Other.txt", data=b"other", modified_at="2026-01-01T00:00:00Z")
    entries = w.publish()

    old, planted = w.start_planted_launcher(running_name, "old.log")
    state = steps.wait_ready(t, entries)
    old_pid = state["pid"]
    x, y = probe.row_center(state, 0)
    t.screen.double_click(x, y)
    # Watch the processes: when the copy starts and when the old launcher has ended.
    t.probe.watched = None  # the new copy is not a process of ours
    started_at = old_exit_at = None
    begin = time.monotonic()
    while time.monotonic() - begin < 60 and (started_at is None or old_exit_at is None):
        now = time.monotonic() - begin
        if started_at is None:
            copies = [c for c in process_command_lines() if DOWNLOADED_COPY.search(c)]
            if copies:
                started_at = now
                t.log("the copy runs as: %s" % copies[0].strip()[:300])
        if old_exit_at is None and old.exited():
            old_exit_at = now
        time.sleep(0.02)
    t.log("copy started %s s, old launcher ended %s s after the double-click" % (
        started_at and round(started_at, 2), old_exit_at and round(old_exit_at, 2)))
    t.check(old_exit_at is not None, "the running launcher closed after the download")
    t.check(started_at is not None, "the downloaded copy was started")
    state = t.probe.wait(lambda s: s["pid"] != old_pid and
                         steps.status(s) == world.ready_text(len(entries)),
                         "the downloaded launcher's own list", 60)
    t.screen.screenshot("1-taken-over")
    t.check_eq(len(w.manifest_requests()), 2, "the new copy fetched the manifest itself")
    landed = w.downloaded(newer["name"])
    t.check_eq(len(landed), 1, "the new copy was downloaded into a folder of its own")
    folder = os.path.basename(os.path.dirname(landed[0]))
    t.check([c for c in process_command_lines() if folder + "\\" + OWN_NAME in c],
            "a process runs from the downloaded file in %s" % folder)
    t.check_eq(w.planted_traces(planted), [], "nothing planted was loaded or started")
    if running_name == OWN_NAME:
        # The copy bears the entry's name itself, so an update downloaded from it relaunches too.
        x, y = probe.row_center(state, 0)
        t.screen.double_click(x, y)
        copy_pid = state["pid"]
        state = t.probe.wait(lambda s: s["pid"] not in (old_pid, copy_pid) and
                             steps.status(s) == world.ready_text(len(entries)),
                             "the copy's own update to take over in turn", 90)
        t.check_eq(len(w.downloaded(newer["name"])), 2, "each update has a folder of its own")

    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("alt+F4")
    t.probe.wait_gone("the new copy to close", 30)


if __name__ == "__main__":
    variant = argparse.ArgumentParser(add_help=False)
    variant.add_argument("--running-as", default=OWN_NAME)
    known, rest = variant.parse_known_args()
    scenario.run("relaunch" if known.running_as == OWN_NAME else "handover",
                 lambda t: body(t, known.running_as), rest)
