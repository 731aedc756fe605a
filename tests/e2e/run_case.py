#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one case of cases.txt: run_case.py CASE[/ROW] --skycall= --site= --host= --build=
# --artifacts= [--time-limit=]. A fresh desktop, skycall driven from outside as a user drives it,
# every process of the run ended again (found by a marker in its environment). The grammar is the
# core scenarios' (tests/README.md); each verb below has its synopsis as its docstring, and a
# case stops at its first failed step, named by file and line.
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
UNIT, ENABLED = "/usr/lib/systemd/user/skycall-site.service", \
    "/etc/systemd/user/default.target.wants/skycall-site.service"
GAP = {"heard": 1.5, "braille": 1.5}  # seconds between the keys of a walk through the topics


def lines(path):  # (where, text) of every line that is neither blank nor a note
    for n, text in enumerate(open(path, encoding="utf-8").read().splitlines(), 1):
        if text and text[0] != "#":
            yield f"{os.path.basename(path)}:{n}", text


def cases(path):  # name -> steps, templates played out as the core runner plays them
    out, name, columns, rows, steps = {}, None, [], [], []

    def flush():
        for row in rows or [None]:
            played = [(w, t) for w, t in steps]
            for c, column in enumerate(columns if row else []):
                played = [(w, t.replace("{" + column + "}", row[c] if c < len(row) else ""))
                          for w, t in played]
            out[name + ("/" + row[0] if row else "")] = played
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


def unescape(field):  # \n \t \r \\ \xHH (a byte) \u{HEX} (a character) \*{N}c, as bytes
    out, i = bytearray(), 0
    while i < len(field):
        if field[i] == "\\" and i + 1 < len(field):
            e = field[i + 1]
            if e == "x":
                out.append(int(field[i + 2:i + 4], 16))
                i += 4
                continue
            if e in "u*":
                end = field.index("}", i)
                n = int(field[i + 3:end], 16 if e == "u" else 10)
                if e == "u":
                    out += chr(n).encode()
                else:
                    out += field[end + 1].encode() * n
                i = end + (1 if e == "u" else 2)
                continue
            out += {"n": b"\n", "t": b"\t", "r": b"\r", "0": b"\0"}.get(e, e.encode())
            i += 2
        else:
            out += field[i].encode()
            i += 1
    return bytes(out)


class Failed(Exception):
    pass


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
    r = subprocess.run(argv, capture_output=True, text=True, timeout=timeout,
                       stdin=subprocess.DEVNULL, **kw)
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
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + 3
        while alive(pid) and time.monotonic() < deadline:
            time.sleep(0.02)


def tree(root):  # every path under root with its size and modification time
    return {os.path.relpath(p, root): (os.lstat(p).st_size, os.lstat(p).st_mtime_ns)
            for d, dirs, files in os.walk(root) for p in (os.path.join(d, n) for n in dirs + files)}


class Recording:
    # The texts given to the recording speech-dispatcher: "START time rate text", "END time
    # text"; a text cut off has no END line.
    def __init__(self, path):
        self.path, self.utterances, self.offset = path, [], 0

    def poll(self):
        data = open(self.path, "rb").read()[self.offset:]
        data = data[:data.rfind(b"\n") + 1]  # whole lines only
        self.offset += len(data)
        for line in data.decode("utf-8", "replace").splitlines():
            if start := re.match(r"^START \S+ (-?\d+) (.*)$", line):
                self.utterances.append(types.SimpleNamespace(rate=int(start[1]), text=start[2],
                                                             finished=False))
            elif end := re.match(r"^END \S+ (.*)$", line):
                for u in reversed(self.utterances):
                    if u.text == end[1] and not u.finished:
                        u.finished = True
                        break
        return self.utterances


