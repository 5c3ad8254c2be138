"""A download folder full of awkward real files, and the checks a served manifest of it must pass.

Both the PHP built-in server test and the nginx + php-fpm test use it, each with its own way of
fetching (urllib over HTTP, curl over TLS), so the same expectations hold for both servers.
"""
import calendar
import hashlib
import json
import os
import re
import shutil
import subprocess
import time
import urllib.parse

FOLDER_PATH = "/download/latest/"
BIG_SIZE = 5 * 1024 ** 3
BIG_MARKER = b"end of the sparse file"
SCHEMA = "quorvel.download.v1"


def utc(text):
    """Seconds since the epoch of a 'YYYY-MM-DDTHH:MM:SSZ' text."""

    return calendar.timegm(time.strptime(text, "%Y-%m-%dT%H:%M:%SZ"))


def _content(seed, size):
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(f"{seed}:{counter}".encode()).digest()
        counter += 1
    return bytes(out[:size])


# (name, size, modified_at, expected ext) of the regular files that must be listed.
LISTED_FILES = [
    ("Quorvel Setup 2.1.msi", 70_001, "2026-03-04T05:06:07Z", "msi"),
    ("notes #1.txt", 12, "2025-11-30T23:59:59Z", "txt"),
    ("100% sure.zip", 4096, "2025-11-30T23:59:58Z", "zip"),
    ("a+b=c&d;e.exe", 65_536, "2024-02-29T12:00:00Z", "exe"),
    ("Über-Installer ü.EXE", 300, "2024-01-01T00:00:00Z", "exe"),
    ("README", 1, "2023-06-15T08:30:00Z", ""),
    ("archive.tar.GZ", 2048, "2023-06-15T08:30:01Z", "gz"),
    ("trailing.", 0, "2022-01-01T00:00:00Z", ""),
    ("what?.txt", 5, "2021-05-05T05:05:05Z", "txt"),
    ("tab\there\u2028 line.txt", 9, "2021-05-05T05:05:03Z", "txt"),  # escaped in JSON by PHP's rules
    ('say "hi" \\ now.txt', 7, "2021-05-05T05:05:04Z", "txt"),
    ("tie-b.bin", 10, "2020-02-02T02:02:02Z", "bin"),  # equal times: listed by name
    ("tie-a.bin", 11, "2020-02-02T02:02:02Z", "bin"),
    ("日本語 ✓ 🚀.msi", 99, "2019-09-09T09:09:09Z", "msi"),
    ("old.msi", 3, "1999-12-31T23:59:59Z", "msi"),
    ("moon landing.msi", 4, "1969-07-20T20:17:40Z", "msi"),  # before 1970: a negative time
]
# Dated in the future, as an upload to a host whose clock runs behind: left out until its time has
# passed by the settling time (the time is past 2038, which needs 64-bit times).
FUTURE_NAME = "future.msi"
FUTURE_TIME = "2040-01-02T03:04:05Z"
BIG_NAME = "big 5GiB.bin"
BIG_TIME = "2026-01-01T10:00:00Z"
LINK_NAME = "current.msi"  # link to "Quorvel Setup 2.1.msi": offered with its target's size and time
BAD_NAME = b"bad\xff name.bin"


