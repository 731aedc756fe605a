#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the program over the accessibility bus, the way a screen reader does.

  atspi_probe.py snapshot PID        one JSON object: the windows and the rows of every list
  atspi_probe.py watch-names PID S   "ready", then one JSON line per window name change, for S s
"""

import json
import sys

import pyatspi
from gi.repository import GLib

LIST_ROLES = {pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE}


def walk(node, depth=0):
    yield node
    for child in (node.getChildAtIndex(i) for i in range(node.childCount) if depth <= 8):
        if child is not None:
            yield from walk(child, depth + 1)


def snapshot(pid):
    def pid_of(app):
        try:
            return app.get_process_id()
        except Exception:
            return None

    app = next((a for a in pyatspi.Registry.getDesktop(0) if a and pid_of(a) == pid), None)
    if app is None:
        return {"error": f"no accessible application with pid {pid}"}
    tops = [app.getChildAtIndex(i) for i in range(app.childCount)]
    return {"windows": [{"role": top.getRoleName(), "name": top.name} for top in tops],
            "lists": [[node.getChildAtIndex(r).name for r in range(node.childCount)]
                      for top in tops for node in walk(top) if node.getRole() in LIST_ROLES]}


def watch_names(pid, seconds):
    def on_event(event):
        try:
            if event.source.get_process_id() == pid and \
                    event.source.getRole() == pyatspi.ROLE_FRAME:
                print(json.dumps({"detail": str(event.any_data)}), flush=True)
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(on_event, "object:property-change:accessible-name")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    # Ready once the listener is registered with the registry.
    GLib.idle_add(lambda: print("ready", flush=True) and False)
    pyatspi.Registry.start()


if __name__ == "__main__":
    if sys.argv[1] == "snapshot":
        print(json.dumps(snapshot(int(sys.argv[2]))))
    else:
        watch_names(int(sys.argv[2]), float(sys.argv[3]))
