"""Drives Windows programs under Wine the way a user does, from outside their processes.

Input goes through the X server (xdotool: real pointer motion, real clicks and key presses), state is
read back with window_probe.exe (the window's own controls, read across the process boundary), and
screenshots are taken of the whole X screen. Every wait polls with a deadline; nothing sleeps for a
fixed time hoping a state has come.

Expects the environment that tools/testbed/with-wine.sh sets up: WINEPREFIX, DISPLAY, QUORVEL_WINE.
"""
import glob
import json
import os
import shutil
import subprocess
import tempfile
import time

LAUNCHER_TITLE = "Quorvel Launcher"


class DriverError(AssertionError):
    pass


def wine_binary():
    return os.environ.get("QUORVEL_WINE") or shutil.which("wine64") or "wine64"


def wineserver_binary():
    return os.environ.get("QUORVEL_WINESERVER") or shutil.which("wineserver") or "wineserver"


def poll(check, what, timeout=60.0, interval=0.1):
    """Calls check() until it returns something true; returns that, or raises after timeout."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = check()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise DriverError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class Prefix:
    """The Wine prefix the test bed made: where its user's folders are on the Linux side."""

    def __init__(self):
        self.path = os.environ.get("WINEPREFIX")
        if not self.path:
            raise DriverError("WINEPREFIX is not set; run under tools/testbed/with-wine.sh")

    def user_dir(self):
        users = [d for d in glob.glob(os.path.join(self.path, "drive_c", "users", "*"))
                 if os.path.basename(d) != "Public" and os.path.isdir(d)]
        if len(users) != 1:
            raise DriverError("expected one user folder in the prefix, found %r" % users)
        return users[0]

    def temp_dir(self):
        """The user's %TEMP% as this prefix defines it, on the Linux side."""
        if not getattr(self, "_temp", None):
            windows = self.run_text(["cmd", "/c", "echo", "%TEMP%"]).strip()
            self._temp = self.run_text(["winepath", "-u", windows]).strip()
        return self._temp

    @staticmethod
    def run_text(args):
        # Through a file: a pipe could be held open by Wine's helper processes.
        with tempfile.TemporaryFile() as output:
            subprocess.run([wine_binary(), *args], stdout=output, stderr=subprocess.DEVNULL,
                           stdin=subprocess.DEVNULL, timeout=120, check=True)
            output.seek(0)
            return output.read().decode("utf-8", "replace")

    def download_dir(self):
        return os.path.join(self.temp_dir(), "QuorvelLauncher")

    def desktop_dir(self):
        return os.path.join(self.user_dir(), "Desktop")

    def windows_path(self, unix_path):
        return self.run_text(["winepath", "-w", unix_path]).strip()


class Program:
    """A Windows program started under Wine; the Linux process is the Windows process."""

    def __init__(self, exe, args=(), log_path=None, cwd=None, env=None):
        self.exe = exe
        self.log = open(log_path, "wb") if log_path else subprocess.DEVNULL
        self.process = subprocess.Popen([wine_binary(), exe, *args], stdout=self.log, cwd=cwd, env=env,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)

    def exited(self):
        return self.process.poll() is not None

    def wait_exit(self, what, timeout=60.0):
        poll(self.exited, what, timeout)
        return self.process.returncode

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.log is not subprocess.DEVNULL:
            self.log.close()


class Screen:
    """The X display: real input through xdotool, screenshots with ImageMagick."""

    def __init__(self, artefact_dir):
        if not os.environ.get("DISPLAY"):
            raise DriverError("DISPLAY is not set")
        self.artefact_dir = artefact_dir
        os.makedirs(artefact_dir, exist_ok=True)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)

    def screenshot(self, name, crop=None):
        """Saves the X screen (or the crop geometry WxH+X+Y of it) as NAME.png."""
        path = os.path.join(self.artefact_dir, name + ".png")
        command = ["import", "-window", "root"]
        if crop:
            command += ["-crop", crop, "+repage"]
        subprocess.run(command + [path], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return path

    def x_windows(self, title):
        out = self.xdotool("search", "--onlyvisible", "--name", "^%s$" % title)
        return [w for w in out.stdout.split() if w]

    def focus(self, title):
        """Gives the X keyboard focus to the named top-level window (there is no window manager)."""
        windows = self.x_windows(title)
        if not windows:
            raise DriverError("no X window named %r" % title)
        self.xdotool("windowfocus", "--sync", windows[0])

    def move(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y):
        self.move(x, y)
        self.xdotool("click", 1)

    def double_click(self, x, y):
        self.move(x, y)
        # Two presses well inside the double-click time, at one spot.
        self.xdotool("click", "--repeat", 2, "--delay", 90, 1)

    def key(self, name):
        # No --window: the key goes through XTEST to the focused window, as a keyboard would.
        self.xdotool("key", "--clearmodifiers", name)


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
            raise DriverError("window_probe failed (%d): %s" % (code, text))
        self.last = json.loads(lines[-1])
        return self.last

    def wait(self, predicate, what, timeout=60.0, rows=200):
        """Polls until predicate(state) holds for a found window; returns that state."""

        def check():
            state = self.state(rows)
            if not state.get("found") and self.watched and self.watched.exited():
                raise DriverError("%s exited (code %s) while waiting for %s" % (
                    os.path.basename(self.watched.exe), self.watched.process.returncode, what))
            return state if state.get("found") and predicate(state) else None

        try:
            return poll(check, what, timeout, interval=0.2)
        except DriverError as e:
            raise DriverError("%s; last state: %s" % (e, json.dumps(self.last)[:4000]))

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
        raise DriverError("row %d has no rectangle in %s" % (row, json.dumps(state["list"])[:2000]))
    left, top, right, bottom = rows[row]["rect"]
    first_column = state["list"]["columns"][0]["width"] if state["list"]["columns"] else 100
    x = left + min(first_column, right - left) // 3
    return x, (top + bottom) // 2


def row_texts(state):
    return [row["cells"] for row in state["list"]["rows"]]


def start_wine():
    """Starts the prefix's wineserver and helper processes with no pipes of ours to inherit."""
    subprocess.run([wine_binary(), "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def kill_wine_processes():
    """Ends every process of this test bed's prefix (the test bed is ours alone)."""
    subprocess.run([wineserver_binary(), "-k"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run([wineserver_binary(), "-w"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