def build(folder, script):
    """Fills `folder` (created fresh) and copies `script` into it; returns the expected entries."""
    if os.path.lexists(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    outside = os.path.join(os.path.dirname(os.path.abspath(folder)), "outside-the-folder.msi")
    with open(outside, "wb") as f:
        f.write(b"must never be offered")

    expected = []
    for name, size, stamp, ext in LISTED_FILES:
        path = os.path.join(folder, name)
        data = _content(name, size)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (utc(stamp), utc(stamp)))
        expected.append({"name": name, "size": size, "modified_at": stamp, "ext": ext, "data": data})

    big = os.path.join(folder, BIG_NAME)
    with open(big, "wb") as f:
        f.truncate(BIG_SIZE - len(BIG_MARKER))
        f.seek(BIG_SIZE - len(BIG_MARKER))
        f.write(BIG_MARKER)
    os.utime(big, (utc(BIG_TIME), utc(BIG_TIME)))
    expected.append({"name": BIG_NAME, "size": BIG_SIZE, "modified_at": BIG_TIME, "ext": "bin", "data": None,
                     "sha256": BIG_DIGEST})

    target = expected[0]
    os.symlink(target["name"], os.path.join(folder, LINK_NAME))
    os.utime(os.path.join(folder, LINK_NAME), (utc("2030-01-01T00:00:00Z"),) * 2, follow_symlinks=False)
    expected.append(dict(target, name=LINK_NAME, ext="msi"))

    # Everything below must stay out of the list.
    with open(os.path.join(folder, FUTURE_NAME), "wb") as f:
        f.write(b"not yet")
    os.utime(os.path.join(folder, FUTURE_NAME), (utc(FUTURE_TIME),) * 2)
    for hidden in (".hidden.msi", ".htaccess"):
        with open(os.path.join(folder, hidden), "wb") as f:
            f.write(b"hidden")
    os.makedirs(os.path.join(folder, "sub folder"))
    with open(os.path.join(folder, "sub folder", "inner.msi"), "wb") as f:
        f.write(b"inner")
    os.symlink(outside, os.path.join(folder, "outside.msi"))
    os.symlink("../outside-the-folder.msi", os.path.join(folder, "relative-outside.msi"))
    os.symlink("/etc/passwd", os.path.join(folder, "passwd.txt"))
    os.symlink(".hidden.msi", os.path.join(folder, "hidden-link.msi"))
    os.symlink("does-not-exist.msi", os.path.join(folder, "dangling.msi"))
    os.symlink("sub folder", os.path.join(folder, "folder-link"))
    os.symlink("filelist.json.php", os.path.join(folder, "self-link.txt"))
    with open(os.path.join(os.fsencode(folder), BAD_NAME), "wb") as f:
        f.write(b"bad name")
    shutil.copyfile(script, os.path.join(folder, "filelist.json.php"))

    expected.sort(key=lambda e: (-utc(e["modified_at"]), e["name"].encode("utf-8")))
    return expected


# SHA-256 of the sparse 5 GiB file (zeros, then BIG_MARKER), worked out once.
BIG_DIGEST = "4cbe42fcef6836a5852083934927cd4d71864775a48f1f6f95ac0f052cf5614e"


def read_cache(path):
    """The script's digest cache (PHP's serialized form) as a dict, through PHP's command line."""
    run = subprocess.run(["php", "-n", "-r", "echo json_encode(unserialize(file_get_contents($argv[1]), "
                          "['allowed_classes' => false]));", path], capture_output=True, check=True)
    return json.loads(run.stdout)


def write_cache(path, cache):
    subprocess.run(["php", "-n", "-r", "file_put_contents($argv[1], serialize(json_decode($argv[2], true)));",
                    path, json.dumps(cache)], check=True)


def seed_big_digest(cache_path, folder):
    """Puts the 5 GiB file's digest into the script's cache before the first request, keyed as the
    script keys it, so the tests do not wait for PHP to hash 5 GiB (the other files are hashed)."""
    os.makedirs(os.path.dirname(cache_path), mode=0o700, exist_ok=True)
    info = os.stat(os.path.join(folder, BIG_NAME))
    write_cache(cache_path, {BIG_NAME: [info.st_size, int(info.st_mtime), info.st_ino, BIG_DIGEST]})


def sha256_of(entry):
    return entry.get("sha256") or hashlib.sha256(entry["data"]).hexdigest()


def cache_file(temp_folder, folder):
    """The digest cache the script keeps for `folder` when the server's temporary folder is
    `temp_folder`."""
    key = hashlib.sha256(os.path.realpath(folder).encode()).hexdigest()[:16]
    return os.path.join(temp_folder, "quorvel-filelist-cache", f"digests-{key}.cache")


def expected_url(base, name):
    return base + FOLDER_PATH + urllib.parse.quote(name, safe="")


def header(headers, name):
    return headers.get(name.lower(), "")


