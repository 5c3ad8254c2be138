"""make-release.sh builds the vendor's bundle for a vendor host and version, signed with a
throwaway certificate: every file is there and in SHA256SUMS, the launcher carries the version and
the host, the download-list keys reach the launcher's build, the signatures verify against the CA and
no longer after one flipped bit, the password shows nowhere, and the signing step refuses what it
cannot sign or verify.

    test_bundle.py --root SOURCE --work FOLDER
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys

from testbed import ca, checks

BUNDLE = ["QuorvelLauncher.exe", "QuorvelManifestCheck.exe", "SHA256SUMS", "quorvel-manifest-check",
          "server/filelist.json.php", "server/nginx-download.conf"]
VERSION = "2.3.4.5"
HOST, PORT = "downloads.example.com", "8443"

CHECKS = checks.Checks(keep_going=True)
check = CHECKS.check


def run(args, env=None):
    result = subprocess.run(args, env=env, capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


def check_sums(out):
    files = sorted(os.path.relpath(os.path.join(d, f), out) for d, _, names in os.walk(out) for f in names)
    check(files == sorted(BUNDLE), "the bundle holds exactly %s (has %s)" % (BUNDLE, files))
    listed = {}
    with open(os.path.join(out, "SHA256SUMS")) as f:
        for line in f:
            digest, name = line.rstrip("\n").split("  ", 1)
            listed[name] = digest
    check(sorted(listed) == sorted(set(BUNDLE) - {"SHA256SUMS"}), "SHA256SUMS lists every other file")
    for name, digest in listed.items():
        with open(os.path.join(out, name), "rb") as f:
            check(hashlib.sha256(f.read()).hexdigest() == digest, "SHA256SUMS matches " + name)


def check_launcher(exe):
    code, rc_text = run(["x86_64-w64-mingw32-windres", "-i", exe, "-O", "rc"])
    check(code == 0, "windres reads the launcher's resources")
    numbers = VERSION.replace(".", ", ")
    for line in ["FILEVERSION " + numbers, "PRODUCTVERSION " + numbers,
                 'VALUE "FileVersion", "%s"' % VERSION, 'VALUE "ProductVersion", "%s"' % VERSION]:
        check(line in rc_text, "the version block carries " + line)
    url = "https://%s:%s/download/latest/filelist.json.php" % (HOST, PORT)
    with open(exe, "rb") as f:
        check(url.encode("utf-16-le") in f.read(), "the launcher fetches " + url)


def make_list_keys(work):
    """Two throwaway P-256 public keys (PEM), as the README makes them."""
    paths = []
    for name in ("signing", "recovery"):
        path = os.path.join(work, name + ".pub.pem")
        key = subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256"],
                             check=True, capture_output=True).stdout
        subprocess.run(["openssl", "pkey", "-pubout", "-out", path], input=key, check=True, capture_output=True)
        paths.append(path)
    return paths


def check_list_keys(build, settings):
    """The launcher's build was configured with the list keys and minimum serial given."""
    with open(os.path.join(build, "release-win", "CMakeCache.txt")) as f:
        cache = f.read()
    for name, value in settings.items():
        check(re.search(r"^%s:[A-Z]+=%s$" % (name, re.escape(value)), cache, re.M) is not None,
              "the launcher's build has %s=%s" % (name, value))


def check_signing(root, out, work, signer, release_text):
    verify = lambda path, ca: run(["osslsigncode", "verify", "-CAfile", ca, "-in", path])[0]  # noqa: E731
    for name in ["QuorvelLauncher.exe", "QuorvelManifestCheck.exe"]:
        check(verify(os.path.join(out, name), signer.ca_pem) == 0, name + " verifies against the CA")
    # Without its signature the shipped launcher is the unsigned build whose digest the release printed.
    unsigned = os.path.join(work, "unsigned.exe")
    run(["osslsigncode", "remove-signature", "-in", os.path.join(out, "QuorvelLauncher.exe"), "-out", unsigned])
    with open(unsigned, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    check("unsigned QuorvelLauncher.exe sha256 " + digest in release_text,
          "the signed launcher less its signature is the unsigned build the release printed")
    flipped = ca.flipped_copy(os.path.join(out, "QuorvelLauncher.exe"), os.path.join(work, "flipped.exe"))
    check(verify(flipped, signer.ca_pem) != 0, "one flipped bit fails verification")

    sign = os.path.join(root, "tools", "release", "sign.sh")
    other = ca.make_signer(os.path.join(work, "other-ca"), "Some Other CA")
    target = shutil.copy(os.path.join(out, "QuorvelManifestCheck.exe"), os.path.join(work, "resign.exe"))
    with open(target, "rb") as f:
        before = f.read()
    unset = {k: v for k, v in os.environ.items() if not k.startswith("QUORVEL_SIGN_")}
    cases = [  # environment, wanted exit code, text the output must hold
        (ca.sign_env(signer, ca_pem=other.ca_pem), 1, "does not verify against"),
        (dict(unset), 0, "not signed"),
        (dict(unset, QUORVEL_SIGN_PFX=signer.pfx), 1, "QUORVEL_SIGN_PASSWORD_FILE is not"),
        (dict(unset, QUORVEL_SIGN_PFX=signer.pfx, QUORVEL_SIGN_PASSWORD_FILE=other.password_file), 1,
         "signing resign.exe failed"),
    ]
    for env, want_code, want_text in cases:
        code, text = run([sign, target], env)
        check(code == want_code and want_text in text and signer.password not in text,
              "sign.sh: %r, exit %d (got %d: %s)" % (want_text, want_code, code, text.strip()[-300:]))
        with open(target, "rb") as f:
            check(f.read() == before, "sign.sh left the file as it was")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--work", required=True)
    args = p.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    signer = ca.make_signer(os.path.join(args.work, "ca"))
    env = ca.sign_env(signer)
    env.update(QUORVEL_BUILD=os.path.join(args.work, "build"), QUORVEL_VERSION=VERSION,
               QUORVEL_SERVER_HOST=HOST, QUORVEL_SERVER_PORT=PORT)
    signing_key, recovery_key = make_list_keys(args.work)
    lists = {"QUORVEL_LIST_KEYS": signing_key, "QUORVEL_LIST_RECOVERY_KEYS": recovery_key,
             "QUORVEL_LIST_MIN_SERIAL": "1796000000"}
    env.update(lists)
    code, text = run([os.path.join(args.root, "tools", "release", "make-release.sh")], env)
    print(text[-3000:])
    check(code == 0, "make-release.sh succeeds")
    if code != 0:
        sys.exit(1)
    check(signer.password not in text, "the password appears nowhere in the output")
    out = os.path.join(args.work, "build", "release")
    check_sums(out)
    check_launcher(os.path.join(out, "QuorvelLauncher.exe"))
    check_list_keys(os.path.join(args.work, "build"), lists)
    check_signing(args.root, out, args.work, signer, text)
    print("%d failed" % len(CHECKS.failures))
    sys.exit(1 if CHECKS.failures else 0)


if __name__ == "__main__":
    main()
