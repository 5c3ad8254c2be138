"""What the launcher meets in an end-to-end scenario: the loopback HTTPS server on the launcher's
fixed port with a catalogue of real files, its CA trusted in the test bed's prefix, and the
launcher itself started as a user would start it."""
import datetime
import json
import os
import re
import shutil

from testbed import ca, probe, routes_folder, test_port, wine
from testbed.checks import Failure
from testbed.server import TestServer, port_lock

PORT = test_port()
LAUNCHER_TITLE = probe.LAUNCHER_TITLE
BASE_URL = "https://127.0.0.1:%d" % PORT
FILES_PREFIX = "/e2e/"
SHORTCUT_NAME = "Quorvel Launcher.lnk"
MANIFEST_PATH = "/download/latest/filelist.json.php"
# What an attacker may have saved into a Downloads folder: DLLs of the names the launcher uses and
# programs of the names it starts. The DLLs are every name a whole run (start, fetch, list,
# download, signature check, launch) loads or looks for along a search path that holds the
# launcher's folder, as traced under Wine (WINEDEBUG=+module: "looking for"), less the Known DLLs,
# which Windows maps from its own folder whatever is planted (advapi32, combase, gdi32, imagehlp,
# imm32, kernel32, kernelbase, msvcrt, nsi, ntdll, ole32, oleaut32, rpcrt4, sechost, shcore,
# shell32, shlwapi, ucrtbase, user32, win32u, ws2_32), and Wine's own winex11.drv and zlib1.dll.
# Each row: the name, and who loads it.
PLANTED_DLL_TABLE = (
    ("version.dll", "imported by Wine's user32"),
    ("comctl32.dll", "the list, the progress bar and the link (side by side)"),
    ("uxtheme.dll", "the visual styles: user32 and comctl32 load it by name"),
    ("msimg32.dll", "delay-loaded by uxtheme"),
    ("windowscodecs.dll", "delay-loaded by GDI+ to decode the banner"),
    ("propsys.dll", "imported by windowscodecs"),
    ("oleacc.dll", "the status line's live region (COM)"),
    ("gdiplus.dll", "the banner"),
    ("winhttp.dll", "the fetch and the download"),
    ("jsproxy.dll", "WinHTTP's proxy settings"),
    ("secur32.dll", "WinHTTP's TLS"),
    ("sspicli.dll", "WinHTTP's TLS"),
    ("schannel.dll", "WinHTTP's TLS: a security package"),
    ("kerberos.dll", "WinHTTP's TLS: a security package"),
    ("msv1_0.dll", "WinHTTP's TLS: a security package"),
    ("netapi32.dll", "imported by a security package"),
    ("dnsapi.dll", "WinHTTP's name lookup"),
    ("iphlpapi.dll", "WinHTTP's name lookup"),
    ("crypt32.dll", "the server's certificate chain and the signature check"),
    ("msasn1.dll", "imported by crypt32"),
    ("bcrypt.dll", "crypt32 and the checksum"),
    ("ncrypt.dll", "crypt32"),
    ("rsaenh.dll", "crypt32's provider"),
    ("wintrust.dll", "the signature check"),
    ("msisip.dll", "the signature check of a package"),
    ("dbghelp.dll", "imported by imagehlp, which wintrust delay-loads"),
)
PLANTED_DLLS = tuple(name for name, _ in PLANTED_DLL_TABLE)
PLANTED_PROGRAMS = ("cmd.exe", "msiexec.exe", "ping.exe")
# The name a download is written under until it has been judged: one that starts nothing.
PARTIAL_NAME = "download.partial"
# The refusal when the download's folder holds anything but the judged file.
FOLDER_CHANGED = "Refusing to start a file whose folder was changed."
# What the launcher returns when its window has closed: the result DialogBoxParamW reports for a
# dialog that was destroyed. A second copy also returns 0.
EXIT_CODE = 0
# How long "at once" may take, from the close to the end of the process, on a loaded machine;
# Wine alone takes about two seconds to withdraw a managed window.
AT_ONCE_SECONDS = 6
SIZE_TEXT = "shown size"  # an entry's key, kept out of the manifest: the size text the list shows


SIZE = r"(\d+ B|\d+\.\d\d [KMGT]B)"  # the form of a size text: "5 B", "1.50 MB"


class SizeText:
    """Any size text, or the dash of an unknown size, for entries whose exact size the scenario
    leaves open; compares equal to such a text."""
    PATTERN = re.compile("^(" + SIZE + "|\u2014)$")

    def __eq__(self, other):
        return isinstance(other, str) and bool(self.PATTERN.match(other))

    def __repr__(self):
        return "<a size text>"


