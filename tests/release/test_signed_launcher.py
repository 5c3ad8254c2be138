"""The launcher signed by the release's signing step, with a throwaway CA trusted in the test bed's
prefix: Wine's WinVerifyTrust accepts it and rejects a copy with one flipped bit, and the signed
launcher lists the test server's files. Being signed, it starts only programs, packages and updates
that its own publisher signed: the recorder signed by the publisher, or by the publisher's renewed
certificate, or by an expired certificate of the publisher's that time-stamped it while it was
valid, is started, a package signed by the publisher reaches msiexec, and the launcher's own
update is relaunched; every other program or package is refused with the publisher's name, its file
is deleted and nothing runs. Wine's verdict lets through much of what is refused here (a chain
through certificates that may not issue, the wrong usage, a certificate out of its time, another
file type's signature, a package's signature on other streams, bytes added to the certificate
table): those rows show the launcher's own reading of the signature. A program under a name that
does not say so is refused for its content, and an unsigned launcher at a path longer than 260
characters still starts what it downloads. Esc while a large program is being judged leaves nothing
that could be started."""
import argparse
import os
import shutil
import struct
import subprocess

from testbed import ca, probe, scenario, steps, wine, world
from testbed.checks import poll

TRUST_E_BAD_DIGEST = "0x80096010"
VERIFY_TRUST = None  # verify_trust.exe, from the command line
PUBLISHER = "/O=Quorvel Test Publishing/CN=Quorvel Throwaway Publisher"
NOT_SIGNED = "Downloaded file is not signed by Quorvel Test Publishing."
OWN_SIGNATURE_FAILS = "This launcher's own signature does not verify; refusing to start downloaded programs."
CONTENT_MISMATCH = "Refusing a file whose content does not match its type."
HEADER_PADDING = 0x5F0  # zeros between the launcher's section table and its first section
BIG_NAME = "Big Other Publisher.exe"
BIG_BYTES = 512 * 1024 * 1024 - 65536  # its signature still leaves it within the 512 MiB limit
OWN_NAME = "QuorvelLauncher.exe"


def verify_trust(t, exe):
    result = subprocess.run([wine.wine_binary(), VERIFY_TRUST, exe], capture_output=True,
                            text=True, timeout=180)
    t.log("WinVerifyTrust(%s): %s" % (os.path.basename(exe), result.stdout.strip()))
    return result.returncode, result.stdout


def signed_copy(t, source, name, signer, nest=None, checked=True):
    """A copy of source signed by signer; with nest, another signer's signature nested under it.
    Unchecked, it is signed by osslsigncode alone, since the release's signing step would refuse a
    signature that does not verify."""
    folder = t.artefact("signed")
    os.makedirs(folder, exist_ok=True)
    path = shutil.copy(source, os.path.join(folder, name))
    if checked:
        subprocess.run([os.path.join(t.args.root, "tools", "release", "sign.sh"), path],
                       env=ca.sign_env(signer), check=True, timeout=120, stdout=subprocess.DEVNULL)
    else:
        subprocess.run(["osslsigncode", "sign", "-pkcs12", signer.pfx, "-readpass", signer.password_file,
                        "-h", "sha256", "-in", path, "-out", path + ".signed"],
                       check=True, timeout=120, capture_output=True)
        os.replace(path + ".signed", path)
    if nest:
        subprocess.run(["osslsigncode", "sign", "-pkcs12", nest.pfx, "-readpass", nest.password_file,
                        "-h", "sha256", "-nest", "-in", path, "-out", path + ".nested"],
                       check=True, timeout=120, capture_output=True)
        os.replace(path + ".nested", path)
    return path


def big_signed_copy(t, source, signer):
    """The program padded with zeros to the largest size the launcher takes once signed, and signed."""
    path = t.artefact(os.path.join("signed", "big.exe"))
    shutil.copyfile(source, path)
    with open(path, "ab") as f:
        f.truncate(BIG_BYTES)
    subprocess.run([os.path.join(t.args.root, "tools", "release", "sign.sh"), path],
                   env=ca.sign_env(signer), check=True, timeout=600, stdout=subprocess.DEVNULL)
    return path


def time_stamped_copy(t, source, name, dated, when=None):
    """A copy of source signed with the dated certificate and, with `when` (seconds since 1970),
    time-stamped then; without it, signed now and not time-stamped."""
    path = t.artefact(os.path.join("signed", name))
    stamp = [] if when is None else ["-time", str(when), "-TSA-certs", dated.tsa_chain, "-TSA-key", dated.tsa_key,
                                     "-TSA-time", str(when)]
    subprocess.run(["osslsigncode", "sign", "-certs", dated.signer_chain, "-key", dated.signer_key,
                    "-h", "sha256", *stamp, "-in", source, "-out", path],
                   check=True, timeout=120, capture_output=True)
    return path


