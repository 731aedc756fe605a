"""The end-to-end cases: each starts a fresh session, runs a copy of skycall in it the way a
user would, and checks what reaches speech-dispatcher, the window title, the accessibility bus,
the stand-in screen reader and the files."""

import json
import os
import shutil
import subprocess
import time

from . import checks, topics
from .checks import eq
from .session import Session, _read_line, wait_until
from .skycall_app import SkycallApp

HERE = os.path.dirname(os.path.abspath(__file__))
LOCATION = "12345"
ORCA1 = ("org.gnome.Orca1.Service", "/org/gnome/Orca1/Service", "org.gnome.Orca1.Service")


class Run:
    """What a case gets: the tools' paths, its session and its artifacts folder."""

    def __init__(self, options, name):
        self.options = options
        self.name = name
        self.artifacts = os.path.join(options.artifacts, name)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)
        self.session = None
        self.app = None
        self.extra_artifacts = []  # further files of the session worth keeping

    def begin(self, settings=None, accessibility=False, rec_sleep=0, before_start=None):
        self.session = Session(self.name, rec_sleep=rec_sleep)
        self.session.start_all(self.options.site, self.options.host, accessibility)
        self.rec = self.session.recording
        if before_start:
            before_start(self)
        self.app = SkycallApp(self.session, self.options.skycall, settings)
        self.app.start()
        return self.app

    def wait_ready(self, welcome_by_voice=True, title=topics.CAPTION):
        """Until the window is up and the welcome text has been handed on."""
        loading = self.rec.wait_for_count(1, timeout=20)
        eq(loading.text, topics.LOADING, "first text at speech-dispatcher")
        self.app.wait_main_window(title)
        if welcome_by_voice:
            eq(self.rec.wait_for_count(2, timeout=20).text, topics.WELCOME, "welcome text")

    def say_key(self, key, expected, timeout=10):
        """Types a key and waits for the one text it should bring to speech-dispatcher."""
        before = self.rec.count()
        self.app.key(key)
        got = self.rec.wait_for_next(before, timeout)
        eq(got.text, expected, f"text after {key}")
        return got

    def rows(self):
        return self.atspi("snapshot")["lists"][0]

    def atspi(self, command, *args):
        probe = self.session.run(["/usr/bin/python3", os.path.join(HERE, "atspi_probe.py"),
                                  command, str(self.app.proc.pid), *map(str, args)], timeout=30)
        data = json.loads(probe.stdout)
        assert "error" not in data, data["error"]
        return data

    def screenshot(self):
        self.session.screenshot(os.path.join(self.artifacts, "screen.png"),
                                self.app.wid or "root")

    def finish(self):
        """Saves the artifacts and tears the session down."""
        try:
            if self.session is None:
                return
            if self.app and self.app.proc and self.app.proc.poll() is None:
                self.screenshot()
            keep = [(self.session.recording and self.session.recording.path, "spoken.txt"),
                    (os.path.join(self.session.dir, "skycall.out"), "skycall.out"),
                    (os.path.join(self.session.dir, "site.log"), "site.log")]
            if self.app:
                keep += [(self.app.work_file(n), n) for n in ("debuglog.txt", "myversion.txt")]
                keep.append((self.app.settings_path, "progress.ini"))
            keep += [(path, os.path.basename(path)) for path in self.extra_artifacts]
            for source, name in keep:
                # Only plain files: a side file may be a link to /dev/full, which reads forever.
                if source and os.path.isfile(source) and not os.path.islink(source):
                    shutil.copy(source, os.path.join(self.artifacts, name))
        finally:
            if self.session is not None:
                self.session.close()
                assert not self.session.leftovers, f"left behind: {self.session.leftovers}"


def check_row_layout(rows):
    eq(len(rows), 48, f"forecast rows {rows}")
    for i in (3, 10, 17):
        eq(rows[i], "-----", f"row {i}")
    empty = [i for i, r in enumerate(rows) if not r]
    assert not empty, f"empty rows {empty}: {rows}"


# ---- the cases -------------------------------------------------------------------------

