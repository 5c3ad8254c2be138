"""The one assertion helper: counted checks that log what held, and a deadline-bound wait.

Checks() raises Failure at the first check that fails; Checks(keep_going=True) collects every
failure instead (in .failures), so one run shows them all."""
import time


class Failure(AssertionError):
    pass


class Checks:
    def __init__(self, log=print, keep_going=False, quiet=False):
        self.log = log
        self.keep_going = keep_going
        self.quiet = quiet  # log failures only
        self.count = 0
        self.failures = []

    def check(self, condition, what):
        self.count += 1
        if condition:
            if not self.quiet:
                self.log("ok: " + what)
            return True
        if not self.keep_going:
            raise Failure("check failed: " + what)
        self.failures.append(what)
        self.log("FAILED: " + what)
        return False

    def check_eq(self, got, want, what):
        if got == want:
            return self.check(True, "%s == %r" % (what, want))
        return self.check(False, "%s: got %r, want %r" % (what, got, want))


def poll(check, what, timeout=60.0, interval=0.1):
    """Calls check() until it returns something true; returns that, or raises after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        last = check()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)
