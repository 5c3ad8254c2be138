"""Esc closes the window in every state, a running download included: the list is disabled then,
and the window must still hold the keyboard focus for the dialog to see the key. The download that
the server was still sending leaves no file behind."""
import os

from testbed import checks, probe, scenario, steps, world


def body(t):
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    big = w.add_file("Large.bin", data=b"\x5a" * (8 * 1024 * 1024), modified_at="2026-03-03T00:00:00Z",
                     size_text="8.00 MB")
    entries = w.publish()
    w.pace(rate=8 * 1024, step=4096)

    launcher = w.start_launcher()
    state = steps.wait_ready(t, entries)
    x, y = probe.row_center(state, 0)
    t.screen.double_click(x, y)
    state = steps.wait_download_started(t, big["name"], "8.00 MB")
    t.save_state("1-downloading", state)
    # Written under a name that starts nothing, until it has been judged.
    t.check_eq(w.downloaded("Large.bin"), [], "nothing is under the name that starts it while it arrives")
    t.check_eq([os.path.basename(f) for f in w.downloads()], [world.PARTIAL_NAME],
               "the file is being written under a name that starts nothing")
    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("Escape")
    t.check(state["focus_id"] is not None, "a control of the window holds the keyboard focus")
    t.check_exit(launcher, "Esc during the download", 30, world.EXIT_CODE, world.AT_ONCE_SECONDS)
    t.check(not t.probe.state()["found"], "the window is gone after Esc")
    # The half-written file must not stay behind, under a name a user could start later.
    checks.poll(lambda: not w.downloads(), "the partial download to be gone", 30)
    t.screen.screenshot("1-closed-by-esc")


if __name__ == "__main__":
    scenario.run("escape_during_download", body)
