#!/usr/bin/env python3
"""Trusts the test CA inside the Wine prefix that WINEPREFIX names, once per prefix and CA.

    python3 wine_trust.py TRUST_CA_EXE CA_DIR      (the CA is made in CA_DIR when missing)

or from Python: wine_trust.ensure_trusted(trust_ca_exe, certs). The CA goes into the prefix's
current-user Root store (registry-backed), so nothing outside the prefix learns of it. A marker
file in the prefix, named after the CA's fingerprint, skips the Wine start on later calls; a lock
file serialises concurrent callers.
"""
import fcntl
import hashlib
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)
import ca  # noqa: E402


def wine_command():
    return os.environ.get("QUORVEL_WINE") or "/usr/lib/wine/wine64"


def prefix_dir():
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        raise RuntimeError("WINEPREFIX is not set: run under tools/testbed/with-wine.sh")
    return prefix


def ensure_trusted(trust_ca_exe, certs, timeout=180):
    prefix = prefix_dir()
    with open(certs.ca_der, "rb") as der:
        fingerprint = hashlib.sha256(der.read()).hexdigest()[:16]
    os.makedirs(prefix, exist_ok=True)
    marker = os.path.join(prefix, f".quorvel-trusted-{fingerprint}")
    with open(os.path.join(prefix, ".quorvel-trust.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(marker):
            return False
        result = subprocess.run([wine_command(), trust_ca_exe, certs.ca_der], capture_output=True,
                                text=True, timeout=timeout)
        if result.returncode != 0:
            raise RuntimeError(f"trust_ca failed ({result.returncode}): {result.stdout}{result.stderr}")
        open(marker, "w").close()
        return True


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: wine_trust.py TRUST_CA_EXE CA_DIR")
    added = ensure_trusted(sys.argv[1], ca.ensure_ca(sys.argv[2]))
    print("trusted" if added else "already trusted")
