#!/usr/bin/python3
# Prints what an application tells the accessibility bus: one line per
# accessible object under the application named APP, as
# "role<TAB>name<TAB>description<TAB>text<TAB>states", depth first (text:
# what an object with a text interface holds; states: those of "active",
# "focused" and "showing" it has). Exits 1 when no such application is
# registered.
#
# usage: atspi_tree.py APP
import sys

import pyatspi

STATES = (("active", pyatspi.STATE_ACTIVE), ("focused", pyatspi.STATE_FOCUSED), ("showing", pyatspi.STATE_SHOWING))


def walk(node, out, depth=0):
    if node is None or depth > 40:
        return
    try:
        role = node.getRoleName()
        name = node.name or ""
        description = node.description or ""
    except Exception:
        return
    try:
        text = node.queryText().getText(0, -1)
    except Exception:
        text = ""
    try:
        held = node.getState()
        states = " ".join(n for n, s in STATES if held.contains(s))
    except Exception:
        states = ""
    fields = (role, name, description, text, states)
    out.append("\t".join(f.replace("\t", " ").replace("\n", " ") for f in fields))
    for i in range(node.childCount):
        try:
            walk(node.getChildAtIndex(i), out, depth + 1)
        except Exception:
            pass


def main():
    app_name = sys.argv[1]
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name.lower() == app_name.lower():
            lines = []
            walk(app, lines)
            print("\n".join(lines))
            return 0
    return 1


sys.exit(main())
