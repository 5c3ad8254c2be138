#!/usr/bin/env python3
"""The demo without a display: drives the launcher under Xvfb through fetch, list, double-click,
progress and launch the way a user would, and saves a screenshot of each step.

    walk.py --launcher EXE --probe EXE --tool EXE --ca-dir DIR --catalogue DIR --shots DIR
            --list-checker quorvel-manifest-check --list-key KEY.pem --passphrase-file F

Runs inside testbed/with-wine.sh (the demo's own prefix and X server).
"""
import argparse
import os
import sys
import time

import demo_server
from testbed import probe, steps, wine, world
from testbed.checks import Failure

TOOL_TITLE = "Quorvel Demo Tool"
DESKTOP = "1024x768+0+0"  # the Wine desktop window, as run-demo.sh sizes it


def say(text):
    print("demo: " + text, flush=True)


def walk(args):
    screen = wine.Screen(args.shots)
    window = probe.Probe(args.probe)
    entries = demo_server.fill_catalogue(args.catalogue, args.launcher, args.tool)
    body = demo_server.signed_list(args.catalogue, args.list_checker, args.list_key, args.passphrase_file)
    with demo_server.port_lock(demo_server.PORT):
        return walk_locked(args, screen, window, entries, body)


def walk_locked(args, screen, window, entries, body):
    server = demo_server.make_server(args.ca_dir, args.catalogue, body, args.rate,
                                     os.path.join(args.shots, "requests.jsonl"))
    shots = []

    def shot(name, what, crop=DESKTOP):
        shots.append(screen.screenshot(name, crop))
        say("%-40s %s" % (what, shots[-1]))

    def window_crop(state):
        left, top, right, bottom = state["rect"]
        return "%dx%d+%d+%d" % (right - left, bottom - top, left, top)

    def click_caption(state):
        # In a Wine desktop window the keyboard follows a click, as on a real desktop.
        screen.click(state["rect"][0] + 80, (state["rect"][1] + state["client"][1]) // 2)

    ready_text = world.ready_text(len(entries))

    def wait_ready(what):
        state = window.wait(lambda s: s["status"].get("text") == ready_text or s["status"].get("error"),
                            what, 90)
        if state["status"].get("error"):
            raise Failure("the launcher reports: " + state["status"]["text"])
        return state

    wine.start_wine()
    launcher = wine.Program(args.launcher, log_path=os.path.join(args.shots, "launcher.log"))
    try:
        # The server listens but holds its answer until the first state has been pictured.
        window.wait(lambda s: s["status"].get("text") == steps.FETCHING, "the launcher window", 120)
        shot("1-fetching", "fetching the manifest")
        server.start()

        state = wait_ready("the file list")
        shot("2-list", "the list, newest first")
        shot("launcher-window", "the launcher window alone", window_crop(state))

        x, y = probe.row_center(state, 1)
        name = state["list"]["rows"][1]["cells"][0]
        screen.move(x, y)
        shot("3-pointer-on-row", "pointing at " + name)
        screen.double_click(x, y)
        pictured = False
        for sample in window.watch(150, 4000):
            if not sample.get("found"):
                break
            progress = sample.get("progress") or {}
            if not pictured and progress.get("visible") and 250 <= progress.get("pos", 0) <= 750:
                shot("4-progress", "downloading: " + sample["status"]["text"])
                pictured = True
        if not pictured:
            say("the download was too quick to picture mid-way")
        say("the launcher closed itself after the download")
        probe_tool = probe.Probe(args.probe, TOOL_TITLE)
        tool_state = probe_tool.wait(lambda s: s["visible"], "the downloaded program's window", 60)
        shot("5-launched", "the downloaded program runs")
        launcher.wait_exit("the launcher to end", 30)

        # Second round: the catalogue's newer launcher replaces the running one.
        click_caption(tool_state)
        screen.key("Return")  # the demo program's OK button
        probe_tool.wait_gone("the demo program to close", 30)
        launcher = wine.Program(args.launcher, log_path=os.path.join(args.shots, "launcher-2.log"))
        state = wait_ready("the file list, second start")
        first_pid = state["pid"]
        name = state["list"]["rows"][0]["cells"][0]
        x, y = probe.row_center(state, 0)
        screen.double_click(x, y)
        say("double-clicked %s: the launcher downloads its newer self" % name)
        launcher.wait_exit("the old launcher to be gone", 60)
        window.wait(lambda s: s["pid"] != first_pid, "the newer launcher's window", 30)
        state = wait_ready("the newer launcher's list")
        shot("6-relaunched", "the newer launcher, started from the download")
        click_caption(state)
        screen.key("Escape")
        window.wait_gone("the newer launcher to close on Esc", 30)
    except Exception:
        try:
            shot("failure", "what the screen showed when the demo went wrong")
        except Exception:
            pass
        raise
    finally:
        launcher.stop()
        server.stop()
    return shots


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("--launcher", "--probe", "--tool", "--ca-dir", "--catalogue", "--shots"):
        p.add_argument(name, required=True)
    p.add_argument("--rate", type=int, default=256 * 1024)
    demo_server.add_list_arguments(p)
    args = p.parse_args()
    os.makedirs(args.shots, exist_ok=True)
    started = time.monotonic()
    try:
        walk(args)
    except Failure as fault:
        say("FAILED: %s" % fault)
        return 1
    say("done in %.0f s; screenshots in %s" % (time.monotonic() - started, args.shots))
    return 0


if __name__ == "__main__":
    sys.exit(main())
