"""A second launcher started while one runs exits at once without a window, and the first one is
left exactly as it was."""
from testbed import scenario, steps, world


def comparable(state):
    return {"status": state["status"].get("text"), "error": state["status"].get("error"),
            "rows": [r["cells"] for r in state["list"]["rows"]],
            "selected": state["list"]["selected"], "rect": state["rect"],
            "visible": state["visible"], "pid": state["pid"]}


def body(t):
    w = world.World(t, t.args.ca_dir, t.args.trust_ca)
    w.add_file("One.txt", data=b"one", modified_at="2026-01-02T00:00:00Z", size_text="3 B")
    w.add_file("Two.txt", data=b"two!", modified_at="2026-01-03T00:00:00Z", size_text="4 B")
    entries = w.publish()
    first = w.start_launcher("first.log")
    before = steps.wait_ready(t, entries)

    second = w.start_launcher("second.log")
    t.check_exit(second, "the second launcher's start", 30, 0, world.AT_ONCE_SECONDS)
    after = t.probe.state()
    t.screen.screenshot("1-after-second-start")
    t.check_eq(after["windows"], 1, "still one launcher window")
    t.check_eq(comparable(after), comparable(before), "the first launcher is unchanged")
    t.check_eq(len(w.manifest_requests()), 1, "the second launcher fetched nothing")
    t.check_eq(first.exited(), False, "the first launcher still runs")


if __name__ == "__main__":
    scenario.run("second_instance", body)
