"""Frame of one end-to-end scenario: arguments, artefact folder, clean-up, and the exit code CTest
reads (0 pass, 1 fail, 77 skipped with a reason)."""
import argparse
import json
import os
import shutil
import sys
import time
import traceback

from testbed import checks, probe, wine

SKIP = 77


class Skip(Exception):
    pass


class Context(checks.Checks):
    def __init__(self, args, name):
        super().__init__(log=self.log)
        self.args = args
        self.name = name
        self.artefacts = os.path.join(args.artefacts, name)
        shutil.rmtree(self.artefacts, ignore_errors=True)  # only this run's pictures remain
        self.screen = wine.Screen(self.artefacts)
        self.prefix = wine.Prefix()
        self.probe = probe.Probe(args.probe) if args.probe else None
        self.cleanups = []

    def log(self, text):
        print("[%s] %s" % (self.name, text), flush=True)

    def check_exit(self, program, what, timeout, code, within=None):
        """Waits for the program to end and checks its exit code, and with within (seconds) that
        it ended that soon: the time-out only bounds the wait, within is the expectation."""
        start = time.monotonic()
        got = program.wait_exit(what, timeout)
        took = time.monotonic() - start
        self.check_eq(got, code, "exit code after " + what)
        if within is not None:
            self.check(took < within, "%s in %.1f s (at most %.0f s)" % (what, took, within))
        return took

    def on_exit(self, cleanup):
        self.cleanups.append(cleanup)

    def save_state(self, name, state):
        """Keeps a probed state beside the screenshots, for whoever reads a failure later."""
        with open(self.artefact(name + ".json"), "w") as f:
            json.dump(state, f, indent=1, ensure_ascii=False)

    def artefact(self, name):
        os.makedirs(self.artefacts, exist_ok=True)
        return os.path.join(self.artefacts, name)


def parser():
    p = argparse.ArgumentParser()
    p.add_argument("--artefacts", required=True, help="folder for screenshots and logs")
    p.add_argument("--probe", help="window_probe.exe")
    p.add_argument("--launcher", help="QuorvelLauncher.exe")
    p.add_argument("--fixture", help="probe_fixture.exe")
    p.add_argument("--recorder", help="recorder.exe of the install tools")
    p.add_argument("--planted-dll", help="planted_dll.dll, which marks where it was loaded")
    p.add_argument("--trust-ca", help="trust_ca.exe of the test server")
    p.add_argument("--root", help="source tree")
    p.add_argument("--ca-dir", help="folder of the test server's throwaway CA")
    p.add_argument("--checker", help="QuorvelManifestCheck.exe, the vendor's manifest checker")
    return p


def run(name, body, argv=None):
    args = parser().parse_args(argv)
    context = Context(args, name)
    wine.start_wine()
    code = 0
    try:
        body(context)
        context.log("passed (%d checks)" % context.count)
    except Skip as reason:
        context.log("skipped: %s" % reason)
        code = SKIP
    except Exception:
        traceback.print_exc()
        try:
            context.log("failure screenshot: " + context.screen.screenshot("failure"))
        except Exception:
            pass
        code = 1
    finally:
        for cleanup in reversed(context.cleanups):
            try:
                cleanup()
            except Exception:
                traceback.print_exc()
    sys.exit(code)