def win_certificate(der, extra=b""):
    """One certificate-table entry (WIN_CERTIFICATE, PKCS#7) holding der and then extra, padded to
    eight bytes."""
    length = 8 + len(der) + len(extra)
    return struct.pack("<IHH", length, 0x0200, 0x0002) + der + extra + b"\0" * (-length % 8)


def first_signature(table):
    """The PKCS#7 blob of a certificate table's first entry, as long as its DER header says."""
    assert table[8] == 0x30 and table[9] == 0x82
    return table[8:8 + 4 + (table[10] << 8 | table[11])]


def retabled_copy(t, source, name, table_of):
    """A copy of the program whose certificate table, at the end of the file, is table_of(its old
    table), the security directory pointing at the new one."""
    data = bytearray(open(source, "rb").read())
    header = struct.unpack_from("<I", data, 0x3C)[0] + 24
    wide = struct.unpack_from("<H", data, header)[0] == 0x20B
    directory = header + (112 if wide else 96) + 4 * 8
    offset, size = struct.unpack_from("<II", data, directory)
    table = bytes(data[offset:offset + size])
    if size:
        del data[offset:]
    data += b"\0" * (-len(data) % 8)
    table = table_of(table)
    struct.pack_into("<II", data, directory, len(data), len(table))
    path = t.artefact(os.path.join("signed", name))
    with open(path, "wb") as f:
        f.write(bytes(data) + table)
    return path


def package_signature(t, signed_package):
    """A file holding the PKCS#7 blob of a signed package's signature stream."""
    path = t.artefact(os.path.join("signed", "package-signature.der"))
    subprocess.run(["osslsigncode", "extract-signature", "-in", signed_package, "-out", path],
                   check=True, timeout=120, capture_output=True)
    return path


def grafted_package(t, signature):
    """Another package (its product named otherwise) carrying a signed package's signature stream.
    osslsigncode attaches it, then reports that it does not verify."""
    folder = t.artefact("hostile")
    os.makedirs(folder, exist_ok=True)
    install = os.path.join(t.args.root, "tests", "install")
    with open(os.path.join(install, "marker.wxs")) as f:
        source = f.read().replace("Quorvel Install Marker", "Quorvel Hostile Package")
    with open(os.path.join(folder, "hostile.wxs"), "w") as f:
        f.write(source)
    shutil.copy(os.path.join(install, "marker.txt"), folder)
    subprocess.run(["wixl", "-o", "hostile.msi", "hostile.wxs"], cwd=folder, check=True, timeout=120,
                   capture_output=True)
    path = t.artefact(os.path.join("signed", "grafted.msi"))
    subprocess.run(["osslsigncode", "attach-signature", "-sigin", signature,
                    "-in", os.path.join(folder, "hostile.msi"), "-out", path], timeout=120, capture_output=True)
    assert os.path.exists(path)
    return path