def case_startup(run):
    """A first start without settings: the location box, the side files, the welcome text,
    then Shift+Esc saves and ends the program half a second after "Good bye"."""
    app = run.begin()
    # The box's question follows at once and may cut the first text off unheard.
    wait_until(lambda: topics.PROMPT in run.rec.texts(), 20, "the location box's question")
    assert run.rec.texts() in ([topics.LOADING, topics.PROMPT], [topics.PROMPT]), run.rec.texts()
    eq(run.rec.utterances[0].rate, 30, "rate at start (3, on speech-dispatcher's scale)")
    eq(run.rec.utterances[0].volume, 100, "volume at start")
    asked = run.rec.count()
    app.answer_location("New York NY")
    app.wait_main_window()
    eq(run.rec.wait_for_next(asked, timeout=20).text, topics.WELCOME, "welcome text")
    eq(app.title(), topics.CAPTION, "caption after start-up")
    checks.check_startup_log(app.read_work_file("debuglog.txt"), screen_reader_found=False)
    eq(app.read_work_file("myversion.txt"), b"0.3b\r\n", "myversion.txt")
    assert not os.path.exists(app.settings_path), "settings written before the quit command"

    run.say_key("Down", "Location is set to New+York+NY.  Press Enter to change it.")
    said = run.say_key("Prior",
                       "Sapi faster.  Location is set to New+York+NY.  Press Enter to change it.")
    eq(said.rate, 40, "rate after Page Up")
    run.screenshot()

    before = run.rec.count()
    app.key("shift+Escape")
    bye = run.rec.wait_for_next(before, timeout=10)
    eq(bye.text, "Good bye", "quit text")
    ended = app.wait_exit(timeout=10)
    eq(app.proc.returncode, 0, "exit code")
    lag = ended - bye.seen_at
    assert 0.35 <= lag <= 1.5, f"program ended {lag:.2f} s after Good bye, expected about 0.5"
    with open(app.settings_path, "rb") as f:
        eq(f.read(), checks.settings_bytes(0, 4, "New+York+NY"), "progress.ini")
    print(f"ended {lag:.2f} s after 'Good bye' reached speech-dispatcher")


def case_route0_topics(run):
    """Route 0: every topic, in order, reaches speech-dispatcher with its exact text."""
    run.begin(settings=checks.settings_bytes(0, 0, LOCATION), accessibility=True)
    run.wait_ready()
    rows = run.rows()
    check_row_layout(rows)
    for topic in range(1, 13):
        got = run.say_key("Down", topics.topic_text(topic, rows, LOCATION))
        eq(got.rate, 0, f"rate of topic {topic}")
    run.say_key("Down", topics.topic_text(12, rows, LOCATION))  # no wrap-around
    run.say_key("Up", topics.topic_text(11, rows, LOCATION))
    run.say_key("x", topics.topic_text(11, rows, LOCATION))  # any other key repeats it
    run.screenshot()


def case_route0_controls(run):
    """Route 0: Ctrl cuts off the text being spoken; Page Up and Page Down change the rate
    that speech-dispatcher receives. Each text takes a second to speak here."""
    app = run.begin(settings=checks.settings_bytes(0, 3, LOCATION), rec_sleep=1)
    run.wait_ready()
    run.rec.wait_for_count(2)
    topic1 = f"Location is set to {LOCATION}.  Press Enter to change it."
    got = run.say_key("Down", topic1)
    eq(got.rate, 30, "rate from the settings file")
    before = run.rec.count()
    app.key("ctrl")
    time.sleep(1.6)
    assert not got.finished, "Ctrl did not cut the topic off: it was spoken to its end"
    eq(run.rec.texts(before), [], "texts after Ctrl")

    # Uncut, a text is heard to its end.
    got = run.say_key("x", topic1)
    wait_until(lambda: run.rec.poll() and got.finished, 5, "the topic to be spoken to its end")

    for key, message, rate in (("Prior", "Sapi faster.", 40), ("Next", "Sapi slower.", 30),
                               ("Next", "Sapi slower.", 20)):
        said = run.say_key(key, f"{message}  {topic1}")
        eq(said.rate, rate, f"rate after {key}")
    # The rate stays with the voice for every later text, not just the one after the key.
    before = run.rec.count()
    app.key("Down")
    got = run.rec.wait_for_next(before)
    assert got.text.startswith("Right now we have "), got.text
    eq(got.rate, 20, "rate of the next topic")


