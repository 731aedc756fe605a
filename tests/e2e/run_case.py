#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one case of cases.txt: run_case.py CASE[/ROW] --skycall= --site= --host= --build=
# --artifacts= [--time-limit=] (--list names them all). A fresh desktop, skycall driven from
# outside as a user drives it, and every process of the run ended again, found by a marker in its
# environment. The grammar is the core scenarios' (tests/README.md); each v_ method is a verb, its
# docstring its synopsis; a case stops at its first failed step, named by file and line.
import collections
import glob
import json
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS, HARNESS, MARKER = os.path.dirname(HERE), HERE + "/harness", "SKYCALL_E2E_SESSION"
UNIT = "/usr/lib/systemd/user/skycall-site.service"
NOTIFICATIONS = "org.freedesktop.Notifications"
ENABLED = "/etc/systemd/user/default.target.wants/skycall-site.service"
LOOKS = {  # GNOME's settings for how windows look, by the desktop flag that sets them
    "high-contrast": ["org.gnome.desktop.a11y.interface", "high-contrast", "true"],
    "dark": ["org.gnome.desktop.interface", "color-scheme", "prefer-dark"],
}
OTHER = "skycall-e2e-other"  # another user of the same computer


def lines(path):  # (where, text) of every line that is neither blank nor a note
    for n, text in enumerate(open(path, encoding="utf-8").read().splitlines(), 1):
        if text and text[0] != "#":
            yield f"{os.path.basename(path)}:{n}", text


def cases(path):  # name -> steps, templates played out as the core runner plays them
    out, name, columns, rows, steps = {}, None, [], [], []

    def flush():
        for row in rows or [[]]:
            out[name + ("/" + row[0] if row else "")] = [(w, re.sub(
                r"\{(\w+)\}", lambda m: row[columns.index(m[1])] if m[1] in columns else m[0], t)) for w, t in steps]
    for where, text in lines(path):
        if text[0] == "[":
            name and flush()
            name, columns, rows, steps = text[1:-1], [], [], []
        elif text.startswith("cases "):
            columns = text[6:].split(" | ")
        elif text.startswith("- "):
            rows.append(text[2:].split(" | ", len(columns) - 1))
        else:
            steps.append((where, text))
    flush()
    return out


def unescape(field):  # \n \t \r \\, \xHH (a byte), \u{HEX} (a character), \*{N}c; as bytes
    return re.sub(r"\\x([0-9A-Fa-f]{2})|\\u\{([0-9A-Fa-f]+)\}|\\\*\{(\d+)\}(.)|\\(.)", lambda m: (
        chr(int(m[1], 16) + (0xDC00 if int(m[1], 16) >= 0x80 else 0)) if m[1] else chr(int(m[2], 16)) if m[2]
        else m[4] * int(m[3]) if m[3] else {"n": "\n", "t": "\t", "r": "\r", "0": "\0"}.get(m[5], m[5])),
        field).encode("utf-8", "surrogateescape")


class Failed(Exception):
    pass


def luminance(rgb):  # as the Web Content Accessibility Guidelines define it
    linear = [v / 255 / 12.92 if v <= 10 else ((v / 255 + 0.055) / 1.055) ** 2.4 for v in rgb]
    return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]


def inside(box, outer):  # [x, y, width, height] each
    x, y, w, h = outer
    return x <= box[0] and y <= box[1] and box[0] + box[2] <= x + w and box[1] + box[3] <= y + h


def same(got, want, what):
    if got != want:
        raise Failed(f"{what}\n  got:      {got!r}\n  expected: {want!r}")


def wait_until(predicate, timeout, what, interval=0.02):
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise Failed(f"timed out after {timeout} s waiting for {what() if callable(what) else what}")
        time.sleep(interval)
    return value


def sh(argv, timeout=20, check=True, **kw):
    r = subprocess.run(argv, capture_output=True, text=True, timeout=timeout, stdin=subprocess.DEVNULL, **kw)
    if check and r.returncode:
        raise Failed(f"{argv} failed ({r.returncode}): {r.stdout}{r.stderr}")
    return r


def alive(pid):  # while any thread runs: a daemon's main thread may end before its last one
    try:
        return any(open(f"/proc/{pid}/task/{t}/stat").read().rsplit(") ", 1)[1][0] != "Z"
                   for t in os.listdir(f"/proc/{pid}/task"))
    except OSError:
        return False


