"""The two largest manifests the launcher's limits let a server send: the most entries it takes,
each with long names and URLs (close to the size limit), and the size limit filled with minimal
entries (far more than it takes)."""
import json

MAX_ENTRIES = 10000
MAX_BYTES = 16 * 1024 * 1024
TOO_MANY_TEXT = "Manifest lists more than 10,000 files; refusing."


def longest_entries(port):
    """Exactly MAX_ENTRIES entries with long names and URLs on this server, as JSON text."""
    entries = []
    for i in range(MAX_ENTRIES):
        name = "Quorvel Long Product Name Edition %05d " % i + "x" * 200 + ".exe"
        url = "https://127.0.0.1:%d/download/latest/%s/%s" % (port, "p" * 1050, name.replace(" ", "%20"))
        entries.append({"name": name, "url": url, "size": i, "modified_at": "2026-05-%02dT10:00:00Z" % (i % 28 + 1),
                        "ext": "exe"})
    text = json.dumps({"schema": "quorvel.download.v1", "files": entries}, separators=(",", ":"))
    assert len(text.encode()) <= MAX_BYTES
    return text


def minimal_entries():
    """As many empty entries as fit in MAX_BYTES, as JSON text."""
    head = '{"schema":"quorvel.download.v1","files":['
    count = (MAX_BYTES - len(head) - 2 + 1) // 3
    return head + ",".join(["{}"] * count) + "]}"
