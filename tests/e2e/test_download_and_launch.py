"""A user's whole run: the launcher starts and fetches, lists the served manifest newest first, a real
double-click on the second row downloads that entry over a paced connection while the bar moves,
the file lands in a folder of its own under the prefix's temp folder, the downloaded program runs,
and the launcher closes by itself."""
import os

from testbed import probe, scenario, steps, world


def body(t):
    if not t.args.recorder:
        raise scenario.Skip("the recorder program (install tools) is not built in this tree")
    w = world.World(t, t.args.ca_dir, t.args.trust_ca, serve=False)
    # Listed out of order on purpose: the window must show them newest first.
    w.add_file("Caf\u00e9 notes.txt", data="Notes\r\n".encode("utf-8"),
               modified_at="2025-12-24T18:00:00Z", size=-1, size_text="\u2014")
    recorder = w.add_file("QuorvelRecorder.exe", source=t.args.recorder,
                          modified_at="2026-05-17T08:30:00Z", pad_to=1 << 20, size_text="1.00 MB")
    w.add_file("QuorvelTools-2.0.msi", data=b"not a package, never started here",
               modified_at="2026-06-01T09:00:00Z", size_text="33 B")
    entries = w.publish()
    w.pace(rate=200 * 1024)  # about five seconds for the 1 MiB program

    launcher = w.start_launcher()
    # The server listens but does not answer yet, so the Fetching state holds still for a look.
    steps.wait_fetching(t)
    t.screen.screenshot("1-fetching")
    w.serve()

    state = steps.wait_ready(t, entries)
    t.screen.screenshot("2-ready")
    t.check_eq(len(w.manifest_requests()), 1, "one manifest request")
    t.check_eq(entries[1]["name"], recorder["name"], "the recorder is the second row")

    x, y = probe.row_center(state, 1)
    t.screen.double_click(x, y)
    samples = []
    shot = False
    for sample in t.probe.watch(120, 3000):
        samples.append(sample)
        if not sample.get("found"):
            break
        if not shot and steps.is_downloading(sample) and 200 < sample["progress"]["pos"] < 800:
            t.screen.screenshot("3-downloading")
            shot = True
    steps.check_progress_moved(t, samples, recorder["name"], "1.00 MB")
    t.check(shot, "a screenshot was taken mid-download")
    seen = [steps.status(s) for s in samples if s.get("found")]
    t.check(steps.LAUNCHING in seen or not samples[-1].get("found"),
            "the window went on to Launching and closed")

    t.check_exit(launcher, "the launcher's own close after the launch", 60, world.EXIT_CODE)
    t.check_eq(w.served_count(recorder["name"]), 1, "the second row's file was fetched once")
    t.check_eq(sum(w.served_count(e["name"]) for e in entries), 1, "no other file was fetched")

    landed = w.downloaded(recorder["name"])
    t.check_eq(len(landed), 1, "one file for the entry in %s" % w.prefix.download_dir())
    t.check_eq(len(w.downloads()) >= 1, True, "the download folder exists")
    w.check_stamp_is_now(landed[0])
    t.check(world.same_bytes(landed[0], os.path.join(w.folder, recorder["name"])),
            "the stored file has the served bytes")

    record = steps.read_record(landed[0] + ".record")
    t.log("the program recorded: %r" % record)
    t.check_eq(record.get("path", "").lower(), w.prefix.windows_path(landed[0]).lower(),
               "the downloaded program itself ran")
    folder = w.prefix.windows_path(os.path.dirname(landed[0]))
    t.check_eq(record.get("cwd", "").rstrip("\\").lower(), folder.rstrip("\\").lower(),
               "the program works in its own folder, not the launcher's")
    t.screen.screenshot("4-after-launch")


if __name__ == "__main__":
    scenario.run("download_and_launch", body)
