"""Signed download lists for the tests and benchmarks, made byte for byte as the format says (S, then
one signature line per key), with Python's cryptography package and the throwaway P-256 keys the
test build makes under build/<config>/test-list-keys: signing.key (pinned to sign), recovery.key
(pinned to recover) and stranger.key (pinned by no build). What the launcher remembers of them is
read and cleared with the prefix's own reg.exe."""
import base64
import datetime
import hashlib
import json
import os
import re

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, utils

from testbed import wine

CONTEXT = b"quorvel-manifest-signature-v1\n"
SCHEMA = "quorvel.download.v1"
REGISTRY_KEY = r"HKCU\Software\Quorvel\Launcher"

NOT_SIGNED = "The download list is not signed by its publisher; refusing it."
NO_CLAIMS = "The download list has no valid serial or expiry; refusing it."
OLDER = "The download list is older than one this computer has seen; refusing it."
EXPIRED = "The download list expired on %s; check this computer's date and time."


def load_key(folder, name):
    with open(os.path.join(folder, name + ".key"), "rb") as f:
        return serialization.load_pem_private_key(f.read(), password=None)


def key_id(key):
    """The first 8 bytes of SHA-256 over the public key's DER SubjectPublicKeyInfo, in hex."""
    der = key.public_key().public_bytes(serialization.Encoding.DER,
                                        serialization.PublicFormat.SubjectPublicKeyInfo)
    return hashlib.sha256(der).hexdigest()[:16]


def signature_line(key, signed):
    der = key.sign(CONTEXT + signed, ec.ECDSA(hashes.SHA256()))
    r, s = utils.decode_dss_signature(der)
    raw = r.to_bytes(32, "big") + s.to_bytes(32, "big")
    return b'{"quorvel-signature":"ecdsa-p256-sha256 %s %s"}\n' % (
        key_id(key).encode("ascii"), base64.b64encode(raw))


def sign(signed, *keys):
    """The body: S, then a line for each key in turn."""
    return signed + b"".join(signature_line(key, signed) for key in keys)


def utc_text(moment):
    return moment.astimezone(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def in_days(days):
    return utc_text(datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(days=days))


def document(entries, serial=None, expires=None, revoke=None):
    """S: the manifest of these entries with the claims given (None leaves a claim out)."""
    root = {"schema": SCHEMA}
    if serial is not None:
        root["serial"] = serial
    if expires is not None:
        root["expires"] = expires
    if revoke is not None:
        root["revoke"] = revoke
    root["files"] = entries
    return (json.dumps(root, indent=1) + "\n").encode("utf-8")


def digest(signed):
    return hashlib.sha256(signed).hexdigest()


def remembered():
    """{value name: value} of what the launcher stored: ListSerial as an int, ListDigest as lower-case
    hex, RevokedKeys as a list; {} when the key is not there. Read from reg.exe's export, since
    Wine's reg query shows no REG_QWORD."""
    exported = os.path.join(wine.prefix_dir(), "drive_c", "quorvel-launcher-key.reg")
    if os.path.exists(exported):
        os.remove(exported)
    wine.run_wine(["reg", "export", REGISTRY_KEY, r"C:\quorvel-launcher-key.reg", "/y"],
                  "reg export of the launcher's key")
    if not os.path.exists(exported):
        return {}
    with open(exported, "rb") as f:
        text = f.read().decode("utf-16").replace("\\\r\n  ", "").replace("\\\n  ", "")
    values = {}
    for name, kind, data in re.findall(r'^"([^"]+)"=hex(?:\((\w+)\))?:([0-9a-f,]*)\s*$', text, re.M):
        raw = bytes.fromhex(data.replace(",", ""))
        if kind == "b":
            values[name] = int.from_bytes(raw, "little")
        elif kind == "7":
            values[name] = [item for item in raw.decode("utf-16-le").split("\0") if item]
        else:
            values[name] = raw.hex()
    return values


def forget():
    """Deletes the launcher's key, as a user clearing it would."""
    wine.run_wine(["reg", "delete", REGISTRY_KEY, "/f"], "reg delete of the launcher's key")
