"""Enter, with no click at all, starts the first row: the list comes up with row 0 selected and
the keyboard focus, so a user who presses Enter gets the newest file."""
from testbed import scenario, steps, world


def body(t):
    if not t.args.recorder:
        raise scenario.Skip("the recorder program (install tools) is not built in this tree")
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    w.add_file("Older.exe", source=t.args.recorder, modified_at="2026-02-01T00:00:00Z", pad_to=1 << 20,
               size_text="1.00 MB")
    newest = w.add_file("Newest.exe", source=t.args.recorder, modified_at="2026-07-01T00:00:00Z",
                        pad_to=3 << 19, size_text="1.50 MB")
    entries = w.publish()
    t.check_eq(entries[0]["name"], newest["name"], "the newest file is row 0")

    launcher = w.start_launcher()
    steps.wait_ready(t, entries)
    t.screen.screenshot("1-ready")
    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("Return")
    t.check_exit(launcher, "the launch of row 0", 60, world.EXIT_CODE)
    t.check_eq(w.served_count(newest["name"]), 1, "row 0's file was downloaded")
    t.check_eq(w.served_count("Older.exe"), 0, "row 1's file was not")
    landed = w.downloaded(newest["name"])
    t.check_eq(len(landed), 1, "row 0's file landed with its stamped name")
    record = steps.read_record(landed[0] + ".record")
    t.check_eq(record.get("path", "").lower(), w.prefix.windows_path(landed[0]).lower(),
               "the downloaded row 0 program ran")
    t.screen.screenshot("2-after-launch")


if __name__ == "__main__":
    scenario.run("enter_starts_first_row", body)