def catalogue(t, w):
    """Serves the programs and packages of every case; returns the signed launcher, the names
    refused as not the publisher's, the names refused for their content and the names that must
    start."""
    signer = ca.make_signer(t.artefact("signing-ca"), subject=PUBLISHER)
    directory = os.path.dirname(signer.pfx)
    renewed = ca.issue_signer(directory, "renewed", PUBLISHER)
    other = ca.issue_signer(directory, "other", "/O=Someone Else/CN=Someone Else Code Signing")
    # The publisher's names from certificates no code-signing chain may hold: issued by a TLS
    # server's certificate or by another publisher's, or for server authentication only.
    ca.issue_signer(directory, "tls-server", "/CN=127.0.0.1", usage="serverAuth")
    via_tls = ca.issue_signer(directory, "via-tls", PUBLISHER, issuer="tls-server")
    via_other = ca.issue_signer(directory, "via-other", PUBLISHER, issuer="other")
    server_auth = ca.issue_signer(directory, "server-auth", PUBLISHER, usage="serverAuth")
    # The publisher's names, from a CA that the prefix does not trust.
    impostor = ca.make_signer(t.artefact("untrusted-ca"), "Untrusted Code Signing CA", PUBLISHER)
    # Valid January to February 2025, time-stamped on 1 February 2025; and valid only from 2035.
    dated = ca.make_dated_signer(t.artefact("dated-ca"), PUBLISHER, "20250101000000Z", "20250301000000Z")
    future = ca.make_dated_signer(t.artefact("future-ca"), PUBLISHER, "20350101000000Z", "20351231000000Z")
    for trusted in (signer, dated, future):
        wine.ensure_trusted(t.args.trust_ca, trusted)
    launcher = signed_copy(t, t.args.launcher, OWN_NAME, signer)
    recorder = signed_copy(t, t.args.recorder, "Signed.exe", signer)
    package = t.artefact("marker.msi")
    subprocess.run(["wixl", "-o", package, os.path.join(t.args.root, "tests", "install", "marker.wxs")],
                   check=True, timeout=120, capture_output=True)
    signed_package = signed_copy(t, package, "signed.msi", signer)
    blob = package_signature(t, signed_package)
    with open(blob, "rb") as f:
        package_blob = f.read()
    refused = {
        "Unsigned.exe": t.args.recorder,
        "Unsigned Setup.msi": None,
        "Flipped.exe": ca.flipped_copy(recorder, t.artefact("flipped.exe")),
        "Other Publisher.exe": signed_copy(t, t.args.recorder, "other.exe", other),
        "Untrusted CA.exe": signed_copy(t, t.args.recorder, "impostor.exe", impostor),
        "Nested.exe": signed_copy(t, t.args.recorder, "nested.exe", other, nest=signer),
        # Named like the launcher, so it would be relaunched as its update.
        OWN_NAME.lower(): signed_copy(t, t.args.recorder, "other-update.exe", other),
        "Issued by TLS.exe": signed_copy(t, t.args.recorder, "via-tls.exe", via_tls, checked=False),
        "Issued by Another Signer.exe": signed_copy(t, t.args.recorder, "via-other.exe", via_other, checked=False),
        "Server Auth.exe": signed_copy(t, t.args.recorder, "server-auth.exe", server_auth, checked=False),
        # The time-stamped file's certificate, without the time stamp.
        "Expired.exe": time_stamped_copy(t, t.args.recorder, "expired.exe", dated),
        "Not Yet Valid.exe": time_stamped_copy(t, t.args.recorder, "not-yet-valid.exe", future),
        "Package Signature.exe": retabled_copy(t, t.args.recorder, "package-signature.exe",
                                               lambda _: win_certificate(package_blob)),
        "Grafted Setup.msi": grafted_package(t, blob),
        "Appended Entry.exe": retabled_copy(t, recorder, "appended.exe",
                                            lambda table: table + win_certificate(first_signature(table))),
        "Grown Entry.exe": retabled_copy(t, recorder, "grown.exe",
                                         lambda table: win_certificate(first_signature(table), b"appended bytes")),
    }
    # Programs whose names say they are something else, which Wine's shell would run all the same.
    mislabelled = {"Release notes.txt": t.args.recorder, "Invoice 2026.pdf": t.args.recorder,
                   "Tool": t.args.recorder}
    started = {
        "Signed Setup.msi": signed_package,
        "Signed.exe": recorder,
        "Renewed.exe": signed_copy(t, t.args.recorder, "renewed.exe", renewed),
        "Time-stamped.exe": time_stamped_copy(t, t.args.recorder, "time-stamped.exe", dated, 1738368000),
        OWN_NAME: launcher,
    }
    w.add_file(BIG_NAME, source=big_signed_copy(t, t.args.recorder, other), modified_at="2026-02-01T00:00:00Z")
    day = 28
    for name, source in list(refused.items()) + list(mislabelled.items()) + list(started.items()):
        stamp = "2026-03-%02dT00:00:00Z" % day  # listed in this order, newest first
        day -= 1
        if source:
            w.add_file(name, source=source, modified_at=stamp)
        else:
            w.add_file(name, data=b"not a package: it is never opened here", modified_at=stamp)
    return launcher, list(refused), list(mislabelled), list(started)


def double_click(t, name):
    state = t.probe.state()
    names = [row[0] for row in probe.row_texts(state)]
    row = names.index(world.shown_name(name))
    listing = state["list"]
    if not listing["top"] <= row < listing["top"] + listing["per_page"]:
        # Below the fold: brought into view with the keyboard, as a user scrolls the list.
        t.screen.focus(world.LAUNCHER_TITLE)
        t.screen.key("Home")
        for _ in range(row):
            t.screen.key("Down")
        state = t.probe.wait(lambda s: s["list"]["top"] <= row < s["list"]["top"] + s["list"]["per_page"],
                             "row %d of the list to be in view" % row, 30)
    x, y = probe.row_center(state, row)
    t.screen.double_click(x, y)