class Run:
    def __init__(self, options):
        self.o, self.ids, self.procs, self.keep, self.rows = options, {}, [], {}, []
        self.dir = tempfile.mkdtemp(prefix="skycall-e2e-")
        self.artifacts = os.path.join(options.artifacts, options.case.replace("/", "-"))
        self.texts = dict(t.split(" = ", 1) for _, t in lines(TESTS + "/texts.txt"))
        self.app = self.wid = self.deb = self.rec = self.watches = None
        self.mark, self.position, self.t0, self.watches = 0, 0, time.monotonic(), {}
        self.home = self.dir
        self.cwd = self.subdir("work")
        self.binary = os.path.join(self.subdir("app"), "skycall")
        self.files = {n: os.path.join(self.cwd, n) for n in ("debuglog.txt", "myversion.txt")}
        self.files.update({n: os.path.join(self.dir, "app", n)
                           for n in ("progress.ini", "progress.ini.backup")})
        self.env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.dir, "LANG": "C.UTF-8",
                    "XDG_RUNTIME_DIR": self.subdir("runtime", 0o700), "LC_ALL": "C.UTF-8",
                    "XDG_DATA_HOME": self.subdir("data"), MARKER: self.dir}
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)

    # ---- the grammar --------------------------------------------------------------------------
    def fill(self, field):  # named texts, {NAME word}, rows {rN}, as the core runner fills them
        def name(m):
            if m[3]:
                return self.rows[int(m[3])] if int(m[3]) < len(self.rows) else ""
            return self.fill(self.texts[m[1]].replace("{1}", m[2] or ""))
        return re.sub(r"(?<!\\u)\{([A-Z][A-Z_0-9]*)(?: ([^}]*))?\}|\{r(\d+)\}", name, field)

    def expand(self, field):
        return unescape(self.fill(field)).decode("utf-8", "replace")

    def step(self, where, text):
        check, text = text.startswith("expect "), text + " " * text.endswith(" |")
        verb, separated, rest = text.partition(" | " if check else " ")
        fields = rest.split(" | ") if separated else []
        handler = getattr(self, "v_" + verb.replace("expect ", "expect_").replace("-", "_"), None)
        if not handler:
            raise Failed(f"no verb {verb!r}; they are:\n" + "\n".join(
                f"  {n[2:].replace('expect_', 'expect ')} {getattr(self, n).__doc__}"
                for n in sorted(dir(self)) if n.startswith("v_")))
        if not check:
            self.mark, self.t0 = len(self.rec.poll()) if self.rec else 0, time.monotonic()
        print(f"step {where}: {text}", flush=True)
        handler(*fields)

    def texts_since(self):
        return [u.text for u in self.rec.poll()[self.mark:]]

    # ---- the desktop --------------------------------------------------------------------------
    def subdir(self, name, mode=0o755):
        path = os.path.join(self.dir, name)
        os.makedirs(path, mode=mode, exist_ok=True)
        os.chmod(path, mode)
        if self.ids:
            sh(["chown", "-R", f"{self.ids['user']}:{self.ids['group']}", path])
        return path

    def popen(self, argv, env=None, **kw):
        p = subprocess.Popen(argv, env=dict(self.env, **(env or {})), cwd=kw.pop("cwd", self.dir),
                             start_new_session=True, stdin=subprocess.DEVNULL, **self.ids, **kw)
        self.procs.append(p)
        return p

    def first_line(self, argv, var, prefix=""):  # a daemon that prints its address
        proc = self.popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.env[var] = prefix + proc.stdout.readline().decode().strip()

    def v_desktop(self, flags=""):
        "[a11y orca words slow braille no-site site-beside no-speechd wayland wayland-no-x package]"
        flags = set(flags.split())
        if {"orca", "braille"} & flags:
            flags |= {"a11y", "orca"}
        if "wayland" in flags or "wayland-no-x" in flags:  # sway runs as a normal user only
            self.v_user()
            self.wayland("wayland" in flags)
        else:
            self.first_line(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                             "tcp", "-noreset"], "DISPLAY", ":")
        self.first_line(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                        "DBUS_SESSION_BUS_ADDRESS")
        if "a11y" in flags:  # the accessibility bus, as a desktop session has it
            self.popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
            wait_until(lambda: "boolean true" in self.dbus("org.freedesktop.DBus", "/org/freedesktop/DBus",
                       "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"), 10, "the a11y bus")
            self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
            address = re.search(r'string "(.*)"', self.dbus("org.a11y.Bus", "/org/a11y/bus",
                                                             "org.a11y.Bus.GetAddress"))[1]
            self.keep["a11y.txt"] = self.dir + "/a11y.txt"  # what its listeners are told
            self.popen(["dbus-monitor", "--address", address,
                        "type='signal',interface='org.a11y.atspi.Event.Object'"],
                       stdout=open(self.keep["a11y.txt"], "w"))
        if "no-speechd" in flags:  # nothing answers, and nothing is started
            self.env["SPEECHD_ADDRESS"] = f"unix_socket:{self.dir}/none.sock"
        else:
            word = "0.04" if "words" in flags else "0.2" if "slow" in flags else "0"
            self.start_speech(word)
        if "braille" in flags:
            self.braille()
        if "orca" in flags:
            shutil.copy(HARNESS + "/orca_prefs.json", self.subdir("data/orca") + "/user-settings.conf")
            self.keep["orca.out"] = self.dir + "/orca.out"
            self.popen(["/usr/bin/python3", HARNESS + "/orca_launcher.py"],
                       stdout=open(self.keep["orca.out"], "w"), stderr=subprocess.STDOUT)
            wait_until(lambda: "Screen reader on." in [u.text for u in self.rec.poll()], 30,
                       "'Screen reader on.'")
        if "package" not in flags:
            shutil.copy2(self.o.skycall, self.binary)  # a copy: it keeps progress.ini beside it
        if "site-beside" in flags:
            shutil.copy2(self.o.site, os.path.dirname(self.binary))
        if "no-site" not in flags:
            port = int(self.o.host.rpartition(":")[2])
            site = ([self.o.site, "--listen", f"127.0.0.1:{port}"] if "package" not in flags else
                    re.search(r"^ExecStart=(.*)$", open(UNIT).read(), re.M)[1].split())
            self.keep["site.log"] = self.dir + "/site.log"
            self.site = self.popen(site, stdout=open(self.keep["site.log"], "w"), stderr=subprocess.STDOUT)
            wait_until(lambda: self.site.poll() is not None or not socket.socket().connect_ex(
                ("127.0.0.1", port)), 20, "the site")
            if self.site.poll() is not None:
                raise Failed("skycall-site ended (is the port taken?); see site.log")
        if "package" in flags:  # what the home and the start folder hold before the program
            self.trees = tree(self.home), tree(self.cwd)

    def wayland(self, xwayland):  # sway, headless, as GNOME's session sets its variables
        config, env = self.dir + "/sway.conf", self.dir + "/sway.env"
        open(config, "w").write(f"xwayland {'enable' if xwayland else 'disable'}\nexec env > {env}\n")
        self.keep["sway.log"] = self.dir + "/sway.log"
        self.popen(["sway", "-c", config], {"WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman",
                                              "WLR_LIBINPUT_NO_DEVICES": "1"},
                   stdout=open(self.keep["sway.log"], "w"), stderr=subprocess.STDOUT)
        got = dict(l.split("=", 1) for l in wait_until(lambda: os.path.exists(env) and open(
            env).read().splitlines(), 20, "sway") if "=" in l)
        self.env.update({k: got[k] for k in ("WAYLAND_DISPLAY", "DISPLAY") if k in got},
                        XDG_SESSION_TYPE="wayland")
        # A keyboard the compositor keeps for the run: one that comes and goes with each key
        # takes the X clients' keyboard with it.
        self.popen(["wtype", "-s", "600000"])

    def start_speech(self, word, again=False):
        folder, run = self.dir + "/speechd", self.subdir("speechd-run")
        sock, pid_file = run + "/speechd.sock", run + "/speechd.pid"
        if not again:
            shutil.copytree(HARNESS + "/speechd", folder)
            self.keep["spoken.txt"] = folder + "/spoken.txt"
            open(self.keep["spoken.txt"], "w").close()
            self.subdir("speechd")
            self.word = word
        elif os.path.exists(sock):
            os.unlink(sock)  # left by a daemon that was killed: wait for the new one's
        env = dict(self.env, SPD_REC_FILE=self.keep["spoken.txt"], SPD_REC_WORD=self.word)
        sh(["speech-dispatcher", "-d", "-C", folder, "-c", "unix_socket", "-S", sock, "-P",
            pid_file, "-t", "0", "-L", self.subdir("speechd-log")], 15, env=env, cwd=self.dir, **self.ids)

        def daemon():  # it rewrites its pid file after it forks: wait for a live daemon's
            try:
                pid = int(open(pid_file).read()) if os.path.exists(sock) else 0
                return open(f"/proc/{pid}/comm").read().startswith("speech-dispatch") and pid
            except (OSError, ValueError):
                return None
        self.speech = wait_until(daemon, 10, "speech-dispatcher"), pid_file
        self.env["SPEECHD_ADDRESS"] = f"unix_socket:{sock}"
        self.rec = self.rec or Recording(self.keep["spoken.txt"])

    def braille(self):  # brltty's virtual display, read from its socket, for Orca
        sock, shown = self.dir + "/brl.sock", self.keep.setdefault("braille.txt", self.dir + "/braille.txt")
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(sock)
        listener.listen(1)
        port = socket.socket()
        port.bind(("127.0.0.1", 0))
        host = 4101 + 100 + port.getsockname()[1] % 900  # brltty's TCP port is 4101 + the host's number
        port.close()

        def read():
            conn, _ = listener.accept()
            conn.sendall(b"cells 40\n")
            with open(shown, "w") as out:
                for data in iter(lambda: conn.recv(4096), b""):
                    out.write("".join(l[8:-1] + "\n" for l in data.decode(errors="replace").splitlines()
                                      if l.startswith("Visual ")))
                    out.flush()
        threading.Thread(target=read, daemon=True).start()
        self.popen(["brltty", "-n", "-e", "-f", "/dev/null", "-b", "vr", "-d", f"client:{sock}", "-x",
                    "no", "-s", "no", "-A", f"auth=none,host=127.0.0.1:{host - 4101}"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["BRLAPI_HOST"] = f"127.0.0.1:{host - 4101}"
        wait_until(lambda: os.path.exists(shown) and open(shown).read(), 10, "brltty's display")

    def dbus(self, dest, path, method, *args, address=None):
        bus = [f"--bus={address}"] if address else ["--session"]
        return sh(["dbus-send", *bus, "--print-reply", f"--dest={dest}", path, method, *args],
                  check=False, env=self.env, **self.ids).stdout

    def v_controller(self, name, hang=""):
        "NAME [| hang]: a stand-in for Orca's remote controller org.gnome.NAME.Service"
        path = self.keep[name] = os.path.join(self.dir, name + ".txt")
        open(path, "w").close()
        proc = self.popen(["/usr/bin/python3", HARNESS + "/present_message_service.py",
                           f"org.gnome.{name}.Service", f"/org/gnome/{name}/Service", path, hang],
                          stdout=subprocess.PIPE)
        same(proc.stdout.readline(), b"ready\n", f"stand-in {name}")

    def v_speechd(self, how):
        "KILL|STOP|CONT|TERM|again: speech-dispatcher killed, frozen, thawed, ended, started anew"
        if how == "again":
            return self.start_speech(self.word, again=True)
        os.kill(self.speech[0], getattr(signal, "SIG" + how))
        if how in ("TERM", "KILL"):
            wait_until(lambda: not alive(self.speech[0]), 5, "speech-dispatcher to end")
            if os.path.exists(self.speech[1]):  # a killed daemon leaves it behind
                os.unlink(self.speech[1])

    def v_site(self, how, seconds="2"):
        "stop | hang [| SECONDS]: the site ends (one the program started too), or one takes its place that holds each request, then drops it"
        for pid in [p for p in self.processes() if open(f"/proc/{p}/comm").read().strip() == "skycall-site"]:
            end(int(pid))
        if how == "hang":
            def hold(conn):
                time.sleep(float(seconds))
                conn.close()
            server = socket.create_server(("127.0.0.1", int(self.o.host.rpartition(":")[2])))
            threading.Thread(target=lambda: [threading.Thread(target=hold, args=(c,)).start()
                                             for c, _ in iter(server.accept, None)], daemon=True).start()

    # ---- the program --------------------------------------------------------------------------
    def v_saved(self, route, rate, location, spare=""):
        "ROUTE | RATE | LOCATION [| SPARE]: progress.ini as the program saves it"
        routes = {"voice": 0, "caption": 1, "hotkey": 2, "reader": 3}
        open(self.files["progress.ini"], "wb").write("\r\n".join(
            [f" {routes.get(route, route)} ", f" {rate} ", spare, location] + [""] * 10).encode())

    def v_write(self, name, text):
        "FILE | BYTES"
        open(self.files[name], "wb").write(unescape(self.expand(text)))
        os.utime(self.files[name], (time.time() - 3600,) * 2)

    def v_start(self, how=""):
        "[full | gone | scale]: the program, from its start folder (side files on a full disk, the folder gone, at double scale)"
        argv, env = [self.binary], {"QT_SCALE_FACTOR": "2"} if how == "scale" else {}
        if "wayland" not in self.env.get("XDG_SESSION_TYPE", ""):
            env["QT_QPA_PLATFORM"] = "xcb"
        if how in ("full", "gone"):
            shutil.rmtree(self.cwd, ignore_errors=True)
        os.makedirs(self.cwd, exist_ok=True)
        for name in ("debuglog.txt", "myversion.txt") if how == "full" else ():
            os.symlink("/dev/full", os.path.join(self.cwd, name))
        if how == "gone":  # the shell removes its own current folder, then becomes the program
            argv = ["sh", "-c", 'rmdir "$PWD" && exec "$0"', self.binary]
        self.output = open(self.keep.setdefault("skycall.out", self.dir + "/skycall.out"), "a")
        self.app, self.position = self.popen(argv, env, cwd=self.cwd, stdout=self.output,
                                             stderr=subprocess.STDOUT), 0

    def running(self):
        if self.app and self.app.poll() is not None:
            raise Failed(f"skycall ended ({self.app.returncode}): {open(self.output.name).read()[-2000:]}")

    def find_window(self, title=None, timeout=30):  # by its title, or the program's main window
        def search():
            self.running()
            which = ["--name", "^" + re.escape(title) + "$"] if title else ["--pid", str(self.app.pid)]
            found = sh(["xdotool", "search", "--onlyvisible", *which], 5, False, env=self.env, **self.ids).stdout.split()
            return [w for w in found if title or self.title(w) != "Location"]
        return wait_until(search, timeout, f"a window titled {title!r}", 0.05)[0]

    def focus(self, wid):
        sh(["xdotool", "windowfocus", "--sync", wid], 5, env=self.env, **self.ids)

    def v_window(self, title="", how="unfocused"):
        "[TITLE] [| unfocused]: a window of the program so titled (by default its main one), focused"
        self.wid = self.find_window(self.expand(title) if title else None)
        how == "unfocused" or self.focus(self.wid)
        return self.wid

    def v_answers(self, *texts):
        "TEXT ...: typed into the location box, one each time it is there"
        for text in texts:
            self.focus(self.find_window("Location"))
            sh(["xdotool", "type", "--delay", "15", self.expand(text)], env=self.env, **self.ids)
            sh(["xdotool", "key", "Return"], env=self.env, **self.ids)

    def v_key(self, keys):
        "NAME NAME ...: keys typed at the program's window (xdotool names: Down, shift+Escape, x)"
        self.running()
        self.wid or self.v_window("", "")
        for name in keys.split():
            first, self.position = self.position == 0, self.position + {"Down": 1, "Up": -1}.get(name, 0)
            self.position = 1 if first else min(12, max(1, self.position))
            # In a Wayland session the compositor takes the key (wtype) for the focused window.
            sh(["wtype", "-k", name] if "WAYLAND_DISPLAY" in self.env else
               ["xdotool", "key", "--delay", "20", name], env=self.env, **self.ids)

    def v_close(self):
        "the window destroyed from outside, which ends the program as closing it does"
        sh(["xdotool", "windowclose", self.wid or self.v_window()], env=self.env, **self.ids)
        self.v_expect_exit("0")
        self.wid = None

    def v_watch(self, which):
        "other|window: a window called other focused, or the program's, whose keys are recorded"
        path = self.keep[which] = os.path.join(self.dir, f"{which}-keys.txt")
        window = ["-name", "other"] if which == "other" else ["-id", self.wid]
        self.watches[which] = self.popen(["xev", *window, "-event", "keyboard"], stdout=open(path, "w"),
                                         stderr=subprocess.DEVNULL)
        time.sleep(0.3)  # xev selects the window's key events once it runs
        self.focus(self.find_window("other", 10) if which == "other" else self.wid)

    def screenshot(self, name, window="root"):
        sh(["import", "-window", window, os.path.join(self.artifacts, name)], 20, False, env=self.env, **self.ids)

    def v_screenshot(self, name):
        "NAME: the program's window as a picture, among the run's artifacts"
        self.screenshot(name, self.wid or self.v_window())

    # ---- what the user hears, reads and keeps -------------------------------------------------
    def v_expect_said(self, *texts):
        "| TEXT ...: the last texts the speech-dispatcher was given since the action"
        want = [self.expand(t) for t in texts]
        wait_until(lambda: self.texts_since()[-len(want):] == want, 20,
                   lambda: f"{want} at speech-dispatcher; it has {self.texts_since()}", 0.005)

    def heard(self, text):  # spoken to its end, alone or within another text
        return [u for u in self.rec.poll()[self.mark:] if text in u.text and u.finished]

    def v_expect_heard(self, text):
        "| TEXT: spoken to its end since the action, alone or within a longer text"
        text = self.expand(text)
        wait_until(lambda: self.heard(text), 20, lambda: f"{text!r} heard; {self.texts_since()}")

    def v_expect_heard_once(self, text):
        "| TEXT: spoken to its end exactly once since the action, by anyone, and nothing more after"
        self.v_expect_heard(text)
        time.sleep(1.5)
        same(len(self.heard(self.expand(text))), 1, f"times {text!r} was heard: {self.texts_since()}")

    def v_expect_cut(self, text):
        "| TEXT: the last text spoken, cut off before its end"
        time.sleep(1.6)
        last = self.rec.poll()[-1]
        same((last.text, last.finished), (self.expand(text), False), "the last text, finished")

    def v_expect_rate(self, rate):
        "| N: the rate the last text was spoken at (speech-dispatcher's scale)"
        wait_until(lambda: len(self.rec.poll()) > self.mark, 20, "a text")
        same(self.rec.utterances[-1].rate, int(rate), "rate")

    def v_expect_silent(self, seconds):
        "| SECONDS: nothing said that long after the action"
        time.sleep(float(seconds))
        same(self.texts_since(), [], "texts at speech-dispatcher, where silence is due")

    def title(self, wid=None):
        return sh(["xdotool", "getwindowname", wid or self.wid], 5, env=self.env, **self.ids).stdout.rstrip("\n")

    def v_expect_caption(self, text):
        "| TEXT: the window's title"
        text = self.expand(text)
        self.wid = self.wid or self.find_window(text)
        wait_until(lambda: self.title() == text, 10, lambda: f"the title {text!r}; it is {self.title()!r}")

    def v_expect_file(self, name, text):
        "| FILE | BYTES"
        path = self.files[name]
        same(open(path, "rb").read() if os.path.exists(path) else None, unescape(self.expand(text)), name)

    def v_expect_logged(self, text):
        "| BYTES: debuglog.txt holds them"
        text = unescape(self.expand(text))
        wait_until(lambda: text in open(self.files["debuglog.txt"], "rb").read(), 10,
                   lambda: f"{text!r} in the log: {open(self.files['debuglog.txt'], 'rb').read()!r}")

    def v_expect_exit(self, status, least=None, most=None):
        "| STATUS [| SECONDS | SECONDS]: the program ends so, that long after its last text"
        self.app.wait(timeout=10)
        lag = time.monotonic() - self.t0
        same(self.app.returncode, int(status), "exit status")
        if least and not float(least) <= lag <= float(most):
            raise Failed(f"ended {lag:.2f} s after the action")
        self.app = self.wid = None

    def v_expect_within(self, seconds):
        "| SECONDS: since the action, said or shown"
        same(time.monotonic() - self.t0 <= float(seconds), True, f"within {seconds} s")

    def v_expect_stderr(self, text):
        "| TEXT: the program wrote it on the terminal"
        wait_until(lambda: text in open(self.output.name).read(), 10, f"{text!r} on the terminal")

    def v_expect_run(self, status, text, *args):
        "| STATUS | TEXT | ARG ...: the program run with these arguments ends so, saying that"
        r = sh([self.binary, *args], 20, False, env=self.env, **self.ids)
        same((r.returncode, text in r.stderr + r.stdout), (int(status), True), r.stderr)

    def v_expect_no_display(self, display):
        "| DISPLAY: the program says a desktop is needed and ends with status 2"
        r = sh([self.binary], 20, False, env=dict(self.env, DISPLAY=display, WAYLAND_DISPLAY=""))
        same((r.returncode, "graphical desktop is needed" in r.stderr), (2, True), r.stderr)

    def v_expect_no_process(self, name):
        "| NAME: none of the run's processes is so named"
        def none():
            return not [p for p in self.processes() if open(f"/proc/{p}/comm").read().strip() == name]
        wait_until(none, 5, f"no {name} left")

    def v_expect_presented(self, name, *texts):
        "| NAME | TEXT ...: what the stand-in controller was given"
        want = [self.expand(t) for t in texts]
        wait_until(lambda: open(self.keep[name]).read().splitlines() == want, 10,
                   lambda: f"{name} to have {want}: {open(self.keep[name]).read()!r}")

    def v_expect_keys(self, which, presses=""):
        "| other|window | KEY ...: the keys the window saw pressed, none left down (Tab aside)"
        self.watches[which].terminate()
        self.watches[which].wait(5)
        events = re.findall(r"^(KeyPress|KeyRelease) event.*?\(keysym 0x\w+, (\w+)\)",
                            open(self.keep[which]).read(), re.M | re.S)
        same([k for kind, k in events if kind == "KeyPress" and k != "Tab"], presses.split(), which)
        same(set({k.upper(): kind for kind, k in events}.values()) - {"KeyRelease"}, set(), "keys left down")

    def v_expect_announced(self, text):
        "| TEXT: a title the accessibility bus told its listeners (the caption's name)"
        text = self.expand(text)
        wait_until(lambda: f'string "{text}"' in open(self.keep["a11y.txt"]).read(), 15,
                   f"{text!r} announced")

    # ---- read over the accessibility bus, as a screen reader reads it -------------------------
    def v_expect_rows(self, *frames):
        "| [FRAME ...]: the 48 forecast rows as the list offers them (and the frames' names)"
        data = json.loads(sh(["/usr/bin/python3", HARNESS + "/atspi_probe.py", str(self.app.pid)], 30,
                             env=self.env, **self.ids).stdout)
        if frames:
            same([w["name"] for w in data["windows"] if w["role"] == "frame"],
                 [self.expand(f) for f in frames], "accessible frames")
        self.rows = data["lists"][0]
        same((len(self.rows), self.rows[3], self.rows[10], self.rows[17], all(self.rows)),
             (48, "-----", "-----", "-----", True), f"forecast rows {self.rows}")

    def v_expect_topics(self, how):
        "| said|caption|heard|braille: 12 Downs, Up and a letter; each key's topic so, whole"
        for key in ["Down"] * 12 + ["Up", "x"]:
            shown = os.path.getsize(self.keep["braille.txt"]) if how == "braille" else 0
            self.step("walk", f"key {key}")
            topic = self.expand(f"{{T{self.position} 12345}}")
            if how == "said":
                self.v_expect_said(topic)
            elif how == "caption":
                self.v_expect_caption(topic)
            elif how == "heard":
                self.v_expect_heard(topic)
            else:
                wait_until(lambda: topic[:40] in open(self.keep["braille.txt"]).read()[shown:], 10,
                           f"{topic[:40]!r} on the braille display")
            time.sleep(GAP.get(how, 0))

    def v_expect_scaled(self):
        "the window lies on the screen, its current row highlighted in contrast"
        geometry = sh(["xdotool", "getwindowgeometry", "--shell", self.wid or self.v_window()], env=self.env, **self.ids).stdout
        x, y, w, h = map(int, re.findall(r"=(-?\d+)", geometry)[1:5])
        same(x >= 0 and y >= 0 and x + w <= 1024 and y + h <= 768, True, f"window {x},{y} {w}x{h}")
        self.screenshot("scaled.png")
        # A column through the list, right of the rows' text: its commonest colour is the list's
        # background, the next the highlighted row.
        histogram = sh(["/usr/bin/convert", self.artifacts + "/scaled.png", "-crop",
                        f"1x{h - 160}+{x + w - 100}+{y + 120}", "-format", "%c", "histogram:info:-"]).stdout
        counts = sorted(((int(m[1]), tuple(map(int, m.groups()[1:]))) for m in re.finditer(
            r"^\s*(\d+):\s*\(\s*(\d+),\s*(\d+),\s*(\d+)", histogram, re.M)), reverse=True)
        light, dark = sorted((sum(k * (((v / 255 + 0.055) / 1.055) ** 2.4 if v > 10 else v / 255 / 12.92)
                                  for k, v in zip((.2126, .7152, .0722), c)) for _, c in counts[:2]), reverse=True)
        same((light + 0.05) / (dark + 0.05) >= 3, True, f"highlight contrast: {counts[:2]}")

    # ---- the installed package ----------------------------------------------------------------
    def v_install(self):
        "the package built, linted, installed over an older one; a user's disable survives"
        out = self.subdir("package")
        cpack = ["cpack", "-G", "DEB", "--config", self.o.build + "/CPackConfig.cmake", "-B"]
        sh(cpack + [out], 900)
        (deb,) = glob.glob(out + "/*.deb")
        lint = sh(["lintian", "-I", "--pedantic", "--tag-display-limit", "0", deb], 300, False).stdout
        print(lint)
        same([l for l in lint.splitlines() if re.match(r"[EW]: ", l) and
              "initial-upload-closes-no-bugs" not in l] + re.findall(r".*hardening.*", lint), [], "lintian")
        version = sh(["dpkg-deb", "-f", deb, "Version"]).stdout.strip()
        older = re.sub(r"\+git(\d+)", lambda m: f"+git{int(m[1]) - 1}", version)
        sh(["dpkg", "--compare-versions", version, "gt", older])  # a newer commit, a newer package
        sh(cpack + [self.subdir("older"), "-D", f"CPACK_DEBIAN_PACKAGE_VERSION={older.rsplit('-', 1)[0]}"], 900)
        apt = ["apt-get", "install", "-y", "-qq", "--allow-downgrades"]
        for package in (glob.glob(self.dir + "/older/*.deb")[0], deb):
            self.deb = sh(apt + [package], 600, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        same(sh(["dpkg-query", "-W", "-f", "${Version}", "skycall"]).stdout, version, "installed")
        same(os.path.islink(ENABLED), True, "the site's user unit enabled")
        sh(["systemctl", "--global", "disable", "skycall-site.service"], check=False)
        sh(apt + ["--reinstall", deb], 600, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        same(os.path.lexists(ENABLED), False, "the administrator's disable undone by a reinstall")
        sh(["systemctl", "--global", "enable", "skycall-site.service"], check=False)
        sh(["desktop-file-validate", "/usr/share/applications/org.skycall.Skycall.desktop"])
        sh(["appstreamcli", "validate", "--no-net", "/usr/share/metainfo/org.skycall.Skycall.metainfo.xml"])
        verify = sh(["systemd-analyze", "verify", UNIT], 120, False)  # not where systemd never booted
        if not re.search("Failed to initialize|not been booted", verify.stderr):
            same((verify.returncode, verify.stderr.strip()), (0, ""), "unit")

    def v_user(self):
        "every process of the run a normal user's"
        sh(["useradd", "-r", "-M", "-s", "/usr/sbin/nologin", "skycall-e2e"], check=False)
        user = pwd.getpwnam("skycall-e2e")
        self.ids = {"user": user.pw_uid, "group": user.pw_gid, "extra_groups": []}
        sh(["chown", "-R", f"{user.pw_uid}:{user.pw_gid}", self.dir])

    def v_as_user(self):
        "a normal user, started from root's folder, which it cannot write; the installed program"
        self.v_user()
        self.home, self.cwd = self.subdir("home"), self.subdir("read-only")
        shutil.chown(self.cwd, "root", "root")
        # Qt's font cache under the home would be a file written outside the program's own.
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=self.home + "/.config",
                        XDG_DATA_HOME=self.home + "/.local/share", XDG_CACHE_HOME=self.dir + "/cache")
        self.binary, state = "/usr/bin/skycall", self.home + "/.local/state/skycall/"
        self.files = {n: state + n for n in ("debuglog.txt", "myversion.txt")}
        self.files["progress.ini"] = self.home + "/.config/skycall/progress.ini"

    def v_expect_home_only(self, *allowed):
        "| PATH ...: what changed in the home, besides their folders; nothing in the start folder"
        same(tree(self.cwd), self.trees[1], "the folder the program was started from")
        after = tree(self.home)
        changed = {p for p in after if after[p] != self.trees[0].get(p)}
        same({p for p in changed if not any(a.startswith(p + "/") for a in allowed)} - set(allowed),
             set(), "written outside the program's folders")

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
            if self.app and self.app.poll() is None and self.wid:
                self.screenshot("screen.png")
            for name, path in dict(self.files, **self.keep).items():
                # Only plain files: a side file may be a link to /dev/full, which reads forever.
                if os.path.isfile(path) and not os.path.islink(path):
                    shutil.copy(path, os.path.join(self.artifacts, name))
        finally:
            # Every process of the run, daemons and what the buses started included, by the
            # marker; twice, for any started while the first ones ended.
            for pid in [p for _ in range(2) for p in self.processes()]:
                end(int(pid))
            shutil.rmtree(self.dir, ignore_errors=True)
            if self.deb:
                sh(["dpkg", "--purge", "skycall"], 300)
                same(os.path.lexists(ENABLED), False, "purged, yet the unit is enabled")


def main():
    if sys.argv[1:] == ["--list"]:  # the cases' names, for the test runner
        return print(";".join(cases(HERE + "/cases.txt")))
    o = types.SimpleNamespace(**dict({"case": sys.argv[1], "time_limit": 150, "site": None}, **{
        k[2:].replace("-", "_"): v for k, v in (a.split("=", 1) for a in sys.argv[2:])}))
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
            except (Failed, AssertionError, subprocess.SubprocessError, OSError) as failure:
                sys.exit(f"failed at {where}: {text}\n{failure}")
    finally:
        signal.alarm(0)
        run.close()


if __name__ == "__main__":
    main()
