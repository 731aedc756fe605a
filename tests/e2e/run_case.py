#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one case of cases.txt (run_case.py --case=NAME ...): a fresh desktop, skycall driven from
# outside as a user drives it, and every process of the run ended again, found by a marker in
# its environment. Each step "VERB A | B" is a call step_VERB(A, B).
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
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
HARNESS, MARKER = HERE + "/harness", "SKYCALL_E2E_SESSION"


def eq(actual, expected, what):
    assert actual == expected, f"{what}: got {actual!r}, expected {expected!r}"


def wait_until(predicate, timeout, what, interval=0.02):
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        assert time.monotonic() < deadline, \
            f"timed out after {timeout} s waiting for {what() if callable(what) else what}"
        time.sleep(interval)
    return value


def sh(argv, timeout=10, check=True, **kw):
    r = subprocess.run(argv, capture_output=True, text=True, timeout=timeout,
                       stdin=subprocess.DEVNULL, **kw)
    assert not check or r.returncode == 0, f"{argv} failed ({r.returncode}): {r.stdout}{r.stderr}"
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


def settings(route, rate, location="12345", spare=""):
    # progress.ini as saved: numbers with a blank each side (the cases have no negative), CR LF.
    return "\r\n".join([f" {route} ", f" {rate} ", spare, location] + [""] * 10).encode()


def tree(root):  # every path under root with its size and modification time
    paths = [os.path.join(d, name) for d, dirs, files in os.walk(root) for name in dirs + files]
    return {os.path.relpath(p, root): (os.lstat(p).st_size, os.lstat(p).st_mtime_ns) for p in paths}


class Recording:
    # The texts given to a recording speech-dispatcher; a text cut off has no END line.
    def __init__(self, path, address):
        self.path, self.address, self.utterances, self.offset = path, address, [], 0

    def poll(self):
        data = open(self.path, "rb").read()[self.offset:]
        data = data[:data.rfind(b"\n") + 1]  # whole lines only
        self.offset += len(data)
        for line in data.decode("utf-8", "replace").splitlines():
            if start := re.match(r"^START rate=(-?\d+) vol=-?\d+ text=(.*)$", line):
                self.utterances.append(types.SimpleNamespace(
                    rate=int(start[1]), text=start[2], seen_at=time.monotonic(), finished=False))
            elif line[:4] == "END " and (u := [u for u in self.utterances
                                               if u.text == line[4:] and not u.finished]):
                u[-1].finished = True
        return self.utterances

    def texts(self, since=0):
        return [u.text for u in self.poll()[since:]]