def records(w):
    return [f for f in w.downloads() if f.endswith(".record")]


def check_refused(t, w, name, msiexec, text=NOT_SIGNED):
    double_click(t, name)
    # The list is disabled from the click until the download has ended, and the server counts the
    # file only after the click: both together mean this download is over.
    state = t.probe.wait(lambda s: w.served_count(name) >= 1 and (s.get("list") or {}).get("enabled"),
                         "the download of %s to end" % name, 120)
    t.check_eq([steps.status(state), state["status"]["error"]], [text, True],
               "%s refused in red" % name)
    t.check_eq(w.downloaded(name), [], "%s was deleted" % name)
    t.check_eq(records(w), [], "nothing was started")
    t.check(not os.path.exists(msiexec + ".record"), "msiexec was not started")


def check_started(t, w, name, entries, msiexec, planted=False, exe=None):
    """With planted, the launcher runs from a folder that also holds a DLL under every name a run
    loads or looks for beside it, those of WinHTTP and the signature check included, none of which
    may be loaded, and Wine prefers programs found on disk to its own, so that the recorder in
    place of msiexec is what runs. exe is another copy of the launcher to run."""
    t.probe.watched = None  # the new run is the one whose early exit ends a wait
    if planted:
        launcher, folders = w.start_planted_launcher(OWN_NAME, "launcher-%s.log" % name)
    else:
        launcher = w.start_launcher("launcher-%s.log" % name, exe=exe)
    steps.wait_ready(t, entries)
    before = set(w.downloaded(name))
    double_click(t, name)
    landed = poll(lambda: sorted(set(w.downloaded(name)) - before), "%s to be kept" % name, 120)
    if name.endswith(".msi"):
        record = steps.read_record(msiexec + ".record", 120)
        t.check(record.get("command", "").endswith('/i "%s"' % w.prefix.windows_path(landed[0])),
                "%s was handed to msiexec" % name)
    else:
        record = steps.read_record(landed[0] + ".record", 120)
        t.check_eq(record.get("path", "").lower(), w.prefix.windows_path(landed[0]).lower(),
                   "%s was started" % name)
    t.check_exit(launcher, "the launcher's own close after starting %s" % name, 60, world.EXIT_CODE)
    if planted:
        t.check_eq(w.planted_traces(folders), [], "no planted DLL was loaded")


def long_path_copy(t, exe, length=300):
    """A copy of exe whose Windows path is at least `length` characters long."""
    folder = t.artefact("long-path")
    while len(t.prefix.windows_path(folder)) + 1 + len(OWN_NAME) < length:
        folder = os.path.join(folder, "a-folder-to-make-the-path-long")
    os.makedirs(folder, exist_ok=True)
    path = shutil.copy(exe, os.path.join(folder, OWN_NAME))
    t.log("the long path has %d characters" % len(t.prefix.windows_path(path)))
    return path


def check_update_relaunched(t, w, entries):
    t.probe.watched = None
    w.start_launcher("launcher-update.log")
    state = steps.wait_ready(t, entries)
    old_pid = state["pid"]
    double_click(t, OWN_NAME)
    t.probe.watched = None  # the relaunched copy is not a process of ours
    t.probe.wait(lambda s: s.get("found") and s["pid"] != old_pid and
                 steps.status(s) == world.ready_text(len(entries)), "the signed update's own list", 90)
    t.check_eq(len(w.downloaded(OWN_NAME)), 1, "the update was kept in a folder of its own")
    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("alt+F4")
    t.probe.wait_gone("the relaunched copy to close", 30)


def check_escape_during_first_check(t, w, entries):
    """Esc while a fresh launcher judges a large program, its first check in the run (which reads
    the launcher's own signature too), leaves nothing that could be started: the program never had
    its own name, and the name it was written under goes with the process. Another publisher signed
    it, so a check that ends before the process does refuses it too: what is left never depends on
    which comes first."""
    t.probe.watched = None
    launcher = w.start_launcher("launcher-escape.log")
    steps.wait_ready(t, entries)
    double_click(t, BIG_NAME)
    size = os.path.getsize(os.path.join(w.folder, BIG_NAME))

    def whole():
        root = w.prefix.download_dir()
        for name in w.downloads():
            try:
                if os.path.getsize(os.path.join(root, name)) == size:
                    return name
            except OSError:
                pass
        return None

    written = poll(whole, "the last byte to be written", 300)
    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("Escape")
    t.log("Esc once %s was whole" % written)
    t.check_exit(launcher, "Esc during the check", 30, world.EXIT_CODE, world.AT_ONCE_SECONDS)
    t.check_eq(w.downloaded(BIG_NAME), [], "nothing is under the name that starts it")
    poll(lambda: not w.downloads(), "nothing of the download to be left", 30)
    t.check_eq(records(w), [], "nothing was started")