def end(pid):
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.kill(int(pid), sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + 3
        while alive(pid) and time.monotonic() < deadline:
            time.sleep(0.02)


def tree(root):  # every path under root with its size and modification time
    return {os.path.relpath(p, root): (os.lstat(p).st_size, os.lstat(p).st_mtime_ns)
            for d, dirs, files in os.walk(root) for p in (os.path.join(d, n) for n in dirs + files)}


class Run:
    def __init__(self, o):
        self.o, self.ids, self.keep, self.rows, self.utterances = o, {}, {}, [], []
        self.dir = tempfile.mkdtemp(prefix="skycall-e2e-")
        self.artifacts = os.path.join(o.artifacts, o.case.replace("/", "-"))
        self.names = dict(t.split(" = ", 1) for _, t in lines(TESTS + "/texts.txt"))
        self.app = self.wid = self.deb = None
        self.args = []
        self.sites = []  # the logs of the sites started, in turn
        self.mark, self.offset, self.position, self.t0 = 0, 0, 0, time.monotonic()
        self.home, self.cwd = self.dir, self.subdir("work")
        self.binary = os.path.join(self.subdir("app"), "skycall")
        # Copies a normal user's processes can read wherever the checkout lies.
        self.harness = shutil.copytree(HARNESS, self.dir + "/harness")
        self.site = shutil.copy2(o.site, self.dir + "/skycall-site")
        self.files = {n: os.path.join(self.cwd, n) for n in ("debuglog.txt", "myversion.txt")}
        self.files.update({n: os.path.join(self.dir, "app", n) for n in ("progress.ini", "progress.ini.backup")})
        self.env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.dir, "LANG": "C.UTF-8",
                    "LC_ALL": "C.UTF-8", "XDG_RUNTIME_DIR": self.subdir("runtime", 0o700),
                    "XDG_DATA_HOME": self.subdir("data"), MARKER: self.dir}
        # A proxy in the user's environment (one that refuses all): the site is reached without it.
        self.env["http_proxy"] = "http://127.0.0.1:1"
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)

    def fill(self, field):  # named texts, {NAME word}, rows {rN}, as the core runner fills them
        return re.sub(r"(?<!\\u)\{([A-Z][A-Z_0-9]*)(?: ([^}]*))?\}|\{r(\d+)\}", lambda m: (
            self.rows[int(m[3])] if int(m[3]) < len(self.rows) else "") if m[3] else
            self.fill(self.names[m[1]].replace("{1}", m[2] or "")), field)

    def expand(self, field):
        return unescape(self.fill(field)).decode("utf-8", "replace")

    def step(self, where, text):
        check, text = text.startswith("expect "), text + " " * text.endswith(" |")
        verb, separated, rest = text.partition(" | " if check else " ")
        handler = getattr(self, "v_" + re.sub(r"[ -]", "_", verb), None)
        if not handler:
            raise Failed(f"no verb {verb!r}; they are:\n" + "\n".join(
                f"  {n[2:]} {getattr(self, n).__doc__}" for n in dir(self) if n[:2] == "v_"))
        if not check:
            self.mark, self.t0 = len(self.poll()), time.monotonic()
            moved = self.keep.get("moved.txt")
            self.moves = len(open(moved).readlines()) if moved else 0
        print(f"step {where}: {text}", flush=True)
        handler(*rest.split(" | ") if separated else [])

    def kept(self, name):  # a file of the run, copied among the artifacts at its end
        return self.keep.setdefault(name, os.path.join(self.dir, name))

    def subdir(self, name, mode=0o755):
        path = os.path.join(self.dir, name)
        os.makedirs(path, mode=mode, exist_ok=True)
        os.chmod(path, mode)
        self.ids and sh(["chown", "-R", f"{self.ids['user']}:{self.ids['group']}", path])
        return path

    def popen(self, argv, env=None, ids=None, **kw):
        return subprocess.Popen(argv, env=dict(self.env, **(env or {})), cwd=kw.pop("cwd", self.dir),
                                start_new_session=True, stdin=subprocess.DEVNULL, **(ids or self.ids), **kw)

    def run(self, argv, timeout=20, check=True):  # a command of the desktop's, as its user
        return sh(argv, timeout, check, env=self.env, **self.ids)

    def ready(self, argv, var=None, prefix=""):  # a helper that prints its address, or "ready"
        line = self.popen(argv, stdout=subprocess.PIPE).stdout.readline().decode().strip()
        var and self.env.update({var: prefix + line})
        same(bool(line), True, f"{argv[-1]} started")

    # ---- the desktop --------------------------------------------------------------------------
    def v_desktop(self, flags=""):
        "[a11y orca braille words slow scaled doubled high-contrast dark user no-site site-beside no-speechd wayland wayland-no-x package services notifications logind]"
        flags = set(flags.split()) | ({"a11y", "orca"} if {"orca", "braille"} & set(flags.split()) else set())
        "user" in flags and self.v_user()
        if flags & {"wayland", "wayland-no-x"}:  # sway runs as a normal user only
            self.v_user()
            self.wayland("wayland" in flags)
        else:
            self.ready(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
                       "DISPLAY", ":")
        self.ready(["dbus-daemon", "--session", "--nofork", "--print-address=1"], "DBUS_SESSION_BUS_ADDRESS")
        if "logind" in flags:  # a system bus of the desktop's own, where logind tells of a suspend
            bus = ["dbus-daemon", "--session", "--nofork", "--print-address=1"]
            self.ready(bus, "DBUS_SYSTEM_BUS_ADDRESS")
        "scaled" in flags and self.env.update(QT_SCALE_FACTOR="2")
        if "doubled" in flags:  # GNOME's text scaling at 2, as it reaches X programs
            open(self.dir + "/Xresources", "w").write("Xft.dpi: 192\n")
            self.run(["xrdb", "-merge", self.dir + "/Xresources"])
        for look in flags & LOOKS.keys():  # kept in a file, where a session keeps them in dconf
            self.env["GSETTINGS_BACKEND"] = "keyfile"
            self.run(["gsettings", "set", *LOOKS[look]])
        if "a11y" in flags:  # the accessibility bus, as a desktop session has it, and what it tells
            self.popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
            self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
            listen = ["listen", self.kept("announced.txt"), self.kept("moved.txt")]
            self.ready(["/usr/bin/python3", self.harness + "/atspi_probe.py", *listen])
        if "no-speechd" in flags:  # nothing answers, and nothing is started
            self.env["SPEECHD_ADDRESS"] = f"unix_socket:{self.dir}/none.sock"
        else:
            self.word = {"words": "0.04", "slow": "0.2"}.get(next(iter(flags & {"words", "slow"}), ""), "0")
            open(self.kept("spoken.txt"), "w").close()
            self.ids and os.chown(self.keep["spoken.txt"], self.ids["user"], self.ids["group"])
            self.v_speechd("again")
        "braille" in flags and self.braille()
        if "notifications" in flags:  # the desktop's notification service, as GNOME's is to Orca
            self.popen(["/usr/lib/notification-daemon/notification-daemon"], {"GTK_MODULES": "gail:atk-bridge"})
        if "orca" in flags:  # Orca as it runs for a user, its key echo off
            shutil.copy(self.harness + "/orca_prefs.json", self.subdir("data/orca") + "/user-settings.conf")
            self.popen(["/usr/bin/python3", self.harness + "/orca_launcher.py"], stderr=subprocess.STDOUT,
                       stdout=open(self.kept("orca.out"), "w"))
            wait_until(lambda: "Screen reader on." in [u.text for u in self.poll()], 30, "Orca")
        "package" in flags or shutil.copy2(self.o.skycall, self.binary)  # a copy keeps progress.ini beside it
        "site-beside" in flags and shutil.copy2(self.site, os.path.dirname(self.binary))
        if "no-site" not in flags:
            self.start_site("package" in flags, "services" in flags)
        if "package" in flags:  # what the home and the start folder hold before the program
            self.trees = tree(self.home), tree(self.cwd)

    def start_site(self, unit, services=False):
        """A site of the current user's, as the package's unit starts it or serving the demo (or the
        weather of stand-in services), once it answers on the address it published."""
        argv = [self.site, *(self.services() if services else [])]
        if unit:
            argv = re.search(r"^ExecStart=(.*)$", open(UNIT).read(), re.M)[1].split()
        log = self.kept(f"site-{len(self.sites)}.log" if self.sites else "site.log")
        self.sites.append(log)
        # The stand-in services lie on this machine, where the user's proxy does not go.
        direct = {"no_proxy": "127.0.0.1"} if services else {}
        site = self.popen(argv, direct, stdout=open(log, "w"), stderr=subprocess.STDOUT)

        def answers():
            same(site.poll(), None, "skycall-site running")
            address = self.published()
            return address and not socket.socket().connect_ex(address)

        wait_until(answers, 20, "the site")

    def published(self):  # the address the current user's site published; None: none
        path = self.env["XDG_RUNTIME_DIR"] + "/skycall/site"
        if not os.path.exists(path):
            return None
        host, _, port = open(path).read().strip().rpartition(":")
        return host, int(port)

    def publish(self, port):  # in the current user's runtime folder, as a site of theirs left it
        folder = self.env["XDG_RUNTIME_DIR"] + "/skycall"
        os.makedirs(folder, mode=0o700, exist_ok=True)
        with open(folder + "/site", "w") as f:
            f.write(f"127.0.0.1:{port}\n")
        self.ids and sh(["chown", "-R", f"{self.ids['user']}:{self.ids['group']}", folder])

    def services(self):  # stand-ins for the weather services, the site's options to ask them
        self.weather = self.subdir("weather")
        argv = ["/usr/bin/python3", self.harness + "/weather_services.py", TESTS + "/site/fixtures", self.weather]
        base = "http://127.0.0.1:" + self.popen(argv, stdout=subprocess.PIPE).stdout.readline().decode().strip()
        return ["--source", "live", "--geocoding-url", base + "/v1/search", "--forecast-url", base + "/v1/forecast",
                "--alerts-url", base + "/alerts/active"]

    def v_weather(self, what, *values):
        "code N | alert EVENT | SEVERITY | INSTRUCTION | fail | well: what the stand-in weather services say from now on"
        files = {"code": ("weather_code", values and values[0]), "fail": ("fail", "")}
        if what == "alert":  # issued now, ending in three hours
            ends = time.strftime("%Y-%m-%dT%H:%M:%S+00:00", time.gmtime(time.time() + 3 * 3600))
            alert = {"id": f"urn:e2e:{time.time()}", "event": values[0], "severity": values[1], "ends": ends,
                     "instruction": values[2]}
            files["alert"] = ("alerts.json", json.dumps({"features": [{"properties": alert}]}))
        if what == "well":
            os.path.exists(self.weather + "/fail") and os.unlink(self.weather + "/fail")
            return
        name, content = files[what]
        open(os.path.join(self.weather, name), "w").write(content)

    def v_clock(self, seconds):
        "+SECONDS: the program's wall clock moved on (libfaketime), its timers not"
        open(self.kept("faketime"), "w").write(seconds)
        self.env.update(LD_PRELOAD="/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1",
                        FAKETIME_TIMESTAMP_FILE=self.keep["faketime"], FAKETIME_NO_CACHE="1",
                        FAKETIME_DONT_FAKE_MONOTONIC="1")

    def wayland(self, xwayland):  # sway, headless, with the variables GNOME's session sets
        config, env = self.dir + "/sway.conf", self.dir + "/sway.env"
        open(config, "w").write(f"xwayland {'enable' if xwayland else 'disable'}\nexec env > {env}\n")
        self.popen(["sway", "-c", config], {"WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman",
                                              "WLR_LIBINPUT_NO_DEVICES": "1"}, stderr=subprocess.DEVNULL)
        got = dict(l.split("=", 1) for l in wait_until(lambda: os.path.exists(env) and open(env).read().splitlines(),
                                                         20, "sway") if "=" in l)
        self.env.update({k: got[k] for k in ("WAYLAND_DISPLAY", "DISPLAY") if k in got}, XDG_SESSION_TYPE="wayland")
        # A keyboard kept for the run: one that comes and goes with each key takes X's keyboard with it.
        self.popen(["wtype", "-s", "600000"])

    def v_speechd(self, how):
        "KILL|STOP|CONT|TERM|again: speech-dispatcher killed, frozen, thawed, ended, started anew"
        run = self.subdir("speechd-run")
        sock, pid_file = run + "/speechd.sock", run + "/speechd.pid"
        if how != "again":
            os.kill(self.speech, getattr(signal, "SIG" + how))
            how in ("TERM", "KILL") and wait_until(lambda: not alive(self.speech), 15, "speech-dispatcher to end")
            return
        for left in (sock, pid_file):  # a killed daemon leaves them: wait for the new one's
            os.path.exists(left) and os.unlink(left)
        # One whose voice records each text, taking self.word seconds a word.
        sh(["speech-dispatcher", "-d", "-C", self.harness + "/speechd", "-c", "unix_socket", "-S", sock, "-P", pid_file,
            "-t", "0", "-L", self.subdir("speechd-log")], 15, cwd=self.dir, **self.ids,
           env=dict(self.env, SPD_REC_FILE=self.keep["spoken.txt"], SPD_REC_WORD=self.word))

        def daemon():  # it rewrites its pid file after it forks: wait for a live daemon's
            try:
                pid = int(open(pid_file).read()) if os.path.exists(sock) else 0
                return open(f"/proc/{pid}/comm").read().startswith("speech-dispatch") and pid
            except (OSError, ValueError):
                return None
        self.speech = wait_until(daemon, 10, "speech-dispatcher")
        self.env["SPEECHD_ADDRESS"] = f"unix_socket:{sock}"

    def poll(self):  # each text: START time rate text, then END time text once spoken to its end
        if "spoken.txt" not in self.keep:
            return self.utterances
        data = open(self.keep["spoken.txt"], "rb").read()[self.offset:]
        data = data[:data.rfind(b"\n") + 1]  # whole lines only
        self.offset += len(data)
        for line in data.decode("utf-8", "replace").splitlines():
            if start := re.match(r"^START \S+ (-?\d+) (.*)$", line):
                self.utterances.append(types.SimpleNamespace(rate=int(start[1]), text=start[2], finished=False))
            elif ended := re.match(r"^END \S+ (.*)$", line):
                next((u for u in reversed(self.utterances) if u.text == ended[1] and not u.finished),
                     types.SimpleNamespace()).finished = True
        return self.utterances

    def braille(self):  # brltty's virtual display, its lines read from its socket, for Orca
        sock, shown = self.dir + "/brl.sock", self.kept("braille.txt")
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(sock)
        listener.listen(1)
        number = 100 + os.getpid() % 800  # brltty's port: 4101 + this number

        def read():
            conn = listener.accept()[0]
            conn.sendall(b"cells 40\n")
            with open(shown, "w") as out:
                for data in iter(lambda: conn.recv(4096), b""):
                    out.writelines(l[8:-1] + "\n" for l in data.decode(errors="replace").splitlines() if l[:7] == "Visual ")
                    out.flush()
        threading.Thread(target=read, daemon=True).start()
        self.popen(["brltty", "-n", "-e", "-f", "/dev/null", "-b", "vr", "-d", f"client:{sock}", "-x", "no", "-s",
                    "no", "-A", f"auth=none,host=127.0.0.1:{number}"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["BRLAPI_HOST"] = f"127.0.0.1:{number}"
        wait_until(lambda: os.path.exists(shown) and open(shown).read(), 10, "brltty's display")

    def v_controller(self, name, hang=""):
        "NAME [| hang]: a stand-in for Orca's remote controller org.gnome.NAME.Service"
        open(self.kept(name), "w").close()
        self.ready(["/usr/bin/python3", self.harness + "/present_message_service.py", f"org.gnome.{name}.Service",
                    f"/org/gnome/{name}/Service", self.keep[name], hang])

    def named(self, name):  # the run's processes so named
        return [p for p in self.processes() if open(f"/proc/{p}/comm").read().strip() == name]

    def v_site(self, how, seconds="2"):
        "stop | hang [| SECONDS]: the site ends, or in its place one holds each request, then drops it"
        [end(pid) for pid in self.named("skycall-site")]
        if how == "hang":
            server = socket.create_server(("127.0.0.1", 0))
            threading.Thread(target=lambda: [threading.Timer(float(seconds), c.close).start()
                                             for c, _ in iter(server.accept, None)], daemon=True).start()
            self.publish(server.getsockname()[1])

    def v_impostor(self, who):
        "another-user | same-user | another-users-folder: a server, no site of the user's, on the old port and on the port the user's published address names; another user's serves a forecast of its own, the user's own garbage; or, no runtime folder set, the folder the user's site would publish in made first by another user"
        ids = self.account(OTHER) if who != "same-user" else self.ids
        if who == "another-users-folder":
            self.env.pop("XDG_RUNTIME_DIR")
            folder = f"/tmp/skycall-{self.ids['user']}"
            os.makedirs(folder, 0o700, exist_ok=True)
            os.chown(folder, ids["user"], ids["group"])
            self.squatted = [folder, "/tmp/runtime-skycall-e2e"]  # Qt's own stand-in, too
            return
        os.chmod(self.dir, 0o711)  # another user reaches only what is theirs to read
        pages = self.subdir("impostor")
        for page in ("right-now", "today", "tomorrow", "tenday"):
            os.makedirs(f"{pages}/weather/{page}")
            body = bytes(range(256))
            if who == "another-user":
                body = open(f"{TESTS}/pages/{page}-full.html", "rb").read()
            open(f"{pages}/weather/{page}/12345", "wb").write(body)
        old = self.o.host.rpartition(":")[2] if ":" in self.o.host else "8722"
        for port in (old, "0"):
            argv = ["/usr/bin/python3", "-u", "-m", "http.server", "-b", "127.0.0.1", port]
            server = self.popen(argv, ids=ids, cwd=pages, stdout=subprocess.PIPE)
            serving = re.search(rb" port (\d+) ", server.stdout.readline())
            same(bool(serving), True, f"a server on port {port}")
        self.publish(int(serving[1]))

    def v_fault(self, service, mode):
        "speech|site|reader|notifications | absent|refuses|hangs|dies|garbage: it failing so"
        argv = ["/usr/bin/python3", self.harness + "/faulty_service.py"]
        port = self.dir + "/site-port"
        if service == "speech":
            argv += ["socket", mode, self.env["SPEECHD_ADDRESS"].split(":", 1)[1]]
        elif service == "site":
            argv += ["tcp", mode, port]
        else:
            name = {"reader": "org.gnome.Orca1.Service", "notifications": NOTIFICATIONS}[service]
            argv += ["dbus", mode, name, "/" + name.replace(".", "/")]
        self.ready(argv)
        if service == "site" and mode != "absent":  # as a site of the user's publishes itself
            self.publish(int(open(port).read()))

    def v_wake(self):
        "the computer woke from a suspend, as logind tells the desktop's system bus"
        self.run(["/usr/bin/python3", self.harness + "/logind_wake.py"])

    def v_watch(self, other):
        "other: another window, focused, the keys it sees recorded"
        self.watcher = self.popen(["xev", "-name", "other", "-event", "keyboard"], stdout=open(self.kept("other"), "w"))
        wid = wait_until(lambda: self.run(["xdotool", "search", "--name", "^other$"], 5, False).stdout.split(), 10, other)
        self.run(["xdotool", "windowfocus", "--sync", wid[0]], 5)

    # ---- the program --------------------------------------------------------------------------
    def v_saved(self, route, rate, location):
        "ROUTE | RATE | LOCATION: progress.ini as the program saves it"
        route = {"voice": 0, "caption": 1, "hotkey": 2, "reader": 3}.get(route, route)
        open(self.files["progress.ini"], "wb").write(f" {route} \r\n {rate} \r\n\r\n{location}\r\n".encode() + b"\r\n" * 9)

    def v_write(self, name, text):
        "FILE | BYTES"
        open(self.files[name], "wb").write(unescape(self.fill(text)))

    def v_folder(self, how):
        "full | gone: at the next start, the side files in the start folder on a full disk, or the folder gone"
        self.gone = how == "gone"
        for name in ("debuglog.txt", "myversion.txt") if how == "full" else ():
            os.path.lexists(self.files[name]) and os.unlink(self.files[name])
            os.symlink("/dev/full", self.files[name])

    def v_arguments(self, *args):
        "[ARG | ...]: the program's command line from the next start on"
        self.args = [a for a in args if a]

    def v_start(self, *answers):
        "[ANSWER | ...]: the program, from its start folder; the location box, when it comes, answered so"
        argv = [self.binary, *self.args]
        if getattr(self, "gone", False):  # the shell removes its own current folder, then becomes the program
            argv, self.gone = ["sh", "-c", 'rmdir "$PWD" && exec "$0"', self.binary], False
            shutil.rmtree(self.cwd, ignore_errors=True)
        os.makedirs(self.cwd, exist_ok=True)
        self.output = open(self.kept("skycall.out"), "a")
        self.app = self.popen(argv, {} if "WAYLAND_DISPLAY" in self.env else {"QT_QPA_PLATFORM": "xcb"},
                              cwd=self.cwd, stdout=self.output, stderr=subprocess.STDOUT)
        self.position = 0
        answers and self.v_answers(*answers)

    def title(self, wid=None):
        return self.run(["xdotool", "getwindowname", wid or self.wid], 5).stdout.rstrip("\n")

    def window(self, title=None):  # by its title, or the program's main window
        def search():
            if self.app.poll() is not None:
                raise Failed(f"skycall ended ({self.app.returncode}): {open(self.output.name).read()[-2000:]}")
            which = ["--name", "^" + re.escape(title) + "$"] if title else ["--pid", str(self.app.pid)]
            return [w for w in self.run(["xdotool", "search", "--onlyvisible", *which], 5, False).stdout.split()
                    if title or self.title(w) != "Location"]
        return wait_until(search, 30, f"a window titled {title!r}", 0.05)[0]

    def v_answers(self, *texts):
        "[TEXT | ...]: typed into the location box, one each time it is there; none: Esc there"
        for text in texts or [None]:
            self.v_focus("Location")
            text and self.run(["xdotool", "type", "--delay", "15", self.expand(text)])
            self.run(["xdotool", "key", "Return" if text else "Escape"])
        self.wid = None

    def v_focus(self, title=""):
        "[TITLE]: the program's window so titled (by default its main one) given the keyboard"
        self.wid = self.wid if self.wid and not title else self.window(self.expand(title) if title else None)
        self.run(["xdotool", "windowfocus", "--sync", self.wid], 5)

    def v_key(self, keys):
        "NAME NAME ...: keys at the program's window (Down, shift+Escape, x), through the compositor in a Wayland session"
        "WAYLAND_DISPLAY" in self.env or self.v_focus()
        for name in keys.split():
            moved = self.position + {"Down": 1, "Up": -1}.get(name, 0)
            self.position = 1 if self.position == 0 else min(12, max(1, moved))  # the topic a walk expects
            self.run(["wtype", "-k", name] if "WAYLAND_DISPLAY" in self.env else ["xdotool", "key", "--delay", "20", name])

    def v_change(self, location):
        "LOCATION: Enter until the location box comes (refused while a load runs), LOCATION typed"
        deadline = time.monotonic() + 40
        search = ["xdotool", "search", "--onlyvisible", "--name", "^Location$"]
        while not self.run(search, 5, False).stdout.split():
            same(time.monotonic() < deadline, True, "the location box within 40 s")
            self.v_key("Return")
            time.sleep(1)
        self.v_answers(location)

    def v_close(self):
        "the window destroyed from outside, which ends the program as closing it does"
        self.run(["xdotool", "windowclose", self.wid or self.window()])
        self.v_expect_exit("0")

    def v_screenshot(self, name):
        "NAME: the program's window as a picture, among the run's artifacts"
        sh(["import", "-window", self.wid or self.window(), os.path.join(self.artifacts, name)], env=self.env)

    # ---- what the user hears, reads and keeps -------------------------------------------------
    def texts(self):
        return [u.text for u in self.poll()[self.mark:]]

    def v_expect_said(self, *texts):
        "| TEXT ...: the last texts speech-dispatcher was given since the action"
        want = [self.expand(t) for t in texts]
        wait_until(lambda: self.texts()[-len(want):] == want, 20, lambda: f"{want}; it has {self.texts()}", 0.005)

    def v_expect_heard(self, text, once="", seconds="20"):
        "| TEXT [| once [| SECONDS]]: spoken to its end since the action, within SECONDS, alone or within a longer text (and, once: no more, another minute on)"
        text = self.expand(text)
        heard = lambda: [u for u in self.poll()[self.mark:] if text in u.text and u.finished]
        wait_until(heard, float(seconds), lambda: f"{text!r} heard; {self.texts()}")
        once and (time.sleep(1.5 if seconds == "20" else 65), same(len(heard()), 1, f"times heard: {self.texts()}"))

    def v_expect_topic(self, text, seconds):
        "| TEXT | SECONDS: a key every three seconds, each topic heard whole, until one says TEXT"
        deadline = time.monotonic() + float(seconds)
        while not [u for u in self.poll()[self.mark:] if self.expand(text) in u.text and u.finished]:
            same(time.monotonic() < deadline, True, f"{text!r} heard within {seconds} s: {self.texts()}")
            before = len(self.poll())
            self.run(["xdotool", "key", "x"])
            wait_until(lambda: [u for u in self.poll()[before:] if u.finished], 5, "the topic heard whole")
            time.sleep(3)

    def v_expect_cut(self, text):
        "| TEXT: the last text spoken, cut off before its end"
        time.sleep(2)
        same((self.poll()[-1].text, self.poll()[-1].finished), (self.expand(text), False), "the last text, finished")

    def v_expect_rate(self, rate):
        "| N: the rate the last text was given at (speech-dispatcher's scale)"
        wait_until(lambda: len(self.poll()) > self.mark, 20, "a text")
        same(self.poll()[-1].rate, int(rate), "rate")

    def v_expect_caption(self, text):
        "| TEXT: the window's title"
        text = self.expand(text)
        self.wid = self.wid or self.window(text)
        wait_until(lambda: self.title() == text, 10, lambda: f"the title {text!r}; it is {self.title()!r}")

    def v_expect_announced(self, text):
        "| TEXT: a name the accessibility bus told its listeners"
        text = self.expand(text)
        wait_until(lambda: text in open(self.keep["announced.txt"]).read().splitlines(), 15, f"{text!r} announced")

    def geometry(self):  # the program's window: [x, y, width, height]
        shell = self.run(["xdotool", "getwindowgeometry", "--shell", self.wid or self.window()])
        return [int(n) for n in re.findall(r"=(-?\d+)", shell.stdout)[1:5]]

    def v_expect_on_screen(self):
        "the window lies on the screen"
        x, y, w, h = self.geometry()
        same(x >= 0 and y >= 0 and x + w <= 1024 and y + h <= 768, True, f"window {x},{y} {w}x{h}")

    def v_expect_file(self, name, text):
        "| FILE | BYTES"
        path = self.files[name]
        same(open(path, "rb").read() if os.path.exists(path) else None, unescape(self.fill(text)), name)

    def v_expect_logged(self, text):
        "| BYTES: debuglog.txt holds them"
        text, log = unescape(self.fill(text)), lambda: open(self.files["debuglog.txt"], "rb").read()
        wait_until(lambda: text in log(), 10, lambda: f"{text!r} in the log: {log()!r}")

    def v_expect_exit(self, status, least=None, most=None):
        "| STATUS [| SECONDS | SECONDS]: the program ends so, that long after the action"
        self.app.wait(timeout=10)
        lag = time.monotonic() - self.t0
        same((self.app.returncode, not least or float(least) <= lag <= float(most)), (int(status), True),
             f"exit status, {lag:.2f} s after the action")
        self.app = self.wid = None

    def v_expect_window(self, seconds):
        "| SECONDS: the program's window shows within SECONDS of the action"
        self.window()
        self.v_expect_within(seconds)

    def v_expect_answered(self, seconds):
        "| SECONDS: a text shown for the key (a magnifier pointed at it) within SECONDS"
        path = self.keep["moved.txt"]
        before = self.moves

        def shown():
            return [m for m in open(path).readlines()[before:] if "selected" in m]

        wait_until(shown, float(seconds), f"a text shown within {seconds} s")

    def v_expect_once(self, text):
        "| TEXT: said or logged once: in the log, on the terminal or among the texts spoken"
        text = self.expand(text)
        said = [u.text for u in self.poll()]
        files = [self.files["debuglog.txt"], self.keep["skycall.out"]]
        logged = [open(f, errors="replace", newline="").read().count(text) for f in files if os.path.exists(f)]
        same(sum(logged) + sum(text in t for t in said), 1, f"times {text!r} said or logged")

    def v_expect_within(self, seconds):
        "| SECONDS: since the action"
        same(time.monotonic() - self.t0 <= float(seconds), True, f"within {seconds} s")

    def v_expect_stderr(self, text):
        "| TEXT: the program wrote it on the terminal"
        wait_until(lambda: text in open(self.output.name).read(), 10, f"{text!r} on the terminal")

    def v_expect_run(self, status, text, *args):
        "| STATUS | TEXT | ARG or VAR=VALUE ...: the program run so ends with STATUS, writing TEXT"
        r = sh([self.binary, *[a for a in args if "=" not in a]], 20, False, **self.ids,
               env=dict(self.env, **dict(a.split("=", 1) for a in args if "=" in a)))
        same((r.returncode, text in r.stderr + r.stdout), (int(status), True), r.stderr)

    def v_expect_no_process(self, name):
        "| NAME: none of the run's processes is so named"
        wait_until(lambda: not self.named(name), 5, f"no {name} left")

    def v_expect_presented(self, name, *texts):
        "| NAME | TEXT ...: what the stand-in controller was given"
        want, got = [self.expand(t) for t in texts], lambda: open(self.keep[name]).read().splitlines()
        wait_until(lambda: got() == want, 10, lambda: f"{name} to have {want}: {got()}")

    def v_expect_keys(self, which, presses=""):
        "| other | KEY ...: the keys the other window saw pressed, none left down"
        time.sleep(1)
        self.watcher.terminate()
        self.watcher.wait(5)
        events = re.findall(r"^(KeyPress|KeyRelease) event.*?\(keysym 0x\w+, (\w+)\)", open(self.keep[which]).read(),
                            re.M | re.S)
        same([k for kind, k in events if kind == "KeyPress"], presses.split(), which)
        same(set({k.upper(): kind for kind, k in events}.values()) - {"KeyRelease"}, set(), "keys left down")

    def probe(self):  # the program's lists and texts in view, as the accessibility bus offers them
        probe = [self.harness + "/atspi_probe.py", str(self.app.pid)]
        return json.loads(self.run(["/usr/bin/python3", *probe], 30).stdout)

    def pixels(self):  # the screen, 1024 by 768, three bytes a pixel
        shot = os.path.join(self.dir, "screen.png")
        self.run(["import", "-window", "root", shot])
        rgb = ["/usr/bin/convert", shot, "-depth", "8", "rgb:-"]
        return subprocess.run(rgb, capture_output=True).stdout

    def words(self, box=None):  # what OCR reads on the screen, or a box of it: [text, place] each
        shot, x, y = os.path.join(self.dir, "screen.png"), 0, 0
        if box:
            x, y, w, h = box
            crop = [shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", shot + ".box.png"]
            self.run(["/usr/bin/convert", *crop])
            shot += ".box.png"
        # Read as one column of text of any size, which the window is: lines are not cut in two.
        tsv = self.run(["tesseract", shot, "-", "--psm", "4", "tsv"], 60).stdout
        words = []
        for row in tsv.splitlines()[1:]:
            *_, left, top, width, height, _, text = row.split("\t")
            if text.strip():
                words.append([text, [int(left) + x, int(top) + y, int(width), int(height)]])
        return words

    def colours(self, pixels, box):  # how many pixels of each colour a box on the screen holds
        x, y, w, h = box
        colours = collections.Counter()
        for row in range(max(y, 0), min(y + h, 768)):
            line = pixels[(row * 1024 + max(x, 0)) * 3 : (row * 1024 + min(x + w, 1024)) * 3]
            colours.update(zip(line[0::3], line[1::3], line[2::3]))
        return colours

    def contrast(self, pixels, box):  # of a box's text with its background, its commonest colour
        colours = self.colours(pixels, box)
        background = luminance(colours.most_common(1)[0][0])
        # The text's own colour: the one that stands out most, in a stroke's worth of pixels.
        text = [luminance(c) for c, n in colours.items() if n >= 5]
        return max((max(t, background) + 0.05) / (min(t, background) + 0.05) for t in text)

    def v_expect_contrast(self, least):
        "| RATIO: every text in view on the screen stands out so from its background, or more"
        texts = wait_until(lambda: self.probe()["texts"], 10, "texts in view")
        pixels = self.pixels()
        worst = min((self.contrast(pixels, box), box) for box in texts)
        print(f"contrast: the least of {len(texts)} texts {worst[0]:.1f} at {worst[1]}", flush=True)
        same(worst[0] >= float(least), True, f"the least contrast of every text, at {worst[1]}")

    def v_expect_background(self, kind):
        "| light|dark: the program's window, by its commonest colour"
        commonest = self.colours(self.pixels(), self.geometry()).most_common(1)[0][0]
        same(luminance(commonest) < 0.2, kind == "dark", f"a dark window: {commonest}")

    def seen(self, topic, moves):  # what a topic shows a low-vision user; where magnifiers go
        def moved():  # since the key: [event, x, y, width, height] each
            return [json.loads(m) for m in open(self.keep["moved.txt"]).readlines()[moves:]]

        place = wait_until(moved, 10, "a move a magnifier follows")[-1][1:]
        spoken = re.findall(r"[a-z0-9]+", topic.lower())

        def read():  # the screen, and whether OCR reads the topic where the magnifier went
            self.shot, self.large = self.pixels(), self.words(place)
            return re.findall(r"[a-z0-9]+", " ".join(w[0] for w in self.large).lower()) == spoken

        wait_until(read, 20, lambda: f"{spoken} at {place}; OCR reads {self.large}", 0.2)
        left, top = (min(w[1][k] for w in self.large) for k in (0, 1))
        right = max(w[1][0] + w[1][2] for w in self.large)
        bottom = max(w[1][1] + w[1][3] for w in self.large)
        large = [left, top, right - left, bottom - top]
        listed = [w for w in self.words() if not inside(w[1], place)]
        # The type's size against the list's: the same words' widths, large and listed.
        widths = {w[0]: w[1][2] for w in listed}
        sizes = sorted(w[1][2] / widths[w[0]] for w in self.large if w[0] in widths)
        contrast = self.contrast(self.shot, large)
        found = self.probe()["lists"][0]
        rows = sorted({int(r) for r in re.findall(r"\{r(\d+)\}", self.names[f"T{self.position}"])})
        selected = [r[0] for r in found["selected"]]
        print(
            f"topic {self.position}: {len(spoken)} words read at {large}, type {sizes} times the"
            f" list's, contrast {contrast:.1f}; rows {selected} selected; moves {moved()}",
            flush=True,
        )
        same(len(moved()), 1, "moves a magnifier follows")
        same([w for w in listed if w[1][1] < bottom], [], "words beside the large text or above it")
        same(contrast >= 7, True, f"contrast of the large text, {contrast:.1f}")
        if sizes:
            same(sizes[len(sizes) // 2] >= 2, True, f"the type's size, {sizes} times the list's")
        same(selected, rows, "the rows selected")
        hidden = [r[0] for r in found["selected"] if not inside(r[1:], found["place"])]
        same(hidden, [], "selected rows out of the list's view")

    def v_expect_rows(self):
        "the 48 forecast rows as the list offers them over AT-SPI"
        lists = wait_until(lambda: self.probe()["lists"], 10, "the list on the accessibility bus")
        self.rows = lists[0]["rows"]
        same((len(self.rows), self.rows[3::7][:3], all(self.rows)), (48, ["-----"] * 3, True), f"rows {self.rows}")

    def quiet(self):  # the last text spoken to its end, and no new one for half a second
        said = len(self.poll())
        time.sleep(0.5)
        return len(self.poll()) == said and self.utterances[-1].finished

    def v_expect_topics(self, how):
        "| heard|braille|seen: 12 Downs, Up and a letter: each key's topic heard whole and alone (1.5 s apart), on the braille display, or heard and shown as a low-vision user sees it"
        if how == "heard":
            wait_until(self.quiet, 20, "the start-up's speech to end")
        for key in ["Down"] * 12 + ["Up", "x"]:
            shown = os.path.getsize(self.keep["braille.txt"]) if how == "braille" else 0
            moves = len(open(self.keep["moved.txt"]).readlines()) if how == "seen" else 0
            self.step("walk", f"key {key}")
            topic = self.expand(f"{{T{self.position} 12345}}")
            if how == "braille":
                wait_until(lambda: topic[:40] in open(self.keep["braille.txt"]).read()[shown:], 10, f"{topic[:40]!r} in braille")
            else:
                self.v_expect_heard(topic)
            if how == "seen":
                self.seen(topic, moves)
                continue
            time.sleep(1.5)
            if how == "heard":
                same(self.texts(), [topic], "all that was said since the key")

    # ---- the installed package ----------------------------------------------------------------
    def v_install(self):
        "the package built and linted, installed over an older one; an administrator's disable kept"
        out, deb_env = self.subdir("package"), dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        cpack = ["cpack", "-G", "DEB", "--config", self.o.build + "/CPackConfig.cmake", "-B"]
        sh(cpack + [out], 900)
        deb = glob.glob(out + "/*.deb")[0]
        lint = sh(["lintian", "-I", "--pedantic", "--tag-display-limit", "0", deb], 300, False).stdout
        same([l for l in lint.splitlines() if re.match(r"[EW]: ", l) and "initial-upload-closes-no-bugs" not in l
              or "hardening" in l], [], "lintian")
        version = sh(["dpkg-deb", "-f", deb, "Version"]).stdout.strip()
        older = re.sub(r"\+git(\d+)", lambda m: f"+git{int(m[1]) - 1}", version)  # a commit before
        sh(["dpkg", "--compare-versions", version, "gt", older])
        sh(cpack + [self.subdir("older"), "-D", f"CPACK_DEBIAN_PACKAGE_VERSION={older[:-2]}"], 900)
        for package in glob.glob(self.dir + "/older/*.deb") + [deb]:
            self.deb = sh(["apt-get", "install", "-y", "-qq", package], 600, env=deb_env)
        same((sh(["dpkg-query", "-W", "-f", "${Version}", "skycall"]).stdout, os.path.islink(ENABLED)), (version, True),
             "installed over the older, the site's unit enabled")
        sh(["systemctl", "--global", "disable", "skycall-site.service"])
        sh(["apt-get", "install", "-y", "-qq", "--reinstall", deb], 600, env=deb_env)
        same(os.path.lexists(ENABLED), False, "the administrator's disable, after a reinstall")
        sh(["systemctl", "--global", "enable", "skycall-site.service"])
        sh(["desktop-file-validate", "/usr/share/applications/org.skycall.Skycall.desktop"])
        sh(["appstreamcli", "validate", "--no-net", "/usr/share/metainfo/org.skycall.Skycall.metainfo.xml"])
        verify = sh(["systemd-analyze", "verify", UNIT], 120, False)  # not where systemd never booted
        re.search("Failed to initialize|not been booted", verify.stderr) or same(verify.returncode, 0, verify.stderr)

    def account(self, name):  # a normal user of this computer's, made for the tests
        sh(["useradd", "-r", "-M", "-s", "/usr/sbin/nologin", name], check=False)
        user = pwd.getpwnam(name)
        return {"user": user.pw_uid, "group": user.pw_gid, "extra_groups": []}

    def v_user(self):
        "every process of the run a normal user's"
        self.ids = self.account("skycall-e2e")
        sh(["chown", "-R", f"{self.ids['user']}:{self.ids['group']}", self.dir])

    def v_neighbour(self):
        "another normal user on the same desktop, with a home and runtime folder of their own and their site started as the package's unit starts it: the steps after it are theirs"
        self.ids = self.account(OTHER)
        os.chmod(self.dir, 0o711)
        self.home = self.cwd = self.subdir("neighbour")
        self.env.update(
            HOME=self.home,
            XDG_CONFIG_HOME=self.home + "/.config",
            XDG_DATA_HOME=self.home + "/.local/share",
            XDG_CACHE_HOME=self.home + "/.cache",
            XDG_RUNTIME_DIR=self.subdir("neighbour/run", 0o700),
        )
        # Another user's session bus and speech-dispatcher: the program's texts go to its caption.
        self.env.update(DBUS_SESSION_BUS_ADDRESS="disabled:", SPEECHD_ADDRESS="unix_socket:/none")
        self.start_site(True)

    def v_expect_forbidden(self):
        "the user's own site answers another user's request 403"
        host, port = self.published()
        curl = ["curl", "-s", "--noproxy", "*", "-o", "/dev/null", "-w", "%{http_code}"]
        answer = sh(curl + [f"http://{host}:{port}/weather/today/1"], **self.account(OTHER))
        same(answer.stdout, "403", "another user's request")

    def v_expect_asked(self, *places):
        "| PLACE ...: each site, in the order they started, served pages of that place alone"
        for log, place in zip(self.sites, places):
            asked = set(re.findall(r" GET /weather/[^/]+/(\S*) 200$", open(log).read(), re.M))
            same(asked, {place}, f"the places {os.path.basename(log)} was asked for")

    def v_as_user(self):
        "the installed program, a normal user's, started from root's folder, which it cannot write"
        self.v_user()
        self.home, self.cwd = self.subdir("home"), self.subdir("read-only")
        shutil.chown(self.cwd, "root", "root")
        # Qt's font cache under the home would be a file written outside the program's own.
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=self.home + "/.config", XDG_DATA_HOME=self.home + "/.local/share",
                        XDG_CACHE_HOME=self.dir + "/cache")
        self.binary, state = "/usr/bin/skycall", self.home + "/.local/state/skycall/"
        self.files = {n: state + n for n in ("debuglog.txt", "myversion.txt")}
        self.files["progress.ini"] = self.home + "/.config/skycall/progress.ini"

    def v_expect_home_only(self, *allowed):
        "| PATH ...: what changed in the home, besides their folders; nothing in the start folder"
        same(tree(self.cwd), self.trees[1], "the folder the program was started from")
        after = tree(self.home)
        same({p for p in after if after[p] != self.trees[0].get(p) and not any(a.startswith(p + "/") for a in allowed)}
             - set(allowed), set(), "written outside the program's folders")

    # ---- teardown -----------------------------------------------------------------------------
    def processes(self):
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if f"{MARKER}={self.dir}".encode() in open(f"/proc/{pid}/environ", "rb").read():
                    yield pid
            except OSError:
                pass

    def close(self):
        try:
            for name, path in dict(self.files, **self.keep).items():
                # Plain files only: a side file may be a link to /dev/full, which reads forever.
                os.path.isfile(path) and not os.path.islink(path) and shutil.copy(path, os.path.join(self.artifacts, name))
        finally:
            for pid in [p for _ in range(2) for p in self.processes()]:  # twice: some start as others end
                end(pid)
            shutil.rmtree(self.dir, ignore_errors=True)
            for folder in getattr(self, "squatted", []):
                shutil.rmtree(folder, ignore_errors=True)
            if self.deb:
                sh(["dpkg", "--purge", "skycall"], 300)
                same(os.path.lexists(ENABLED), False, "purged, yet the unit is enabled")


def main():
    if sys.argv[1:] == ["--list"]:
        return print(";".join(cases(HERE + "/cases.txt")))
    o = types.SimpleNamespace(**dict({"case": sys.argv[1], "time_limit": 150}, **dict(
        (k[2:].replace("-", "_"), v) for k, v in (a.split("=", 1) for a in sys.argv[2:]))))
    steps = cases(HERE + "/cases.txt")[o.case]
    # The test runner's own time-out kills without a word: give up first, and clean up.
    for signum in (signal.SIGALRM, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, lambda n, _: sys.exit(f"stopped by {signal.Signals(n).name}"))
    signal.alarm(int(o.time_limit))
    run = Run(o)
    print("artifacts in", run.artifacts, flush=True)
    try:
        for where, text in steps:
            try:
                run.step(where, text)
            except (Failed, subprocess.SubprocessError, OSError, KeyError) as failure:
                sys.exit(f"failed at {where}: {text}\n{failure}")
    finally:
        signal.alarm(0)
        run.close()


if __name__ == "__main__":
    main()
