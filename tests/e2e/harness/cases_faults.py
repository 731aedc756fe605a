# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end cases for a desktop that misbehaves: a speech-dispatcher that dies, restarts or
freezes, a current folder that cannot take the side files, no display, a window destroyed
from outside, a hand-edited settings file and a forecast site that has gone away."""

import os
import shutil
import signal
import subprocess
import time

from . import checks, topics
from .cases import LOCATION
from .checks import eq
from .session import Session, wait_until
from .skycall_app import SkycallApp

TOPIC1 = f"Location is set to {LOCATION}.  Press Enter to change it."
NOT_LOADED = "The forecast could not be loaded."


def _alive_after(run, keys):
    """Types keys one by one; the program must outlive each of them."""
    for key in keys:
        run.app.key(key)
        time.sleep(0.2)
        assert run.app.proc.poll() is None, (
            f"skycall ended ({run.app.proc.returncode}) after {key}: {run.app.output_text()!r}")


def _quit_saves(run, route, rate):
    """Shift+Esc still saves and ends the program, whatever the voice is doing."""
    run.app.key("shift+Escape")
    run.app.wait_exit(timeout=10)
    eq(run.app.proc.returncode, 0, "exit status")
    with open(run.app.settings_path, "rb") as f:
        eq(f.read(), checks.settings_bytes(route, rate, LOCATION), "progress.ini")


def case_speech_daemon_faults(run):
    """speech-dispatcher killed, restarted, frozen and ended under a running program: keys
    keep being answered, speech comes back with the daemon, Shift+Esc still quits."""
    app = run.begin(settings=checks.settings_bytes(0, 0, LOCATION))
    run.wait_ready()
    session = run.session

    # Killed: a text for a dead daemon must not end the program; a new daemon on the same
    # socket hears the next key without a restart of the program.
    session.signal_speech(signal.SIGKILL)
    _alive_after(run, ["Down", "Down"])
    session.start_speech(again=True)
    app.key("Up")
    wait_until(lambda: run.rec.texts()[-1:] == [TOPIC1], 10, "speech back after the restart")

    # Frozen: the window keeps answering (the caption route needs no daemon), and the voice
    # catches up with the newest text once the daemon answers again.
    session.signal_speech(signal.SIGSTOP)
    try:
        app.key("Down")
        app.key("Tab")
        app.wait_title("Screen reader", timeout=5)
        app.key("Tab")
        app.wait_title("Window eyes support", timeout=5)
        app.key("Tab")  # no screen reader: back to the voice
        app.wait_title(topics.CAPTION, timeout=5)
    finally:
        session.signal_speech(signal.SIGCONT)
    wait_until(lambda: run.rec.texts()[-1:] == [topics.NO_SCREEN_READER], 10,
               "the newest text once the daemon answers again")

    # Ended for good: the caption route still speaks, and Shift+Esc still saves and quits.
    session.signal_speech(signal.SIGTERM)
    _alive_after(run, ["Down"])
    app.key("Tab")
    app.wait_title("Screen reader", timeout=5)
    _quit_saves(run, 1, 0)


def _full_disk(work_dir, binary):
    for name in ("debuglog.txt", "myversion.txt"):
        os.symlink("/dev/full", os.path.join(work_dir, name))
    return [binary]


def _folder_gone(work_dir, binary):
    # The shell removes its own current folder, then becomes the program.
    return ["sh", "-c", 'rmdir "$PWD" && exec "$0"', binary]


SIDE_FILE_FAULTS = [  # what, how the folder is spoiled, what standard error must say
    ("folder full", _full_disk, "debuglog.txt: No space left on device"),
    ("folder gone", _folder_gone, "the current folder cannot be read"),
]

NO_DISPLAY = [  # what, DISPLAY
    ("console", ""),
    ("display that does not answer", ":4999"),
]


def _start_up_row(run, app, what, spoil, reported):
    app.output = open(os.path.join(run.session.dir, "skycall.out"), "w")
    before = run.rec.count()
    app.proc = run.session.popen("skycall", spoil(app.work_dir, app.binary), cwd=app.work_dir,
                                 env_extra={"QT_QPA_PLATFORM": "xcb"}, stdout=app.output,
                                 stderr=subprocess.STDOUT)
    eq(run.rec.wait_for_count(before + 2, timeout=20).text, topics.WELCOME,
       f"welcome with the {what}")
    assert reported in app.output_text(), f"{what}: {app.output_text()!r}"
    app.wait_main_window()
    if what == "folder full":
        # A window destroyed from outside ends the program as a close does.
        run.session.run(["xdotool", "windowclose", app.wid])
        app.wait_exit(timeout=5)
        eq(app.proc.returncode, 0, "exit status after the window was destroyed")
    else:
        app.key("shift+Escape")
        app.wait_exit(timeout=10)


def case_start_up_faults(run):
    """Side files that cannot be written, no display, a window destroyed from outside: the
    program says what is wrong, starts or ends as it should, and never aborts."""
    run.session = Session(run.name)
    run.session.start_all(run.options.site, run.options.host, accessibility=False)
    run.rec = run.session.recording
    for what, spoil, reported in SIDE_FILE_FAULTS:
        app = run.app = SkycallApp(run.session, run.options.skycall,
                                   checks.settings_bytes(0, 0, LOCATION))
        shutil.rmtree(app.work_dir)
        os.makedirs(app.work_dir)
        try:
            _start_up_row(run, app, what, spoil, reported)
        finally:
            shutil.rmtree(app.work_dir, ignore_errors=True)  # no side file to keep

    for what, display in NO_DISPLAY:
        result = run.session.run([run.app.binary], check=False, timeout=20,
                                 env_extra={"DISPLAY": display})
        eq(result.returncode, 2, f"exit status with {what}")
        lines = result.stderr.splitlines()
        eq(len(lines), 1, f"standard error with {what}: {result.stderr!r}")
        assert "graphical desktop is needed" in lines[0], lines[0]


def case_hand_edits_and_lost_site(run):
    """A hand-edited settings file (route 5, a comma in line 3, a user's file beside it) and
    a location change after the forecast site went away: every text heard whole."""
    spare = b'"a,b"'
    app = run.begin(settings=checks.settings_bytes(5, 0, LOCATION, spare=spare))
    backup = os.path.join(os.path.dirname(app.settings_path), "progress.ini.backup")
    with open(backup, "w") as f:
        f.write("the user's own\n")
    old = time.time() - 3600
    os.utime(backup, (old, old))
    run.wait_ready()  # the welcome by voice: route 5 fell back to it
    run.say_key("Prior", "Sapi faster.  " + TOPIC1)
    run.say_key("Next", "Sapi slower.  " + TOPIC1)

    site = next(proc for what, proc in run.session._procs if what == "skycall-site")
    site.terminate()
    site.wait(timeout=5)
    before = run.rec.count()
    app.key("Return")
    app.answer_location("Nowhere")
    wait_until(lambda: any(NOT_LOADED in t for t in run.rec.texts(before)), 15, "the failure")
    texts = run.rec.texts(before)
    eq(texts[-1], f"Location changed to Nowhere  {NOT_LOADED}", "texts of the change")
    app.focus()
    run.say_key("Down", NOT_LOADED)  # the list is empty: no template with holes

    app.key("shift+Escape")
    app.wait_exit(timeout=10)
    with open(app.settings_path, "rb") as f:
        eq(f.read(), checks.settings_bytes(0, 0, "Nowhere", spare=spare), "progress.ini")
    assert os.path.exists(backup), "the save removed the user's progress.ini.backup"


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}
