"""Throwaway certificate authorities made with the openssl CLI: one for the loopback HTTPS servers
(ensure_ca) and one that signs code for the release tests (make_signer).

ensure_ca(directory) makes (once; later calls reuse the files) a CA and a server certificate for
127.0.0.1 and localhost signed by it, and returns their paths. Safe to call from several
processes at once: creation is serialised by a lock file in the directory.
"""
import collections
import fcntl
import os
import secrets
import subprocess
import sys

Certs = collections.namedtuple("Certs", "directory ca_pem ca_der server_pem server_key")
Signer = collections.namedtuple("Signer", "ca_pem ca_der pfx password_file password")

_SERVER_EXTENSIONS = """\
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:127.0.0.1, DNS:localhost
"""
# Wine's SSL name check reads only the dNSName entries of the alternative names, so the loopback
# address is listed as a DNS name too; other clients match it as the IP entry.

_SIGNER_EXTENSIONS = """\
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
"""


def _openssl(*args, cwd):
    result = subprocess.run(["openssl", *args], cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"openssl {' '.join(args)} failed:\n{result.stderr}")


def _make_ca(directory, common_name, days):
    """ca.key, ca.pem and ca.der in directory."""
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", days,
             "-keyout", "ca.key", "-out", "ca.pem", "-subj", f"/CN={common_name}",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=directory)
    _openssl("x509", "-in", "ca.pem", "-outform", "der", "-out", "ca.der", cwd=directory)


def _issue(directory, name, subject, extensions, days, issuer="ca"):
    """NAME.key and NAME.pem, signed with the given extensions by the CA in directory, or by the
    certificate ISSUER.pem there (and its key)."""
    with open(os.path.join(directory, name + ".ext"), "w") as ext:
        ext.write(extensions)
    _openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", name + ".key.new",
             "-out", name + ".csr", "-subj", subject, cwd=directory)
    _openssl("x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key",
             "-CAcreateserial", "-sha256", "-days", days, "-extfile", name + ".ext",
             "-out", name + ".pem", cwd=directory)
    # The key appears last, so a half-made directory is never taken as complete.
    os.replace(os.path.join(directory, name + ".key.new"), os.path.join(directory, name + ".key"))


def ensure_ca(directory, common_name="Quorvel Test CA"):
    directory = os.path.abspath(directory)
    os.makedirs(directory, exist_ok=True)
    certs = Certs(directory, *(os.path.join(directory, name)
                               for name in ("ca.pem", "ca.der", "server.pem", "server.key")))
    with open(os.path.join(directory, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        ext_path = os.path.join(directory, "server.ext")
        current = open(ext_path).read() if os.path.exists(ext_path) else None
        if all(os.path.exists(p) for p in certs[1:]) and current == _SERVER_EXTENSIONS:
            return certs
        if os.path.exists(certs.server_key):
            os.remove(certs.server_key)
        if not (os.path.exists(certs.ca_pem) and os.path.exists(os.path.join(directory, "ca.key"))):
            _make_ca(directory, common_name, "3650")
        _issue(directory, "server", "/CN=127.0.0.1", _SERVER_EXTENSIONS, "825")
        return certs


PUBLISHER = "/CN=Quorvel Throwaway Publisher"


def make_signer(directory, common_name="Quorvel Throwaway Code Signing CA", subject=PUBLISHER):
    """A fresh code-signing CA and signer: the CA certificate (PEM and DER), the signer's PKCS#12
    file, the file holding its password, and the password itself (so a test can look for it in
    logs)."""
    os.makedirs(directory, exist_ok=True)
    _make_ca(directory, common_name, "30")
    return issue_signer(directory, "signer", subject)


def issue_signer(directory, name, subject, days="30", issuer="ca", usage="codeSigning"):
    """Another end-entity certificate (a new key, CA:FALSE) from the CA that make_signer made in
    directory, for code signing unless usage names another extended key usage: another publisher,
    or the same names renewed. With issuer, the certificate ISSUER.pem issued earlier in directory
    signs it instead of the CA, and the PKCS#12 file carries the whole chain up to the CA."""
    password = "pw " + secrets.token_hex(12)  # a space, so shell word splitting would show
    with open(os.path.join(directory, name + "-password.txt"), "w") as f:
        f.write(password + "\n")
    _issue(directory, name, subject, _SIGNER_EXTENSIONS.replace("codeSigning", usage), days, issuer)
    chain = "ca.pem"
    if issuer != "ca":
        chain = name + "-issuers.pem"
        with open(os.path.join(directory, chain), "w") as f:
            for part in (issuer + ".pem", "ca.pem"):
                f.write(open(os.path.join(directory, part)).read())
    _openssl("pkcs12", "-export", "-inkey", name + ".key", "-in", name + ".pem", "-certfile", chain,
             "-out", name + ".pfx", "-passout", "file:%s-password.txt" % name, cwd=directory)
    path = lambda file: os.path.join(directory, file)  # noqa: E731
    return Signer(path("ca.pem"), path("ca.der"), path(name + ".pfx"), path(name + "-password.txt"),
                  password)


_DATED_CA_CONFIG = """\
[ca]
default_ca = dated
[dated]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
[any]
organizationName = optional
commonName = supplied
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
[signer_ext]
%s[tsa_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
""" % _SIGNER_EXTENSIONS

Dated = collections.namedtuple("Dated", "ca_pem ca_der signer_chain signer_key tsa_chain tsa_key")


def make_dated_signer(directory, subject, not_before, not_after):
    """A CA valid since 2024 and, from it, a code-signing certificate valid only from not_before to
    not_after (openssl's YYYYMMDDHHMMSSZ) and a time-stamping certificate valid 2024 to 2036: what
    signs a file with a certificate that has since expired, time-stamped while it was valid."""
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, "ca.cnf"), "w") as f:
        f.write(_DATED_CA_CONFIG)
    open(os.path.join(directory, "index.txt"), "w").close()
    with open(os.path.join(directory, "serial"), "w") as f:
        f.write("01\n")
    ca_args = ["ca", "-batch", "-config", "ca.cnf", "-notext", "-keyfile", "ca.key"]
    for name, subj in (("ca", "/CN=Quorvel Dated Code Signing CA"), ("dated", subject), ("tsa", "/CN=Quorvel Test TSA")):
        _openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
                 "-subj", subj, cwd=directory)
    _openssl(*ca_args, "-selfsign", "-extensions", "ca_ext", "-in", "ca.csr", "-out", "ca.pem",
             "-startdate", "20240101000000Z", "-enddate", "20360101000000Z", cwd=directory)
    _openssl("x509", "-in", "ca.pem", "-outform", "der", "-out", "ca.der", cwd=directory)
    for name, extensions, start, end in (("dated", "signer_ext", not_before, not_after),
                                         ("tsa", "tsa_ext", "20240101000000Z", "20360101000000Z")):
        _openssl(*ca_args, "-cert", "ca.pem", "-extensions", extensions, "-in", name + ".csr",
                 "-out", name + ".pem", "-startdate", start, "-enddate", end, cwd=directory)
        with open(os.path.join(directory, name + "-chain.pem"), "w") as chain:
            for part in (name + ".pem", "ca.pem"):
                chain.write(open(os.path.join(directory, part)).read())
    path = lambda file: os.path.join(directory, file)  # noqa: E731
    return Dated(path("ca.pem"), path("ca.der"), path("dated-chain.pem"), path("dated.key"),
                 path("tsa-chain.pem"), path("tsa.key"))


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


if __name__ == "__main__":
    print(ensure_ca(sys.argv[1] if len(sys.argv) > 1 else "test-ca"))
