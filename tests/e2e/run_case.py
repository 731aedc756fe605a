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

from PIL import ImageGrab

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS, HARNESS, MARKER = os.path.dirname(HERE), HERE + "/harness", "SKYCALL_E2E_SESSION"
UNIT = "/usr/lib/systemd/user/skycall-site.service"
ENABLED = "/etc/systemd/user/default.target.wants/skycall-site.service"
NOTIFICATIONS = "org.freedesktop.Notifications"
OTHER = "skycall-e2e-other"  # another user of the same computer
LOOKS = {  # GNOME's settings for how windows look, by the desktop flag that sets them
    "high-contrast": ["org.gnome.desktop.a11y.interface", "high-contrast", "true"],
    "dark": ["org.gnome.desktop.interface", "color-scheme", "prefer-dark"],
}
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0"}


class Failed(Exception):
    pass


def lines(path):  # (where, text) of every line that is neither blank nor a note
    for number, text in enumerate(open(path, encoding="utf-8").read().splitlines(), 1):
        if text and text[0] != "#":
            yield f"{os.path.basename(path)}:{number}", text


def cases(path):  # name -> steps, templates played out as the core runner plays them
    found = {}
    for where, text in lines(path):
        if text[0] == "[":
            name, columns, rows, steps = text[1:-1], [], [], []
            found[name] = (columns, rows, steps)
        elif text.startswith("cases "):
            columns.extend(text[6:].split(" | "))
        elif text.startswith("- "):
            rows.append(text[2:].split(" | ", len(columns) - 1))
        else:
            steps.append((where, text))
    played = {}
    for name, (columns, rows, steps) in found.items():
        for row in rows or [[]]:
            values = dict(zip(columns, row))

            def fill(match):
                return values.get(match[1], match[0])

            named = name + "/" + row[0] if row else name
            played[named] = [(where, re.sub(r"\{(\w+)\}", fill, text)) for where, text in steps]
    return played


def unescaped(match):
    byte, character, times, repeated, escaped = match.groups()
    if byte:  # a byte beyond ASCII stands for itself, as surrogateescape keeps it
        return chr(int(byte, 16) + (0xDC00 if int(byte, 16) >= 0x80 else 0))
    if character:
        return chr(int(character, 16))
    if times:
        return repeated * int(times)
    return ESCAPES.get(escaped, escaped)


def unescape(field):  # \n \t \r \\, \xHH (a byte), \u{HEX} (a character), \*{N}c; as bytes
    pattern = r"\\x([0-9A-Fa-f]{2})|\\u\{([0-9A-Fa-f]+)\}|\\\*\{(\d+)\}(.)|\\(.)"
    return re.sub(pattern, unescaped, field).encode("utf-8", "surrogateescape")


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
    value = predicate()
    while not value:
        if time.monotonic() > deadline:
            raise Failed(
                f"timed out after {timeout} s waiting for {what() if callable(what) else what}"
            )
        time.sleep(interval)
        value = predicate()
    return value


def sh(argv, timeout=20, check=True, **kw):
    kw.update(capture_output=True, text=True, timeout=timeout, stdin=subprocess.DEVNULL)
    done = subprocess.run(argv, **kw)
    if check and done.returncode:
        raise Failed(f"{argv} failed ({done.returncode}): {done.stdout}{done.stderr}")
    return done


def alive(pid):  # while any thread runs: a daemon's main thread may end before its last one
    try:
        states = [
            open(f"/proc/{pid}/task/{t}/stat").read() for t in os.listdir(f"/proc/{pid}/task")
        ]
    except OSError:
        return False
    return any(state.rsplit(") ", 1)[1][0] != "Z" for state in states)


def end(pid):
    for stop in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.kill(int(pid), stop)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + 3
        while alive(pid) and time.monotonic() < deadline:
            time.sleep(0.02)


def tree(root):  # every path under root with its size and modification time
    found = {}
    for folder, folders, files in os.walk(root):
        for path in (os.path.join(folder, name) for name in folders + files):
            found[os.path.relpath(path, root)] = (
                os.lstat(path).st_size,
                os.lstat(path).st_mtime_ns,
            )
    return found


