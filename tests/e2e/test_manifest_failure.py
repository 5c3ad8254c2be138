"""The server answers the manifest with a web page: the status line shows the HTML text in red and
keeps it, the list stays empty, no second request is made; Esc then closes the window. A server that
never answers fails by the time-out; a manifest of more entries than the launcher takes fails with
the bound's text; one of exactly that many long entries reaches Ready and still closes on Esc."""
from testbed import large_manifests, scenario, steps, world

HTML_TEXT = ("Server returned HTML instead of JSON. Upload filelist.json.php to /download/latest/ "
             "on the server.")


def escape_closes(t, launcher, what):
    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("Escape")
    t.check_exit(launcher, what, 60, world.EXIT_CODE)
    t.check(not t.probe.state(rows=0)["found"], "the window is gone after " + what)


def wait_error(t, what, timeout):
    return t.probe.wait(lambda s: s["status"].get("error"), what, timeout, rows=0)


def body(t):
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    w.serve_manifest({"body": "\r\n  <!DOCTYPE html>\n<html><body>Welcome</body></html>\n",
                      "content_type": "text/html"})
    launcher = w.start_launcher()
    state = t.probe.wait(lambda s: s["status"].get("error"), "the manifest error", 90)
    t.screen.screenshot("1-manifest-failed")
    t.check_eq(steps.status(state), HTML_TEXT, "the HTML reply's text")
    t.check_eq(state["list"]["count"], 0, "the list stays empty")
    t.check_eq(state["progress"]["visible"], False, "no progress bar")

    steps.check_stays(t, lambda s: s.get("found") and s["status"].get("error")
                      and steps.status(s) == HTML_TEXT, "the red error", seconds=4)
    t.check_eq(len(w.manifest_requests()), 1, "no retry of the manifest")

    t.screen.focus(world.LAUNCHER_TITLE)
    t.screen.key("Escape")
    t.check_exit(launcher, "Esc on the failed manifest", 30, world.EXIT_CODE, world.AT_ONCE_SECONDS)
    t.check(not t.probe.state()["found"], "the window is gone")

    # Accepted and never answered: the wait for the reply ends by its time-out, about 30 s.
    w.serve_manifest({"hang": 90})
    launcher = w.start_launcher("launcher-silent.log")
    t.probe.watched = launcher
    state = wait_error(t, "the time-out of a silent server", 45)
    t.screen.screenshot("2-silent-server")
    text = steps.status(state)
    t.log("a server that never answers: %r" % text)
    t.check(text.startswith("Could not reach 127.0.0.1 \u2014 ") and "timed out" in text.lower(),
            "the time-out's text: %r" % text)
    escape_closes(t, launcher, "Esc after the time-out")

    # Minimal entries up to the size limit: refused at the first entry past the bound.
    w.serve_manifest({"body": large_manifests.minimal_entries()})
    launcher = w.start_launcher("launcher-many.log")
    t.probe.watched = launcher
    state = wait_error(t, "the bound on entries", 90)
    t.check_eq(steps.status(state), large_manifests.TOO_MANY_TEXT, "the bound's text")
    t.check_eq(state["list"]["count"], 0, "nothing listed past the bound")
    escape_closes(t, launcher, "Esc after the bound")

    # The largest manifest the limits admit is listed whole and still closes promptly.
    w.serve_manifest({"body": large_manifests.longest_entries(world.PORT)})
    launcher = w.start_launcher("launcher-largest.log")
    t.probe.watched = launcher
    ready = world.ready_text(large_manifests.MAX_ENTRIES)
    state = t.probe.wait(lambda s: steps.status(s) == ready or s["status"].get("error"),
                         "Ready with the most entries", 120, rows=0)
    t.screen.screenshot("3-largest-manifest")
    t.check_eq(steps.status(state), ready, "Ready with the most entries")
    t.check_eq(state["list"]["count"], large_manifests.MAX_ENTRIES, "every entry listed")
    escape_closes(t, launcher, "Esc on the largest list")


if __name__ == "__main__":
    scenario.run("manifest_failure", body)
