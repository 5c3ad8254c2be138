#!/usr/bin/env python3
"""Breaks the product on purpose, one case at a time, and checks that the tests notice.

    mutants.py [--cases SLUG,SLUG...]

Each tests/mutants/cases/<slug>.case names one file, one exact line of text in it (found exactly
once) and its replacement, the tier to build (native or wine) and a ctest -R regex of the tests that
must catch it. The source tree (as it is on disk, uncommitted edits included) is copied into
build/mutants/src, each tier is built there once and then only rebuilt where a case touches it.
A case is caught when the named tests fail; it survives when they pass (or skip). A case that does
not apply, does not build or names no test is broken. Prints one line per case and a closing count;
exits non-zero unless every case was caught.
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FIELDS = ("file", "find", "replace", "tier", "tests")
TIERS = {"native": "native", "wine": "win"}  # tier name -> build configuration


class CaseError(Exception):
    pass


def read_case(path):
    case = {"slug": os.path.basename(path)[:-len(".case")], "about": ""}
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("#"):
                case["about"] = case["about"] or line.lstrip("# ").strip()
                continue
            key, sep, value = line.partition(":")
            if sep and key.strip() in FIELDS:
                # One space after the colon belongs to the syntax; the rest is the text.
                case[key.strip()] = value[1:] if value.startswith(" ") else value
    missing = [f for f in FIELDS if f not in case or (f != "replace" and not case[f].strip())]
    if missing:
        raise CaseError("missing " + ", ".join(missing))
    case["tier"] = case["tier"].strip()
    case["tests"] = case["tests"].strip()
    if case["tier"] not in TIERS:
        raise CaseError("unknown tier %r" % case["tier"])
    return case


def source_files():
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    return [f for f in listed if f and not f.startswith("build/") and os.path.isfile(os.path.join(ROOT, f))]


def sync_source(src):
    """Copies the tree into src, rewriting only files whose bytes differ: they get a new time and
    rebuild, everything else keeps its time and its built objects."""
    wanted = set(source_files())
    for name in wanted:
        source, target = os.path.join(ROOT, name), os.path.join(src, name)
        with open(source, "rb") as f:
            data = f.read()
        if os.path.isfile(target):
            with open(target, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        shutil.copymode(source, target)
    for folder, dirs, files in os.walk(src):
        relative = os.path.relpath(folder, src)
        if relative == "build" or relative.startswith("build" + os.sep):
            dirs[:] = []
            continue
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            if path not in wanted:
                os.remove(os.path.join(folder, name))


def run_logged(command, log, cwd=None):
    with open(log, "ab") as out:
        out.write(("\n$ " + " ".join(command) + "\n").encode())
        out.flush()
        return subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, cwd=cwd).returncode


def build(scratch, src, tier, log):
    script = ('root="$1"; build="$2"; source "$root/tools/configs.sh"; configure_and_build "$3"')
    return run_logged(["bash", "-c", script, "build", src, scratch, TIERS[tier]], log) == 0


def run_tests(scratch, src, case, log):
    """ctest's exit code and the tests it ran and the ones that failed, from its output."""
    command = ["ctest", "--test-dir", os.path.join(scratch, TIERS[case["tier"]]), "--output-on-failure",
               "-R", case["tests"], "-j", str(os.cpu_count() or 2)]
    if case["tier"] == "wine":
        command = [os.path.join(src, "testbed", "with-wine.sh"), "--xvfb"] + command
    start = os.path.getsize(log) if os.path.exists(log) else 0
    code = run_logged(command, log)
    with open(log, encoding="utf-8", errors="replace") as f:
        f.seek(start)
        output = f.read()
    ran = re.search(r"tests passed, (\d+) tests? failed out of (\d+)", output)
    failed = re.findall(r"^\s*\d+ - (\S+) \((?!Skipped|Disabled)[^)]*\)\s*$", output, re.M)
    return code, int(ran.group(2)) if ran else 0, failed


def apply(path, find, replace):
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    count = text.count(find)
    if count != 1:
        raise CaseError("the text to find occurs %d times in %s" % (count, os.path.relpath(path, ROOT)))
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text.replace(find, replace))
    return text


def restore(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cases", default="", help="comma-separated slugs (default: every case)")
    args = parser.parse_args()

    scratch = os.environ.get("QUORVEL_MUTANTS_DIR") or os.path.join(ROOT, "build", "mutants")
    src = os.path.join(scratch, "src")
    logs = os.path.join(scratch, "logs")
    os.makedirs(logs, exist_ok=True)

    paths = sorted(glob.glob(os.path.join(HERE, "cases", "*.case")))
    wanted = [s.strip() for s in args.cases.split(",") if s.strip()]
    known = {os.path.basename(p)[:-len(".case")] for p in paths}
    unknown = [s for s in wanted if s not in known]
    if unknown:
        print("no such case: " + ", ".join(unknown), file=sys.stderr)
        return 2
    if wanted:
        paths = [p for p in paths if os.path.basename(p)[:-len(".case")] in wanted]

    print("=== copying the tree to %s" % src, flush=True)
    sync_source(src)
    results = {"caught": 0, "SURVIVED": 0, "BROKEN": 0}
    built = {}
    for path in paths:
        slug = os.path.basename(path)[:-len(".case")]
        log = os.path.join(logs, slug + ".log")
        if os.path.exists(log):
            os.remove(log)
        detail = ""
        try:
            case = read_case(path)
            target = os.path.join(src, case["file"])
            if not os.path.isfile(target):
                raise CaseError("no file %s" % case["file"])
            tier = case["tier"]
            # The unbroken tree must build, so a failed build below is the breakage's own.
            if tier not in built:
                built[tier] = build(scratch, src, tier, os.path.join(logs, "build-" + tier + ".log"))
            if not built[tier]:
                raise CaseError("the unbroken %s tree does not build (see %s)" % (tier, logs))
            original = apply(target, case["find"], case["replace"])
            try:
                if not build(scratch, src, tier, log):
                    raise CaseError("does not build (see %s)" % log)
                code, ran, failed = run_tests(scratch, src, case, log)
            finally:
                restore(target, original)
            if ran == 0:
                raise CaseError("no test matches %r" % case["tests"])
            outcome = "caught" if code != 0 else "SURVIVED"
            detail = ("by " + ", ".join(failed)) if failed else "%d test(s) passed" % ran
            if code != 0 and not failed:
                detail = "ctest failed (see %s)" % log
        except CaseError as error:
            outcome, detail = "BROKEN", str(error)
        results[outcome] += 1
        print("%-8s %s: %s" % (outcome, slug, detail), flush=True)
    print("mutants: %d caught, %d survived, %d broken (of %d)" % (
        results["caught"], results["SURVIVED"], results["BROKEN"], len(paths)))
    return 0 if results["caught"] == len(paths) and paths else 1


def in_own_network():
    """Test servers use fixed loopback ports: when allowed, run in a network namespace of our own."""
    if os.environ.get("QUORVEL_MUTANTS_NETNS") or os.geteuid() != 0 or not shutil.which("unshare"):
        return
    env = dict(os.environ, QUORVEL_MUTANTS_NETNS="1")
    command = ["unshare", "-n", "bash", "-c", 'ip link set lo up && exec "$@"', "mutants",
               sys.executable, os.path.abspath(__file__), *sys.argv[1:]]
    sys.exit(subprocess.run(command, env=env).returncode)


if __name__ == "__main__":
    in_own_network()
    sys.exit(main())
