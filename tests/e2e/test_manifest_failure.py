"""The server answers the manifest with a web page: the status line shows the HTML text in red and
keeps it, the list stays empty, no second request is made; Esc then closes the window."""
from harness import scenario, steps, world

HTML_TEXT = ("Server returned HTML instead of JSON. Upload filelist.json.php to /download/latest/ "
             "on the server.")


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


if __name__ == "__main__":
    scenario.run("manifest_failure", body)
