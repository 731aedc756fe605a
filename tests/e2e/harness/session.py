# SPDX-License-Identifier: GPL-3.0-or-later
"""One end-to-end run: a fresh desktop, skycall driven from outside as a user drives it, and
every process of the run ended again, found by a marker in its environment."""

import json
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
MARKER = "SKYCALL_E2E_SESSION"
CAPTION = "Skycall (v0.3b) by Korvel"
WELCOME = "Welcome to Skycall. Version 0.3b, by Korvel."
LOADING = "Loading the forecast."
PROMPT = "Enter your zip code or type the city and state you wish to know about."


def eq(actual, expected, what):
    assert actual == expected, f"{what}: got {actual!r}, expected {expected!r}"


def wait_until(predicate, timeout, what, interval=0.02):
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            what = what() if callable(what) else what
            raise AssertionError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)
    return value


def read_line(fd, timeout, what):
    deadline, data = time.monotonic() + timeout, b""
    while b"\n" not in data:
        left = deadline - time.monotonic()
        assert left > 0 and select.select([fd], [], [], left)[0], f"timed out waiting for {what}"
        chunk = os.read(fd, 4096)
        assert chunk, f"{what}: the process closed its output without an answer"
        data += chunk
    return data.split(b"\n", 1)[0].decode().strip()


def sh(argv, timeout=10, check=True, **kw):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=timeout,
                            stdin=subprocess.DEVNULL, **kw)
    out = f"{' '.join(argv)} failed ({result.returncode}):\n{result.stdout[-3000:]}"
    assert not check or result.returncode == 0, out + result.stderr[-3000:]
    return result


def _alive(pid):
    """While any thread runs: a daemon's main thread may end well before its last thread."""
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return False
    for tid in tasks:
        try:
            with open(f"/proc/{pid}/task/{tid}/stat") as f:
                if f.read().rsplit(") ", 1)[1][0] != "Z":
                    return True
        except OSError:
            pass
    return False


