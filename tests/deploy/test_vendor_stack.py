"""The configuration a vendor runs: nginx with TLS on loopback in front of php-fpm, serving a folder
through filelist.json.php, and the real launcher under Wine, built for that host and port, listing
exactly the folder's files newest first."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
for folder in (("tests", "e2e"), ("tests", "server"), ("tools", "test_server")):
    sys.path.insert(0, os.path.join(ROOT, *folder))
import ca  # noqa: E402
import driver  # noqa: E402
import php_stack  # noqa: E402
import scenario  # noqa: E402
import wine_trust  # noqa: E402
from server import port_lock  # noqa: E402

PORT = 47443

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
    wine_trust.ensure_trusted(t.args.trust_ca, certs)
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
        launcher = driver.Program(t.args.launcher, log_path=t.artefact("launcher.log"))
        t.on_exit(launcher.stop)
        t.probe.watched = launcher
        expected = "%u file(s) available \u2014 double-click any row to install." % len(FILES)
        state = t.probe.wait(lambda s: s["status"].get("text") == expected or s["status"].get("error"),
                             "the launcher to list the folder", 120)
        t.screen.screenshot("1-vendor-folder-listed")
        t.save_state("listed", state)
        t.check_eq(state["status"].get("error"), False, "the status is no error")
        t.check_eq(state["status"].get("text"), expected, "the file count")
        t.check_eq(driver.row_texts(state), [cells for *_, cells in FILES], "the rows, newest first")
        t.check_eq(state["list"]["selected"], 0, "row 0 selected")
        t.screen.focus(driver.LAUNCHER_TITLE)
        t.screen.key("Escape")
        t.check_exit(launcher, "Esc to close the launcher", 30, 0)


if __name__ == "__main__":
    scenario.run("vendor_stack", body)
