#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads the program over the accessibility bus, the way a screen reader does: atspi_probe.py PID
# prints one JSON object, the program's windows and the rows of every list.
import json
import sys

import pyatspi

LIST_ROLES = {pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE}


def walk(node, depth=0):
    yield node
    for child in (node.getChildAtIndex(i) for i in range(node.childCount) if depth <= 8):
        yield from walk(child, depth + 1) if child is not None else ()


pid = int(sys.argv[1])
app = next(a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == pid)
tops = [app.getChildAtIndex(i) for i in range(app.childCount)]
lists = [[node.getChildAtIndex(r).name for r in range(node.childCount)]
         for top in tops for node in walk(top) if node.getRole() in LIST_ROLES]
print(json.dumps({"windows": [{"role": t.getRoleName(), "name": t.name} for t in tops],
                  "lists": lists}))