def case_route1_caption(run):
    """Route 1: the window title seen from outside is each spoken text; the voice is silent."""
    app = run.begin(settings=checks.settings_bytes(0, 0, LOCATION), accessibility=True)
    run.wait_ready()
    rows = run.rows()
    silent_from = run.rec.count()
    app.key("Tab")
    app.wait_title("Screen reader")
    for topic in range(1, 13):
        app.key("Down")
        app.wait_title(topics.topic_text(topic, rows, LOCATION))
    app.key("Prior")  # the rate's text and the topic, as one
    app.wait_title("Sapi faster.  " + topics.topic_text(12, rows, LOCATION))
    run.screenshot()
    run.rec.quiet_for(0.3, silent_from)


def case_route2_hotkey(run):
    """Route 2: the title carries the text, and the read-title hot-key Control, Shift, T
    reaches the program's window, where it is dropped: nothing spoken, no command run.
    The accessibility bus is up, as it is wherever a screen reader runs."""
    app = run.begin(settings=checks.settings_bytes(0, 0, LOCATION), accessibility=True)
    run.wait_ready()
    silent_from = run.rec.count()
    keys_log = os.path.join(run.session.dir, "window-keys.txt")
    run.extra_artifacts.append(keys_log)
    watch = run.session.popen("xev", ["xev", "-id", app.wid, "-event", "keyboard"],
                              stdout=open(keys_log, "w"), stderr=subprocess.DEVNULL)
    time.sleep(0.3)  # xev selects the window's key events once it runs
    app.focus()
    app.key("Tab")
    app.wait_title("Screen reader")
    app.key("Tab")
    app.wait_title("Window eyes support")
    # Had the T been taken as a key, the topic menu would now write topic 1 into the title.
    time.sleep(0.5)
    eq(app.title(), "Window eyes support", "title after the hot-key")
    topic1 = f"Location is set to {LOCATION}.  Press Enter to change it."
    app.key("Down")
    app.wait_title(topic1)
    time.sleep(0.5)
    eq(app.title(), topic1, "title after the second hot-key")
    run.rec.quiet_for(0.2, silent_from)
    watch.terminate()
    watch.wait(timeout=5)
    # The observer sees each key's release and press in pairs; the presses give the order.
    events = _key_events(keys_log)
    presses = [key for kind, key in events if kind == "KeyPress" and key != "Tab"]
    eq(presses, ["Control_L", "Shift_L", "T", "Down", "Control_L", "Shift_L", "T"],
       "keys pressed at the window (ours and the synthesised hot-key)")
    last_event = {key.upper(): kind for kind, key in events}
    eq({k: last_event.get(k) for k in ("CONTROL_L", "SHIFT_L", "T")},
       {k: "KeyRelease" for k in ("CONTROL_L", "SHIFT_L", "T")}, "hot-keys released")


def _key_events(xev_log):
    """(KeyPress|KeyRelease, keysym name) from xev's output, in order."""
    events, kind = [], None
    with open(xev_log) as f:
        for line in f:
            if line.startswith(("KeyPress event", "KeyRelease event")):
                kind = line.split()[0]
            elif kind and "keysym" in line:
                name = line.split("keysym ")[1].split(")")[0].split(", ")[1]
                events.append((kind, name))
                kind = None
    return events


def _start_stand_in(run):
    record = os.path.join(run.session.dir, "screen-reader.txt")
    proc = run.session.popen("stand-in screen reader",
                             ["/usr/bin/python3", os.path.join(HERE, "present_message_service.py"),
                              *ORCA1, record], stdout=subprocess.PIPE)
    eq(_read_line(proc.stdout.fileno(), 10, "the stand-in screen reader"), "ready",
       "stand-in screen reader")
    run.screen_reader_record = record
    run.extra_artifacts.append(record)


