#!/usr/bin/python3
"""Reads the program over the accessibility bus, the way a screen reader does.

  atspi_probe.py snapshot PID        one JSON object: the windows and the rows of every list
  atspi_probe.py watch-names PID S   "ready", then one JSON line per window name change, for S s
"""

import json
import sys

import pyatspi
from gi.repository import GLib

LIST_ROLES = {pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE}


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def walk(node, depth=0):
    yield node
    if depth > 8:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def snapshot(pid):
    app = find_app(pid)
    if app is None:
        return {"error": f"no accessible application with pid {pid}"}
    windows, lists = [], []
    for i in range(app.childCount):
        top = app.getChildAtIndex(i)
        windows.append({"role": top.getRoleName(), "name": top.name})
        for node in walk(top):
            if node.getRole() in LIST_ROLES:
                lists.append([node.getChildAtIndex(r).name for r in range(node.childCount)])
    return {"app": app.name, "windows": windows, "lists": lists}


def watch_names(pid, seconds):
    def on_event(event):
        try:
            source = event.source
            if source.get_process_id() != pid or source.getRole() != pyatspi.ROLE_FRAME:
                return
            print(json.dumps({"name": source.name, "detail": str(event.any_data)}), flush=True)
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(on_event, "object:property-change:accessible-name")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    # Announce readiness once the listener is registered with the registry.
    GLib.idle_add(lambda: print("ready", flush=True) and False)
    pyatspi.Registry.start()


def main():
    command, pid = sys.argv[1], int(sys.argv[2])
    if command == "snapshot":
        print(json.dumps(snapshot(pid)))
    elif command == "watch-names":
        watch_names(pid, float(sys.argv[3]))
    else:
        sys.exit(f"unknown command {command}")


if __name__ == "__main__":
    main()
