#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A service the program talks to, failing one way: "absent" (nothing there), "refuses" (the
# address is there, nothing takes it; a D-Bus service answers with an error), "hangs" (takes
# the connection or the call and never answers), "dies" (takes the request, then goes away
# without an answer) or "garbage" (answers what no such service would). Prints "ready" once it
# is in place.
#   faulty_service.py socket MODE PATH      a speech-dispatcher's Unix socket
#   faulty_service.py tcp MODE PORT_FILE    an http site on a free loopback port, its port written
#   faulty_service.py dbus MODE NAME PATH   Orca's remote controller, or the notification service
import os
import socket
import sys
import threading
import time

kind, mode = sys.argv[1:3]


def serve(listener, hello=b""):
    def answer(connection):
        with connection:
            connection.recv(4096)
            if mode == "hangs":
                time.sleep(3600)
            elif mode == "garbage":
                connection.sendall(hello + os.urandom(512) + b"\r\n")
                time.sleep(3600)

    listener.listen(16)
    while True:
        connection = listener.accept()[0]
        threading.Thread(target=answer, args=(connection,), daemon=True).start()


def stream(family, address, port_file=None):
    listener = socket.socket(family)
    listener.bind(address)
    if port_file:
        with open(port_file, "w") as f:
            f.write(f"{listener.getsockname()[1]}\n")
    if mode == "refuses":  # bound and let go: the address stays, nobody takes it
        listener.close()
        print("ready", flush=True)
        time.sleep(3600)
    print("ready", flush=True)
    serve(listener, b"HTTP/1.1 200 OK\r\n" if family == socket.AF_INET else b"")


def dbus_service(name, path):
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)

    def fail(reply, error):
        if mode == "refuses":
            failed = "org.freedesktop.DBus.Error.Failed"
            error(dbus.exceptions.DBusException("refused", name=failed))
        elif mode == "dies":
            os._exit(1)
        elif mode == "garbage":
            reply("not the answer")

    callbacks = {"out_signature": "s", "async_callbacks": ("reply", "error")}

    class Controller(dbus.service.Object):
        @dbus.service.method(name, in_signature="s", **callbacks)
        def PresentMessage(self, text, reply, error):
            fail(reply, error)

    class Notifications(dbus.service.Object):
        @dbus.service.method(name, in_signature="susssasa{sv}i", **callbacks)
        def Notify(self, app, id, icon, summary, body, actions, hints, timeout, reply, error):
            fail(reply, error)

    service = Notifications if name == "org.freedesktop.Notifications" else Controller
    bus = dbus.SessionBus()
    kept = service(bus, path)
    bus.request_name(name)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del kept


if mode == "absent":
    print("ready", flush=True)
    time.sleep(3600)
elif kind == "socket":
    stream(socket.AF_UNIX, sys.argv[3])
elif kind == "tcp":
    stream(socket.AF_INET, ("127.0.0.1", 0), sys.argv[3])
else:
    dbus_service(*sys.argv[3:5])
