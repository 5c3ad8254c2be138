"""Signed download lists. A launcher that pins no list keys shows a signed list as launchers always
have and remembers nothing. The launcher built with the test bed's throwaway keys (a signing key, a
recovery key, minimum serial 1000) lists a list its signing key signed, also as the second of two
lines, and the same list again; it refuses, in red with nothing listed, an unsigned list, one byte
of S changed, one character of the signature changed, a key it does not pin, a serial below the one
it remembers, the remembered serial with other content, an expired list and one without a serial;
it remembers the accepted serial and digest, and with them deleted still refuses a serial below its
minimum. From an accepted list it refuses an entry without a digest before any request, stops a
body longer than its entry's size with the checksum text and keeps nothing, and starts a file
that matches. A list its recovery key signed that withdraws the signing key is taken although its
serial is lower than the remembered one; after it a list signed by the withdrawn key is refused,
and replaying it once a later list has been seen changes nothing."""
import argparse
import datetime
import hashlib
import os

from testbed import probe, scenario, signed_lists, steps, world
from testbed.checks import poll
from testbed.signed_lists import EXPIRED, NO_CLAIMS, NOT_SIGNED, OLDER, digest, document, in_days, sign

MALFORMED = "The manifest's checksum for this file is malformed."
MISMATCH = "Downloaded file does not match its checksum."
ARGS = None  # this scenario's own arguments


def fetch(t, w, exe, body, label, text=None, entries=None, keep=False):
    """Serves body as the list, starts the launcher and checks it shows the entries (text None) or
    refuses with text; then closes it with Esc, unless keep (the launcher is then returned)."""
    w.serve_manifest({"body_hex": body.hex()})
    t.probe.watched = None
    launcher = w.start_launcher("launcher-%s.log" % label.replace(" ", "-").replace(",", ""), exe=exe)
    if text is None:
        t.log("list: " + label)
        steps.wait_ready(t, entries)
    else:
        state = t.probe.wait(lambda s: s["status"].get("error"), "the refusal of " + label, 90, rows=0)
        t.check_eq([steps.status(state), state["list"]["count"]], [text, 0], label + ": refused, nothing listed")
    if keep:
        return launcher
    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("Escape")
    t.check_exit(launcher, "Esc after " + label, 60, world.EXIT_CODE)
    return None


def activate(t, name):
    state = t.probe.state()
    names = [row[0] for row in probe.row_texts(state)]
    row = names.index(name)
    x, y = probe.row_center(state, row)
    t.screen.double_click(x, y)
    return row


def check_refused_download(t, w, name, text):
    requests = len(w.server.requests())
    row = activate(t, name)
    state = t.probe.wait(lambda s: steps.status(s) == text and s["status"].get("error") and s["list"]["enabled"]
                         and s["list"]["selected"] == row, "the refusal of %s" % name, 120)
    t.check_eq(state["progress"]["visible"], False, "no progress bar after refusing " + name)
    t.check_eq(w.downloads(), [], "nothing kept of " + name)
    return requests


def flip_byte(body, at):
    return body[:at] + bytes([body[at] ^ 0x01]) + body[at + 1:]


