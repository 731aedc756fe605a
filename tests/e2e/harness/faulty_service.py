#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A service the program talks to, failing one way: "absent" (nothing there), "refuses" (the
# address is there, nothing takes it; a D-Bus service answers with an error), "hangs" (takes
# the connection or the call and never answers), "dies" (takes the request, then goes away
# without an answer) or "garbage" (answers what no such service would); a D-Bus service may
# also "take" each call, as the real one does, writing its text to RECORD. Prints "ready" once
# it is in place (an http site: its port).
#   faulty_service.py socket MODE PATH     a speech-dispatcher's Unix socket
#   faulty_service.py tcp MODE             an http site on a free loopback port
#   faulty_service.py dbus MODE NAME [RECORD]  a session bus service: Orca's remote controller
#                                          (PresentMessage), or notifications (Notify)
import os
import socket
import sys
import threading
import time

kind, mode = sys.argv[1:3]


def answer(connection, hello):
    with connection:
        connection.recv(4096)
        if mode == "garbage":
            connection.sendall(hello + os.urandom(512) + b"\r\n")
        if mode != "dies":
            time.sleep(3600)


def stream(family, address):
    listener = socket.socket(family)
    listener.bind(address)
    print(listener.getsockname()[1] if family == socket.AF_INET else "ready", flush=True)
    if mode == "refuses":  # bound and let go: the address stays, nobody takes it
        listener.close()
        time.sleep(3600)
    listener.listen(16)
    hello = b"HTTP/1.1 200 OK\r\n" if family == socket.AF_INET else b""
    while True:
        connection = listener.accept()[0]
        threading.Thread(target=answer, args=(connection, hello), daemon=True).start()


def dbus_service(name, record=None):
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)

    def called(text, reply, error):
        if record:
            with open(record, "a", encoding="utf-8") as f:
                f.write(text + "\n")
        if mode == "takes":
            reply(True)
        elif mode == "refuses":
            error(
                dbus.exceptions.DBusException("refused", name="org.freedesktop.DBus.Error.Failed")
            )
        elif mode == "dies":
            os._exit(1)
        elif mode == "garbage":
            reply("not the answer")

    answers = {"out_signature": "s" if mode == "garbage" else "b"}
    answers["async_callbacks"] = ("reply", "error")

    class Controller(dbus.service.Object):
        @dbus.service.method(name, in_signature="s", **answers)
        def PresentMessage(self, text, reply, error):
            called(text, reply, error)

    class Notifications(dbus.service.Object):
        @dbus.service.method(name, in_signature="susssasa{sv}i", **answers)
        def Notify(self, app, id, icon, summary, body, actions, hints, timeout, reply, error):
            called(body, reply, error)

    service = Notifications if name.endswith("Notifications") else Controller
    bus = dbus.SessionBus()
    service(bus, "/" + name.replace(".", "/"))
    # The name is owned once the object is there, so a caller never finds a name without it.
    bus.request_name(name)
    print("ready", flush=True)
    GLib.MainLoop().run()


if mode == "absent":
    print("ready", flush=True)
    time.sleep(3600)
elif kind == "socket":
    stream(socket.AF_UNIX, sys.argv[3])
elif kind == "tcp":
    stream(socket.AF_INET, ("127.0.0.1", 0))
else:
    dbus_service(*sys.argv[3:5])
