#!/usr/bin/python3
"""Reads the program's window as a screen reader does, through AT-SPI (pyatspi).

  atspi_reader.py breaker SIM_INPUT   select node 2, read its "Breaker 5", press it, hear the
                                      change; then an overload, heard as "Breaker 5 fault"
  atspi_reader.py overview            the bus overview's rows: each node's cell and its breaker 5
                                      cell, their texts and places on the screen

Prints what it read; exits 1 with the reason when something is not as a user would hear it.
Every wait is bounded.
"""
import sys
import time

import pyatspi
from gi.repository import GLib

TITLE = "Tarnwell Orvik interface version 1.1"


def fail(why):
    print("FAIL:", why, flush=True)
    sys.exit(1)


def wait(seconds, what, probe):
    """Calls probe every 0.2 s until it returns something true; fails after seconds."""
    end = time.monotonic() + seconds
    while True:
        try:
            got = probe()
        except Exception:  # the tree changes under the walk
            got = None
        if got:
            return got
        if time.monotonic() > end:
            fail("timed out waiting for " + what)
        time.sleep(0.2)


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "orvik":
            return app
    return None


def window(title):
    app = program()
    if app is None:
        return None
    for w in app:
        if w is not None and w.name == title:
            return w
    return None


def find(root, name, role=None):
    # Read afresh: names change with what the window shows, and this reader runs no event
    # loop that would keep a cache up to date.
    root.clear_cache()
    return pyatspi.findDescendant(
        root, lambda a: a is not None and a.name == name and (role is None or a.getRoleName() == role))


def press(acc):
    action = acc.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Press" not in names:
        fail("%s has no press action (%s)" % (acc.name, names))
    action.doAction(names.index("Press"))


def text(acc):
    acc.clear_cache()
    t = acc.queryText()
    return t.getText(0, t.characterCount)


def checked(acc):
    acc.clear_cache()
    states = acc.getState()
    if states.contains(pyatspi.STATE_INDETERMINATE):
        return None
    return states.contains(pyatspi.STATE_CHECKED)


def breaker(sim_input):
    def say(line):
        with open(sim_input, "w") as f:
            f.write(line + "\n")

    main = wait(20, "the main window", lambda: window(TITLE))
    for name in ("Orvik node 1: on the bus", "Orvik node 3: not on the bus"):
        wait(10, '"%s"' % name, lambda: find(main, name, "push button"))
    print("node indicators: Orvik node 1: on the bus, Orvik node 3: not on the bus", flush=True)
    say("switch 2 5 on")
    say("switch 2 3 on")
    say("load 2 3 24")
    press(wait(10, "node 2's indicator", lambda: find(main, "Orvik node 2: on the bus")))

    five = wait(10, '"Breaker 5"', lambda: find(main, "Breaker 5", "check box"))
    wait(10, "Breaker 5 checked, as the simulator has it", lambda: checked(five) is True)
    print("Breaker 5: check box, checked (on in the simulator)", flush=True)
    current = find(main, "Current, breaker 3", "text")
    wait(10, "breaker 3's current 2.4", lambda: text(current) == "2.4")
    voltage = find(main, "Input voltage", "text")
    print("Current, breaker 3: %s; Input voltage: %s" % (text(current), text(voltage)), flush=True)
    print(find(main, "Breaker 5: no fault").name, flush=True)

    heard = []
    pressed = []

    def listener(event):
        if pressed and event.source is not None and event.source.name == "Breaker 5":
            heard.append(event.detail1)
            pyatspi.Registry.stop()

    def press_five():
        pressed.append(True)
        press(five)
        return False

    pyatspi.Registry.registerEventListener(listener, "object:state-changed:checked")
    GLib.timeout_add(500, press_five)  # once the program knows of the listener
    GLib.timeout_add_seconds(15, lambda: pyatspi.Registry.stop() and False)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(listener, "object:state-changed:checked")
    if heard != [0]:
        fail("no announcement of Breaker 5 going off (heard %s)" % heard)
    print("pressed Breaker 5; heard it change to unchecked", flush=True)

    say("switch 2 5 on")
    say("load 2 5 150")
    fault = wait(15, '"Breaker 5 fault"', lambda: find(main, "Breaker 5 fault"))
    node = find(main, "Orvik node 2: on the bus")
    node.clear_cache()
    print("%s; Orvik node 2 says: %s" % (fault.name, node.description), flush=True)
    if node.description != "fault on breaker 5":
        fail("node 2's indicator does not tell the fault")


def overview():
    win = wait(20, "the bus overview", lambda: window("Bus overview"))
    table = wait(10, "its table", lambda: find(win, "Orvik nodes", "table"))

    def cell(row, column):
        acc = table.queryTable().getAccessibleAt(row, column)
        acc.clear_cache()
        return acc

    def place(acc):
        e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return "%d %d %d %d" % (e.x + e.width // 2, e.y + e.height // 2, e.width, e.height)

    wait(10, "rows with data", lambda: "no data" not in cell(0, 0).name)
    for row in range(8):
        node, five = cell(row, 0), cell(row, 5)
        print("node %d at %s: %s | breaker 5 at %s: %s"
              % (row + 1, place(node), node.name, place(five), five.name), flush=True)


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "breaker" and len(sys.argv) == 3:
        breaker(sys.argv[2])
    elif sys.argv[1:] == ["overview"]:
        overview()
    else:
        fail(__doc__)
    print("done", flush=True)
