#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# logind telling the system bus that the computer woke from a suspend: PrepareForSleep(false),
# from the name logind owns, on the bus DBUS_SYSTEM_BUS_ADDRESS names.
import os

import dbus
import dbus.lowlevel

bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
bus.request_name("org.freedesktop.login1")
woke = dbus.lowlevel.SignalMessage(
    "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep"
)
woke.append(False, signature="b")
bus.send_message(woke)
bus.flush()
