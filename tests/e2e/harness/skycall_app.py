"""One run of a copy of the built program, driven from outside like a user would."""

import os
import re
import shutil
import subprocess
import time

from .session import SessionError, wait_until
from .topics import CAPTION


class SkycallApp:
    def __init__(self, session, binary, settings=None):
        self.session = session
        # A private copy: the program keeps progress.ini beside its executable.
        self.app_dir = os.path.join(session.dir, "app")
        self.work_dir = os.path.join(session.dir, "work")
        os.makedirs(self.app_dir, exist_ok=True)
        os.makedirs(self.work_dir, exist_ok=True)
        self.binary = os.path.join(self.app_dir, "skycall")
        shutil.copy2(binary, self.binary)
        if settings is not None:
            with open(self.settings_path, "wb") as f:
                f.write(settings)
        self.proc = None
        self.wid = None

    @property
    def settings_path(self):
        return os.path.join(self.app_dir, "progress.ini")

    def work_file(self, name):
        return os.path.join(self.work_dir, name)

    def read_work_file(self, name):
        with open(self.work_file(name), "rb") as f:
            return f.read()

    def start(self):
        self.output = open(os.path.join(self.session.dir, "skycall.out"), "w")
        self.proc = self.session.popen("skycall", [self.binary], cwd=self.work_dir,
                                       env_extra={"QT_QPA_PLATFORM": "xcb"},
                                       stdout=self.output, stderr=subprocess.STDOUT)
        self.started_at = time.monotonic()
        return self.proc

    def _check_running(self):
        if self.proc.poll() is not None:
            raise AssertionError(f"skycall ended unexpectedly with {self.proc.returncode}; "
                                 f"output: {self.output_text()!r}")

    def output_text(self):
        try:
            with open(os.path.join(self.session.dir, "skycall.out")) as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    # ---- windows and keys -----------------------------------------------------------
    def find_window(self, title, timeout=20):
        pattern = "^" + re.escape(title) + "$"

        def search():
            self._check_running()
            found = self.session.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                                     check=False, timeout=5)
            ids = found.stdout.split()
            return ids[0] if ids else None

        return wait_until(search, timeout, f"a window titled {title!r}", interval=0.05)

    def wait_main_window(self, title=CAPTION, timeout=30):
        self.wid = self.find_window(title, timeout)
        self.focus()
        return self.wid

    def focus(self, wid=None):
        self.session.run(["xdotool", "windowfocus", "--sync", wid or self.wid], timeout=5)

    def key(self, *keys):
        self._check_running()
        self.session.run(["xdotool", "key", "--delay", "20", *keys], timeout=5)

    def title(self, wid=None):
        return self.session.run(["xdotool", "getwindowname", wid or self.wid],
                                timeout=5).stdout.rstrip("\n")

    def wait_title(self, expected, timeout=5):
        last = [None]

        def matches():
            last[0] = self.title()
            return last[0] == expected

        try:
            wait_until(matches, timeout, "the title", interval=0.02)
        except SessionError:
            raise AssertionError(f"window title is {last[0]!r}, expected {expected!r}")

    def answer_location(self, text, timeout=20):
        box = self.find_window("Location", timeout)
        self.focus(box)
        self.session.run(["xdotool", "type", "--delay", "15", text], timeout=10)
        self.session.run(["xdotool", "key", "Return"], timeout=5)
        return box

    def wait_exit(self, timeout=10):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"skycall still runs {timeout} s after it was told to end")
        return time.monotonic()
