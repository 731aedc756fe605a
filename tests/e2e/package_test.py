#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The Debian package the way a user gets it: built with cpack, checked by the packaging
linters, installed on this machine, and the installed /usr/bin/skycall run twice by a normal
user from a folder that user cannot write, with the forecast site started as its user unit
starts it. The package is removed again whatever happens.

  package_test.py --build DIR --host HOST:PORT
"""

import argparse
import os
import pwd
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import checks, speech_recording, topics  # noqa: E402
from harness.checks import eq  # noqa: E402
from harness.session import Session, _port_taken, wait_until  # noqa: E402
from harness.skycall_app import SkycallApp  # noqa: E402

PACKAGE = "skycall"
USER = "skycall-e2e"
APP_ID = "org.skycall.Skycall"
UNIT = "/usr/lib/systemd/user/skycall-site.service"
ENABLED_LINK = "/etc/systemd/user/default.target.wants/skycall-site.service"
LOCATION_TYPED, LOCATION = "New York NY", "New+York+NY"
# What the program may leave in the user's home: its two XDG folders and nothing else.
ALLOWED = {".config", ".config/skycall", ".config/skycall/progress.ini", ".local",
           ".local/state", ".local/state/skycall", ".local/state/skycall/debuglog.txt",
           ".local/state/skycall/myversion.txt"}


def sh(argv, timeout=300, check=True, **kw):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=timeout,
                            stdin=subprocess.DEVNULL, **kw)
    if check and result.returncode != 0:
        raise AssertionError(f"{' '.join(argv)} failed ({result.returncode}):\n"
                             f"{result.stdout[-3000:]}{result.stderr[-3000:]}")
    return result


def build_package(build_dir, out_dir):
    sh(["cpack", "-G", "DEB", "--config", os.path.join(build_dir, "CPackConfig.cmake"),
        "-B", out_dir], timeout=600)
    debs = [f for f in os.listdir(out_dir) if f.endswith(".deb")]
    eq(len(debs), 1, f"packages made in {out_dir}")
    return os.path.join(out_dir, debs[0])


def lint(deb):
    """Errors fail; warnings are reported."""
    out = sh(["lintian", "--tag-display-limit", "0", deb], check=False, timeout=300).stdout
    lines = [line for line in out.splitlines() if re.match(r"[EWIXPO]: ", line)]
    counts = {kind: sum(line.startswith(kind + ":") for line in lines) for kind in "EWI"}
    print(f"lintian: {counts['E']} errors, {counts['W']} warnings, {counts['I']} notes")
    for line in lines:
        print("  " + line)
    assert counts["E"] == 0, "lintian reports errors"


def check_installed_files():
    sh(["desktop-file-validate", f"/usr/share/applications/{APP_ID}.desktop"])
    sh(["appstreamcli", "validate", "--no-net", f"/usr/share/metainfo/{APP_ID}.metainfo.xml"])
    verify = sh(["systemd-analyze", "verify", UNIT], check=False)
    if "Failed to initialize" in verify.stderr or "not been booted" in verify.stderr:
        print(f"systemd-analyze cannot run here: {verify.stderr.strip()}")
    else:
        eq((verify.returncode, verify.stderr.strip()), (0, ""), "systemd-analyze verify")
    assert os.path.islink(ENABLED_LINK), "the package did not enable the site's user unit"
    for program in ("/usr/bin/skycall", "/usr/bin/skycall-site"):
        assert "not stripped" not in sh(["file", program]).stdout, f"{program} is not stripped"


def user_ids():
    try:
        entry = pwd.getpwnam(USER)
    except KeyError:
        sh(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", USER])
        entry = pwd.getpwnam(USER)
    return entry.pw_uid, entry.pw_gid


class UserSession(Session):
    """A session whose every process runs as the given user, its files owned by that user."""

    def __init__(self, uid, gid):
        super().__init__("package")
        self.ids = {"user": uid, "group": gid, "extra_groups": []}
        os.chown(self.dir, uid, gid)
        for name in os.listdir(self.dir):
            os.chown(os.path.join(self.dir, name), uid, gid)

    def _subdir(self, name, mode=0o755):
        path = super()._subdir(name, mode)
        if hasattr(self, "ids"):
            os.chown(path, self.ids["user"], self.ids["group"])
        return path

    def start_speech(self):
        # The recording file is made before the daemon starts; the user's daemon writes it.
        made = speech_recording.write_config

        def owned(folder):
            conf, rec_file = made(folder)
            os.chown(rec_file, self.ids["user"], self.ids["group"])
            return conf, rec_file

        speech_recording.write_config = owned
        try:
            return super().start_speech()
        finally:
            speech_recording.write_config = made

    def popen(self, what, argv, env_extra=None, cwd=None, **kw):
        return super().popen(what, argv, env_extra, cwd, **self.ids, **kw)

    def run(self, argv, timeout=10, check=True, env_extra=None, **kw):
        return super().run(argv, timeout, check, env_extra, **self.ids, **kw)


class InstalledApp(SkycallApp):
    """The installed program, started from the given folder."""

    def __init__(self, session, work_dir):
        self.session, self.binary, self.work_dir = session, "/usr/bin/skycall", work_dir
        self.proc = self.wid = None


def start_site_as_unit_does(session, host):
    with open(UNIT) as f:
        exec_start = re.search(r"^ExecStart=(.*)$", f.read(), re.M).group(1)
    argv = shlex.split(exec_start)
    port = int(host.rpartition(":")[2])
    assert not _port_taken("127.0.0.1", port), f"port {port} is taken: stop what holds it"
    log = open(os.path.join(session.dir, "site.log"), "w")
    proc = session.popen("skycall-site", argv, stdout=log, stderr=subprocess.STDOUT)

    def listening():
        assert proc.poll() is None, f"{exec_start} ended at once; see {log.name}"
        return _port_taken("127.0.0.1", port)

    # In auto mode the site asks the weather services first, for up to its 8 s time-out.
    wait_until(listening, 20, f"{exec_start} to listen")


def tree(root):
    """Every path under root with its size and modification time."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            found[os.path.relpath(path, root)] = (st.st_size, st.st_mtime_ns)
    return found


