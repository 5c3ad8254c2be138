"""Names that disguise themselves are shown with U+FFFD and their true type, and they, names no file
can have and types that run code unchecked are refused before anything is requested or created; so is a download when
%TEMP%\\QuorvelLauncher is a file. Then the server breaks off a download part-way: the window shows
the error in red, hides the bar, gives the list back with the row still selected and keeps no
partial file; the same row then downloads and launches."""
import os
import shutil

from testbed import probe, scenario, steps, world

HIDING_TEXT = "Refusing a file whose name hides characters."
UNCHECKED_TEXT = "Refusing a file type that runs code unchecked."
RESERVED_TEXT = "Refusing a file name that Windows reserves."


def body(t):
    if not t.args.recorder:
        raise scenario.Skip("the recorder program (install tools) is not built in this tree")
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    w.add_file("Stable.exe", source=t.args.recorder, modified_at="2026-05-01T00:00:00Z", pad_to=1 << 20,
               size_text="1.00 MB")
    flaky = w.add_file("Flaky.exe", source=t.args.recorder, modified_at="2026-04-01T00:00:00Z",
                       pad_to=3 << 19, size_text="1.50 MB")
    refused = [
        (w.list_only("invoice_2026\u202etxt.exe", "2026-03-05T00:00:00Z", ext="txt"), HIDING_TEXT),
        # Each refusal's text differs from the one before, so each wait sees its own.
        (w.list_only("NUL.txt", "2026-03-04T00:00:00Z", ext="txt"), RESERVED_TEXT),
        (w.add_file("Run Me.BaT", data=b"@echo off", modified_at="2026-03-03T00:00:00Z"), UNCHECKED_TEXT),
        (w.list_only("...", "2026-03-02T00:00:00Z"), RESERVED_TEXT),
        (w.list_only("Quorvel Setup 2.1.msi\0.exe", "2026-03-01T00:00:00Z", ext="msi"), HIDING_TEXT),
    ]
    entries = w.publish()
    w.pace(rate=0, breaks={flaky["name"]: 1}, break_after=128 * 1024)

    launcher = w.start_launcher()
    state = steps.wait_ready(t, entries)
    cells = probe.row_texts(state)
    t.check_eq(cells[2][0], "invoice_2026\ufffdtxt.exe", "the turned name shows its hidden mark")
    t.check_eq([row[3] for row in cells[2:]], ["EXE", "TXT", "BAT", "", "EXE"], "the types are the saved names' own")
    requests = len(w.server.requests())
    for row, (entry, text) in enumerate(refused, start=2):
        x, y = probe.row_center(state, row)
        t.screen.double_click(x, y)
        state = t.probe.wait(lambda s: steps.status(s) == text and s["status"].get("error") and
                             s["list"]["enabled"] and s["list"]["selected"] == row,
                             "the refusal of %r" % entry["name"], 60)
    t.check_eq(len(w.server.requests()), requests, "nothing was requested for the refused rows")
    t.check_eq(w.downloads(), [], "nothing was created for them")

    # A file in the place of the download folder is not used.
    shutil.rmtree(w.prefix.download_dir(), ignore_errors=True)
    with open(w.prefix.download_dir(), "wb") as f:
        f.write(b"in the way")
    x, y = probe.row_center(state, 0)
    t.screen.double_click(x, y)
    state = t.probe.wait(lambda s: (steps.status(s) or "").startswith("Could not create destination file (Win32 error ")
                         and s["list"]["enabled"], "the create error", 60)
    t.check_eq(len(w.server.requests()), requests, "nothing was requested without a folder")
    os.remove(w.prefix.download_dir())

    x, y = probe.row_center(state, 1)
    t.screen.double_click(x, y)

    state = t.probe.wait(lambda s: s["status"].get("error"), "the download error", 60)
    t.screen.screenshot("1-download-failed")
    # Wine's WinHTTP mostly ends the body at the reset as if it were whole, and the launcher finds it
    # short of its length; when the reset reaches the read first it fails with the socket's text.
    # Windows fails the read itself with its own text.
    t.check(steps.status(state) in ("Download incomplete; the connection closed early.",
                                    "Connection reset by peer.",
                                    "The connection with the server was terminated abnormally"),
            "the error text for a download cut off: %r" % steps.status(state))
    t.check_eq(state["progress"]["visible"], False, "progress bar hidden after the failure")
    t.check_eq(state["list"]["enabled"], True, "list enabled again after the failure")
    t.check_eq(state["list"]["selected"], 1, "the failed row stays selected")
    t.check_eq(probe.row_texts(state), [world.World.expected_cells(e) for e in entries],
               "rows unchanged after the failure")
    t.check_eq(w.downloaded(flaky["name"]), [], "no partial file is left behind")
    t.check_eq(launcher.exited(), False, "the launcher is still running")

    # The selection has stayed, so a double-click on the same row starts it again.
    x, y = probe.row_center(state, 1)
    t.screen.double_click(x, y)
    t.check_exit(launcher, "the second try to download, launch and close", 90, world.EXIT_CODE)
    t.check_eq(w.served_count(flaky["name"]), 2, "the row was fetched twice")
    landed = w.downloaded(flaky["name"])
    t.check_eq(len(landed), 1, "exactly the good download is kept")
    t.check(world.same_bytes(landed[0], os.path.join(w.folder, flaky["name"])),
            "the kept file is complete")
    record = steps.read_record(landed[0] + ".record")
    t.check_eq(record.get("path", "").lower(), w.prefix.windows_path(landed[0]).lower(),
               "the second download ran")
    t.screen.screenshot("2-after-retry")


if __name__ == "__main__":
    scenario.run("download_failure", body)
