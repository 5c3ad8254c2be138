"""Windows programs under Wine, driven the way a user drives them, from outside their processes.

Input goes through the X server (xdotool: real pointer motion, real clicks and key presses) and
screenshots are taken of the whole X screen; the throwaway CA is trusted inside the prefix. Expects
the environment that tools/testbed/with-wine.sh sets up: WINEPREFIX, DISPLAY, QUORVEL_WINE.

    python3 -m harness.wine TRUST_CA_EXE CA_DIR      (trusts the CA, made in CA_DIR when missing)
"""
import fcntl
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

from harness import ca
from harness.checks import Failure, poll


def wine_binary():
    return os.environ.get("QUORVEL_WINE") or shutil.which("wine64") or "/usr/lib/wine/wine64"


def prefix_dir():
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        raise Failure("WINEPREFIX is not set; run under tools/testbed/with-wine.sh")
    return prefix


def ensure_trusted(trust_ca_exe, certs, timeout=180):
    """Puts the CA into the prefix's current-user Root store (registry-backed), so nothing outside
    the prefix learns of it. A marker file in the prefix, named after the CA's fingerprint, skips
    the Wine start on later calls; a lock file serialises concurrent callers."""
    prefix = prefix_dir()
    with open(certs.ca_der, "rb") as der:
        fingerprint = hashlib.sha256(der.read()).hexdigest()[:16]
    os.makedirs(prefix, exist_ok=True)
    marker = os.path.join(prefix, f".quorvel-trusted-{fingerprint}")
    with open(os.path.join(prefix, ".quorvel-trust.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(marker):
            return False
        result = subprocess.run([wine_binary(), trust_ca_exe, certs.ca_der], capture_output=True,
                                text=True, timeout=timeout)
        if result.returncode != 0:
            raise RuntimeError(f"trust_ca failed ({result.returncode}): {result.stdout}{result.stderr}")
        open(marker, "w").close()
        return True


class Prefix:
    """The Wine prefix the test bed made: where its user's folders are on the Linux side."""

    def __init__(self):
        self.path = prefix_dir()

    def user_dir(self):
        users = [d for d in glob.glob(os.path.join(self.path, "drive_c", "users", "*"))
                 if os.path.basename(d) != "Public" and os.path.isdir(d)]
        if len(users) != 1:
            raise Failure("expected one user folder in the prefix, found %r" % users)
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
            raise Failure("DISPLAY is not set")
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
            raise Failure("no X window named %r" % title)
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


def start_wine():
    """Starts the prefix's wineserver and helper processes with no pipes of ours to inherit."""
    subprocess.run([wine_binary(), "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: python3 -m harness.wine TRUST_CA_EXE CA_DIR")
    added = ensure_trusted(sys.argv[1], ca.ensure_ca(sys.argv[2]))
    print("trusted" if added else "already trusted")
