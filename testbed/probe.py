"""Reads a window's state across the process boundary with window_probe.exe: its own controls, as
JSON. Every wait polls with a deadline; nothing sleeps for a fixed time hoping a state has come."""
import json
import os
import subprocess
import tempfile

from testbed.checks import Failure, poll
from testbed.wine import wine_binary

LAUNCHER_TITLE = "Quorvel Launcher"


class Probe:
    """Reads a window's state with window_probe.exe."""

    def __init__(self, probe_exe, title=LAUNCHER_TITLE):
        self.probe_exe = probe_exe
        self.title = title
        self.last = None
        self.watched = None  # a Program whose early exit ends any wait at once

    def state(self, rows=200):
        # Output through a file, not a pipe: Wine's helper processes may inherit a pipe and hold
        # it open long after the probe has ended.
        with tempfile.TemporaryFile() as output:
            code = subprocess.run([wine_binary(), self.probe_exe, "--title", self.title, "--rows",
                                   str(rows)], stdout=output, stderr=subprocess.DEVNULL,
                                  stdin=subprocess.DEVNULL, timeout=60).returncode
            output.seek(0)
            text = output.read().decode("ascii", "replace")
        lines = [line for line in text.splitlines() if line.startswith("{")]
        if code != 0 or not lines:
            raise Failure("window_probe failed (%d): %s" % (code, text))
        self.last = json.loads(lines[-1])
        return self.last

    def wait(self, predicate, what, timeout=60.0, rows=200):
        """Polls until predicate(state) holds for a found window; returns that state."""

        def check():
            state = self.state(rows)
            if not state.get("found") and self.watched and self.watched.exited():
                raise Failure("%s exited (code %s) while waiting for %s" % (
                    os.path.basename(self.watched.exe), self.watched.process.returncode, what))
            return state if state.get("found") and predicate(state) else None

        try:
            return poll(check, what, timeout, interval=0.2)
        except Failure as e:
            raise Failure("%s; last state: %s" % (e, json.dumps(self.last)[:4000]))

    def wait_gone(self, what, timeout=60.0):
        return poll(lambda: not self.state(rows=0).get("found"), what, timeout, interval=0.2)

    def watch(self, interval_ms, count, rows=0):
        """Samples the window every interval_ms in one probe process; yields each state."""
        process = subprocess.Popen([wine_binary(), self.probe_exe, "--title", self.title,
                                    "--rows", str(rows), "--watch", str(interval_ms),
                                    "--count", str(count), "--until-gone"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            for line in process.stdout:
                if line.startswith("{"):
                    self.last = json.loads(line)
                    yield self.last
        finally:
            if process.poll() is None:
                process.kill()
            process.wait()


def row_center(state, row):
    """Screen point in the middle of the row's first cell, where a user double-clicks it."""
    rows = state["list"]["rows"]
    if row >= len(rows) or not rows[row]["rect"]:
        raise Failure("row %d has no rectangle in %s" % (row, json.dumps(state["list"])[:2000]))
    left, top, right, bottom = rows[row]["rect"]
    first_column = state["list"]["columns"][0]["width"] if state["list"]["columns"] else 100
    x = left + min(first_column, right - left) // 3
    return x, (top + bottom) // 2


def row_texts(state):
    return [row["cells"] for row in state["list"]["rows"]]