def check_with_checker(fails, checker, body, want):
    """The launcher's own reader (the vendor's checker) sees the files, status and dates intended."""
    try:
        run = subprocess.run([checker, "--json", "-"], input=body, capture_output=True, timeout=60)
    except OSError as error:
        fails.check(False, f"manifest checker {checker} cannot run: {error}")
        return
    fails.check_eq(run.returncode, 0, f"checker exit code (stderr {run.stderr!r})")
    try:
        report = json.loads(run.stdout.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as error:
        fails.check(False, f"checker output is not JSON: {error}: {run.stdout[:200]!r}")
        return
    fails.check_eq(report.get("ok"), True, f"checker verdict ({report.get('status')!r})")
    fails.check_eq(report.get("status"), f"{len(want)} file(s) available \u2014 double-click any row to install.",
                "the launcher's status line")
    files = report.get("files", [])
    seen = [{k: f.get(k) for k in ("name", "url", "size", "modified_at", "ext", "sha256")} for f in files]
    fails.check_eq(seen, want, "files as the launcher reads them")
    # The one name with a control character (a tab) is shown with U+FFFD and refused by the launcher.
    shown = [w["name"].replace("\t", "\ufffd") for w in want]
    fails.check_eq(report.get("problems"), [f"Entry {i + 1} ({name}): Refusing a file whose name hides characters."
                                            for i, name in enumerate(shown) if "\ufffd" in name],
                   "only the name that hides a character for the vendor to mend")
    fails.check_eq([f.get("cells", [None] * 2)[:2] for f in files],
                [[name, w["modified_at"][:10]] for name, w in zip(shown, want)], "File and Date columns")


def check_manifest_reply(fails, fetch, base, expected, checker=None):
    """`fetch(url, method='GET', extra_headers=None, byte_range=None) -> (status, headers, body)`,
    headers as a dict with lower-case names. Returns the parsed document."""
    url = base + FOLDER_PATH + "filelist.json.php"
    status, headers, body = fetch(url)
    fails.check_eq(status, 200, "manifest status")
    fails.check_eq(header(headers, "content-type"), "application/json; charset=utf-8", "manifest Content-Type")
    fails.check_eq(header(headers, "cache-control"), "no-cache", "manifest Cache-Control")
    try:
        document = json.loads(body.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as error:
        fails.check(False, f"manifest is not UTF-8 JSON: {error}")
        return None
    fails.check_eq(sorted(document), ["files", "schema"], "root members")
    fails.check_eq(document.get("schema"), SCHEMA, "schema")
    files = document.get("files", [])
    want = [{"name": e["name"], "url": expected_url(base, e["name"]), "size": e["size"],
             "modified_at": e["modified_at"], "ext": e["ext"], "sha256": sha256_of(e)} for e in expected]
    fails.check_eq([f.get("name") for f in files], [w["name"] for w in want], "listed names in order")
    for got, wanted in zip(files, want):
        fails.check_eq(got, wanted, f"entry {wanted['name']!r}")

    if checker:
        check_with_checker(fails, checker, body, want)
    else:
        print("note: no manifest checker given; the reply was checked with Python's JSON reader only")

    # HEAD: the same head, no body.
    status, head_headers, head_body = fetch(url, method="HEAD")
    fails.check_eq(status, 200, "HEAD status")
    fails.check_eq(head_body, b"", "HEAD body")
    for name in ("content-type", "cache-control", "content-length", "etag", "last-modified"):
        fails.check_eq(header(head_headers, name), header(headers, name), f"HEAD {name}")

    for method in ("POST", "PUT", "DELETE", "OPTIONS", "PATCH"):
        status, bad_headers, bad_body = fetch(url, method=method)
        fails.check_eq(status, 405, f"{method} status")
        fails.check_eq(header(bad_headers, "content-type"), "application/json; charset=utf-8", f"{method} Content-Type")
        fails.check_eq(header(bad_headers, "allow"), "GET, HEAD", f"{method} Allow")
        try:
            error = json.loads(bad_body.decode("utf-8")).get("error", "")
        except (UnicodeDecodeError, ValueError, AttributeError):
            error = ""
        fails.check(isinstance(error, str) and error != "", f"{method} reply names the error: {bad_body!r}")
    check_revalidation(fails, fetch, url, headers, body, expected)
    return document


def check_revalidation(fails, fetch, url, headers, body, expected):
    """ETag names the body and Last-Modified the newest file; a matching If-None-Match gets 304."""
    etag = header(headers, "etag")
    fails.check(re.fullmatch(r'"[0-9a-f]{32}"', etag) is not None, f"ETag is a quoted tag: {etag!r}")
    fails.check_eq(header(fetch(url)[1], "etag"), etag, "the same list gets the same ETag")
    newest = max(utc(e["modified_at"]) for e in expected)
    fails.check_eq(header(headers, "last-modified"), time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(newest)),
                "Last-Modified")
    for label, tags, want in [("the tag", etag, 304), ("a weak tag in a list", f'"other", W/{etag}', 304),
                              ("any tag", "*", 304), ("another tag", '"other"', 200)]:
        status, got_headers, got_body = fetch(url, extra_headers={"If-None-Match": tags})
        fails.check_eq(status, want, f"status for If-None-Match with {label}")
        if want == 304:
            fails.check_eq(got_body, b"", f"no body with 304 for {label}")
            fails.check_eq(header(got_headers, "etag"), etag, f"ETag with 304 for {label}")


def check_digest_cache(fails, fetch, base, cache_path, folder, expected):
    """Each file version is hashed once: a later request takes the digest from the cache (a planted
    digest comes back), and a file changed in place at the same size gets its new digest."""
    url = base + FOLDER_PATH + "filelist.json.php"
    try:
        cache = read_cache(cache_path)
    except (OSError, ValueError, subprocess.CalledProcessError) as error:
        fails.check(False, f"digest cache {cache_path} readable: {error}")
        return
    fails.check_eq(sorted(cache), sorted(e["name"] for e in expected), "the cache holds the listed files")
    name = expected[-1]["name"]
    planted = "0" * 64
    cache[name][3] = planted
    write_cache(cache_path, cache)
    tags = []

    def listed():
        status, headers, body = fetch(url)
        fails.check_eq(status, 200, "manifest status")
        tags.append(header(headers, "etag"))
        return {f["name"]: f for f in json.loads(body.decode("utf-8"))["files"]}

    fails.check_eq(listed()[name]["sha256"], planted, "a cached digest is served without hashing the file again")

    changed = next(e for e in expected if e["data"] is not None and e["size"] > 0 and e["name"] != name)
    path = os.path.join(folder, changed["name"])
    data = bytes(b ^ 0xFF for b in changed["data"])
    with open(path, "r+b") as f:  # in place: same size, same inode
        f.write(data)
    later = utc(changed["modified_at"]) + 1
    os.utime(path, (later, later))
    entry = listed()[changed["name"]]
    fails.check_eq(entry["sha256"], hashlib.sha256(data).hexdigest(), "a file changed in place gets its new digest")
    fails.check(tags[0] != tags[1], f"a changed list gets a new ETag: {tags}")
    with open(path, "wb") as f:
        f.write(changed["data"])
    stamp = utc(changed["modified_at"])
    os.utime(path, (stamp, stamp))


def check_downloads(fails, fetch, base, expected, ranges=False):
    """Every listed url serves the file's bytes. The 5 GiB file is checked by its length and its
    last bytes (by range where the server supports ranges)."""
    for entry in expected:
        url = expected_url(base, entry["name"])
        if entry["data"] is not None:
            status, headers, body = fetch(url)
            fails.check_eq(status, 200, f"download status of {entry['name']!r}")
            fails.check(body == entry["data"], f"bytes of {entry['name']!r} ({len(body)} received)")
            continue
        status, headers, _ = fetch(url, method="HEAD")
        fails.check_eq(status, 200, "HEAD status of the 5 GiB file")
        fails.check_eq(header(headers, "content-length"), str(BIG_SIZE), "length of the 5 GiB file")
        if ranges:
            status, _, tail = fetch(url, byte_range=f"{BIG_SIZE - len(BIG_MARKER)}-{BIG_SIZE - 1}")
            fails.check_eq(status, 206, "range status of the 5 GiB file")
            fails.check_eq(tail, BIG_MARKER, "last bytes of the 5 GiB file")