def body(t):
    if not t.args.recorder:
        raise scenario.Skip("the recorder program (install tools) is not built in this tree")
    folder = ARGS.list_keys
    signing, recovery, stranger = (signed_lists.load_key(folder, name) for name in ("signing", "recovery", "stranger"))
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    tool = w.add_file("Tool.exe", source=t.args.recorder, modified_at="2026-03-04T00:00:00Z")
    notes = w.add_file("notes.txt", data=b"release notes\n", modified_at="2026-03-03T00:00:00Z")
    for entry in (tool, notes):
        with open(os.path.join(w.folder, entry["name"]), "rb") as f:
            entry["sha256"] = hashlib.sha256(f.read()).hexdigest()
    w.add_file("No digest.txt", data=b"no digest", modified_at="2026-03-02T00:00:00Z")
    # Three megabytes without a length, listed with their digest but as 100,000 bytes.
    w.entries.append({"name": "Too long.bin", "url": world.BASE_URL + "/files/stream/3000000", "size": 100000,
                      "modified_at": "2026-03-01T00:00:00Z", "ext": "bin",
                      "sha256": hashlib.sha256(bytes(i % 251 for i in range(3000000))).hexdigest()})
    shown = sorted(w.entries, key=lambda e: e["modified_at"], reverse=True)
    files = [{k: v for k, v in e.items() if k != world.SIZE_TEXT} for e in w.entries]

    def listed(serial, expires=None, revoke=None, entries=files):
        return document(entries, serial, expires or in_days(30), revoke)

    plain, pinned = t.args.launcher, ARGS.pinned_launcher
    signed_lists.forget()

    # Old launchers keep working: the signature lines after S are never read.
    fetch(t, w, plain, sign(listed(2000), stranger, signing), "a signed list, no keys pinned", entries=shown)
    t.check_eq(signed_lists.remembered(), {}, "a launcher without keys remembers nothing")

    first = listed(2000)
    fetch(t, w, pinned, first, "an unsigned list", NOT_SIGNED)
    fetch(t, w, pinned, sign(first, signing), "a signed list", entries=shown)
    t.check_eq(signed_lists.remembered(), {"ListSerial": 2000, "ListDigest": digest(first)},
               "the accepted serial and digest are remembered")
    fetch(t, w, pinned, sign(first, signing), "the same list again", entries=shown)
    t.screen.screenshot("1-signed-list")

    second = listed(2001)
    launcher = fetch(t, w, pinned, sign(second, stranger, signing), "two lines, the second pinned", entries=shown,
                     keep=True)
    t.check_eq(signed_lists.remembered(), {"ListSerial": 2001, "ListDigest": digest(second)},
               "a higher serial is remembered")
    requests = check_refused_download(t, w, "No digest.txt", MALFORMED)
    t.check_eq(len(w.server.requests()), requests, "nothing was requested for an entry without a digest")
    check_refused_download(t, w, "Too long.bin", MISMATCH)
    t.screen.screenshot("2-too-long")
    activate(t, "Tool.exe")
    landed = poll(lambda: w.downloaded("Tool.exe"), "Tool.exe to be kept", 120)
    record = steps.read_record(landed[0] + ".record", 120)
    t.check_eq(record.get("path", "").lower(), w.prefix.windows_path(landed[0]).lower(), "the matching file started")
    t.check_exit(launcher, "the close after starting Tool.exe", 60, world.EXIT_CODE)

    changed = sign(listed(2002), signing)
    at = changed.index(b"Tool.exe")
    fetch(t, w, pinned, flip_byte(changed, at), "one byte of S changed", NOT_SIGNED)
    line = changed.index(b"ecdsa-p256-sha256 ") + len(b"ecdsa-p256-sha256 ") + 16 + 1 + 10
    character = b"B" if changed[line:line + 1] != b"B" else b"C"
    fetch(t, w, pinned, changed[:line] + character + changed[line + 1:], "one signature character changed",
          NOT_SIGNED)
    fetch(t, w, pinned, sign(listed(2002), stranger), "a key not pinned", NOT_SIGNED)
    fetch(t, w, pinned, sign(first, signing), "a serial below the remembered one", OLDER)
    fetch(t, w, pinned, sign(listed(2001, entries=files[:1]), signing), "the remembered serial, other content",
          OLDER)
    yesterday = (datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(days=1)).replace(
        hour=12, minute=34, second=56)
    fetch(t, w, pinned, sign(listed(2002, expires=signed_lists.utc_text(yesterday)), signing), "an expired list",
          EXPIRED % yesterday.strftime("%Y-%m-%d 12:34 UTC"))
    fetch(t, w, pinned, sign(document(files, None, in_days(30)), signing), "a list without a serial", NO_CLAIMS)
    t.screen.screenshot("3-refused")
    t.check_eq(signed_lists.remembered(), {"ListSerial": 2001, "ListDigest": digest(second)},
               "no refused list changed what is remembered")

    signed_lists.forget()
    fetch(t, w, pinned, sign(listed(999), signing), "a serial below the build's minimum", OLDER)
    t.check_eq(signed_lists.remembered(), {}, "a refused list writes nothing")

    # The signing key is stolen: its thief has pushed the serial up; a recovery key withdraws it.
    fetch(t, w, pinned, sign(listed(5000), signing), "a thief's high serial", entries=shown)
    rescue = listed(3000, revoke=[signed_lists.key_id(signing)])
    fetch(t, w, pinned, sign(rescue, recovery), "a recovery list withdrawing the signing key", entries=shown)
    withdrawn = {"ListSerial": 3000, "ListDigest": digest(rescue), "RevokedKeys": [signed_lists.key_id(signing)]}
    t.check_eq(signed_lists.remembered(), withdrawn, "the lower serial and the withdrawn key are remembered")
    fetch(t, w, pinned, sign(listed(6000), signing), "a list signed by the withdrawn key", NOT_SIGNED)
    later = listed(3001)
    fetch(t, w, pinned, sign(later, recovery), "a later list", entries=shown)
    fetch(t, w, pinned, sign(rescue, recovery), "the recovery list replayed", OLDER)
    t.check_eq(signed_lists.remembered(), dict(withdrawn, ListSerial=3001, ListDigest=digest(later)),
               "the replay changed nothing")


if __name__ == "__main__":
    ours = argparse.ArgumentParser(add_help=False)
    ours.add_argument("--pinned-launcher", required=True, help="QuorvelLauncher.exe pinning the test keys")
    ours.add_argument("--list-keys", required=True, help="folder of the test keys (signing, recovery, stranger)")
    ARGS, rest = ours.parse_known_args()
    scenario.run("signed_lists", body, rest)
