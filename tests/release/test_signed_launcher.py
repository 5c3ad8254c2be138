"""The launcher signed by the release's signing step, with a throwaway CA trusted in the test bed's
prefix: Wine's WinVerifyTrust accepts it and rejects a copy with one flipped bit, and the signed
launcher still starts and lists the test server's files."""
import argparse
import os
import shutil
import subprocess

from harness import ca, scenario, steps, wine, world

TRUST_E_BAD_DIGEST = "0x80096010"
VERIFY_TRUST = None  # verify_trust.exe, from the command line


def verify_trust(t, exe):
    result = subprocess.run([wine.wine_binary(), VERIFY_TRUST, exe], capture_output=True,
                            text=True, timeout=180)
    t.log("WinVerifyTrust(%s): %s" % (os.path.basename(exe), result.stdout.strip()))
    return result.returncode, result.stdout


def body(t):
    signer = ca.make_signer(t.artefact("signing-ca"))
    signed = shutil.copy(t.args.launcher, t.artefact("QuorvelLauncher.exe"))
    subprocess.run([os.path.join(t.args.root, "tools", "release", "sign.sh"), signed],
                   env=ca.sign_env(signer), check=True, timeout=120)
    wine.ensure_trusted(t.args.trust_ca, signer)

    code, _ = verify_trust(t, signed)
    t.check_eq(code, 0, "WinVerifyTrust accepts the signed launcher")
    code, text = verify_trust(t, ca.flipped_copy(signed, t.artefact("flipped.exe")))
    t.check(code != 0 and TRUST_E_BAD_DIGEST in text, "WinVerifyTrust rejects a flipped bit as a bad digest")

    t.args.launcher = signed
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    w.add_file("Signed.txt", data=b"signed", modified_at="2026-01-02T00:00:00Z")
    entries = w.publish()
    w.start_launcher()
    steps.wait_ready(t, entries)
    t.screen.screenshot("1-signed-launcher-ready")


if __name__ == "__main__":
    ours = argparse.ArgumentParser(add_help=False)
    ours.add_argument("--verify-trust", required=True, help="verify_trust.exe")
    known, rest = ours.parse_known_args()
    VERIFY_TRUST = known.verify_trust
    scenario.run("release_signed_launcher", body, rest)