class Run:
    def __init__(self, name, options, defs, topics):
        self.o, self.defs, self.topics, self.ids = options, defs, topics, {}
        self.dir = tempfile.mkdtemp(prefix=f"skycall-e2e-{name}-")
        self.artifacts = os.path.join(options.artifacts, name)
        self.rec = self.orca = self.app = self.wid = self.deb = None
        self.keep, self.watches, self.rows, self.mark, self.orca_expected = {}, {}, [], 0, []
        self.cwd = self.work = self.subdir("work")
        self.binary = os.path.join(self.subdir("app"), "skycall")
        self.files = {n: os.path.join(self.work, n) for n in ("debuglog.txt", "myversion.txt")}
        self.files.update({n: os.path.join(self.dir, "app", n)
                           for n in ("progress.ini", "progress.ini.backup")})
        self.env = {"PATH": "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
                    "HOME": self.dir, "XDG_RUNTIME_DIR": self.subdir("runtime", 0o700),
                    "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", MARKER: self.dir}
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)

    def text(self, field):  # {NAME} from cases.txt; {tN}: topic N with the rows last read
        rows = dict({str(i): row for i, row in enumerate(self.rows)}, location="12345")
        return re.sub(r"\{(\w+)\}", lambda m: self.defs.get(m[1]) or re.sub(
            r"\{(\w+)\}", lambda r: rows.get(r[1], ""), self.topics[m[1][1:]]), field)

    def run_steps(self, lines):
        for line in lines:
            verb, _, rest = line.partition(" ")
            print("step:", line, flush=True)
            getattr(self, "step_" + verb.replace("-", "_"))(
                *[self.text(f) for f in rest.split(" | ")] if rest else [])

    def subdir(self, name, mode=0o755):
        path = os.path.join(self.dir, name)
        os.makedirs(path, mode=mode, exist_ok=True)
        os.chmod(path, mode)
        if self.ids:
            sh(["chown", "-R", f"{self.ids['user']}:{self.ids['group']}", path])
        return path

    def popen(self, argv, env_extra=None, cwd=None, **kw):
        return subprocess.Popen(argv, env=dict(self.env, **(env_extra or {})), cwd=cwd or self.dir,
                                start_new_session=True, stdin=subprocess.DEVNULL, **self.ids, **kw)

    def sh(self, argv, timeout=10, check=True, env_extra=None):
        return sh(argv, timeout, check, env=dict(self.env, **(env_extra or {})), cwd=self.dir,
                  **self.ids)

    # ---- the desktop ------------------------------------------------------------------
    def step_desktop(self, flags=""):
        port = int(self.o.host.rpartition(":")[2])
        site = [self.o.site, "--listen", f"127.0.0.1:{port}"]
        if "package" in flags:  # the site as its user unit starts it
            unit = open(self.defs["UNIT"]).read()  # its command line has no quoting
            site = re.search(r"^ExecStart=(.*)$", unit, re.M)[1].split()
        else:
            shutil.copy2(self.o.skycall, self.binary)  # a copy: it keeps progress.ini beside it
        for argv, var in ((["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24",
                            "-nolisten", "tcp", "-noreset"], "DISPLAY"),
                          (["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           "DBUS_SESSION_BUS_ADDRESS")):
            proc = self.popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            # A process that hangs here is ended by the case's time limit.
            self.env[var] = (":" if var == "DISPLAY" else "") + proc.stdout.readline().decode()[:-1]
        if "a11y" in flags:  # the accessibility bus, as a desktop session has it
            self.popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
            # Asking org.a11y.Bus before the launcher owns the name would start a second one.
            wait_until(lambda: "boolean true" in self.sh(
                ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                 "string:org.a11y.Bus"], check=False).stdout, 10, "the accessibility bus")
            self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.rec_sleep = 1 if "sleep" in flags else 0  # seconds each text takes to speak
        self.rec = self.start_speech()
        self.env["SPEECHD_ADDRESS"] = self.rec.address
        self.keep["site.log"] = self.dir + "/site.log"
        self.site = self.popen(site, stdout=open(self.keep["site.log"], "w"),
                               stderr=subprocess.STDOUT)
        # In auto mode the site asks the weather services first, for up to its 8 s time-out.
        wait_until(lambda: self.site.poll() is not None or not socket.socket().connect_ex(
            ("127.0.0.1", port)), 20, "the site")
        assert self.site.poll() is None, "skycall-site ended (is the port taken?); see site.log"
        if "package" in flags:  # what the home and the start folder hold before the program
            self.trees = tree(self.home), tree(self.cwd)

    def start_speech(self, name="speechd", again=False):
        folder, run_dir = os.path.join(self.dir, name), self.subdir(name + "-run")
        sock, pid_file = run_dir + "/speechd.sock", run_dir + "/speechd.pid"
        if not again:
            shutil.copytree(HARNESS + "/speechd", folder)
            open(folder + "/spoken.txt", "w").close()
            self.subdir(name)
            self.keep[name + ".txt"] = folder + "/spoken.txt"
        elif os.path.exists(sock):
            os.unlink(sock)  # left by a daemon that was killed: wait for the new one's
        self.sh(["speech-dispatcher", "-d", "-C", folder, "-c", "unix_socket", "-S", sock, "-P",
                 pid_file, "-t", "0", "-L", self.subdir(name + "-log")], timeout=15,
                env_extra={"SPD_REC_FILE": folder + "/spoken.txt",
                           "SPD_REC_SLEEP": str(self.rec_sleep)})

        def daemon_pid():  # it rewrites its pid file after it forks: wait for a live daemon's
            try:
                pid = int(open(pid_file).read()) if os.path.exists(sock) else 0
                return open(f"/proc/{pid}/comm").read().startswith("speech-dispatch") and pid
            except (OSError, ValueError):
                return None

        pid = wait_until(daemon_pid, 10, f"{name}'s socket and pid")
        self.speech = self.speech if name != "speechd" else (pid, pid_file)
        return Recording(folder + "/spoken.txt", f"unix_socket:{sock}")

    def step_speechd(self, how):  # killed, stopped, continued, ended, or started again
        if how == "again":
            return self.start_speech(again=True)
        os.kill(self.speech[0], getattr(signal, "SIG" + how))
        if how in ("TERM", "KILL"):
            wait_until(lambda: not alive(self.speech[0]), 5, "speech-dispatcher to end")
            if os.path.exists(self.speech[1]):  # a killed daemon leaves it behind
                os.unlink(self.speech[1])

    def step_orca(self):
        # Key echo off; Orca speaks into a recording speech-dispatcher of its own.
        self.orca, self.orca_since = self.start_speech("orca-speechd"), 0
        prefs = self.subdir("orca-prefs")
        shutil.copy(HARNESS + "/orca_prefs.json", prefs + "/user-settings.conf")
        self.keep["orca.out"] = self.dir + "/orca.out"
        self.popen(["/usr/bin/python3", HARNESS + "/orca_launcher.py", f"--user-prefs={prefs}"],
                   {"SPEECHD_ADDRESS": self.orca.address}, stderr=subprocess.STDOUT,
                   stdout=open(self.keep["orca.out"], "w"))
        wait_until(lambda: "Screen reader on." in self.orca.texts(), 20, "'Screen reader on.'")

    def step_reader(self, name):
        # A stand-in screen reader's controller, recording what PresentMessage is given.
        path = self.keep[name] = os.path.join(self.dir, name + ".txt")
        open(path, "w").close()
        proc = self.popen(["/usr/bin/python3", HARNESS + "/present_message_service.py",
                           f"org.gnome.{name}.Service", f"/org/gnome/{name}/Service", path],
                          stdout=subprocess.PIPE)
        eq(proc.stdout.readline(), b"ready\n", f"stand-in {name}")

    def step_heard(self, name, *texts):
        wait_until(lambda: open(self.keep[name]).read().splitlines() == list(texts), 10,
                   lambda: f"{name} to have heard {texts}: {open(self.keep[name]).read()!r}")

    def step_site_stop(self):
        end(self.site.pid)

    # ---- the installed package ---------------------------------------------------------
    def step_install(self):
        out = self.subdir("package")
        sh(["cpack", "-G", "DEB", "--config", self.o.build + "/CPackConfig.cmake", "-B", out], 600)
        (deb,) = glob.glob(out + "/*.deb")  # one package
        lint = sh(["lintian", "--tag-display-limit", "0", deb], 300, False).stdout
        print(lint)  # errors fail, warnings are reported
        assert not re.search("^E: ", lint, re.M), "lintian reports errors"
        self.deb = sh(["apt-get", "install", "-y", "-qq", deb], 600, env=dict(
            os.environ, DEBIAN_FRONTEND="noninteractive"))
        # systemd-analyze cannot run where systemd has not booted.
        verify = sh(["systemd-analyze", "verify", self.defs["UNIT"]], 120, False)
        assert re.search("Failed to initialize|not been booted", verify.stderr) or \
            (verify.returncode, verify.stderr.strip()) == (0, ""), f"unit: {verify.stderr}"
        assert os.path.islink(self.defs["ENABLED"]), "the site's user unit is not enabled"
        stripped = sh(["file", "/usr/bin/skycall", "/usr/bin/skycall-site"]).stdout
        assert "not stripped" not in stripped, stripped

    def step_run(self, *argv):  # a command that must succeed
        sh(list(argv), 120)

    def step_as_user(self):  # a normal user, started from root's folder, which it cannot write
        # A system user without a home of its own; useradd fails if it is there already.
        sh(["useradd", "-r", "-M", "-s", "/usr/sbin/nologin", self.defs["USER"]], check=False)
        user = pwd.getpwnam(self.defs["USER"])
        self.ids = {"user": user.pw_uid, "group": user.pw_gid, "extra_groups": []}
        sh(["chown", "-R", f"{user.pw_uid}:{user.pw_gid}", self.dir])
        self.home, self.cwd = self.subdir("home"), self.subdir("read-only")
        shutil.chown(self.cwd, "root", "root")
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=self.home + "/.config")
        self.binary, state = "/usr/bin/skycall", self.home + "/.local/state/skycall/"
        self.files = {n: state + n for n in ("debuglog.txt", "myversion.txt")}
        self.files["progress.ini"] = self.home + "/.config/skycall/progress.ini"

    def step_home_only(self, *allowed):  # what changed since the desktop started
        eq(tree(self.cwd), self.trees[1], "the folder the program was started from")
        after = tree(self.home)
        eq({p for p in after if after[p] != self.trees[0].get(p)} - set(allowed), set(),
           "written outside the program's folders")

    # ---- the program ------------------------------------------------------------------
    def step_launch(self, words="", how=""):
        if words:
            open(self.files["progress.ini"], "wb").write(settings(*words.split()))
        argv = [self.binary]
        if how in ("full", "gone"):
            shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.cwd, exist_ok=True)
        for name in ("debuglog.txt", "myversion.txt") if how == "full" else ():
            os.symlink("/dev/full", os.path.join(self.work, name))
        if how == "gone":  # the shell removes its own current folder, then becomes the program
            argv = ["sh", "-c", 'rmdir "$PWD" && exec "$0"', self.binary]
        self.mark = len(self.rec.poll())
        self.output = open(self.keep.setdefault("skycall.out", self.dir + "/skycall.out"), "w")
        scale = {"QT_SCALE_FACTOR": "2"} if how == "scale" else {}
        self.app = self.popen(argv, dict(scale, QT_QPA_PLATFORM="xcb"), self.cwd,
                              stdout=self.output, stderr=subprocess.STDOUT)

    def running(self):
        assert not self.app or self.app.poll() is None, \
            f"skycall ended ({self.app.returncode}): {open(self.output.name).read()[-2000:]!r}"

    def find_window(self, title, timeout=20):
        def search():
            self.running()
            return self.sh(["xdotool", "search", "--onlyvisible", "--name",
                            "^" + re.escape(title) + "$"], 5, False).stdout.split()
        return wait_until(search, timeout, f"a window titled {title!r}", 0.05)[0]

    def focus(self, wid=None):
        self.sh(["xdotool", "windowfocus", "--sync", wid or self.wid], timeout=5)

    def step_window(self, title=None, unfocused=""):
        self.wid = self.find_window(title or self.defs["CAPTION"], 30)
        if not unfocused:
            self.focus()

    def step_question(self):
        # The box's question comes joined to the loading text it cuts off; that text may be
        # cut before it reaches speech-dispatcher.
        joined = f"{self.defs['LOADING']}  {self.defs['PROMPT']}"
        wait_until(lambda: joined in self.rec.texts(), 20, "the location box's question")
        assert self.rec.texts(self.mark) in ([self.defs["LOADING"], joined], [joined])
        self.mark = len(self.rec.utterances)

    def step_answer(self, text):
        self.focus(self.find_window("Location"))
        self.sh(["xdotool", "type", "--delay", "15", text], timeout=10)
        self.step_key("Return")

    def step_key(self, *keys):
        self.running()
        self.sh(["xdotool", "key", "--delay", "20", *keys], timeout=5)

    def step_exit(self, status, least=None, most=None):
        self.app.wait(timeout=10)
        lag, last = time.monotonic() - self.rec.poll()[-1].seen_at, self.rec.utterances[-1].text
        eq(self.app.returncode, int(status), f"exit status, {lag:.2f} s after {last!r}")
        assert not least or float(least) <= lag <= float(most), f"ended {lag:.2f} s after it"

    def step_close(self):  # a window destroyed from outside ends it as a close does
        self.sh(["xdotool", "windowclose", self.wid])
        self.step_exit(0)

    def step_no_display(self, display=""):
        r = self.sh([self.binary], 20, False, {"DISPLAY": display})
        eq(r.returncode, 2, f"exit status with DISPLAY={display!r}")
        assert re.fullmatch(r".*graphical desktop is needed.*\n", r.stderr), r.stderr

    def step_stderr(self, text):
        assert text in (out := open(self.output.name).read()), out[-2000:]

    # ---- what the user hears and sees -------------------------------------------------
    def step_say(self, key, text, rate=None):  # the next text after the key ("-": none)
        if key != "-":
            self.mark = len(self.rec.poll())
            self.step_key(key)
        wait_until(lambda: len(self.rec.poll()) > self.mark, 20,
                   lambda: f"{text!r} at speech-dispatcher; it has {self.rec.texts()}", 0.005)
        said = self.rec.utterances[self.mark]
        eq((said.text, said.rate), (text, int(rate) if rate else said.rate), "text and rate")
        self.mark += 1

    def step_cut(self):  # Ctrl cuts a text off; uncut, the same text is heard to its end
        said, before = self.rec.utterances[-1], len(self.rec.poll())
        self.step_key("ctrl")
        time.sleep(1.6)
        eq(self.rec.texts(before), [], "texts after Ctrl")
        assert not said.finished, "Ctrl did not cut the text off: it was spoken to its end"
        self.step_say("x", said.text)
        wait_until(lambda: self.rec.poll()[-1].finished, 5, "the text to be spoken to its end")

    def step_last(self, text):
        wait_until(lambda: self.rec.texts()[-1:] == [text], 15,
                   lambda: f"{text!r} last at speech-dispatcher: {self.rec.texts()[-3:]}")

    def step_silent(self, seconds):
        time.sleep(float(seconds))
        eq(self.rec.texts(self.mark), [], "texts at speech-dispatcher, where silence is due")

    def title(self):
        return self.sh(["xdotool", "getwindowname", self.wid], timeout=5).stdout.rstrip("\n")

    def step_title(self, key, text, hold=None):
        if key != "-":
            self.step_key(key)
        seen = []
        wait_until(lambda: seen.append(self.title()) or seen[-1] == text, 5,
                   lambda: f"the title {text!r}; it is {seen[-1]!r}")
        if hold:
            time.sleep(float(hold))
            eq(self.title(), text, f"title {hold} s later")

    def step_file(self, name, text):
        data = open(self.files[name], "rb").read() if os.path.exists(self.files[name]) else None
        eq(data, None if text == "(none)" else text.encode().decode("unicode_escape").encode(
            "latin-1"), name)

    def step_backup(self, text):  # the user's own old file
        open(self.files["progress.ini.backup"], "w").write(text)
        os.utime(self.files["progress.ini.backup"], (time.time() - 3600,) * 2)

    def step_screenshot(self, name="screen.png", window=None):
        self.sh(["import", "-window", window or self.wid or "root",
                 os.path.join(self.artifacts, name)], timeout=20, check=False)

    # ---- over AT-SPI, as a screen reader reads it -------------------------------------
    def step_rows(self, *frames):  # the forecast rows, and the names of the program's frames
        data = json.loads(self.sh(["/usr/bin/python3", HARNESS + "/atspi_probe.py",
                                   str(self.app.pid)], timeout=30).stdout)
        assert not frames or [w["name"] for w in data["windows"] if w["role"] == "frame"] == \
            list(frames), f"accessible frames {data['windows']}"
        self.rows = data["lists"][0]
        eq(len(self.rows), 48, f"forecast rows {self.rows}")
        eq([self.rows[i] for i in (3, 10, 17)], ["-----"] * 3, "separator rows")
        assert all(self.rows), f"empty rows: {self.rows}"

    # ---- keys seen by windows ---------------------------------------------------------
    def step_xev(self, which):
        path = self.keep[which] = os.path.join(self.dir, f"{which}-keys.txt")
        window = ["-name", "other"] if which == "other" else ["-id", self.wid]
        self.watches[which] = self.popen(["xev", *window, "-event", "keyboard"],
                                         stdout=open(path, "w"), stderr=subprocess.DEVNULL)
        time.sleep(0.3)  # xev selects the window's key events once it runs
        self.focus(self.find_window("other", 10) if which == "other" else None)

    def step_keys(self, which, presses=""):
        self.watches[which].terminate()
        self.watches[which].wait(5)
        events = re.findall(r"^(KeyPress|KeyRelease) event.*?\(keysym 0x\w+, (\w+)\)",
                            open(self.keep[which]).read(), re.M | re.S)  # in the order xev saw
        assert presses or not events, f"keys at {which}: {events}"
        eq([k for kind, k in events if kind == "KeyPress" and k != "Tab"], presses.split(),
           f"keys pressed at {which}")
        eq(set({k.upper(): kind for kind, k in events}.values()) - {"KeyRelease"}, set(),
           "keys left pressed")

    # ---- the real Orca ----------------------------------------------------------------
    def orca_quiet(self):  # Orca's count of texts once it has said nothing new for 0.6 s
        count = -1
        while count != len(self.orca.poll()):  # the case's time limit ends a wait too long
            count = len(self.orca.utterances)
            time.sleep(0.6)
        return count

    def step_orca_heard(self, start, inside="", times="1"):  # texts that start so, inside
        wait_until(lambda: sum(t.startswith(start) and inside in t
                               for t in self.orca.texts()) >= int(times), 20,
                   f"Orca to say {start!r}...{inside!r} {times} times")

    def step_orca_keys(self, key, text):
        after = self.orca_since + len(self.orca_expected)
        self.orca_expected.append(text)
        self.step_key(key)
        wait_until(lambda: text in self.orca.texts(after), 10, f"Orca to speak {text!r}")

    def step_orca_said(self):  # once quiet, exactly what orca-keys expected since, if any
        self.orca_quiet()
        print("Orca said:", self.orca.texts(self.orca_since))
        if self.orca_expected:
            eq(self.orca.texts(self.orca_since), self.orca_expected, "Orca's texts")
        self.orca_since, self.orca_expected = len(self.orca.utterances), []

    # ---- the screen ---------------------------------------------------------------------
    def step_scaled(self):
        geometry = self.sh(["xdotool", "getwindowgeometry", "--shell", self.wid]).stdout
        x, y, w, h = map(int, re.findall(r"=(-?\d+)", geometry)[1:5])
        assert x >= 0 and y >= 0 and x + w <= 1024 and y + h <= 768, f"window {x},{y} {w}x{h}"
        self.step_screenshot("scaled-window.png", "root")
        # A column through the list, right of the rows' text and left of its scroll bar; its
        # commonest colour is the list's background, the next the highlighted row.
        histogram = self.sh(["/usr/bin/convert", self.artifacts + "/scaled-window.png", "-crop",
                             f"1x{h - 160}+{x + w - 100}+{y + 120}", "-format", "%c",
                             "histogram:info:-"], timeout=20).stdout
        counts = sorted(((int(m[1]), tuple(map(int, m.groups()[1:]))) for m in re.finditer(
            r"^\s*(\d+):\s*\(\s*(\d+),\s*(\d+),\s*(\d+)", histogram, re.M)), reverse=True)
        assert len(counts) >= 2, f"one colour only down the list: {counts}"
        light, dark = sorted((sum(k * (((v / 255 + 0.055) / 1.055) ** 2.4 if v > 10 else
                                       v / 255 / 12.92) for k, v in zip((.2126, .7152, .0722), c))
                              for _, c in counts[:2]), reverse=True)
        assert (light + 0.05) / (dark + 0.05) >= 3, f"highlight contrast too low: {counts[:2]}"

    # ---- teardown -------------------------------------------------------------------
    def close(self):
        try:
            if self.app and self.app.poll() is None:
                self.step_screenshot()
            for name, path in dict(self.files, **self.keep).items():
                # Only plain files: a side file may be a link to /dev/full, which reads forever.
                if os.path.isfile(path) and not os.path.islink(path):
                    shutil.copy(path, os.path.join(self.artifacts, name))
        finally:
            # Every process of the run, daemons and what the buses started included, by the
            # marker; twice, for any started while the first ones ended.
            for pid in (p for _ in range(2) for p in filter(str.isdigit, os.listdir("/proc"))):
                try:
                    if f"{MARKER}={self.dir}".encode() in open(f"/proc/{pid}/environ", "rb").read():
                        end(int(pid))
                except OSError:
                    pass
            shutil.rmtree(self.dir, ignore_errors=True)
            if self.deb:
                sh(["dpkg", "--purge", "skycall"], timeout=300)
                assert not os.path.lexists(self.defs["ENABLED"]), "purged, yet the unit is enabled"