def run_as_user(session, rec, work_dir):
    """First start: location asked, welcome heard, Shift+Esc saves. Second start: the
    location is kept and not asked for."""
    app = InstalledApp(session, work_dir)
    app.start()
    eq(rec.wait_for_count(1, timeout=20).text, topics.LOADING, "first text")
    app.answer_location(LOCATION_TYPED)
    app.wait_main_window()
    eq(rec.wait_for_count(2, timeout=20).text, topics.WELCOME, "welcome text")
    before = rec.count()
    app.key("shift+Escape")
    eq(rec.wait_for_next(before).text, "Good bye", "quit text")
    app.wait_exit()
    eq(app.proc.returncode, 0, "exit code")

    second = InstalledApp(session, work_dir)
    second.start()
    second.wait_main_window()  # straight to the window: no location box first
    wait_until(lambda: rec.texts(before).count(topics.WELCOME) == 1, 20, "the second welcome")
    before = rec.count()
    second.key("Down")
    eq(rec.wait_for_next(before).text,
       f"Location is set to {LOCATION}.  Press Enter to change it.", "first topic")
    before = rec.count()
    second.key("shift+Escape")
    eq(rec.wait_for_next(before).text, "Good bye", "second quit text")
    second.wait_exit()


def check_user_files(home, home_before, work_dir, work_before):
    eq(tree(work_dir), work_before, "the folder the program was started from")
    after = tree(home)
    changed = {p for p in after if p not in home_before or after[p] != home_before[p]}
    assert changed <= ALLOWED, f"written outside the XDG folders: {sorted(changed - ALLOWED)}"

    def read(path):
        with open(os.path.join(home, path), "rb") as f:
            return f.read()

    eq(read(".config/skycall/progress.ini"), checks.settings_bytes(0, 3, LOCATION),
       "progress.ini")
    eq(read(".local/state/skycall/myversion.txt"), b"0.3b\r\n", "myversion.txt")
    checks.check_startup_log(read(".local/state/skycall/debuglog.txt"), screen_reader_found=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--host", required=True)
    options = parser.parse_args()
    started = time.monotonic()
    out_dir = tempfile.mkdtemp(prefix="skycall-package-")
    installed = False
    try:
        deb = build_package(options.build, out_dir)
        lint(deb)
        sh(["apt-get", "install", "-y", "-qq", deb], timeout=600,
           env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        installed = True
        check_installed_files()
        uid, gid = user_ids()
        with UserSession(uid, gid) as session:
            home = os.path.join(session.dir, "home")
            os.makedirs(home)
            os.chown(home, uid, gid)
            work_dir = os.path.join(session.dir, "read-only")  # root's, not the user's
            os.makedirs(work_dir, mode=0o755)
            session.env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
            session.env.pop("XDG_STATE_HOME", None)  # the default, under HOME
            session.start_x()
            session.start_bus()
            rec = session.start_speech()
            start_site_as_unit_does(session, options.host)
            home_before, work_before = tree(home), tree(work_dir)
            try:
                run_as_user(session, rec, work_dir)
            except BaseException:
                for name in ("skycall.out", "site.log", "speechd-log"):
                    print(f"---- {name}:")
                    sh(["sh", "-c", f"cat {session.dir}/{name} {session.dir}/{name}/* | tail -20"],
                       check=False)
                raise
            check_user_files(home, home_before, work_dir, work_before)
        assert not session.leftovers, f"left behind: {session.leftovers}"
    finally:
        if installed:
            sh(["dpkg", "--purge", PACKAGE], timeout=300)
            assert not os.path.lexists(ENABLED_LINK), "removing the package left the unit enabled"
        shutil.rmtree(out_dir, ignore_errors=True)
    print(f"package test passed in {time.monotonic() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
