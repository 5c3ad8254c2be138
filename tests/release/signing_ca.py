"""A throwaway code-signing CA and signer made with the openssl CLI, for the release tests.

make(directory) returns the paths of the CA certificate (PEM and DER), the signer's PKCS#12 file
and the file holding its password, and the password itself (so a test can look for it in logs).
"""
import collections
import os
import secrets
import subprocess

Signer = collections.namedtuple("Signer", "ca_pem ca_der pfx password_file password")

_SIGNER_EXTENSIONS = """\
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
"""


def _openssl(directory, *args):
    result = subprocess.run(["openssl", *args], cwd=directory, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed:\n%s" % (" ".join(args), result.stderr))


def make(directory, common_name="Quorvel Throwaway Code Signing CA"):
    os.makedirs(directory, exist_ok=True)
    password = "pw " + secrets.token_hex(12)  # a space, so shell word splitting would show
    with open(os.path.join(directory, "password.txt"), "w") as f:
        f.write(password + "\n")
    with open(os.path.join(directory, "signer.ext"), "w") as f:
        f.write(_SIGNER_EXTENSIONS)
    _openssl(directory, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
             "-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=" + common_name,
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    _openssl(directory, "x509", "-in", "ca.pem", "-outform", "der", "-out", "ca.der")
    _openssl(directory, "req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", "signer.key",
             "-out", "signer.csr", "-subj", "/CN=Quorvel Throwaway Publisher")
    _openssl(directory, "x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
             "-CAcreateserial", "-sha256", "-days", "30", "-extfile", "signer.ext", "-out", "signer.pem")
    _openssl(directory, "pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem",
             "-certfile", "ca.pem", "-out", "signer.pfx", "-passout", "file:password.txt")
    path = lambda name: os.path.join(directory, name)  # noqa: E731
    return Signer(path("ca.pem"), path("ca.der"), path("signer.pfx"), path("password.txt"), password)


def sign_env(signer, ca_pem=None):
    """The environment that makes the release scripts sign with this signer."""
    env = dict(os.environ)
    env.update(QUORVEL_SIGN_PFX=signer.pfx, QUORVEL_SIGN_PASSWORD_FILE=signer.password_file,
               QUORVEL_SIGN_CA_FILE=ca_pem or signer.ca_pem)
    env.pop("QUORVEL_SIGN_TIMESTAMP_URL", None)
    return env


def flipped_copy(path, out_path, offset=0x1000):
    """A copy of the file with one bit of one byte inverted (inside the first section's code)."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    data[offset] ^= 0x01
    with open(out_path, "wb") as f:
        f.write(data)
    return out_path
