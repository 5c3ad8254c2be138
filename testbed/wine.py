"""Windows programs under Wine, driven the way a user drives them, from outside their processes.

Input goes through the X server (xdotool: real pointer motion, real clicks and key presses) and
screenshots are taken of the whole X screen; the throwaway CA is trusted inside the prefix. Expects
the environment that testbed/with-wine.sh sets up: WINEPREFIX, DISPLAY, QUORVEL_WINE.

    python3 -m testbed.wine TRUST_CA_EXE CA_DIR      (trusts the CA, made in CA_DIR when missing)
"""
import fcntl
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

from testbed import ca, wine_registry
from testbed.checks import Failure, poll


def wine_binary():
    return os.environ.get("QUORVEL_WINE") or shutil.which("wine64") or "/usr/lib/wine/wine64"


def prefix_dir():
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        raise Failure("WINEPREFIX is not set; run under testbed/with-wine.sh")
    return prefix


def run_wine(args, what, timeout=60, attempts=3, check=False):
    """Runs a Windows program of the prefix to its end and returns its completed process, with its
    output in a file (a pipe could be held open by Wine's helper processes). A loaded machine can
    stall a Wine start, so each attempt is bounded and a stalled one is ended and tried again; after
    the last the Failure names what was waited for. check: a non-zero exit code fails at once."""
    for attempt in range(1, attempts + 1):
        with tempfile.TemporaryFile() as output:
            try:
                result = subprocess.run([wine_binary(), *args], stdout=output,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                        timeout=timeout)
            except subprocess.TimeoutExpired:
                print("wine: no end of %s within %d s (attempt %d of %d)" % (what, timeout, attempt,
                                                                            attempts), flush=True)
                continue
            output.seek(0)
            result.stdout = output.read().decode("utf-8", "replace")
        if check and result.returncode != 0:
            raise Failure("%s failed (%d): %s" % (what, result.returncode, result.stdout))
        return result
    raise Failure("timed out waiting for %s: %d attempts of %d s each" % (what, attempts, timeout))


def ensure_trusted(trust_ca_exe, certs):
    """Puts the CA into the prefix's current-user Root store (registry-backed), so nothing outside
    the prefix learns of it. A marker file in the prefix, named after the CA's fingerprint, skips
    the Wine start on later calls; a lock file serialises concurrent callers. Adding the CA again
    after a stalled attempt changes nothing."""
    prefix = prefix_dir()
    with open(certs.ca_der, "rb") as der:
        fingerprint = hashlib.sha256(der.read()).hexdigest()[:16]
    os.makedirs(prefix, exist_ok=True)
    marker = os.path.join(prefix, f".quorvel-trusted-{fingerprint}")
    with open(os.path.join(prefix, ".quorvel-trust.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(marker):
            return False
        run_wine([trust_ca_exe, certs.ca_der], "trust_ca adding the test CA to the prefix",
                 check=True)
        open(marker, "w").close()
        return True


class Prefix:
    """The Wine prefix the test bed made: where its user's folders are on the Linux side, learnt
    from the registry files and the drive links on disk rather than from a Wine process."""

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
            environment = wine_registry.user_environment(self.path)
            windows = environment.get("temp", "")
            temp = self.unix_path(windows) if windows else None
            if not temp or not os.path.isdir(temp):
                raise Failure("the prefix's registry gives %%TEMP%% as %r, which is no folder (%r)"
                              % (windows, temp))
            self._temp = temp
        return self._temp

    def drives(self):
        """[(letter, Linux folder)] of the prefix's drive links, the longest folder first."""
        found = []
        for link in glob.glob(os.path.join(self.path, "dosdevices", "?:")):
            if os.path.isdir(link):
                found.append((os.path.basename(link)[0].upper(), os.path.realpath(link)))
        return sorted(found, key=lambda drive: len(drive[1]), reverse=True)

    def unix_path(self, windows_path):
        """A drive-letter path on the Linux side; each folder that exists is matched without case,
        as Windows matches it. None for a drive the prefix does not have."""
        drive, _, rest = windows_path.partition(":")
        path = os.path.join(self.path, "dosdevices", drive.lower() + ":")
        if len(drive) != 1 or not os.path.isdir(path):
            return None
        for part in [p for p in rest.split("\\") if p]:
            exact = os.path.join(path, part)
            if not os.path.exists(exact) and os.path.isdir(path):
                matches = [n for n in os.listdir(path) if n.lower() == part.lower()]
                exact = os.path.join(path, matches[0]) if matches else exact
            path = exact
        return path

    def windows_path(self, unix_path):
        """The drive-letter path Wine gives a Linux path: through the drive whose folder holds it."""
        real = os.path.realpath(unix_path)
        for letter, folder in self.drives():
            if real == folder or real.startswith(folder.rstrip("/") + "/"):
                rest = real[len(folder):].strip("/")
                return letter + ":\\" + rest.replace("/", "\\")
        raise Failure("no drive of the prefix holds %s" % unix_path)

    def download_dir(self):
        return os.path.join(self.temp_dir(), "QuorvelLauncher")

    def desktop_dir(self):
        return os.path.join(self.user_dir(), "Desktop")


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
    run_wine(["cmd", "/c", "exit"], "the prefix's first program (cmd /c exit) to start Wine")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: python3 -m testbed.wine TRUST_CA_EXE CA_DIR")
    added = ensure_trusted(sys.argv[1], ca.ensure_ca(sys.argv[2]))
    print("trusted" if added else "already trusted")
