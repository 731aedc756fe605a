"""A fresh desktop session for one end-to-end run: its own X display, session bus,
recording speech-dispatcher, accessibility bus and forecast site, all torn down on exit."""

import os
import select
import signal
import socket
import subprocess
import tempfile
import time
import uuid

from . import speech_recording

# Every process the session starts carries this variable, so a leftover can be found by it.
MARKER = "SKYCALL_E2E_SESSION"


class SessionError(RuntimeError):
    pass


def wait_until(predicate, timeout, what, interval=0.02):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise SessionError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


def _read_line(fd, timeout, what):
    deadline = time.monotonic() + timeout
    data = b""
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise SessionError(f"timed out waiting for {what}")
        chunk = os.read(fd, 4096)
        if not chunk:
            raise SessionError(f"{what}: the process closed its output without an answer")
        data += chunk
    return data.split(b"\n", 1)[0].decode().strip()


def stop_process(proc):
    """Ends a process started in its own group, with its group, and reaps it."""
    if proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    try:
        proc.wait(timeout=3)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait(timeout=3)


def _port_taken(host, port):
    with socket.socket() as probe:
        probe.settimeout(0.5)
        return probe.connect_ex((host, port)) == 0


class Session:
    """Use as a context manager; every start_* call registers its process for teardown."""

    def __init__(self, name, rec_sleep=0, keep_dir=False):
        self.name = name
        self.id = uuid.uuid4().hex
        self.dir = tempfile.mkdtemp(prefix=f"skycall-e2e-{name}-")
        self.keep_dir = keep_dir
        self.rec_sleep = rec_sleep
        self.env = {
            "PATH": "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
            "HOME": self.dir,
            "XDG_RUNTIME_DIR": self._subdir("runtime", mode=0o700),
            "XDG_CONFIG_HOME": self._subdir("config"),
            "XDG_CACHE_HOME": self._subdir("cache"),
            "XDG_DATA_HOME": self._subdir("data"),
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            MARKER: self.id,
        }
        self._procs = []  # (what, Popen) in start order
        self._daemon_pids = []  # (what, pid) of processes that detached themselves
        self.recording = None

    # ---- lifecycle ------------------------------------------------------------------
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _subdir(self, name, mode=0o755):
        path = os.path.join(self.dir, name)
        os.makedirs(path, mode=mode, exist_ok=True)
        os.chmod(path, mode)
        return path

    def track(self, what, proc):
        self._procs.append((what, proc))
        return proc

    def close(self):
        # An exiting process can no longer show its environment, so note them all first.
        marked = set(_pids_with_env(self._needle()))
        for what, pid in reversed(self._daemon_pids):
            _terminate_pid(pid)
        for what, proc in reversed(self._procs):
            stop_process(proc)
        self.leftovers = self.kill_leftovers(marked)
        if self.leftovers:
            print(f"cleanup: ended leftover processes {self.leftovers}")
        if not self.keep_dir:
            subprocess.run(["rm", "-rf", self.dir], timeout=30, check=False)

    def _needle(self):
        return f"{MARKER}={self.id}".encode()

    def kill_leftovers(self, known=()):
        """Waits for every process of this session to end, ending stragglers by pid.
        Returns the ones that had to be ended."""
        found = []
        deadline = time.monotonic() + 3
        pending = set(known) | set(_pids_with_env(self._needle()))
        while pending:
            pending = {pid for pid in pending | set(_pids_with_env(self._needle())) if _alive(pid)}
            if time.monotonic() > deadline:
                for pid in pending:
                    found.append((pid, _comm(pid)))
                    _terminate_pid(pid, grace=1.0)
                break
            time.sleep(0.05)
        return sorted(set(found))

    def popen(self, what, argv, env_extra=None, cwd=None, **kw):
        env = dict(self.env, **(env_extra or {}))
        proc = subprocess.Popen(argv, env=env, cwd=cwd or self.dir, start_new_session=True,
                                stdin=subprocess.DEVNULL, **kw)
        return self.track(what, proc)

    def run(self, argv, timeout=10, check=True, env_extra=None, **kw):
        env = dict(self.env, **(env_extra or {}))
        result = subprocess.run(argv, env=env, cwd=self.dir, timeout=timeout,
                                capture_output=True, text=True, stdin=subprocess.DEVNULL, **kw)
        if check and result.returncode != 0:
            raise SessionError(f"{argv[0]} failed ({result.returncode}): {result.stderr.strip()}")
        return result

    # ---- services -------------------------------------------------------------------
    def start_x(self):
        read_fd, write_fd = os.pipe()
        try:
            self.popen("Xvfb", ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                "1024x768x24", "-nolisten", "tcp", "-noreset"],
                       pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                       stderr=open(os.path.join(self.dir, "xvfb.log"), "w"))
            os.close(write_fd)
            number = _read_line(read_fd, 15, "Xvfb's display number")
        finally:
            os.close(read_fd)
        self.env["DISPLAY"] = f":{number}"
        return self.env["DISPLAY"]

    def start_bus(self):
        proc = self.popen("dbus-daemon", ["dbus-daemon", "--session", "--nofork",
                                          "--print-address=1"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        address = _read_line(proc.stdout.fileno(), 10, "the session bus address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        return address

    def start_accessibility(self):
        """The accessibility bus, as a desktop session has it, so Qt exposes the window."""
        self.popen("at-spi-bus-launcher",
                   ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        # Asking org.a11y.Bus before the launcher owns the name would start a second launcher.
        def bus_ready():
            probe = self.run(["dbus-send", "--session", "--print-reply",
                              "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"],
                             check=False)
            return probe.returncode == 0 and "boolean true" in probe.stdout

        wait_until(bus_ready, 10, "the accessibility bus")
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def start_speech(self, name="speechd", default=True, again=False):
        """A recording speech-dispatcher; the session's own (default) one is what every
        process started later speaks into. Its address is the recording's `address`.
        again: the default one once more after it ended, on the same socket, recording into
        the same file."""
        if again:
            conf, rec_file = self._speech_conf
        else:
            conf, rec_file = speech_recording.write_config(self._subdir(name))
            if default:
                self._speech_conf = conf, rec_file
        run_dir = self._subdir(name + "-run")
        sock = os.path.join(run_dir, "speechd.sock")
        pid_file = os.path.join(run_dir, "speechd.pid")
        if again and os.path.exists(sock):
            os.unlink(sock)  # left by a daemon that was killed: wait for the new one's
        self.run(["speech-dispatcher", "-d", "-C", conf, "-c", "unix_socket", "-S", sock,
                  "-P", pid_file, "-t", "0", "-L", self._subdir(name + "-log")],
                 timeout=15, env_extra={"SPD_REC_FILE": rec_file,
                                        "SPD_REC_SLEEP": str(self.rec_sleep)})
        wait_until(lambda: os.path.exists(sock) and os.path.exists(pid_file), 10,
                   "speech-dispatcher's socket")

        # The daemon rewrites the pid file after it forks: wait for the pid of a live daemon.
        def daemon_pid():
            try:
                pid = int(open(pid_file).read().strip())
            except (OSError, ValueError):
                return None
            return pid if _alive(pid) and _comm(pid).startswith("speech-dispatch") else None

        pid = wait_until(daemon_pid, 5, "speech-dispatcher's pid")
        self._daemon_pids.append(("speech-dispatcher", pid))
        if again:
            self.speech_pid = pid
            return self.recording
        recording = speech_recording.Recording(rec_file)
        recording.address = f"unix_socket:{sock}"
        if default:
            self.speech_pid = pid
            self.env["SPEECHD_ADDRESS"] = recording.address
            self.recording = recording
        return recording

    def signal_speech(self, signum):
        """Sends the recording daemon a signal: to end it (it is then gone until started
        again), or to freeze (SIGSTOP) and thaw (SIGCONT) it."""
        os.kill(self.speech_pid, signum)
        if signum in (signal.SIGTERM, signal.SIGKILL):
            wait_until(lambda: not _alive(self.speech_pid), 5, "speech-dispatcher to end")
            pid_file = os.path.join(self.dir, "speechd-run", "speechd.pid")
            if os.path.exists(pid_file):  # a killed daemon leaves it behind
                os.unlink(pid_file)

    def start_site(self, site_binary, host):
        """Serves the forecast pages where the program was built to look for them."""
        name, _, port = host.rpartition(":")
        name, port = (name or host), int(port or 80)
        address = "127.0.0.1" if name in ("localhost", "127.0.0.1") else name
        if _port_taken(address, port):
            raise SessionError(
                f"port {port} on {address} is taken: the program was built to read its forecast "
                f"from {host}, so the stand-in site must listen there. Stop whatever holds the "
                f"port (ss -ltnp 'sport = :{port}') and run again.")
        log = open(os.path.join(self.dir, "site.log"), "w")
        proc = self.popen("skycall-site", [site_binary, "--listen", f"{address}:{port}"],
                          stdout=log, stderr=subprocess.STDOUT)

        def listening():
            if proc.poll() is not None:
                raise SessionError(f"skycall-site ended at once ({proc.returncode}); "
                                   f"see {log.name}")
            return _port_taken(address, port)

        wait_until(listening, 10, "skycall-site to listen")
        self.site_url = f"http://{address}:{port}"
        return proc

    def start_all(self, site_binary, host, accessibility=True):
        self.start_x()
        self.start_bus()
        if accessibility:
            self.start_accessibility()
        self.start_speech()
        self.start_site(site_binary, host)

    def screenshot(self, path, window="root"):
        self.run(["import", "-window", window, path], timeout=20, check=False)


def _pids_with_env(needle):
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if needle in f.read().split(b"\0"):
                    yield int(entry)
        except OSError:
            continue


def _comm(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return "?"


def _terminate_pid(pid, grace=3.0):
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline:
        if not _alive(pid):
            return
        time.sleep(0.02)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def _alive(pid):
    """True while any thread of pid runs: a multi-threaded daemon's main thread may end
    (and show as a zombie) well before its last thread."""
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
            continue
    return False
