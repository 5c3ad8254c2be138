"""The configuration a vendor runs: nginx with TLS on loopback in front of php-fpm, serving a folder
through filelist.json.php, and the real launcher under Wine, built for that host and port, listing
exactly the folder's files newest first. Then a host without PHP, as a CDN or object store: nginx
serving the folder and the checker's --make output as plain files; the launcher lists it, refuses a
file swapped after the manifest was made, and downloads, verifies and starts the other."""
import glob
import hashlib
import json
import os
import shutil
import subprocess
import tempfile

from testbed import ca, php_stack, probe, scenario, steps, test_port, wine
from testbed.server import port_lock

PORT = test_port()

# name, bytes, modification time (seconds since the epoch), and the cells the list must show
FILES = [
    ("Quorvel Setup 2.1.msi", b"M" * 3000, 1780000000, ["Quorvel Setup 2.1.msi", "2026-05-28", "2.93 KB", "MSI"]),
    ("Tool #1+ü.exe", b"E" * 100, 1770000000, ["Tool #1+ü.exe", "2026-02-02", "100 B", "EXE"]),
    ("Read me", b"", 1760000000, ["Read me", "2025-10-09", "0 B", ""]),
]


def body(t):
    try:
        php_stack.find_nginx()
        php_stack.find_php_fpm()
    except php_stack.Unavailable as reason:
        raise scenario.Skip(str(reason))
    certs = ca.ensure_ca(t.args.ca_dir)
    wine.ensure_trusted(t.args.trust_ca, certs)
    lock = port_lock(PORT)
    lock.__enter__()
    t.on_exit(lambda: lock.__exit__(None, None, None))

    folder = t.artefact("latest")
    os.makedirs(folder, exist_ok=True)
    for name, data, mtime, _ in FILES:
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))
    hidden = os.path.join(folder, ".htaccess")
    with open(hidden, "w") as f:
        f.write("never listed")
    os.makedirs(os.path.join(folder, "older"), exist_ok=True)

    stack = php_stack.serve_folder(folder, PORT, certs.server_pem, certs.server_key, t.artefact("stack"))
    with stack:
        launcher = wine.Program(t.args.launcher, log_path=t.artefact("launcher.log"))
        t.on_exit(launcher.stop)
        t.probe.watched = launcher
        expected = "%u file(s) available \u2014 double-click any row to install." % len(FILES)
        state = t.probe.wait(lambda s: s["status"].get("text") == expected or s["status"].get("error"),
                             "the launcher to list the folder", 120)
        t.screen.screenshot("1-vendor-folder-listed")
        t.save_state("listed", state)
        t.check_eq(state["status"].get("error"), False, "the status is no error")
        t.check_eq(state["status"].get("text"), expected, "the file count")
        t.check_eq(probe.row_texts(state), [cells for *_, cells in FILES], "the rows, newest first")
        t.check_eq(state["list"]["selected"], 0, "row 0 selected")
        t.screen.focus(probe.LAUNCHER_TITLE)
        t.screen.key("Escape")
        t.check_exit(launcher, "Esc to close the launcher", 30, 0)
    if t.args.checker and t.args.recorder:
        static_host(t, certs)
    else:
        t.log("the static host part needs the checker and the recorder, which this tree does not build")


def make_manifest(t, folder):
    """The Windows checker's --make output for the folder, run under Wine."""
    with tempfile.TemporaryFile() as output:  # a pipe could be held open by Wine's helpers
        made = subprocess.run([wine.wine_binary(), t.args.checker, "--make", t.prefix.windows_path(folder),
                               "--base-url", "https://127.0.0.1:%d/download/latest/" % PORT],
                              stdout=output, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=120)
        output.seek(0)
        body = output.read()
    t.check_eq(made.returncode, 0, "--make exit code")
    return body


def static_host(t, certs):
    shutil.rmtree(t.prefix.download_dir(), ignore_errors=True)  # other scenarios' downloads
    folder = t.artefact("static")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    program, notes = os.path.join(folder, "QuorvelRecorder.exe"), os.path.join(folder, "Notes.txt")
    shutil.copyfile(t.args.recorder, program)
    with open(notes, "wb") as f:
        f.write(b"release notes")
    for path, mtime in ((program, 1790000000), (notes, 1780000000)):
        os.utime(path, (mtime, mtime))
    body = make_manifest(t, folder)
    with open(os.path.join(folder, "filelist.json.php"), "wb") as f:
        f.write(body)
    files = json.loads(body)["files"]
    t.check_eq([(e["name"], e["sha256"]) for e in files],
               [(os.path.basename(p), hashlib.sha256(open(p, "rb").read()).hexdigest()) for p in (program, notes)],
               "names and digests, newest first")
    with open(notes, "r+b") as f:  # swapped on the host after the manifest was made
        f.write(b"RELEASE")

    with php_stack.serve_folder(folder, PORT, certs.server_pem, certs.server_key, t.artefact("static-stack"),
                                static=True):
        launcher = wine.Program(t.args.launcher, log_path=t.artefact("launcher-static.log"))
        t.on_exit(launcher.stop)
        t.probe.watched = launcher
        state = t.probe.wait(lambda s: s["status"].get("text") == "2 file(s) available \u2014 double-click any row "
                             "to install." or s["status"].get("error"), "the launcher to list the static host", 120)
        t.screen.screenshot("2-static-host-listed")
        t.check_eq([cells[0] for cells in probe.row_texts(state)], ["QuorvelRecorder.exe", "Notes.txt"], "the rows")

        x, y = probe.row_center(state, 1)
        t.screen.double_click(x, y)
        state = t.probe.wait(lambda s: s["status"].get("error"), "the swapped file to be refused", 60)
        t.screen.screenshot("3-swapped-file-refused")
        t.check_eq(steps.status(state), "Downloaded file does not match its checksum.", "the refusal")
        t.check_eq(glob.glob(os.path.join(t.prefix.download_dir(), "*", "Notes.txt")), [], "no swapped file is kept")

        x, y = probe.row_center(state, 0)
        t.screen.double_click(x, y)
        t.check_exit(launcher, "the verified program to download, start and the launcher to close", 120, 0)
        landed = glob.glob(os.path.join(t.prefix.download_dir(), "*", "QuorvelRecorder.exe"))
        t.check_eq(len(landed), 1, "the verified program was kept")
        if landed:
            record = steps.read_record(landed[0] + ".record")
            t.check_eq(record.get("path", "").lower(), t.prefix.windows_path(landed[0]).lower(),
                       "the verified program ran")


if __name__ == "__main__":
    scenario.run("vendor_stack", body)
