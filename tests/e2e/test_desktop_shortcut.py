"""After a normal start the desktop holds the shortcut "Quorvel Launcher.lnk" to the launcher, and
the same upkeep has cleared the downloads of earlier days: a download folder dated two days back
and a file of the older flat layout are gone, today's folder stays, an empty one made today (an Esc
during a download leaves one) is gone, and neither a link dated back nor a link to a file outside,
in a folder dated back, is followed: what they lead to stays."""
import datetime
import os
import time

from testbed import checks, scenario, steps, world


def plant_downloads(t, root):
    """Earlier downloads: (paths that must go, paths that must stay)."""
    now = datetime.datetime.now(datetime.timezone.utc)
    old = now - datetime.timedelta(days=2)
    two_days_back = time.time() - 2 * 86400
    old_folder = os.path.join(root, old.strftime("%Y%m%d_%H%M%S") + "-0badf00d")
    today_folder = os.path.join(root, now.strftime("%Y%m%d_%H%M%S") + "-00c0ffee")
    flat_file = os.path.join(root, old.strftime("%Y%m%d_%H%M%S") + "_Old Setup.msi")
    outside = t.artefact("outside")
    linked = os.path.join(root, old.strftime("%Y%m%d_%H%M%S") + "-11111111")
    linking = os.path.join(root, old.strftime("%Y%m%d_%H%M%S") + "-22222222")
    empty_today = os.path.join(root, now.strftime("%Y%m%d_%H%M%S") + "-0e0e0e0e")
    for folder in (old_folder, os.path.join(old_folder, "unpacked"), today_folder, outside, linking, empty_today):
        os.makedirs(folder, exist_ok=True)
    for path in (os.path.join(old_folder, "Setup.exe"), os.path.join(old_folder, "unpacked", "data.bin"),
                 os.path.join(today_folder, "Tool.exe"), flat_file, os.path.join(outside, "keep.txt"),
                 os.path.join(outside, "target.exe")):
        with open(path, "wb") as f:
            f.write(b"bytes")
    os.symlink(outside, linked)
    os.symlink(os.path.join(outside, "target.exe"), os.path.join(linking, "Setup.exe"))
    for path in (old_folder, flat_file, linking):
        os.utime(path, (two_days_back, two_days_back))
    os.utime(linked, (two_days_back, two_days_back), follow_symlinks=False)
    return [old_folder, flat_file, empty_today], [os.path.join(today_folder, "Tool.exe"),
                                                  os.path.join(outside, "keep.txt"), os.path.join(outside, "target.exe")]


def body(t):
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    w.add_file("One.txt", data=b"one", modified_at="2026-01-02T00:00:00Z", size_text="3 B")
    entries = w.publish()
    t.check(not os.path.exists(w.shortcut_path()), "no shortcut before the start")
    gone, kept = plant_downloads(t, w.prefix.download_dir())
    w.start_launcher()
    steps.wait_ready(t, entries)
    checks.poll(lambda: os.path.exists(w.shortcut_path()), "the desktop shortcut", 60)
    # The folder dated back and the flat file go first; the rest of the listing is done by then.
    checks.poll(lambda: not any(os.path.exists(p) for p in gone[:2]), "the old downloads to be cleared", 60)
    for path in kept:
        t.check(os.path.exists(path), "%s stays" % os.path.basename(path))
    checks.poll(lambda: not any(os.path.exists(p) for p in gone), "the empty folder to be cleared", 10)
    t.screen.screenshot("1-ready-with-shortcut")
    with open(w.shortcut_path(), "rb") as f:
        link = f.read()
    t.check(link[:4] == b"\x4c\x00\x00\x00", "the shortcut is a shell link file")
    target = w.prefix.windows_path(w.launcher_exe)
    base = os.path.basename(w.launcher_exe)
    texts = [target, base]
    found = any(x.encode("utf-16-le") in link or x.encode("latin-1", "replace") in link
                for x in texts)
    t.check(found, "the shortcut names the launcher %s" % target)


if __name__ == "__main__":
    scenario.run("desktop_shortcut", body)
