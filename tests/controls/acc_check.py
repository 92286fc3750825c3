#!/usr/bin/python3
"""A screen reader's view of the demo program, over the accessibility bus:
the menu bar's titles and their states, and the "Open" action of File showing
a popup menu whose children carry the item names. Exit code 0 when all hold."""
import subprocess
import sys
import threading
import time

import pyatspi

failures = []
passes = []


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what, flush=True)
    (passes if cond else failures).append(what)


def wait_for(fn, seconds=10.0):
    end = time.time() + seconds
    while time.time() < end:
        try:
            got = fn()
            if got:
                return got
        except Exception:  # the tree may change while it is read
            pass
        time.sleep(0.1)
    return None


def find(node, pred, depth=0):
    if depth > 12 or node is None:
        return None
    if pred(node):
        return node
    for i in range(node.childCount):
        hit = find(node.getChildAtIndex(i), pred, depth + 1)
        if hit is not None:
            return hit
    return None


def main(program):
    demo = subprocess.Popen([program], stdout=subprocess.PIPE, text=True)
    lines = []

    def reader():
        for line in demo.stdout:
            lines.append(line.rstrip("\n"))

    threading.Thread(target=reader, daemon=True).start()
    try:
        check(wait_for(lambda: "ready" in lines) is not None, "the demo program started")
        desktop = pyatspi.Registry.getDesktop(0)

        def the_app():
            for i in range(desktop.childCount):
                a = desktop.getChildAtIndex(i)
                if a is not None and a.get_process_id() == demo.pid:
                    return a
            return None

        app = wait_for(the_app)
        check(app is not None, "the program is on the accessibility bus")
        if app is None:
            return
        bar = wait_for(lambda: find(app, lambda n: n.getRole() == pyatspi.ROLE_MENU_BAR))
        check(bar is not None, "a menu bar is found")
        if bar is None:
            return
        titles = [bar.getChildAtIndex(i) for i in range(bar.childCount)]
        names = [t.name for t in titles]
        check(names == ["File", "Edit", "Window"], "the menu bar's children are File, Edit, Window: %s" % names)
        for t in titles:
            states = t.getState()
            check(t.getRole() == pyatspi.ROLE_MENU_ITEM, "%s is a menu item" % t.name)
            check(states.contains(pyatspi.STATE_FOCUSABLE) and states.contains(pyatspi.STATE_VISIBLE),
                  "%s is focusable and visible" % t.name)
            check(states.contains(pyatspi.STATE_ENABLED), "%s is enabled" % t.name)
        file_item = titles[0]
        action = file_item.queryAction()
        actions = [action.getName(i) for i in range(action.nActions)]
        check(actions == ["Open"], "File's action is Open: %s" % actions)
        if "Open" in actions:
            action.doAction(actions.index("Open"))
        shown = wait_for(lambda: any(l.startswith("popup File ") for l in lines))
        check(shown is not None, "the demo shows File's popup")
        popup = wait_for(lambda: file_item.childCount == 1 and file_item.getChildAtIndex(0))
        check(popup is not None and popup.getRole() == pyatspi.ROLE_POPUP_MENU, "File's child is a popup menu")
        if popup is not None:
            items = [popup.getChildAtIndex(i).name for i in range(popup.childCount)]
            check(items == ["New", "Save", "", "Exit"], "the popup's children carry the item names: %s" % items)
            check(popup.name == "File", "the popup is named after its title: %s" % popup.name)
            states = file_item.getState()
            check(states.contains(pyatspi.STATE_FOCUSED), "File has the focus while its menu runs")
    finally:
        demo.terminate()
        try:
            demo.wait(5)
        except subprocess.TimeoutExpired:
            demo.kill()


main(sys.argv[1])
print("%d passed, %d failed" % (len(passes), len(failures)))
sys.exit(1 if failures else 0)
