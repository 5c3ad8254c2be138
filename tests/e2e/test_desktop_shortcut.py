"""After a normal start the desktop holds the shortcut "Quorvel Launcher.lnk" to the launcher."""
import os

from harness import checks, scenario, steps, world


def body(t):
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    w.add_file("One.txt", data=b"one", modified_at="2026-01-02T00:00:00Z", size_text="3 B")
    entries = w.publish()
    t.check(not os.path.exists(w.shortcut_path()), "no shortcut before the start")
    w.start_launcher()
    steps.wait_ready(t, entries)
    checks.poll(lambda: os.path.exists(w.shortcut_path()), "the desktop shortcut", 60)
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