def _end(pid, group=False, grace=3.0):
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            (os.killpg if group else os.kill)(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + grace
        while _alive(pid) and time.monotonic() < deadline:
            time.sleep(0.02)
        if not _alive(pid):
            return


def stop(proc):
    """Ends a process started in a group of its own, with its group, and reaps it."""
    if proc.poll() is None:
        _end(proc.pid, group=True)
    proc.wait(timeout=3)


def _comm(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return "?"


def _port_taken(port):
    with socket.socket() as probe:
        probe.settimeout(0.5)
        return probe.connect_ex(("127.0.0.1", port)) == 0


class Recording:
    """The texts given to a recording speech-dispatcher; a text cut off has no END line."""

    def __init__(self, path, address):
        self.path, self.address = path, address
        self.utterances, self._offset, self._partial = [], 0, b""

    def poll(self):
        with open(self.path, "rb") as f:
            f.seek(self._offset)
            data = f.read()
        self._offset += len(data)
        lines = (self._partial + data).split(b"\n")
        self._partial = lines.pop()
        for line in (raw.decode("utf-8", "replace") for raw in lines):
            if start := re.match(r"^START rate=(-?\d+) vol=(-?\d+) text=(.*)$", line):
                self.utterances.append(types.SimpleNamespace(
                    rate=int(start[1]), volume=int(start[2]), text=start[3],
                    seen_at=time.monotonic(), finished=False))
            elif line.startswith("END "):
                u = next((u for u in reversed(self.utterances)
                          if u.text == line[4:] and not u.finished), None)
                if u:
                    u.finished = True
        return self.utterances

    def count(self):
        return len(self.poll())

    def texts(self, since=0):
        return [u.text for u in self.poll()[since:]]

    def wait_for_count(self, count, timeout=10):
        wait_until(lambda: len(self.poll()) >= count, timeout,
                   lambda: f"{count} texts at speech-dispatcher; it has {self.texts()}", 0.005)
        return self.utterances[count - 1]

    def quiet_for(self, seconds, since):
        time.sleep(seconds)
        eq(self.texts(since), [], "texts at speech-dispatcher, where silence was expected")


class Session:
    rec_sleep = 0  # seconds each text takes to speak

    def __init__(self, name, artifacts=None):
        self.dir = tempfile.mkdtemp(prefix=f"skycall-e2e-{name}-")
        self.id, self.artifacts, self.ids = os.path.basename(self.dir), artifacts, {}
        self.procs, self.daemons, self.keep, self.leftovers = [], [], {}, []
        self.rec = self.orca = self.app = self.wid = None
        self.work = self.subdir("work")
        self.binary = os.path.join(self.subdir("app"), "skycall")
        self.settings_path = os.path.join(self.dir, "app", "progress.ini")
        self.env = {"PATH": "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
                    "HOME": self.dir, "XDG_RUNTIME_DIR": self.subdir("runtime", 0o700),
                    "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", MARKER: self.id}
        if artifacts:
            shutil.rmtree(artifacts, ignore_errors=True)
            os.makedirs(artifacts)

    def subdir(self, name, mode=0o755):
        path = os.path.join(self.dir, name)
        os.makedirs(path, mode=mode, exist_ok=True)
        os.chmod(path, mode)
        self._own(path)
        return path

    def _own(self, path):
        if self.ids:
            sh(["chown", "-R", f"{self.ids['user']}:{self.ids['group']}", path])

    def run_as(self, uid, gid):
        self.ids = {"user": uid, "group": gid, "extra_groups": []}
        self._own(self.dir)

    def popen(self, argv, env_extra=None, cwd=None, **kw):
        proc = subprocess.Popen(argv, env=dict(self.env, **(env_extra or {})), cwd=cwd or self.dir,
                                start_new_session=True, stdin=subprocess.DEVNULL, **self.ids, **kw)
        self.procs.append(proc)
        return proc

    def run(self, argv, timeout=10, check=True, env_extra=None, **kw):
        return sh(argv, timeout, check, env=dict(self.env, **(env_extra or {})), cwd=self.dir,
                  **self.ids, **kw)

    # ---- the desktop ----------------------------------------------------------------
    def start(self, options, settings=None, accessibility=True, rec_sleep=0):
        """The desktop; given settings, the program too, until its welcome."""
        # A private copy of the program: it keeps progress.ini beside it.
        shutil.copy2(options.skycall, self.binary)
        self.start_x()
        self.start_bus()
        if accessibility:
            self.start_accessibility()
        self.rec_sleep = rec_sleep
        self.start_speech()
        port = int(options.host.rpartition(":")[2])  # the site serves on loopback
        self.start_site([options.site, "--listen", f"127.0.0.1:{port}"], port)
        if settings is not None:
            self.launch(settings)
            self.wait_ready()

    def start_x(self):
        proc = self.popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                           "tcp", "-noreset"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.env["DISPLAY"] = ":" + read_line(proc.stdout.fileno(), 15, "Xvfb's display")

    def start_bus(self):
        proc = self.popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = read_line(proc.stdout.fileno(), 10, "the bus")

    def start_accessibility(self):
        """The accessibility bus, as a desktop session has it, so Qt exposes the window."""
        self.popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Asking org.a11y.Bus before the launcher owns the name would start a second launcher.
        wait_until(lambda: "boolean true" in self.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
             "string:org.a11y.Bus"], check=False).stdout, 10, "the accessibility bus")
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def start_speech(self, name="speechd", again=False):
        """The first is the session's own; again: that one once more after it ended."""
        folder, run_dir = os.path.join(self.dir, name), self.subdir(name + "-run")
        sock, pid_file = (os.path.join(run_dir, f) for f in ("speechd.sock", "speechd.pid"))
        if not again:
            shutil.copytree(os.path.join(HERE, "speechd"), folder)
            open(os.path.join(folder, "spoken.txt"), "w").close()
            self._own(folder)
        elif os.path.exists(sock):
            os.unlink(sock)  # left by a daemon that was killed: wait for the new one's
        self.run(["speech-dispatcher", "-d", "-C", folder, "-c", "unix_socket", "-S", sock,
                  "-P", pid_file, "-t", "0", "-L", self.subdir(name + "-log")], timeout=15,
                 env_extra={"SPD_REC_FILE": os.path.join(folder, "spoken.txt"),
                            "SPD_REC_SLEEP": str(self.rec_sleep)})

        # The daemon rewrites its pid file after it forks: wait for the pid of a live daemon.
        def daemon_pid():
            try:
                pid = int(open(pid_file).read()) if os.path.exists(sock) else 0
            except (OSError, ValueError):
                return None
            return pid if _alive(pid) and _comm(pid).startswith("speech-dispatch") else None

        pid = wait_until(daemon_pid, 10, f"{name}'s socket and pid")
        self.daemons.append(pid)
        if again or self.rec is None:
            self.speech_pid, self.speech_pid_file = pid, pid_file
        rec = Recording(os.path.join(folder, "spoken.txt"), f"unix_socket:{sock}")
        if self.rec is None:
            self.rec, self.env["SPEECHD_ADDRESS"] = rec, rec.address
        return rec

    def signal_speech(self, signum):
        os.kill(self.speech_pid, signum)
        if signum in (signal.SIGTERM, signal.SIGKILL):
            wait_until(lambda: not _alive(self.speech_pid), 5, "speech-dispatcher to end")
            if os.path.exists(self.speech_pid_file):  # a killed daemon leaves it behind
                os.unlink(self.speech_pid_file)

    def start_site(self, argv, port, timeout=10):
        assert not _port_taken(port), (f"port {port} is taken, where the program "
                                                 f"reads its forecast: ss -ltnp 'sport = :{port}'")
        log = open(os.path.join(self.dir, "site.log"), "w")
        self.site = self.popen(argv, stdout=log, stderr=subprocess.STDOUT)

        def listening():
            assert self.site.poll() is None, f"{argv} ended at once; see {log.name}"
            return _port_taken(port)

        wait_until(listening, timeout, "skycall-site to listen")

    def start_orca(self):
        # Key echo off; Orca speaks into a recording speech-dispatcher of its own.
        self.orca = self.start_speech("orca-speechd")
        prefs = self.subdir("orca-prefs")
        shutil.copy(os.path.join(HERE, "orca_prefs.json"), prefs + "/user-settings.conf")
        argv = ["/usr/bin/python3", os.path.join(HERE, "orca_launcher.py"), f"--user-prefs={prefs}"]
        self.keep.update({"orca.out": os.path.join(self.dir, "orca.out"),
                          "orca-spoken.txt": self.orca.path})
        self.popen(argv, {"SPEECHD_ADDRESS": self.orca.address}, stderr=subprocess.STDOUT,
                   stdout=open(self.keep["orca.out"], "w"))
        wait_until(lambda: "Screen reader on." in self.orca.texts(), 20, "'Screen reader on.'")

    # ---- the program ----------------------------------------------------------------
    def read(self, path):
        """A file's bytes; a bare name is one of the side files in the work folder."""
        with open(os.path.join(self.work, path), "rb") as f:
            return f.read()

    def launch(self, settings=None, argv=None, cwd=None):
        if settings is not None:
            with open(self.settings_path, "wb") as f:
                f.write(settings)
        self.output = open(os.path.join(self.dir, "skycall.out"), "w")
        self.app = self.popen(argv or [self.binary], {"QT_QPA_PLATFORM": "xcb"},
                              cwd or self.work, stdout=self.output, stderr=subprocess.STDOUT)

    def output_text(self):
        with open(self.output.name) as f:
            return f.read()[-2000:]

    def find_window(self, title, timeout=20):
        def search():
            self.running()
            return self.run(["xdotool", "search", "--onlyvisible", "--name",
                             "^" + re.escape(title) + "$"], check=False, timeout=5).stdout.split()

        return wait_until(search, timeout, f"a window titled {title!r}", 0.05)[0]

    def wait_main_window(self, title=CAPTION, timeout=30):
        self.wid = self.find_window(title, timeout)
        self.focus()

    def focus(self, wid=None):
        self.run(["xdotool", "windowfocus", "--sync", wid or self.wid], timeout=5)

    def running(self):
        assert not self.app or self.app.poll() is None, \
            f"skycall ended ({self.app.returncode}): {self.output_text()!r}"

    def key(self, *keys):
        self.running()
        self.run(["xdotool", "key", "--delay", "20", *keys], timeout=5)

    def title(self):
        return self.run(["xdotool", "getwindowname", self.wid], timeout=5).stdout.rstrip("\n")

    def key_title(self, key, expected, timeout=5):
        if key:
            self.key(key)
        seen = []
        wait_until(lambda: seen.append(self.title()) or seen[-1] == expected, timeout,
                   lambda: f"the title {expected!r}; it is {seen[-1]!r}")

    def say_key(self, key, expected, timeout=10):
        """Types a key and waits for the one text it should bring to speech-dispatcher."""
        before = self.rec.count()
        self.key(key)
        said = self.rec.wait_for_count(before + 1, timeout)
        eq(said.text, expected, f"text after {key}")
        return said

    def answer_location(self, text):
        self.focus(self.find_window("Location"))
        self.run(["xdotool", "type", "--delay", "15", text], timeout=10)
        self.run(["xdotool", "key", "Return"], timeout=5)

    def wait_ready(self, welcome_by_voice=True, title=CAPTION):
        eq(self.rec.wait_for_count(1, timeout=20).text, LOADING, "first text")
        self.wait_main_window(title)
        if welcome_by_voice:
            eq(self.rec.wait_for_count(2, timeout=20).text, WELCOME, "welcome text")

    def wait_exit(self, timeout=10, status=0):
        try:
            self.app.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"skycall still runs {timeout} s after it was told to end")
        eq(self.app.returncode, status, "skycall's exit status")
        return time.monotonic()

    def atspi(self, command, *args):
        argv = ["/usr/bin/python3", os.path.join(HERE, "atspi_probe.py"), command,
                str(self.app.pid), *map(str, args)]
        if command != "snapshot":
            return self.popen(argv, stdout=subprocess.PIPE, text=True)
        data = json.loads(self.run(argv, timeout=30).stdout)
        assert "error" not in data, data["error"]
        return data

    def screenshot(self, name="screen.png", window=None):
        self.run(["import", "-window", window or self.wid or "root",
                  os.path.join(self.artifacts, name)], timeout=20, check=False)

    # ---- teardown -------------------------------------------------------------------
    def close(self):
        if self.dir is None:
            return
        try:
            if self.artifacts and self.app and self.app.poll() is None:
                self.screenshot()
            keep = {"spoken.txt": self.rec and self.rec.path, "progress.ini": self.settings_path,
                    **{n: os.path.join(self.dir, n) for n in ("skycall.out", "site.log")},
                    **{n: os.path.join(self.work, n) for n in ("debuglog.txt", "myversion.txt")},
                    **self.keep}
            for name, path in keep.items() if self.artifacts else ():
                # Only plain files: a side file may be a link to /dev/full, which reads forever.
                if path and os.path.isfile(path) and not os.path.islink(path):
                    shutil.copy(path, os.path.join(self.artifacts, name))
            if self.orca:
                print("Orca spoke:", *self.orca.texts(), sep="\n  ")
        finally:
            # An ended process no longer shows its environment: note them all first.
            pending = set(self._marked())
            for pid in reversed(self.daemons):
                _end(pid)
            for proc in reversed(self.procs):
                stop(proc)
            deadline = time.monotonic() + 3
            while (pending := {p for p in pending | self._marked() if _alive(p)}) and \
                    time.monotonic() < deadline:
                time.sleep(0.05)
            for pid in pending:
                self.leftovers.append((pid, _comm(pid)))
                _end(pid, grace=1.0)
            shutil.rmtree(self.dir, ignore_errors=True)
            self.dir = None
        assert not self.leftovers, f"left behind: {sorted(self.leftovers)}"

    def _marked(self):
        needle, found = f"{MARKER}={self.id}".encode(), set()
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if needle in f.read().split(b"\0"):
                        found.add(int(entry))
            except OSError:
                pass
        return found
