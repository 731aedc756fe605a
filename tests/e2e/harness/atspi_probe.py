#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The accessibility bus as a screen reader or a magnifier meets it. "atspi_probe.py PID" prints,
# as JSON, every list of the program's windows (its rows, the selected ones with their places,
# its own place) and the place of every text in view. "atspi_probe.py listen NAMES MOVES" writes
# each name the bus announces to NAMES, one a line, and each object that takes the focus or
# becomes selected, as a magnifier follows them, to MOVES with its place, after printing "ready".
# A bridge that sends only what some listener asked for (Qt 6.8) sends the names only to one
# registered so. A place is [x, y, width, height] on the screen.
import json
import sys

import pyatspi
from gi.repository import GLib


def place(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return [box.x, box.y, box.width, box.height]


if sys.argv[1] == "listen":
    names = open(sys.argv[2], "w", buffering=1, encoding="utf-8")
    moves = open(sys.argv[3], "w", buffering=1)

    def moved(event):
        if event.detail1 != 1:
            return
        try:
            moves.write(json.dumps([event.type, *place(event.source)]) + "\n")
        except (NotImplementedError, GLib.Error):  # no place, or gone before it was asked
            pass

    pyatspi.Registry.registerEventListener(
        lambda e: names.write(f"{e.any_data}\n"), "object:property-change:accessible-name"
    )
    pyatspi.Registry.registerEventListener(
        moved, "object:state-changed:focused", "object:state-changed:selected"
    )
    print("ready", flush=True)
    sys.exit(pyatspi.Registry.start())


def walk(node, depth=0):
    yield node
    for child in (node.getChildAtIndex(i) for i in range(node.childCount) if depth <= 8):
        yield from walk(child, depth + 1) if child is not None else ()


def shows_text(node):
    if not node.getState().contains(pyatspi.STATE_SHOWING):
        return False
    if node.getRole() == pyatspi.ROLE_TEXT:
        return node.queryText().characterCount > 0
    return node.getRole() in TEXTS and bool(node.name)


def in_view(node):  # its place, a row's as far as its list shows it
    x, y, width, height = place(node)
    if node.getRole() != pyatspi.ROLE_LIST_ITEM:
        return [x, y, width, height]
    _, top, _, list_height = place(node.parent)
    shown = [max(y, top), min(y + height, top + list_height)]
    return [x, shown[0], width, shown[1] - shown[0]]


def selected(node):
    return node.getState().contains(pyatspi.STATE_SELECTED)


# Just after start the program may not be on the bus yet: then it offers nothing, for now.
apps = [a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == int(sys.argv[1])]
tops = [app.getChildAtIndex(i) for app in apps[:1] for i in range(app.childCount)]
nodes = [n for top in tops for n in walk(top)]
LISTS = {pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE}
TEXTS = {pyatspi.ROLE_LABEL, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_PUSH_BUTTON}
lists = [n for n in nodes if n.getRole() in LISTS]
rows = [[n.getChildAtIndex(r) for r in range(n.childCount)] for n in lists]
print(
    json.dumps(
        {
            "lists": [
                {
                    "rows": [row.name for row in list_rows],
                    "selected": [
                        [r, *place(row)] for r, row in enumerate(list_rows) if selected(row)
                    ],
                    "place": place(n),
                }
                for n, list_rows in zip(lists, rows)
            ],
            "texts": [box for box in map(in_view, filter(shows_text, nodes)) if box[3] > 3],
        }
    )
)