class Run:
    def __init__(self, o):
        self.o, self.ids, self.keep, self.rows, self.utterances = o, {}, {}, [], []
        self.dir = tempfile.mkdtemp(prefix="skycall-e2e-")
        self.artifacts = os.path.join(o.artifacts, o.case.replace("/", "-"))
        self.names = dict(text.split(" = ", 1) for _, text in lines(TESTS + "/texts.txt"))
        self.app = self.wid = self.deb = None
        self.reader = False  # whether Orca runs on the desktop
        self.args, self.sites = [], []  # the program's arguments; the logs of the sites started
        self.mark, self.moves, self.offset, self.position = 0, 0, 0, 0
        self.t0 = time.monotonic()
        self.home, self.cwd = self.dir, self.subdir("work")
        self.binary = os.path.join(self.subdir("app"), "skycall")
        # Copies a normal user's processes can read wherever the checkout lies.
        self.harness = shutil.copytree(HARNESS, self.dir + "/harness")
        self.site = shutil.copy2(o.site, self.dir + "/skycall-site")
        self.files = {n: os.path.join(self.cwd, n) for n in ("debuglog.txt", "myversion.txt")}
        self.files["progress.ini"] = os.path.join(self.dir, "app", "progress.ini")
        self.env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "HOME": self.dir,
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "XDG_RUNTIME_DIR": self.subdir("runtime", 0o700),
            "XDG_DATA_HOME": self.subdir("data"),
            MARKER: self.dir,
            # A proxy in the user's environment, one that refuses all: the site is reached
            # without it.
            "http_proxy": "http://127.0.0.1:1",
        }
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)

    def fill(self, field):  # named texts, {NAME word}, rows {rN}, as the core runner fills them
        def named(match):
            if match[3]:
                return self.rows[int(match[3])] if int(match[3]) < len(self.rows) else ""
            return self.fill(self.names[match[1]].replace("{1}", match[2] or ""))

        return re.sub(r"(?<!\\u)\{([A-Z][A-Z_0-9]*)(?: ([^}]*))?\}|\{r(\d+)\}", named, field)

    def expand(self, field):
        return unescape(self.fill(field)).decode("utf-8", "replace")

    def step(self, where, text):
        check, text = text.startswith("expect "), text + " " * text.endswith(" |")
        verb, separated, rest = text.partition(" | " if check else " ")
        handler = getattr(self, "v_" + re.sub(r"[ -]", "_", verb), None)
        if not handler:
            verbs = [f"  {n[2:]} {getattr(self, n).__doc__}" for n in dir(self) if n[:2] == "v_"]
            raise Failed(f"no verb {verb!r}; they are:\n" + "\n".join(verbs))
        if not check:
            self.mark, self.moves, self.t0 = len(self.poll()), len(self.moved()), time.monotonic()
        print(f"step {where}: {text}", flush=True)
        handler(*rest.split(" | ") if separated else [])

    def kept(self, name):  # a file of the run, copied among the artifacts at its end
        return self.keep.setdefault(name, os.path.join(self.dir, name))

    def subdir(self, name, mode=0o755):
        path = os.path.join(self.dir, name)
        os.makedirs(path, mode=mode, exist_ok=True)
        os.chmod(path, mode)
        self.chown(path)
        return path

    def chown(self, path):  # to the desktop's user, where it is not root
        if self.ids:
            shutil.chown(path, self.ids["user"], self.ids["group"])

    def popen(self, argv, env=None, ids=None, **kw):
        kw.update(start_new_session=True, stdin=subprocess.DEVNULL, **(ids or self.ids))
        return subprocess.Popen(
            argv, env=dict(self.env, **(env or {})), cwd=kw.pop("cwd", self.dir), **kw
        )

    def run(self, argv, timeout=20, check=True):  # a command of the desktop's, as its user
        return sh(argv, timeout, check, env=self.env, **self.ids)

    def ready(self, argv, var=None, prefix=""):  # a helper that prints its address, or "ready"
        line = self.popen(argv, stdout=subprocess.PIPE).stdout.readline().decode().strip()
        same(bool(line), True, f"{argv[-1]} started")
        if var:
            self.env[var] = prefix + line
        return line

    def harnessed(self, script, *args):  # one of the harness's helpers, once it says it is ready
        return self.ready(["/usr/bin/python3", self.harness + "/" + script, *args])

    # ---- the desktop ----------------------------------------------------------------------------
    def v_desktop(self, flags=""):
        (
            "[a11y orca braille words slow scaled doubled high-contrast dark user no-site "
            "site-beside no-speechd wayland wayland-no-x package services notifications logind]"
        )
        flags = set(flags.split())
        if flags & {"orca", "braille"}:
            flags |= {"a11y", "orca"}
        if flags & {"user", "wayland", "wayland-no-x"}:  # sway runs as a normal user only
            self.v_user()
        if flags & {"wayland", "wayland-no-x"}:
            self.wayland("wayland" in flags)
        else:
            xvfb = ["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"]
            self.ready(xvfb + ["-noreset"], "DISPLAY", ":")
        bus = ["dbus-daemon", "--session", "--nofork", "--print-address=1"]
        self.ready(bus, "DBUS_SESSION_BUS_ADDRESS")
        if "logind" in flags:  # a system bus of the desktop's own, where logind tells of a suspend
            self.ready(bus, "DBUS_SYSTEM_BUS_ADDRESS")
        if "scaled" in flags:
            self.env["QT_SCALE_FACTOR"] = "2"
        if "doubled" in flags:  # GNOME's text scaling at 2, as it reaches X programs
            open(self.dir + "/Xresources", "w").write("Xft.dpi: 192\n")
            self.run(["xrdb", "-merge", self.dir + "/Xresources"])
        for look in flags & LOOKS.keys():  # kept in a file, where a session keeps them in dconf
            self.env["GSETTINGS_BACKEND"] = "keyfile"
            self.run(["gsettings", "set", *LOOKS[look]])
        if "a11y" in flags:  # the accessibility bus, as a desktop session has it, and what it tells
            self.popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
            self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
            self.harnessed(
                "atspi_probe.py", "listen", self.kept("announced.txt"), self.kept("moved.txt")
            )
        if "no-speechd" in flags:  # nothing answers, and nothing is started
            self.env["SPEECHD_ADDRESS"] = f"unix_socket:{self.dir}/none.sock"
        else:
            self.word = "0.04" if "words" in flags else "0.2" if "slow" in flags else "0"
            open(self.kept("spoken.txt"), "w").close()
            self.chown(self.keep["spoken.txt"])
            self.v_speechd("again")
        if "braille" in flags:
            self.braille()
        if "notifications" in flags:  # the desktop's notification service, as GNOME's is to Orca
            daemon = "/usr/lib/notification-daemon/notification-daemon"
            self.popen([daemon], {"GTK_MODULES": "gail:atk-bridge"})
        self.reader = "orca" in flags
        if self.reader:  # Orca as it runs for a user, its key echo off
            prefs = self.subdir("data/orca") + "/user-settings.conf"
            shutil.copy(self.harness + "/orca_prefs.json", prefs)
            orca = ["/usr/bin/python3", self.harness + "/orca_launcher.py"]
            self.popen(orca, stderr=subprocess.STDOUT, stdout=open(self.kept("orca.out"), "w"))
            wait_until(lambda: "Screen reader on." in self.texts(0), 30, "Orca")
        if "package" not in flags:  # a copy keeps progress.ini beside it
            shutil.copy2(self.o.skycall, self.binary)
        if "site-beside" in flags:
            shutil.copy2(self.site, os.path.dirname(self.binary))
        if "no-site" not in flags:
            self.start_site("package" in flags, "services" in flags)
        if "package" in flags:  # what the home and the start folder hold before the program
            self.trees = tree(self.home), tree(self.cwd)

    def start_site(self, unit, services=False):
        """A site of the current user's, as the package's unit starts it or serving the demo (or
        the weather of stand-in services), once it answers on the address it published."""
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
        open(folder + "/site", "w").write(f"127.0.0.1:{port}\n")
        self.chown(folder)
        self.chown(folder + "/site")

    def services(self):  # stand-ins for the weather services, the site's options to ask them
        self.weather = self.subdir("weather")
        fixtures = TESTS + "/site/fixtures"
        base = "http://127.0.0.1:" + self.harnessed("weather_services.py", fixtures, self.weather)
        return [
            "--source",
            "live",
            "--geocoding-url",
            base + "/v1/search",
            "--forecast-url",
            base + "/v1/forecast",
            "--alerts-url",
            base + "/alerts/active",
        ]

    def v_weather(self, what, *values):
        "code N | alert EVENT | SEVERITY | INSTRUCTION: what the stand-in weather services say"
        if what == "code":
            open(self.weather + "/weather_code", "w").write(values[0])
            return
        # An alert issued now, ending in three hours.
        ends = time.strftime("%Y-%m-%dT%H:%M:%S+00:00", time.gmtime(time.time() + 3 * 3600))
        event, severity, instruction = values
        alert = {"id": f"urn:e2e:{time.time()}", "event": event, "severity": severity}
        alert.update(ends=ends, instruction=instruction)
        answer = {"features": [{"properties": alert}]}
        open(self.weather + "/alerts.json", "w").write(json.dumps(answer))

    def v_clock(self, seconds):
        "+SECONDS: the program's wall clock moved on (libfaketime), its timers not"
        open(self.kept("faketime"), "w").write(seconds)
        self.env["LD_PRELOAD"] = glob.glob("/usr/lib/*/faketime/libfaketimeMT.so.1")[0]
        self.env["FAKETIME_TIMESTAMP_FILE"] = self.keep["faketime"]
        self.env.update(FAKETIME_NO_CACHE="1", FAKETIME_DONT_FAKE_MONOTONIC="1")

    def wayland(self, xwayland):  # sway, headless, with the variables GNOME's session sets
        config, env = self.dir + "/sway.conf", self.dir + "/sway.env"
        open(config, "w").write(
            f"xwayland {'enable' if xwayland else 'disable'}\nexec env > {env}\n"
        )
        headless = {
            "WLR_BACKENDS": "headless",
            "WLR_RENDERER": "pixman",
            "WLR_LIBINPUT_NO_DEVICES": "1",
        }
        self.popen(["sway", "-c", config], headless, stderr=subprocess.DEVNULL)

        def written():
            return os.path.exists(env) and open(env).read().splitlines()

        got = dict(line.split("=", 1) for line in wait_until(written, 20, "sway") if "=" in line)
        self.env.update({k: got[k] for k in ("WAYLAND_DISPLAY", "DISPLAY") if k in got})
        self.env["XDG_SESSION_TYPE"] = "wayland"
        # A keyboard kept for the run: one that comes and goes with each key takes X's keyboard
        # with it.
        self.popen(["wtype", "-s", "600000"])

    def v_speechd(self, how):
        "KILL|STOP|CONT|TERM|again: speech-dispatcher killed, frozen, thawed, ended, started anew"
        run = self.subdir("speechd-run")
        sock, pid_file = run + "/speechd.sock", run + "/speechd.pid"
        if how == "TERM":  # one slow to end after a thaw is ended by force
            end(self.speech)
            return
        if how != "again":
            os.kill(self.speech, getattr(signal, "SIG" + how))
            if how == "KILL":
                wait_until(lambda: not alive(self.speech), 5, "speech-dispatcher to end")
            return
        for left in (sock, pid_file):  # a killed daemon leaves them: wait for the new one's
            if os.path.exists(left):
                os.unlink(left)
        # One whose voice records each text, taking self.word seconds a word.
        argv = ["speech-dispatcher", "-d", "-C", self.harness + "/speechd", "-c", "unix_socket"]
        argv += ["-S", sock, "-P", pid_file, "-t", "0", "-L", self.subdir("speechd-log")]
        recorded = dict(self.env, SPD_REC_FILE=self.keep["spoken.txt"], SPD_REC_WORD=self.word)
        sh(argv, 15, cwd=self.dir, env=recorded, **self.ids)

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
        data = open(self.keep["spoken.txt"], "rb").read()[self.offset :]
        data = data[: data.rfind(b"\n") + 1]  # whole lines only
        self.offset += len(data)
        for line in data.decode("utf-8", "replace").splitlines():
            start = re.match(r"^START \S+ (-?\d+) (.*)$", line)
            ended = re.match(r"^END \S+ (.*)$", line)
            if start:
                said = types.SimpleNamespace(rate=int(start[1]), text=start[2], finished=False)
                self.utterances.append(said)
            elif ended:
                unfinished = [u for u in self.utterances if u.text == ended[1] and not u.finished]
                if unfinished:
                    unfinished[-1].finished = True
        return self.utterances

    def texts(self, since=None):
        return [u.text for u in self.poll()[self.mark if since is None else since :]]

    def moved(self):  # where a magnifier was sent: [event, x, y, width, height] each
        path = self.keep.get("moved.txt")
        return [json.loads(line) for line in open(path).readlines()] if path else []

    def braille(self):  # brltty's virtual display, its lines read from its socket, for Orca
        sock, shown = self.dir + "/brl.sock", self.kept("braille.txt")
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(sock)
        listener.listen(1)
        number = 100 + os.getpid() % 800  # brltty's port: 4101 + this number

        def read():
            connection = listener.accept()[0]
            connection.sendall(b"cells 40\n")
            with open(shown, "w") as out:
                for data in iter(lambda: connection.recv(4096), b""):
                    for line in data.decode(errors="replace").splitlines():
                        if line[:7] == "Visual ":
                            out.write(line[8:-1] + "\n")
                    out.flush()

        threading.Thread(target=read, daemon=True).start()
        argv = ["brltty", "-n", "-e", "-f", "/dev/null", "-b", "vr", "-d", f"client:{sock}"]
        argv += ["-x", "no", "-s", "no", "-A", f"auth=none,host=127.0.0.1:{number}"]
        self.popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["BRLAPI_HOST"] = f"127.0.0.1:{number}"
        wait_until(lambda: os.path.exists(shown) and open(shown).read(), 10, "brltty's display")

    def v_controller(self, name, mode="takes"):
        "NAME [| hangs]: a stand-in for Orca's remote controller org.gnome.NAME.Service"
        open(self.kept(name), "w").close()
        service = f"org.gnome.{name}.Service"
        self.harnessed("faulty_service.py", "dbus", mode, service, self.kept(name))

    def v_fault(self, service, mode):
        "speech|site|reader|notifications | absent|refuses|hangs|dies|garbage: it failing so"
        if service == "speech":
            self.harnessed("faulty_service.py", "socket", mode, self.env["SPEECHD_ADDRESS"][12:])
        elif service == "site":
            port = self.harnessed("faulty_service.py", "tcp", mode)
            if mode != "absent":  # as a site of the user's publishes itself
                self.publish(port)
        else:
            name = "org.gnome.Orca1.Service" if service == "reader" else NOTIFICATIONS
            self.harnessed("faulty_service.py", "dbus", mode, name)

    def v_wake(self):
        "the computer woke from a suspend, as logind tells the desktop's system bus"
        self.run(["/usr/bin/python3", self.harness + "/logind_wake.py"])

    def named(self, name):  # the run's processes so named
        return [p for p in self.processes() if open(f"/proc/{p}/comm").read().strip() == name]

    def v_site(self, how):
        "stop: the site ends"
        for pid in self.named("skycall-site"):
            end(pid)

    def v_impostor(self, who):
        (
            "another-user | same-user | another-users-folder: a server, no site of the user's, on "
            "the old port and on the port the user's published address names; another user's serves"
            " a forecast of its own, the user's own garbage; or, no runtime folder set, the folder "
            "the user's site would publish in made first by another user"
        )
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

    def v_watch(self, other):
        "other: another window, focused, the keys it sees recorded"
        xev = ["xev", "-name", "other", "-event", "keyboard"]
        self.watcher = self.popen(xev, stdout=open(self.kept("other"), "w"))
        search = ["xdotool", "search", "--name", "^other$"]
        wid = wait_until(lambda: self.run(search, 5, False).stdout.split(), 10, other)
        self.run(["xdotool", "windowfocus", "--sync", wid[0]], 5)

    # ---- the program ----------------------------------------------------------------------------
    def v_saved(self, route, rate, location):
        "ROUTE | RATE | LOCATION: progress.ini as the program saves it"
        route = {"voice": 0, "caption": 1, "hotkey": 2, "reader": 3}.get(route, route)
        saved = f" {route} \r\n {rate} \r\n\r\n{location}\r\n".encode() + b"\r\n" * 9
        open(self.files["progress.ini"], "wb").write(saved)

    def v_write(self, name, text):
        "FILE | BYTES"
        open(self.files[name], "wb").write(unescape(self.fill(text)))

    def v_folder(self, how):
        "full | gone: at the next start, the side files on a full disk, or the start folder gone"
        self.gone = how == "gone"
        for name in ("debuglog.txt", "myversion.txt") if how == "full" else ():
            if os.path.lexists(self.files[name]):
                os.unlink(self.files[name])
            os.symlink("/dev/full", self.files[name])

    def v_arguments(self, *args):
        "[ARG | ...]: the program's command line from the next start on"
        self.args = [a for a in args if a]

    def v_start(self, *answers):
        "[ANSWER | ...]: the program, from its start folder; the location box answered so"
        argv = [self.binary, *self.args]
        if getattr(self, "gone", False):  # the shell removes its own folder, then is the program
            argv, self.gone = ["sh", "-c", 'rmdir "$PWD" && exec "$0"', self.binary], False
            shutil.rmtree(self.cwd, ignore_errors=True)
        os.makedirs(self.cwd, exist_ok=True)
        self.output = open(self.kept("skycall.out"), "a")
        platform = {} if "WAYLAND_DISPLAY" in self.env else {"QT_QPA_PLATFORM": "xcb"}
        out = {"stdout": self.output, "stderr": subprocess.STDOUT}
        self.app = self.popen(argv, platform, cwd=self.cwd, **out)
        self.position = 0
        if answers:
            self.v_answers(*answers)

    def title(self, wid=None):
        return self.run(["xdotool", "getwindowname", wid or self.wid], 5).stdout.rstrip("\n")

    def window(self, title=None):  # by its title, or the program's main window
        def search():
            if self.app.poll() is not None:
                said = open(self.output.name).read()[-2000:]
                raise Failed(f"skycall ended ({self.app.returncode}): {said}")
            which = (
                ["--name", "^" + re.escape(title) + "$"] if title else ["--pid", str(self.app.pid)]
            )
            found = self.run(
                ["xdotool", "search", "--onlyvisible", *which], 5, False
            ).stdout.split()
            return [w for w in found if title or self.title(w) != "Location"]

        return wait_until(search, 30, f"a window titled {title!r}", 0.05)[0]

    def v_answers(self, *texts):
        "[TEXT | ...]: typed into the location box, one each time it is there; none: Esc there"
        for text in texts or [None]:
            self.v_focus("Location")
            if text:
                self.run(["xdotool", "type", "--delay", "15", self.expand(text)])
            self.run(["xdotool", "key", "Return" if text else "Escape"])
        self.wid = None

    def v_focus(self, title=""):
        "[TITLE]: the program's window so titled (by default its main one) given the keyboard"
        if title or not self.wid:
            self.wid = self.window(self.expand(title) if title else None)
        if self.run(["xdotool", "getwindowfocus"], 5, False).stdout.strip() == self.wid:
            return
        self.run(["xdotool", "windowfocus", "--sync", self.wid], 5)
        self.settle()

    def settle(self):  # a person's pause before the first key, while Orca takes the window in
        # A key at once changes the caption before Orca 48 has noted the window's old one, and it
        # then takes the change for no change and says nothing.
        if self.reader:
            wait_until(self.quiet, 20, "Orca's words on the window to end")

    def v_key(self, keys):
        (
            "NAME NAME ...: keys at the program's window (Down, shift+Escape, x); in a Wayland "
            "session, through the compositor"
        )
        wayland = "WAYLAND_DISPLAY" in self.env
        if not wayland:
            self.v_focus()
        for name in keys.split():
            moved = self.position + {"Down": 1, "Up": -1}.get(name, 0)
            self.position = 1 if self.position == 0 else min(12, max(1, moved))  # a walk's topic
            typed = ["wtype", "-k", name] if wayland else ["xdotool", "key", "--delay", "20", name]
            self.run(typed)

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
        picture = [
            "import",
            "-window",
            self.wid or self.window(),
            os.path.join(self.artifacts, name),
        ]
        sh(picture, env=self.env)

    # ---- what the user hears, reads and keeps ---------------------------------------------------
    def heard(self, text):  # spoken since the action, to its end, alone or within a longer text
        return [u for u in self.poll()[self.mark :] if text in u.text and u.finished]

    def v_expect_said(self, *texts):
        "| TEXT ...: the last texts speech-dispatcher was given since the action"
        want = [self.expand(t) for t in texts]

        def said():
            return self.texts()[-len(want) :] == want

        wait_until(said, 20, lambda: f"{want}; it has {self.texts()}", 0.005)

    def v_expect_heard(self, text, once="", seconds="20"):
        (
            "| TEXT [| once [| SECONDS]]: heard whole since the action, within SECONDS (and once: "
            "no more, a while on)"
        )
        text = self.expand(text)
        wait_until(
            lambda: self.heard(text), float(seconds), lambda: f"{text!r} heard; {self.texts()}"
        )
        if once:
            time.sleep(1.5 if seconds == "20" else 65)
            same(len(self.heard(text)), 1, f"times heard: {self.texts()}")

    def v_expect_topic(self, text, seconds):
        "| TEXT | SECONDS: a key every three seconds, each topic heard whole, until one says TEXT"
        deadline = time.monotonic() + float(seconds)
        while not self.heard(self.expand(text)):
            same(time.monotonic() < deadline, True, f"{text!r} within {seconds} s: {self.texts()}")
            before = len(self.poll())
            self.run(["xdotool", "key", "x"])

            def whole():
                return [u for u in self.poll()[before:] if u.finished]

            wait_until(whole, 5, "the topic heard whole")
            time.sleep(3)

    def v_expect_cut(self, text):
        "| TEXT: the last text spoken, cut off before its end"
        time.sleep(2)
        last = self.poll()[-1]
        same((last.text, last.finished), (self.expand(text), False), "the last text, finished")

    def v_expect_rate(self, rate):
        "| N: the rate the last text was given at (speech-dispatcher's scale)"
        wait_until(lambda: len(self.poll()) > self.mark, 20, "a text")
        same(self.poll()[-1].rate, int(rate), "rate")

    def v_expect_caption(self, text):
        "| TEXT: the window's title"
        text = self.expand(text)
        self.wid = self.wid or self.window(text)
        wait_until(lambda: self.title() == text, 10, lambda: f"title {text!r}: {self.title()!r}")

    def v_expect_announced(self, text):
        "| TEXT: a name the accessibility bus told its listeners"
        text = self.expand(text)

        def announced():
            return text in open(self.keep["announced.txt"]).read().splitlines()

        wait_until(announced, 15, f"{text!r} announced")

    def geometry(self):  # the program's window: [x, y, width, height]
        shell = self.run(["xdotool", "getwindowgeometry", "--shell", self.wid or self.window()])
        return [int(n) for n in re.findall(r"=(-?\d+)", shell.stdout)[1:5]]

    def v_expect_on_screen(self):
        "the window lies on the screen"
        box = self.geometry()
        same(inside(box, [0, 0, 1024, 768]), True, f"the window at {box}")

    def v_expect_file(self, name, text):
        "| FILE | BYTES"
        path = self.files[name]
        got = open(path, "rb").read() if os.path.exists(path) else None
        same(got, unescape(self.fill(text)), name)

    def v_expect_logged(self, text):
        "| BYTES: debuglog.txt holds them"
        text = unescape(self.fill(text))

        def log():
            return open(self.files["debuglog.txt"], "rb").read()

        wait_until(lambda: text in log(), 10, lambda: f"{text!r} in the log: {log()!r}")

    def v_expect_exit(self, status, least=None, most=None):
        "| STATUS [| SECONDS | SECONDS]: the program ends so, that long after the action"
        self.app.wait(timeout=10)
        lag = time.monotonic() - self.t0
        timely = not least or float(least) <= lag <= float(most)
        same((self.app.returncode, timely), (int(status), True), f"exit, {lag:.2f} s after")
        self.app = self.wid = None

    def v_expect_window(self, seconds):
        "| SECONDS: the program's window shows within SECONDS of the action"
        self.window()
        self.v_expect_within(seconds)

    def v_expect_answered(self, seconds):
        "| SECONDS: a text shown for the key (a magnifier pointed at it) within SECONDS"

        def shown():
            return [m for m in self.moved()[self.moves :] if "selected" in m[0]]

        wait_until(shown, float(seconds), f"a text shown within {seconds} s")

    def v_expect_once(self, text):
        "| TEXT: said or logged once: in the log, on the terminal or among the texts spoken"
        text = self.expand(text)
        found = [text in said for said in self.texts(0)]
        for path in (self.files["debuglog.txt"], self.keep["skycall.out"]):
            if os.path.exists(path):
                found.append(open(path, errors="replace", newline="").read().count(text))
        same(sum(found), 1, f"times {text!r} said or logged")

    def v_expect_within(self, seconds):
        "| SECONDS: since the action"
        same(time.monotonic() - self.t0 <= float(seconds), True, f"within {seconds} s")

    def v_expect_stderr(self, text):
        "| TEXT: the program wrote it on the terminal"
        wait_until(lambda: text in open(self.output.name).read(), 10, f"{text!r} on the terminal")

    def v_expect_run(self, status, text, *args):
        "| STATUS | TEXT | ARG or VAR=VALUE ...: the program run so ends with STATUS, writing TEXT"
        env = dict(self.env, **dict(a.split("=", 1) for a in args if "=" in a))
        done = sh([self.binary, *[a for a in args if "=" not in a]], 20, False, env=env, **self.ids)
        same((done.returncode, text in done.stderr + done.stdout), (int(status), True), done.stderr)

    def v_expect_no_process(self, name):
        "| NAME: none of the run's processes is so named"
        wait_until(lambda: not self.named(name), 5, f"no {name} left")

    def v_expect_presented(self, name, *texts):
        "| NAME | TEXT ...: what the stand-in controller was given"
        want = [self.expand(t) for t in texts]

        def given():
            return open(self.keep[name]).read().splitlines()

        wait_until(lambda: given() == want, 10, lambda: f"{name} to have {want}: {given()}")

    def v_expect_keys(self, which, presses=""):
        "| other | KEY ...: the keys the other window saw pressed, none left down"
        time.sleep(1)
        self.watcher.terminate()
        self.watcher.wait(5)
        seen = open(self.keep[which]).read()
        pattern = r"^(KeyPress|KeyRelease) event.*?\(keysym 0x\w+, (\w+)\)"
        events = re.findall(pattern, seen, re.M | re.S)
        same([key for kind, key in events if kind == "KeyPress"], presses.split(), which)
        last = {key.upper(): kind for kind, key in events}
        same(set(last.values()) - {"KeyRelease"}, set(), "keys left down")

    # ---- what a low-vision user sees ------------------------------------------------------------
    def probe(self):  # the program's lists and texts in view, as the accessibility bus offers them
        probe = [self.harness + "/atspi_probe.py", str(self.app.pid)]
        return json.loads(self.run(["/usr/bin/python3", *probe], 30).stdout)

    def screen(self):  # the screen as a picture
        return ImageGrab.grab(xdisplay=self.env["DISPLAY"])

    def words(
        self, picture, box=None
    ):  # what OCR reads in a picture, or a box of it: [text, place]
        x, y = box[:2] if box else (0, 0)
        shot = os.path.join(self.dir, "words.png")
        (picture.crop((x, y, x + box[2], y + box[3])) if box else picture).save(shot)
        # Read as one column of text of any size, which the window is: lines are not cut in two.
        tsv = self.run(["tesseract", shot, "-", "--psm", "4", "tsv"], 60).stdout
        words = []
        for row in tsv.splitlines()[1:]:
            *_, left, top, width, height, _, text = row.split("\t")
            if text.strip():
                words.append([text, [int(left) + x, int(top) + y, int(width), int(height)]])
        return words

    def colours(self, picture, box):  # how many pixels of each colour a box of a picture holds
        x, y, w, h = box
        counted = picture.crop((x, y, x + w, y + h)).getcolors(w * h) or []
        return collections.Counter({colour: n for n, colour in counted})

    def contrast(self, picture, box):  # of a box's text with its background, its commonest colour
        colours = self.colours(picture, box)
        background = luminance(colours.most_common(1)[0][0])
        # The text's own colour: the one that stands out most, in a stroke's worth of pixels.
        text = [luminance(c) for c, n in colours.items() if n >= 5]
        return max((max(t, background) + 0.05) / (min(t, background) + 0.05) for t in text)

    def v_expect_contrast(self, least):
        "| RATIO: every text in view on the screen stands out so from its background, or more"
        texts = wait_until(lambda: self.probe()["texts"], 10, "texts in view")
        picture = self.screen()
        worst = min((self.contrast(picture, box), box) for box in texts)
        print(f"contrast: the least of {len(texts)} texts {worst[0]:.1f} at {worst[1]}", flush=True)
        same(worst[0] >= float(least), True, f"the least contrast of every text, at {worst[1]}")

    def v_expect_background(self, kind):
        "| light|dark: the program's window, by its commonest colour"
        commonest = self.colours(self.screen(), self.geometry()).most_common(1)[0][0]
        same(luminance(commonest) < 0.2, kind == "dark", f"a dark window: {commonest}")

    def seen(self, topic, moves):  # what a topic shows a low-vision user; where magnifiers go
        place = wait_until(lambda: self.moved()[moves:], 10, "a move a magnifier follows")[-1][1:]
        spoken = re.findall(r"[a-z0-9]+", topic.lower())

        def read():  # the screen, and whether OCR reads the topic where the magnifier went
            self.picture = self.screen()
            self.large = self.words(self.picture, place)
            return re.findall(r"[a-z0-9]+", " ".join(w[0] for w in self.large).lower()) == spoken

        wait_until(read, 20, lambda: f"{spoken} at {place}; OCR reads {self.large}", 0.2)
        left, top = (min(w[1][k] for w in self.large) for k in (0, 1))
        right = max(w[1][0] + w[1][2] for w in self.large)
        bottom = max(w[1][1] + w[1][3] for w in self.large)
        large = [left, top, right - left, bottom - top]
        listed = [w for w in self.words(self.picture) if not inside(w[1], place)]
        # The type's size against the list's: the same words' widths, large and listed.
        widths = {w[0]: w[1][2] for w in listed}
        sizes = sorted(w[1][2] / widths[w[0]] for w in self.large if w[0] in widths)
        contrast = self.contrast(self.picture, large)
        found = self.probe()["lists"][0]
        rows = sorted({int(r) for r in re.findall(r"\{r(\d+)\}", self.names[f"T{self.position}"])})
        selected = [r[0] for r in found["selected"]]
        moved = self.moved()[moves:]
        print(
            f"topic {self.position}: {len(spoken)} words read at {large}, type {sizes} times the"
            f" list's, contrast {contrast:.1f}; rows {selected} selected; moves {moved}",
            flush=True,
        )
        same(len(moved), 1, "moves a magnifier follows")
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
        shape = (len(self.rows), self.rows[3::7][:3], all(self.rows))
        same(shape, (48, ["-----"] * 3, True), f"rows {self.rows}")

    def quiet(self):  # the last text spoken to its end, and no new one for half a second
        said = len(self.poll())
        time.sleep(0.5)
        return len(self.poll()) == said and self.utterances[-1].finished

    def v_expect_topics(self, how):
        (
            "| heard|braille|seen: 12 Downs, Up and a letter: each key's topic heard whole and "
            "alone, on the braille display, or heard and as a low-vision user sees it"
        )
        self.settle()
        for key in ["Down"] * 12 + ["Up", "x"]:
            shown = os.path.getsize(self.keep["braille.txt"]) if how == "braille" else 0
            moves = len(self.moved())
            self.step("walk", f"key {key}")
            topic = self.expand(f"{{T{self.position} 12345}}")
            if how == "braille":

                def displayed():
                    return topic[:40] in open(self.keep["braille.txt"]).read()[shown:]

                wait_until(displayed, 10, f"{topic[:40]!r} in braille")
            else:
                self.v_expect_heard(topic)
            if how == "seen":
                self.seen(topic, moves)
                continue
            time.sleep(1.5)
            if how == "heard":
                same(self.texts(), [topic], "all that was said since the key")

    # ---- the installed package and the computer's users -----------------------------------------
    def v_install(self):
        "the package built and linted, installed over an older one; an administrator's disable kept"
        out, apt = self.subdir("package"), dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        cpack = ["cpack", "-G", "DEB", "--config", self.o.build + "/CPackConfig.cmake", "-B"]
        sh(cpack + [out], 900)
        deb = glob.glob(out + "/*.deb")[0]
        lint = ["lintian", "-I", "--pedantic", "--tag-display-limit", "0", deb]
        found = sh(lint, 300, False).stdout.splitlines()
        wrong = [f for f in found if re.match(r"[EW]: ", f) or "hardening" in f]
        same([f for f in wrong if "initial-upload-closes-no-bugs" not in f], [], "lintian")
        version = sh(["dpkg-deb", "-f", deb, "Version"]).stdout.strip()
        older = re.sub(r"\+git(\d+)", lambda m: f"+git{int(m[1]) - 1}", version)  # a commit before
        sh(["dpkg", "--compare-versions", version, "gt", older])
        sh(cpack + [self.subdir("older"), "-D", f"CPACK_DEBIAN_PACKAGE_VERSION={older[:-2]}"], 900)
        for package in glob.glob(self.dir + "/older/*.deb") + [deb]:
            self.deb = sh(["apt-get", "install", "-y", "-qq", package], 600, env=apt)
        installed = sh(["dpkg-query", "-W", "-f", "${Version}", "skycall"]).stdout
        same((installed, os.path.islink(ENABLED)), (version, True), "installed, its unit enabled")
        sh(["systemctl", "--global", "disable", "skycall-site.service"])
        sh(["apt-get", "install", "-y", "-qq", "--reinstall", deb], 600, env=apt)
        same(os.path.lexists(ENABLED), False, "the administrator's disable, after a reinstall")
        sh(["systemctl", "--global", "enable", "skycall-site.service"])
        sh(["desktop-file-validate", "/usr/share/applications/org.skycall.Skycall.desktop"])
        metainfo = "/usr/share/metainfo/org.skycall.Skycall.metainfo.xml"
        sh(["appstreamcli", "validate", "--no-net", metainfo])
        verify = sh(["systemd-analyze", "verify", UNIT], 120, False)
        if not re.search("Failed to initialize|not been booted", verify.stderr):  # systemd runs
            same(verify.returncode, 0, verify.stderr)

    def account(self, name):  # a normal user of this computer's, made for the tests
        sh(["useradd", "-r", "-M", "-s", "/usr/sbin/nologin", name], check=False)
        user = pwd.getpwnam(name)
        return {"user": user.pw_uid, "group": user.pw_gid, "extra_groups": []}

    def v_user(self):
        "every process of the run a normal user's"
        self.ids = self.account("skycall-e2e")
        sh(["chown", "-R", f"{self.ids['user']}:{self.ids['group']}", self.dir])

    def v_neighbour(self):
        (
            "another normal user on the same desktop, their own home and runtime folder, their site"
            " started as the package's unit starts it: the steps after it are theirs"
        )
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
        config, data = self.home + "/.config", self.home + "/.local/share"
        cache = self.dir + "/cache"
        self.env.update(
            HOME=self.home, XDG_CONFIG_HOME=config, XDG_DATA_HOME=data, XDG_CACHE_HOME=cache
        )
        self.binary, state = "/usr/bin/skycall", self.home + "/.local/state/skycall/"
        self.files = {n: state + n for n in ("debuglog.txt", "myversion.txt")}
        self.files["progress.ini"] = config + "/skycall/progress.ini"

    def v_expect_home_only(self, *allowed):
        "| PATH ...: what changed in the home, besides their folders; nothing in the start folder"
        same(tree(self.cwd), self.trees[1], "the folder the program was started from")
        after = tree(self.home)
        changed = {p for p in after if after[p] != self.trees[0].get(p)}
        folders = {p for p in changed if any(a.startswith(p + "/") for a in allowed)}
        same(changed - folders - set(allowed), set(), "written outside the program's folders")

    # ---- teardown -------------------------------------------------------------------------------
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
                if os.path.isfile(path) and not os.path.islink(path):
                    shutil.copy(path, os.path.join(self.artifacts, name))
        finally:
            for _ in range(2):  # twice: some start as others end
                for pid in list(self.processes()):
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
    options = dict(arg[2:].split("=", 1) for arg in sys.argv[2:])
    options = {k.replace("-", "_"): v for k, v in options.items()}
    o = types.SimpleNamespace(**dict({"case": sys.argv[1], "time_limit": 150}, **options))
    steps = cases(HERE + "/cases.txt")[o.case]

    # The test runner's own time-out kills without a word: give up first, and clean up.
    def stopped(signum, _):
        sys.exit(f"stopped by {signal.Signals(signum).name}")

    for signum in (signal.SIGALRM, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, stopped)
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