def ready_text(count):
    if count == 0:
        return "No files available in /download/latest/."
    return "%u file(s) available \u2014 double-click any row to install." % count


class World:
    def __init__(self, t, ca_dir, trust_ca_exe, serve=True):
        self.t = t
        if not t.args.launcher or not os.path.isfile(t.args.launcher):
            raise Failure("launcher not built: %r" % t.args.launcher)
        self.launcher_exe = t.args.launcher
        self.prefix = t.prefix
        certs = ca.ensure_ca(ca_dir)
        wine.ensure_trusted(trust_ca_exe, certs)
        self.folder = t.artefact("served")
        os.makedirs(self.folder, exist_ok=True)
        self.entries = []
        # Other work trees' test runs on this machine want the same fixed port: take turns.
        self.port_lock = port_lock(PORT)
        self.port_lock.__enter__()
        t.on_exit(lambda: self.port_lock.__exit__(None, None, None))
        self.server = TestServer(port=PORT, certfile=certs.server_pem, keyfile=certs.server_key,
                                 log_path=t.artefact("requests.jsonl"))
        routes_folder.register_folder(self.server, FILES_PREFIX, self.folder)
        self.serving = False
        t.on_exit(self.stop)
        if serve:
            self.serve()
        self.clean_prefix()

    def serve(self):
        """Starts answering; until then connections wait in the listening socket's backlog."""
        if not self.serving:
            self.server.start()
            self.serving = True

    def stop(self):
        self.server.stop()
        self.serving = False

    def clean_prefix(self):
        """Each scenario starts with no earlier downloads and no desktop shortcut."""
        shutil.rmtree(self.prefix.download_dir(), ignore_errors=True)
        shortcut = os.path.join(self.prefix.desktop_dir(), SHORTCUT_NAME)
        if os.path.exists(shortcut):
            os.remove(shortcut)

    # The catalogue -----------------------------------------------------------------------------
    def add_file(self, name, source=None, data=None, modified_at="2026-01-01T00:00:00Z", ext=None,
                 size=None, pad_to=None, size_text=None):
        """Puts a file into the served folder and lists it; returns its manifest entry. pad_to
        appends zero bytes up to that size (a program stays runnable and its download lasts);
        size_text is what the list must show as its size."""
        path = os.path.join(self.folder, name)
        if source:
            shutil.copyfile(source, path)
        else:
            with open(path, "wb") as f:
                f.write(data if data is not None else b"")
        if pad_to is not None:
            if os.path.getsize(path) > pad_to:
                raise Failure("%s is larger than %d bytes" % (source or name, pad_to))
            with open(path, "ab") as f:
                f.write(b"\0" * (pad_to - os.path.getsize(path)))
        entry = {"name": name, "url": BASE_URL + FILES_PREFIX + name,
                 "size": os.path.getsize(path) if size is None else size,
                 "modified_at": modified_at,
                 "ext": ext if ext is not None else os.path.splitext(name)[1].lstrip(".")}
        self.entries.append(entry)
        if size_text is not None:
            entry[SIZE_TEXT] = size_text
        return entry

    def list_only(self, name, modified_at, ext=""):
        """Lists a name that no file is served under (one Linux could not even hold)."""
        entry = {"name": name, "url": BASE_URL + FILES_PREFIX + "not-served", "size": 1,
                 "modified_at": modified_at, "ext": ext, SIZE_TEXT: "1 B"}
        self.entries.append(entry)
        return entry

    def publish(self):
        """Serves the manifest of the files added so far; returns the entries newest first."""
        files = [{k: v for k, v in e.items() if k != SIZE_TEXT} for e in self.entries]
        body = json.dumps({"schema": "quorvel.download.v1", "files": files}, indent=1)
        self.server.configure("manifest", {"body": body})
        return sorted(self.entries, key=lambda e: e["modified_at"], reverse=True)

    def serve_manifest(self, config):
        self.server.configure("manifest", config)

    def pace(self, rate, step=16384, breaks=None, break_after=65536):
        self.server.configure(routes_folder.KEY, {"rate": rate, "step": step, "break": breaks or {},
                                                "break_after": break_after})

    def served_count(self, name):
        return (self.server.get("catalogue_served") or {}).get(name, 0)

    @staticmethod
    def expected_cells(entry):
        return [shown_name(entry["name"]), entry["modified_at"][:10], entry.get(SIZE_TEXT, SizeText()),
                shown_type(entry["name"])]

    # The launcher ------------------------------------------------------------------------------
    def start_launcher(self, log_name="launcher.log", exe=None, cwd=None, env=None):
        program = wine.Program(exe or self.launcher_exe, log_path=self.t.artefact(log_name), cwd=cwd,
                                 env=env)
        self.t.on_exit(program.stop)
        if self.t.probe and not self.t.probe.watched:
            self.t.probe.watched = program
        return program

    def start_planted_launcher(self, name, log_name="launcher.log", dlls=PLANTED_DLLS):
        """Starts a copy of the launcher, named NAME, from a folder that also holds the planted
        files, with its current directory in a second such folder. A planted DLL leaves NAME.loaded
        and a planted program (the recorder) NAME.record beside itself when it runs; Wine is told to
        look for those names as Windows does, a file found on the search path before its own.
        dlls names the DLLs planted (by default those the launcher itself loads). Returns the
        program and the two folders."""
        folders = [self.t.artefact("app"), self.t.artefact("cwd")]
        for folder in folders:
            os.makedirs(folder, exist_ok=True)
            for name_planted in dlls + PLANTED_PROGRAMS:
                source = self.t.args.planted_dll if name_planted in dlls else self.t.args.recorder
                shutil.copyfile(source, os.path.join(folder, name_planted))
        exe = os.path.join(folders[0], name)
        shutil.copyfile(self.launcher_exe, exe)
        env = dict(os.environ)
        # Wine names DLLs without ".dll" in its overrides, and programs with ".exe".
        names = [n[:-len(".dll")] for n in dlls] + list(PLANTED_PROGRAMS)
        env["WINEDLLOVERRIDES"] = env.get("WINEDLLOVERRIDES", "") + ";%s=n,b" % ",".join(names)
        return self.start_launcher(log_name, exe=exe, cwd=folders[1], env=env), folders

    @staticmethod
    def planted_traces(folders):
        """The marks planted files left: which of them were loaded or started."""
        return sorted(os.path.join(os.path.basename(folder), f) for folder in folders
                      for f in os.listdir(folder) if f.endswith((".loaded", ".record")))

    def downloads(self):
        """Every file kept under the download folder, as paths relative to it."""
        root = self.prefix.download_dir()
        found = []
        for folder, _, files in os.walk(root):
            found += [os.path.relpath(os.path.join(folder, f), root) for f in files]
        return sorted(found)

    def downloaded(self, name):
        """The paths of downloads of that entry: a folder of its own (time stamp, "-", eight hex
        digits), holding the name as it is saved."""
        pattern = re.compile(r"^\d{8}_\d{6}-[0-9a-f]{8}/" + re.escape(saved_name(name)) + "$")
        return [os.path.join(self.prefix.download_dir(), f) for f in self.downloads()
                if pattern.match(f)]

    def check_stamp_is_now(self, path, slack_seconds=300):
        stamp = os.path.basename(os.path.dirname(path))[:15]
        when = datetime.datetime.strptime(stamp, "%Y%m%d_%H%M%S").replace(
            tzinfo=datetime.timezone.utc)
        drift = abs((datetime.datetime.now(datetime.timezone.utc) - when).total_seconds())
        self.t.check(drift < slack_seconds, "time stamp %s is the current UTC time" % stamp)

    def shortcut_path(self):
        return os.path.join(self.prefix.desktop_dir(), SHORTCUT_NAME)

    def manifest_requests(self):
        return [r for r in self.server.requests() if r["path"].split("?")[0] == MANIFEST_PATH]


# Characters a name may not show as they are: controls, and marks that turn or hide text.
HIDING = re.compile("[\u0000-\u001f\u007f-\u009f\u061c\u200b-\u200f\u202a-\u202e\u2060-\u2064"
                    "\u2066-\u2069\ufeff]")


def shown_name(name):
    return HIDING.sub("\ufffd", name)


def saved_name(name):
    """The name a download is saved under: Windows' forbidden characters as "_", trailing dots and
    spaces gone."""
    return re.sub(r'["*/:<>?\\|\x00]', "_", name).rstrip(". ")


def shown_type(name):
    """The saved name's extension upper-cased; the characters it hides show as the File cell shows
    them (the saved name keeps each of the name's characters in its place)."""
    saved = saved_name(name)
    if "." not in saved:
        return ""
    start = saved.rfind(".") + 1
    return "".join("\ufffd" if HIDING.match(name[i]) else saved[i].upper() for i in range(start, len(saved)))


def same_bytes(a, b):
    with open(a, "rb") as x, open(b, "rb") as y:
        return x.read() == y.read()
