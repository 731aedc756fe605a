#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A stand-in screen reader's remote controller on the session bus: records each text given to
# PresentMessage, one a line; with "hang", never answers. Arguments: BUS_NAME (also the
# interface) OBJECT_PATH RECORD_FILE [hang].
import sys

import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

name, path, record = sys.argv[1:4]
DBusGMainLoop(set_as_default=True)


class Controller(dbus.service.Object):
    @dbus.service.method(name, in_signature="s", out_signature="b", async_callbacks=("ok", "_"))
    def PresentMessage(self, text, ok, _):
        with open(record, "a", encoding="utf-8") as f:
            f.write(text + "\n")
        if sys.argv[4:] != ["hang"]:
            ok(True)


controller = Controller(dbus.SessionBus(), path)
# Own the name only once the object is there, so a caller never finds a name without it.
bus_name = dbus.service.BusName(name, dbus.SessionBus(), do_not_queue=True)
print("ready", flush=True)
GLib.MainLoop().run()