def heard_by_screen_reader(run):
    try:
        with open(run.screen_reader_record) as f:
            return [json.loads(line) for line in f if line.strip()]
    except FileNotFoundError:
        return []


def case_route3_screen_reader(run):
    """Route 3 with a screen reader on the bus: its PresentMessage receives each text."""
    app = run.begin(settings=checks.settings_bytes(3, 0, LOCATION), before_start=_start_stand_in)
    run.wait_ready(welcome_by_voice=False)
    checks.check_startup_log(app.read_work_file("debuglog.txt"), screen_reader_found=True)
    wait_until(lambda: heard_by_screen_reader(run) == [topics.WELCOME], 10,
               "the welcome text at the screen reader")
    topic1 = f"Location is set to {LOCATION}.  Press Enter to change it."
    app.key("Down")
    wait_until(lambda: heard_by_screen_reader(run)[-1:] == [topic1], 10, "topic 1 there")
    eq(run.rec.texts(), [topics.LOADING], "texts at speech-dispatcher")
    # Round the routes back to 3: the voice, the title twice, then the screen reader.
    run.say_key("Tab", "Sapi on")
    app.key("Tab")
    app.wait_title("Screen reader")
    app.key("Tab")
    app.wait_title("Window eyes support")
    app.key("Tab")
    wait_until(lambda: heard_by_screen_reader(run)[-1:] == ["Jaws"], 10, "Jaws at the reader")
    app.wait_title(topics.CAPTION)
    eq(heard_by_screen_reader(run), [topics.WELCOME, topic1, "Jaws"], "screen reader texts")


def case_route3_missing(run):
    """Without a screen reader on the bus: start-up logs the error line, and the Tab that
    reaches route 3 falls back to the voice."""
    app = run.begin(settings=checks.settings_bytes(0, 0, LOCATION))
    run.wait_ready()
    error = checks.check_startup_log(app.read_work_file("debuglog.txt"),
                                     screen_reader_found=False)
    print(f"start-up log line: {error}")
    app.key("Tab")
    app.wait_title("Screen reader")
    app.key("Tab")
    app.wait_title("Window eyes support")
    run.say_key("Tab", topics.NO_SCREEN_READER)
    app.wait_title(topics.CAPTION)
    app.key("Tab")
    app.wait_title("Screen reader")


def case_accessibility(run):
    """Over AT-SPI, as a screen reader sees it: the window's accessible name follows the
    caption, every change announced in order, and the list's rows are readable."""
    app = run.begin(settings=checks.settings_bytes(1, 0, LOCATION), accessibility=True)
    run.wait_ready(welcome_by_voice=False, title=topics.WELCOME)
    snapshot = run.atspi("snapshot")
    frames = [w for w in snapshot["windows"] if w["role"] == "frame"]
    eq([w["name"] for w in frames], [topics.WELCOME], "accessible windows")
    rows = snapshot["lists"][0]
    check_row_layout(rows)

    watch = run.session.popen(
        "atspi watch", ["/usr/bin/python3", os.path.join(HERE, "atspi_probe.py"), "watch-names",
                        str(app.proc.pid), "20"], stdout=subprocess.PIPE, text=True)
    eq(_read_line(watch.stdout.fileno(), 15, "the AT-SPI watcher"), "ready", "AT-SPI watcher")
    topic1, topic2 = (topics.topic_text(t, rows, LOCATION) for t in (1, 2))
    app.key("Down")
    app.wait_title(topic1)
    app.key("x")  # the same text again: the title changes twice so it is announced again
    time.sleep(0.3)
    app.key("Down")
    app.wait_title(topic2)
    app.key("Up")
    app.wait_title(topic1)
    time.sleep(0.5)
    watch.terminate()
    out, _ = watch.communicate(timeout=10)
    # Each new name travels as text; the interim title with a blank appended goes as "", which
    # a screen reader keeps without a word.
    events = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
    eq([e["detail"] for e in events], [topic1, "", topic1, topic2, topic1],
       "accessible names announced")
    eq(run.atspi("snapshot")["lists"][0], rows, "rows read again")
    run.rec.quiet_for(0.1, 1)


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}