def close(t, program, after):
    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("alt+F4")
    t.check_exit(program, "the launcher's close after " + after, 60, world.EXIT_CODE)


# Without list keys a signed launcher starts only what its publisher signs (programs, packages,
# patches, its own update): any other type is refused before it is requested.
NOT_VOUCHED = "Refusing a file its publisher has not vouched for."
UNVOUCHED = ("Read me.txt", "App.msix")


def add_unvouched(w):
    for day, name in enumerate(UNVOUCHED, start=1):
        w.add_file(name, data=b"nothing vouches for this", modified_at="2026-02-%02dT00:00:00Z" % day)


def check_refused_unrequested(t, w, name):
    row = [cells[0] for cells in probe.row_texts(t.probe.state())].index(name)
    double_click(t, name)
    t.probe.wait(lambda s: steps.status(s) == NOT_VOUCHED and s["status"].get("error") and s["list"]["enabled"]
                 and s["list"]["selected"] == row, "the refusal of %s" % name, 60)
    t.check_eq(w.served_count(name), 0, "%s was not requested" % name)
    t.check_eq(w.downloads(), [], "nothing was created for %s" % name)


def body(t):
    if not t.args.recorder:
        raise scenario.Skip("the recorder program (install tools) is not built in this tree")
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    unsigned_launcher = t.args.launcher
    launcher, refused, mislabelled, started = catalogue(t, w)
    add_unvouched(w)
    msiexec = steps.recorder_in_place_of(t, "msiexec.exe")
    code, _ = verify_trust(t, launcher)
    t.check_eq(code, 0, "WinVerifyTrust accepts the signed launcher")
    code, text = verify_trust(t, ca.flipped_copy(launcher, t.artefact("flipped-launcher.exe")))
    t.check(code != 0 and TRUST_E_BAD_DIGEST in text, "WinVerifyTrust rejects a flipped bit as a bad digest")

    t.args.launcher = w.launcher_exe = launcher
    entries = w.publish()
    running = w.start_launcher()
    steps.wait_ready(t, entries)
    t.screen.screenshot("1-signed-launcher-ready")
    for name in refused:
        check_refused(t, w, name, msiexec)
    t.screen.screenshot("2-refused")
    for name in UNVOUCHED:
        check_refused_unrequested(t, w, name)
    close(t, running, "the refusals")
    # Types no signature vouches for start only in a launcher without a publisher, and even there a
    # program under such a name is refused for its content.
    t.probe.watched = None
    unsigned = w.start_launcher("launcher-mislabelled.log", exe=unsigned_launcher)
    steps.wait_ready(t, entries)
    for name in mislabelled:
        check_refused(t, w, name, msiexec, CONTENT_MISMATCH)
    close(t, unsigned, "the content refusals")
    check_escape_during_first_check(t, w, entries)
    # A launcher whose own signature fails starts nothing, not even the publisher's own program.
    # The flipped bit lies in header padding, which the loader ignores and the signature covers.
    t.probe.watched = None
    os.makedirs(t.artefact("broken"), exist_ok=True)
    broken = w.start_launcher("launcher-broken.log", exe=ca.flipped_copy(
        launcher, t.artefact(os.path.join("broken", OWN_NAME)), HEADER_PADDING))
    steps.wait_ready(t, entries)
    check_refused(t, w, "Signed.exe", msiexec, OWN_SIGNATURE_FAILS)
    close(t, broken, "the own signature's refusal")
    for name in started:
        if name == OWN_NAME:
            check_update_relaunched(t, w, entries)
        else:
            check_started(t, w, name, entries, msiexec, planted=name.endswith(".msi"))
    # Unsigned, it checks nothing, wherever it runs from.
    check_started(t, w, "Unsigned.exe", entries, msiexec, exe=long_path_copy(t, unsigned_launcher))


if __name__ == "__main__":
    ours = argparse.ArgumentParser(add_help=False)
    ours.add_argument("--verify-trust", required=True, help="verify_trust.exe")
    known, rest = ours.parse_known_args()
    VERIFY_TRUST = known.verify_trust
    scenario.run("release_signed_launcher", body, rest)
