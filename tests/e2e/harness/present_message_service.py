#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A stand-in screen reader's remote controller: records each text given to PresentMessage.

  present_message_service.py BUS_NAME OBJECT_PATH INTERFACE RECORD_FILE (one JSON string a line)
"""

import json
import sys

import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

name, path, interface, record = sys.argv[1:5]
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()


class Controller(dbus.service.Object):
    @dbus.service.method(interface, in_signature="s", out_signature="b")
    def PresentMessage(self, text):
        with open(record, "a", encoding="utf-8") as f:
            f.write(json.dumps(str(text)) + "\n")
        return True


controller = Controller(bus, path)
# Own the name only once the object is there, so a caller never finds a name without it.
bus_name = dbus.service.BusName(name, bus, do_not_queue=True)
print("ready", flush=True)
GLib.MainLoop().run()
