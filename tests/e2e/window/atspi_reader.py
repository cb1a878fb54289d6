#!/usr/bin/python3
"""Reads the program as a screen reader does, through AT-SPI; every wait bounded.

breaker SIM_INPUT: select node 2, read its "Breaker 5", press it, hear it change; an overload
is then heard as "Breaker 5 fault". overview: each row of the bus overview, its node cell and
breaker 5 cell with their centres on the screen. Exits 1 with the reason on a mismatch.
"""
import sys
import time

import pyatspi
from gi.repository import GLib


def fail(why):
    print("FAIL:", why, flush=True)
    sys.exit(1)


def wait(seconds, what, probe):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            got = probe()
        except Exception:  # the tree changed under the walk
            got = None
        if got:
            return got
        time.sleep(0.2)
    fail("timed out waiting for " + what)


def window(title):
    app = next(a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "orvik")
    return next(w for w in app if w and w.name == title)


def find(root, name, role=None):
    root.clear_cache()  # names follow the display; no event loop keeps a cache fresh here
    return pyatspi.findDescendant(
        root, lambda a: a and a.name == name and role in (None, a.getRoleName()))


def press(acc):
    action = acc.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))


def text(acc):
    acc.clear_cache()
    return acc.queryText().getText(0, -1)


def breaker(sim_input):
    def say(line):
        with open(sim_input, "w") as f:
            f.write(line + "\n")

    main = wait(20, "the main window", lambda: window("Tarnwell Orvik interface version 1.1"))
    for name in ("Orvik node 1: on the bus", "Orvik node 3: not on the bus",
                 "Power on defaults settings", "Dual LED settings"):
        print(wait(10, name, lambda: find(main, name, "push button")).name, flush=True)
    for line in ("switch 2 5 on", "switch 2 3 on", "load 2 3 24"):
        say(line)
    press(wait(10, "node 2's indicator", lambda: find(main, "Orvik node 2: on the bus")))
    five = wait(10, "Breaker 5", lambda: find(main, "Breaker 5", "check box"))
    wait(10, "Breaker 5 checked as the simulator has it",
         lambda: five.clear_cache() or five.getState().contains(pyatspi.STATE_CHECKED))
    current = find(main, "Current, breaker 3", "text")
    wait(10, "breaker 3's current 2.4", lambda: text(current) == "2.4")
    voltage = find(main, "Input voltage", "text")
    print("Breaker 5: checked; Current, breaker 3: %s; Input voltage: %s; %s"
          % (text(current), text(voltage), find(main, "Breaker 5: no fault").name), flush=True)

    heard, pressed = [], []

    def listener(event):
        if pressed and event.source and event.source.name == "Breaker 5":
            heard.append(event.detail1)
            pyatspi.Registry.stop()

    pyatspi.Registry.registerEventListener(listener, "object:state-changed:checked")
    GLib.timeout_add(500, lambda: pressed.append(press(five)))  # once the program knows
    GLib.timeout_add_seconds(15, lambda: pyatspi.Registry.stop())
    pyatspi.Registry.start()
    if heard != [0]:
        fail("Breaker 5 going off was not announced (heard %s)" % heard)
    print("pressed Breaker 5; heard it go unchecked", flush=True)

    say("switch 2 5 on")
    say("load 2 5 150")
    wait(15, "Breaker 5 fault", lambda: find(main, "Breaker 5 fault"))
    node = find(main, "Orvik node 2: on the bus")
    print("Breaker 5 fault; Orvik node 2 tells: " + node.description, flush=True)
    if node.description != "fault on breaker 5":
        fail("node 2's indicator does not tell the fault")


def overview():
    table = wait(20, "the bus overview",
                 lambda: find(window("Bus overview"), "Orvik nodes", "table")).queryTable()

    def cell(row, column):
        acc = table.getAccessibleAt(row, column)
        acc.clear_cache()
        e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return "%d %d: %s" % (e.x + e.width // 2, e.y + e.height // 2, acc.name)

    wait(10, "rows with data", lambda: "no data" not in cell(0, 0))
    for row in range(8):
        print("node %d at %s | breaker 5 at %s" % (row + 1, cell(row, 0), cell(row, 5)))


if __name__ == "__main__":
    if sys.argv[1:2] == ["breaker"] and len(sys.argv) == 3:
        breaker(sys.argv[2])
    elif sys.argv[1:] == ["overview"]:
        overview()
    else:
        fail(__doc__)
