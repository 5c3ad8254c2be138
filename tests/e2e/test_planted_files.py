"""A launcher run from a folder that also holds a DLL under every name a run loads or looks for
beside it (testbed/world.py's table) and programs of the names it starts (as a Downloads folder
may), with its current directory in another such folder: none of them is loaded or started. The
launcher still reaches its list, its DLLs coming from the system folder, and a downloaded package
still goes to the system's msiexec: here a recorder put in its place, which notes the path it was
started from and its working directory, the package's own folder, where a DLL planted in
%TEMP%\\QuorvelLauncher\\ beforehand is not. DLLs copied into a program's new download folder while
it arrives refuse its start, and nothing there runs."""
import os
import shutil

from testbed import probe, scenario, steps, world
from testbed.checks import poll

# DLLs a program started from the folder would look for beside itself.
COPIED_DLLS = ("version.dll", "uxtheme.dll", "msimg32.dll")


def row_of(state, name):
    names = [row[0] for row in probe.row_texts(state)]
    return probe.row_center(state, names.index(world.shown_name(name)))


def check_copied_dlls_refuse_the_start(t, w, state, tool):
    """Another process copies DLLs into the folder while the program arrives: the start is
    refused, the list is given back and nothing in the folder runs."""
    t.screen.double_click(*row_of(state, tool["name"]))
    arriving = poll(lambda: w.downloads(), "the program's folder to appear", 60)[0]
    folder = os.path.join(w.prefix.download_dir(), os.path.dirname(arriving))
    for name in COPIED_DLLS:
        shutil.copyfile(t.args.planted_dll, os.path.join(folder, name))
    state = t.probe.wait(lambda s: not s.get("found") or ((s.get("list") or {}).get("enabled") and
                                                          s["status"].get("error")),
                         "the start to be refused", 120)
    t.check(state.get("found"), "the window stays open")
    t.check_eq(steps.status(state), world.FOLDER_CHANGED, "the start refused in red")
    t.check_eq(sorted(os.listdir(folder)), sorted(COPIED_DLLS), "the copied DLLs stay, the program goes")
    t.check_eq(w.planted_traces([folder]), [], "nothing in the folder was started or loaded")
    return state


def body(t):
    if not t.args.recorder or not t.args.planted_dll:
        raise scenario.Skip("the recorder program or the planted DLL is not built in this tree")
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    package = w.add_file("Tool Setup.msi", data=b"not a package: only its path is recorded")
    tool = w.add_file("Tool.exe", source=t.args.recorder, pad_to=2 * 1024 * 1024, modified_at="2026-01-02T00:00:00Z")
    entries = w.publish()
    w.pace(rate=512 * 1024, step=65536)  # the program takes about four seconds to arrive
    msiexec = steps.recorder_in_place_of(t, "msiexec.exe")
    os.makedirs(w.prefix.download_dir(), exist_ok=True)
    shutil.copyfile(t.args.planted_dll, os.path.join(w.prefix.download_dir(), "qvhelper.dll"))

    launcher, planted = w.start_planted_launcher("QuorvelLauncher.exe")
    try:
        state = steps.wait_ready(t, entries)
    finally:
        t.check_eq(w.planted_traces(planted), [], "no planted DLL was loaded")
    state = check_copied_dlls_refuse_the_start(t, w, state, tool)
    t.screen.double_click(*row_of(state, package["name"]))

    record = steps.read_record(msiexec + ".record", 120)
    t.log("msiexec recorded: %r" % record)
    t.check_eq(record.get("path", "").lower(), t.prefix.windows_path(msiexec).lower(),
               "the system's msiexec was started")
    landed = w.downloaded(package["name"])
    t.check_eq(len(landed), 1, "the package was kept in the download folder")
    t.check(record.get("command", "").endswith('/i "%s"' % t.prefix.windows_path(landed[0])),
            "msiexec was given /i and the quoted package path")
    folder = os.path.dirname(landed[0])
    t.check_eq(sorted(os.listdir(folder)), [os.path.basename(landed[0])], "the package's folder holds it alone")
    t.check_eq(record.get("cwd", "").rstrip("\\").lower(), t.prefix.windows_path(folder).rstrip("\\").lower(),
               "msiexec works in the package's own folder")
    launcher.wait_exit("the launcher to close after the launch", 60)
    t.check_eq(w.planted_traces(planted), [], "nothing planted was loaded or started")


if __name__ == "__main__":
    scenario.run("planted_files", body)
