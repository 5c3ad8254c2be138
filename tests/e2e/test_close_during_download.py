"""Closing the window while a download runs ends the launcher at once: it does not wait for the
download, which the server is still sending. The window is closed as with its close button
(Alt+F4: the system menu's Close, which reaches the window whatever has the focus)."""
from testbed import probe, scenario, steps, world


def body(t):
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    big = w.add_file("Large.bin", data=b"\x5a" * (8 * 1024 * 1024), modified_at="2026-03-03T00:00:00Z",
                     size_text="8.00 MB")
    entries = w.publish()
    w.pace(rate=8 * 1024, step=4096)  # eight seconds before the first progress, and far longer in all

    launcher = w.start_launcher()
    state = steps.wait_ready(t, entries)
    x, y = probe.row_center(state, 0)
    t.screen.double_click(x, y)
    state = steps.wait_download_started(t, big["name"], "8.00 MB")
    t.screen.screenshot("1-downloading")
    t.save_state("1-downloading", state)

    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("alt+F4")
    t.check_exit(launcher, "the close during the download", 30, world.EXIT_CODE, world.AT_ONCE_SECONDS)
    t.check(not t.probe.state()["found"], "the window is gone")
    t.check(w.served_count(big["name"]) == 1, "the download had been started")
    t.screen.screenshot("2-closed")


if __name__ == "__main__":
    scenario.run("close_during_download", body)
