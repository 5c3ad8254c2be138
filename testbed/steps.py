"""Steps several scenarios share: waiting for the window's named states and checking what they show."""
import codecs
import os
import re
import shutil
import time

from testbed import world
from testbed.checks import Failure, poll
from testbed.probe import row_texts

FETCHING = "Fetching available downloads\u2026"
LAUNCHING = "Launching\u2026"


def status(state):
    return state["status"].get("text")


def wait_fetching(t, timeout=90):
    state = t.probe.wait(lambda s: status(s) == FETCHING, "the Fetching state", timeout)
    t.check_eq(state["status"]["error"], False, "Fetching is not an error")
    t.check_eq(state["list"]["count"], 0, "the list is empty while fetching")
    t.check_eq(state["progress"]["visible"], False, "progress bar hidden while fetching")
    return state


def wait_ready(t, entries, timeout=90):
    """Waits for Ready and checks the rows against the entries in display order."""
    want = world.ready_text(len(entries))
    state = t.probe.wait(lambda s: status(s) == want or s["status"].get("error"),
                         "the Ready state", timeout, rows=len(entries) + 5)
    t.check_eq(status(state), want, "status line in the Ready state")
    t.check_eq(state["status"]["error"], False, "Ready is not an error")
    t.check_eq([c["text"] for c in state["list"]["columns"]], ["File", "Date", "Size", "Type"],
               "list columns")
    t.check_eq(row_texts(state), [world.World.expected_cells(e) for e in entries],
               "rows, newest first, with their cell texts")
    t.check_eq(state["list"]["enabled"], True, "list enabled when ready")
    t.check_eq(state["progress"]["visible"], False, "progress bar hidden when ready")
    if entries:
        t.check_eq(state["list"]["selected"], 0, "row 0 selected when ready")
        t.check_eq(state["list"]["focused"], 0, "row 0 focused when ready")
        t.check_eq(state["focus_id"], 1006, "the list holds the keyboard focus")
    return state


def downloading_text(name):
    return "Downloading " + name + "\u2026"


def progress_text_pattern(total_text=None):
    """The progress text for a download whose announced size shows as total_text (any if None)."""
    total = re.escape(total_text) if total_text is not None else world.SIZE
    return re.compile("^Downloading\u2026 " + world.SIZE + " of " + total + "$")


def wait_download_started(t, name, total_text):
    """After a row's activation: the window first names the file, then shows the progress of the
    announced size; either way the bar shows and the list is disabled. Needs a paced server slow
    enough that the first 64 KiB take seconds, so the first text is seen."""
    state = t.probe.wait(is_downloading, "the download to start", 60)
    t.check_eq(status(state), downloading_text(name), "status line when the download starts")
    t.check_eq([state["list"]["enabled"], state["progress"]["visible"]], [False, True],
               "list disabled and bar shown while downloading")
    state = t.probe.wait(lambda s: status(s) != downloading_text(name) and s["progress"]["pos"] > 0,
                         "the first progress", 60)
    t.check(progress_text_pattern(total_text).match(status(state) or ""),
            "progress text %r is 'Downloading\u2026 X of %s'" % (status(state), total_text))
    return state


def is_downloading(state):
    text = status(state) or ""
    return text.startswith("Downloading") and not state["status"].get("error")


def follow_download(t, name, interval_ms=120, count=2000):
    """Samples the window from the start of a download until it has gone; returns the samples."""
    samples = []
    for state in t.probe.watch(interval_ms, count):
        samples.append(state)
        if not state.get("found"):
            break
    return samples


def check_progress_moved(t, samples, name, total_text=None):
    during = [s for s in samples if s.get("found") and is_downloading(s)]
    t.check(len(during) >= 3, "the window was seen downloading (%d samples)" % len(during))
    # The probe reads the controls one after another, so the last sample may straddle the end of
    # the download (status read before it, bar after it): only the ones before it must agree.
    for s in during[:-1]:
        if not (s["progress"]["visible"] and not s["list"]["enabled"]):
            raise Failure("while downloading the bar must show and the list be "
                                     "disabled: %r" % {k: s[k] for k in ("status", "progress")})
    t.check_eq([during[0]["progress"]["min"], during[0]["progress"]["max"]], [0, 1000],
               "progress range while downloading")
    positions = [s["progress"]["pos"] for s in during]
    t.check(positions == sorted(positions), "progress never goes back: %r" % positions)
    inner = sorted({p for p in positions if 0 < p < 1000})
    t.check(len(inner) >= 2, "the bar stood at two or more positions between the ends: %r" % inner)
    texts = {status(s) for s in during}
    progress = {x for x in texts if progress_text_pattern(total_text).match(x)}
    t.check(texts - progress <= {downloading_text(name)}, "download status texts: %r" % sorted(texts))
    t.check(progress, "a 'Downloading\u2026 X of %s' text was shown" % (total_text or "Y"))
    return during


def read_record(path, timeout=60):
    """The key=value lines the recorder wrote when it was started."""
    poll(lambda: os.path.exists(path), "the recorder's record %s" % path, timeout)
    with open(path, "rb") as f:
        raw = f.read()
    if raw.startswith(codecs.BOM_UTF16_LE):
        text = raw[2:].decode("utf-16-le")
    elif len(raw) > 1 and raw[1:2] == b"\0":
        text = raw.decode("utf-16-le")
    else:
        text = raw.decode("utf-8", "replace")
    record = {}
    for line in text.splitlines():
        key, sep, value = line.partition("=")
        if sep:
            record[key.strip()] = value
    return record


def check_stays(t, predicate, what, seconds=3.0):
    """Samples for a while and checks the predicate holds in every sample."""
    deadline = time.monotonic() + seconds
    n = 0
    while time.monotonic() < deadline:
        state = t.probe.state()
        n += 1
        if not predicate(state):
            raise Failure("%s stopped holding: %s" % (what, status(state)))
    t.check(n >= 1, "%s held over %d samples" % (what, n))


def recorder_in_place_of(t, program):
    """Puts the recorder in place of a program of the prefix's system folder until the test ends."""
    path = os.path.join(t.prefix.path, "drive_c", "windows", "system32", program)
    kept = path + ".wine"
    if not os.path.exists(kept):  # else a run cut short left the recorder in place
        shutil.copyfile(path, kept)
    shutil.copyfile(t.args.recorder, path)
    t.on_exit(lambda: os.replace(kept, path))
    record = path + ".record"
    if os.path.exists(record):
        os.remove(record)
    t.on_exit(lambda: os.path.exists(record) and os.remove(record))
    return path
