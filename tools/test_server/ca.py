"""A throwaway certificate authority for the loopback test server, made with the openssl CLI.

ensure_ca(directory) makes (once; later calls reuse the files) a CA and a server certificate for
127.0.0.1 and localhost signed by it, and returns their paths. Safe to call from several
processes at once: creation is serialised by a lock file in the directory.
"""
import collections
import fcntl
import os
import subprocess
import sys

Certs = collections.namedtuple("Certs", "directory ca_pem ca_der server_pem server_key")

_SERVER_EXTENSIONS = """\
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:127.0.0.1, DNS:localhost
"""
# Wine's SSL name check reads only the dNSName entries of the alternative names, so the loopback
# address is listed as a DNS name too; other clients match it as the IP entry.


def _openssl(*args, cwd):
    result = subprocess.run(["openssl", *args], cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"openssl {' '.join(args)} failed:\n{result.stderr}")


def _paths(directory):
    return Certs(directory, *(os.path.join(directory, name)
                              for name in ("ca.pem", "ca.der", "server.pem", "server.key")))


def _make_ca(directory, common_name):
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
             "-keyout", "ca.key", "-out", "ca.pem", "-subj", f"/CN={common_name}",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=directory)
    _openssl("x509", "-in", "ca.pem", "-outform", "der", "-out", "ca.der", cwd=directory)


def ensure_ca(directory, common_name="Quorvel Test CA"):
    directory = os.path.abspath(directory)
    os.makedirs(directory, exist_ok=True)
    certs = _paths(directory)
    with open(os.path.join(directory, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        ext_path = os.path.join(directory, "server.ext")
        current = open(ext_path).read() if os.path.exists(ext_path) else None
        if all(os.path.exists(p) for p in certs[1:]) and current == _SERVER_EXTENSIONS:
            return certs
        if os.path.exists(certs.server_key):
            os.remove(certs.server_key)
        with open(ext_path, "w") as ext:
            ext.write(_SERVER_EXTENSIONS)
        if not (os.path.exists(certs.ca_pem) and os.path.exists(os.path.join(directory, "ca.key"))):
            _make_ca(directory, common_name)
        _openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", "server.key.new",
                 "-out", "server.csr", "-subj", "/CN=127.0.0.1", cwd=directory)
        _openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                 "-CAcreateserial", "-sha256", "-days", "825", "-extfile", "server.ext",
                 "-out", "server.pem", cwd=directory)
        # The key appears last, so a half-made directory is never taken as complete.
        os.replace(os.path.join(directory, "server.key.new"), certs.server_key)
        return certs


if __name__ == "__main__":
    print(ensure_ca(sys.argv[1] if len(sys.argv) > 1 else "test-ca"))
