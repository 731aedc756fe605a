# SPDX-License-Identifier: GPL-3.0-or-later
"""The Debian package built, linted and installed here; /usr/bin/skycall run twice by a normal
user from a folder that user cannot write, the site started as its user unit starts it."""

import os
import pwd
import re
import shlex
import shutil
import tempfile

from .cases import check_startup_log, question_heard, settings
from .session import WELCOME, eq, sh, wait_until

USER, APP_ID = "skycall-e2e", "org.skycall.Skycall"
UNIT = "/usr/lib/systemd/user/skycall-site.service"
ENABLED_LINK = "/etc/systemd/user/default.target.wants/skycall-site.service"
TOPIC1 = "Location is set to New+York+NY.  Press Enter to change it."
# What the program may leave in the user's home: its two XDG folders and nothing else.
ALLOWED = {".config", ".config/skycall", ".config/skycall/progress.ini", ".local",
           ".local/state", ".local/state/skycall", ".local/state/skycall/debuglog.txt",
           ".local/state/skycall/myversion.txt"}


def tree(root):
    """Every path under root with its size and modification time."""
    paths = [os.path.join(d, name) for d, dirs, files in os.walk(root) for name in dirs + files]
    return {os.path.relpath(p, root): (os.lstat(p).st_size, os.lstat(p).st_mtime_ns) for p in paths}


def build_and_install(build_dir, out_dir):
    sh(["cpack", "-G", "DEB", "--config", os.path.join(build_dir, "CPackConfig.cmake"),
        "-B", out_dir], timeout=600)
    debs = [f for f in os.listdir(out_dir) if f.endswith(".deb")]
    eq(len(debs), 1, f"packages made in {out_dir}")
    deb = os.path.join(out_dir, debs[0])
    # lintian: errors fail, warnings are reported.
    lines = [line for line in sh(["lintian", "--tag-display-limit", "0", deb], 300, False)
             .stdout.splitlines() if re.match(r"[EWIXPO]: ", line)]
    print("lintian:", {kind: sum(line[0] == kind for line in lines) for kind in "EWI"},
          *lines, sep="\n  ")
    assert not any(line.startswith("E:") for line in lines), "lintian reports errors"
    sh(["apt-get", "install", "-y", "-qq", deb], timeout=600,
       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def check_installed_files():
    sh(["desktop-file-validate", f"/usr/share/applications/{APP_ID}.desktop"])
    sh(["appstreamcli", "validate", "--no-net", f"/usr/share/metainfo/{APP_ID}.metainfo.xml"], 120)
    verify = sh(["systemd-analyze", "verify", UNIT], 120, False)
    if "Failed to initialize" in verify.stderr or "not been booted" in verify.stderr:
        print(f"systemd-analyze cannot run here: {verify.stderr.strip()}")
    else:
        eq((verify.returncode, verify.stderr.strip()), (0, ""), "systemd-analyze verify")
    assert os.path.islink(ENABLED_LINK), "the package did not enable the site's user unit"
    for program in ("/usr/bin/skycall", "/usr/bin/skycall-site"):
        assert "not stripped" not in sh(["file", program]).stdout, f"{program} is not stripped"


def run_as_user(s, work):
    """First start: location asked, welcome heard, Shift+Esc saves. Second start: the
    location is kept and not asked for."""
    s.launch(cwd=work)
    question_heard(s)
    asked = s.rec.count()
    s.answer_location("New York NY")
    s.wait_main_window()
    eq(s.rec.wait_for_count(asked + 1, timeout=20).text, WELCOME, "welcome text")
    before = s.rec.count()
    s.say_key("shift+Escape", "Good bye")
    s.wait_exit()
    s.launch(cwd=work)
    s.wait_main_window()  # straight to the window: no location box first
    wait_until(lambda: s.rec.texts(before).count(WELCOME) == 1, 20, "the second welcome")
    s.say_key("Down", TOPIC1)
    s.say_key("shift+Escape", "Good bye")
    s.wait_exit()


def case_package(s, o):
    out_dir, installed = tempfile.mkdtemp(prefix="skycall-package-"), False
    try:
        build_and_install(o.build, out_dir)
        installed = True
        check_installed_files()
        if sh(["id", USER], check=False).returncode:
            sh(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", USER])
        s.run_as(pwd.getpwnam(USER).pw_uid, pwd.getpwnam(USER).pw_gid)
        home, work = s.subdir("home"), os.path.join(s.dir, "read-only")  # root's, not the user's
        os.makedirs(work)
        s.env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
        s.start_x()
        s.start_bus()
        s.start_speech()
        with open(UNIT) as f:
            argv = shlex.split(re.search(r"^ExecStart=(.*)$", f.read(), re.M)[1])
        # In auto mode the site asks the weather services first, for up to its 8 s time-out.
        s.start_site(argv, int(o.host.rpartition(":")[2]), timeout=20)
        s.binary = "/usr/bin/skycall"
        state = f"{home}/.local/state/skycall/"
        s.keep.update({n: state + n for n in ("debuglog.txt", "myversion.txt")},
                      **{"progress.ini": f"{home}/.config/skycall/progress.ini"})
        home_before, work_before = tree(home), tree(work)
        run_as_user(s, work)
        eq(tree(work), work_before, "the folder the program was started from")
        after = tree(home)
        changed = {p for p in after if after[p] != home_before.get(p)}
        assert changed <= ALLOWED, f"written outside the XDG folders: {sorted(changed - ALLOWED)}"
        eq(s.read(s.keep["progress.ini"]), settings(0, 3, "New+York+NY"), "progress.ini")
        eq(s.read(state + "myversion.txt"), b"0.3b\r\n", "myversion.txt")
        check_startup_log(s.read(state + "debuglog.txt"), reader_found=False)
    finally:
        try:
            s.close()
        finally:
            if installed:
                sh(["dpkg", "--purge", "skycall"], timeout=300)
                assert not os.path.lexists(ENABLED_LINK), "removing the package left it enabled"
            shutil.rmtree(out_dir, ignore_errors=True)