def main():
    text = open(HERE + "/cases.txt", encoding="utf-8").read()
    defs = dict(re.findall(r"^= (\w+) (.*)$", text, re.M))
    cases = {name: [line for line in body.splitlines() if line and line[0] not in "#="]
             for name, body in re.findall(r"^\[(\w+)\]$(.*?)(?=^\[|\Z)", text, re.M | re.S)}
    with open(HERE + "/../fixtures/tables/topics.txt") as f:
        topics = dict(t.rstrip("\n").split(" | ", 1) for t in f if t[0] not in "#\n")
    # --case=NAME --time-limit=S --skycall= --site= --host= --artifacts= --build=
    o = types.SimpleNamespace(**dict({"time_limit": 100, "site": None}, **{
        k[2:].replace("-", "_"): v for k, v in (a.split("=", 1) for a in sys.argv[1:])}))
    # The test runner's own time-out kills without a word; give up first (SIGALRM) and clean up.
    for signum in (signal.SIGALRM, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, lambda n, _: sys.exit(f"stopped by {signal.Signals(n).name}"))
    signal.alarm(int(o.time_limit))
    run = Run(o.case, o, defs, topics)
    print("artifacts in", run.artifacts)
    try:
        run.run_steps(cases[o.case])
    finally:  # a failed step and a failed teardown both show
        signal.alarm(0)
        run.close()


main()
