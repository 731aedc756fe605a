#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The accessibility bus as a screen reader meets it. "atspi_probe.py PID" prints the rows of
# every list of the program's windows as JSON; "atspi_probe.py listen FILE" writes each
# name the bus announces to FILE, one a line, after printing "ready". A bridge that sends only
# what some listener asked for (Qt 6.8) sends the names only to one registered so.
import json
import sys

import pyatspi

if sys.argv[1] == "listen":
    out = open(sys.argv[2], "w", buffering=1, encoding="utf-8")
    pyatspi.Registry.registerEventListener(lambda e: out.write(f"{e.any_data}\n"),
                                           "object:property-change:accessible-name")
    print("ready", flush=True)
    sys.exit(pyatspi.Registry.start())


def walk(node, depth=0):
    yield node
    for child in (node.getChildAtIndex(i) for i in range(node.childCount) if depth <= 8):
        yield from walk(child, depth + 1) if child is not None else ()


app = next(a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == int(sys.argv[1]))
tops = [app.getChildAtIndex(i) for i in range(app.childCount)]
lists = {pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE}
print(json.dumps([[n.getChildAtIndex(r).name for r in range(n.childCount)]
                  for top in tops for n in walk(top) if n.getRole() in lists]))
