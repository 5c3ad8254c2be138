"""The probe and the input driver on a stand-in window with the launcher's control ids: rows and
cells read across processes (non-ASCII included), the selection, a real double-click on a computed
row position, and a real Enter key on the focused list."""
from testbed import probe, scenario, wine

TITLE = "Quorvel Probe Fixture"


def body(t):
    window = probe.Probe(t.args.probe, TITLE)
    fixture = wine.Program(t.args.fixture, log_path=t.artefact("fixture.log"))
    t.on_exit(fixture.stop)

    state = window.wait(lambda s: s["status"].get("text") == "ready" and s["list"]["count"] == 5,
                        "the fixture window with five rows")
    t.screen.screenshot("ready")
    t.check_eq([c["text"] for c in state["list"]["columns"]], ["File", "Date", "Size", "Type"],
               "column headers")
    t.check_eq(probe.row_texts(state)[2], ["row-2-\u00e9\u2026.bin", "r2c1", "r2c2", "r2c3"],
               "cells of row 2")
    t.check_eq(state["list"]["selected"], 0, "row 0 selected at start")
    t.check_eq(state["status"]["error"], False, "status not an error")
    t.check_eq([state["progress"]["min"], state["progress"]["max"]], [0, 1000], "progress range")

    # Enter on the list as it comes up: row 0 is selected and the list holds the focus.
    t.screen.focus(TITLE)
    t.screen.key("Return")
    state = window.wait(lambda s: s["status"]["text"].startswith("activated 0"),
                        "Enter to activate row 0")
    t.log("Enter arrived as: " + state["status"]["text"])

    x, y = probe.row_center(state, 3)
    t.screen.double_click(x, y)
    state = window.wait(lambda s: s["status"]["text"] == "activated 3 by NM_DBLCLK", "double-click on row 3")
    t.check_eq(state["list"]["selected"], 3, "row 3 selected after the double-click")
    t.check_eq(state["progress"]["pos"], 300, "progress position read back")

    x, y = probe.row_center(state, 1)
    t.screen.double_click(x, y)
    state = window.wait(lambda s: s["status"]["text"] == "activated 1 by NM_DBLCLK", "double-click on row 1")
    t.check_eq(state["status"]["error"], True, "error flag read back")
    t.screen.screenshot("after-double-click")

    t.screen.key("Escape")
    fixture.wait_exit("the fixture to close on Escape")
    t.check(not window.state()["found"], "window gone after Escape")


if __name__ == "__main__":
    scenario.run("probe_fixture", body)
