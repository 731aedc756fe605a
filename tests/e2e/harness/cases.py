# SPDX-License-Identifier: GPL-3.0-or-later
"""The end-to-end cases: skycall run in a fresh session the way a user runs it."""

import json
import os
import re
import shutil
import signal
import subprocess
import time

from .session import CAPTION, HERE, LOADING, PROMPT, WELCOME, eq, read_line, stop, wait_until

LOCATION = "12345"
TOPIC1 = f"Location is set to {LOCATION}.  Press Enter to change it."
NO_SCREEN_READER = "Jaws does not seem to be responding, Sapi on."
NOT_LOADED = "The forecast could not be loaded."
STARTUP_LOG = ["Starting program", "Loading JAWS Api", "Version is 0.3b", "Sapi is set to 0",
               "Loading settings/progress", "Adding to System Tray", "Load finished."]
with open(os.path.join(HERE, "..", "..", "fixtures", "tables", "topics.txt")) as _f:
    TOPICS = dict(line.rstrip("\n").split(" | ", 1) for line in _f if line[0] not in "#\n")


def topic(number, rows, location=LOCATION):
    def piece(m):
        return location if m[1] == "location" else (rows[int(m[1])] if int(m[1]) < len(rows)
                                                     else "")
    return re.sub(r"\{(\w+)\}", piece, TOPICS[str(number)])


def settings(route, rate, location=LOCATION, spare=b""):
    """progress.ini as saved: numbers with a blank each side (none before a minus), CR LF."""
    def number(value):
        return (f" {value} " if value >= 0 else f"{value} ").encode()
    return b"\r\n".join([number(route), number(rate), spare, location.encode()] + [b""] * 10)


def check_startup_log(data, reader_found):
    # Without a screen reader its error is the third line.
    assert data.endswith(b"\r\n"), f"log does not end with CR LF: {data!r}"
    lines = data.decode().split("\r\n")[:-1]
    error = None if reader_found else (lines.pop(2) if len(lines) == 8 else "")
    eq(lines, STARTUP_LOG, "start-up log")
    assert reader_found or re.match(r"error: .", error), f"start-up log's error line {error!r}"
    return error


def list_rows(s):
    rows = s.atspi("snapshot")["lists"][0]
    eq(len(rows), 48, f"forecast rows {rows}")
    eq([rows[i] for i in (3, 10, 17)], ["-----"] * 3, "separator rows")
    assert all(rows), f"empty rows: {rows}"
    return rows


def question_heard(s):
    # The box's question comes joined to the loading text it cuts off; that text may be cut
    # before it reaches speech-dispatcher.
    joined = f"{LOADING}  {PROMPT}"
    wait_until(lambda: joined in s.rec.texts(), 20, "the location box's question")
    assert s.rec.texts() in ([LOADING, joined], [joined]), s.rec.texts()


def tab_to_captions(s):
    s.key_title("Tab", "Screen reader")
    s.key_title("Tab", "Window eyes support")


def watch_keys(s, name, *window):
    s.keep[name] = os.path.join(s.dir, name)
    return s.popen(["xev", *window, "-event", "keyboard"], stdout=open(s.keep[name], "w"),
                   stderr=subprocess.DEVNULL)


def key_events(s, watch, name):
    # (KeyPress|KeyRelease, keysym name) that xev saw, in order, once it has ended.
    stop(watch)
    events, kind = [], None
    for line in open(s.keep[name]):
        if line.startswith(("KeyPress event", "KeyRelease event")):
            kind = line.split()[0]
        elif kind and "keysym" in line:
            events.append((kind, line.split("keysym ")[1].split(")")[0].split(", ")[1]))
            kind = None
    return events


# ---- the voice and the caption -------------------------------------------------------

def case_startup(s, o):
    """A first start: the box, the side files, the welcome; Shift+Esc saves and quits."""
    s.start(o, accessibility=False)
    s.launch()
    question_heard(s)
    eq((s.rec.utterances[0].rate, s.rec.utterances[0].volume), (30, 100),
       "rate (3 on speech-dispatcher's scale) and volume at start")
    asked = s.rec.count()
    s.answer_location("New York NY")
    s.wait_main_window()
    eq(s.rec.wait_for_count(asked + 1, timeout=20).text, WELCOME, "welcome text")
    eq(s.title(), CAPTION, "caption after start-up")
    check_startup_log(s.read("debuglog.txt"), reader_found=False)
    eq(s.read("myversion.txt"), b"0.3b\r\n", "myversion.txt")
    assert not os.path.exists(s.settings_path), "settings written before the quit command"
    typed = "Location is set to New+York+NY.  Press Enter to change it."
    s.say_key("Down", typed)
    eq(s.say_key("Prior", "Sapi faster.  " + typed).rate, 40, "rate after Page Up")
    s.screenshot()
    bye = s.say_key("shift+Escape", "Good bye")
    lag = s.wait_exit() - bye.seen_at
    assert 0.35 <= lag <= 1.5, f"program ended {lag:.2f} s after Good bye, expected about 0.5"
    eq(s.read(s.settings_path), settings(0, 4, "New+York+NY"), "progress.ini")
    print(f"ended {lag:.2f} s after 'Good bye' reached speech-dispatcher")


def case_route0_topics(s, o):
    """Route 0: every topic, in order, reaches speech-dispatcher with its exact text."""
    s.start(o, settings(0, 0))
    rows = list_rows(s)
    for number in range(1, 13):
        eq(s.say_key("Down", topic(number, rows)).rate, 0, f"rate of topic {number}")
    # No wrap-around after topic 12; any other key repeats the topic.
    for key, number in (("Down", 12), ("Up", 11), ("x", 11)):
        s.say_key(key, topic(number, rows))


def case_route0_controls(s, o):
    """Route 0: Ctrl cuts the text off; Page Up and Page Down change the voice's rate."""
    s.start(o, settings(0, 3), accessibility=False, rec_sleep=1)
    said = s.say_key("Down", TOPIC1)
    eq(said.rate, 30, "rate from the settings file")
    before = s.rec.count()
    s.key("ctrl")
    time.sleep(1.6)
    assert not said.finished, "Ctrl did not cut the topic off: it was spoken to its end"
    eq(s.rec.texts(before), [], "texts after Ctrl")
    said = s.say_key("x", TOPIC1)  # uncut, a text is heard to its end
    wait_until(lambda: s.rec.poll() and said.finished, 5, "the topic to be spoken to its end")
    for key, message, rate in (("Prior", "Sapi faster.", 40), ("Next", "Sapi slower.", 30),
                               ("Next", "Sapi slower.", 20)):
        eq(s.say_key(key, f"{message}  {TOPIC1}").rate, rate, f"rate after {key}")
    # The rate stays with the voice for every later text, not just the one after the key.
    before = s.rec.count()
    s.key("Down")
    said = s.rec.wait_for_count(before + 1)
    assert said.text.startswith("Right now we have "), said.text
    eq(said.rate, 20, "rate of the next topic")


def case_route1_caption(s, o):
    """Route 1: the window title seen from outside is each spoken text; the voice is silent."""
    s.start(o, settings(0, 0))
    rows, silent_from = list_rows(s), s.rec.count()
    s.key_title("Tab", "Screen reader")
    for number in range(1, 13):
        s.key_title("Down", topic(number, rows))
    s.key_title("Prior", "Sapi faster.  " + topic(12, rows))  # the rate's text and the topic
    s.rec.quiet_for(0.3, silent_from)


def case_route2_hotkey(s, o):
    """Route 2: the title, then the hot-key Ctrl+Shift+T to the window, which drops it."""
    s.start(o, settings(0, 0))
    silent_from = s.rec.count()
    watch = watch_keys(s, "window-keys.txt", "-id", s.wid)
    time.sleep(0.3)  # xev selects the window's key events once it runs
    s.focus()
    tab_to_captions(s)
    # Had the T been taken as a key, the topic menu would now write topic 1 into the title.
    for key, title in ((None, "Window eyes support"), ("Down", TOPIC1)):
        s.key_title(key, title)
        time.sleep(0.5)
        eq(s.title(), title, "title after the hot-key")
    s.rec.quiet_for(0.2, silent_from)
    # The observer sees each key's release and press in pairs; the presses give the order.
    events = key_events(s, watch, "window-keys.txt")
    eq([key for kind, key in events if kind == "KeyPress" and key != "Tab"],
       ["Control_L", "Shift_L", "T", "Down", "Control_L", "Shift_L", "T"],
       "keys pressed at the window (ours and the synthesised hot-key)")
    last = {key.upper(): kind for kind, key in events}
    eq([last.get(k) for k in ("CONTROL_L", "SHIFT_L", "T")], ["KeyRelease"] * 3,
       "hot-keys released")


def case_route3_screen_reader(s, o):
    """Route 3 with a screen reader on the bus: its PresentMessage receives each text."""
    s.start(o, accessibility=False)
    record = s.keep["screen-reader.txt"] = os.path.join(s.dir, "screen-reader.txt")
    stand_in = s.popen(["/usr/bin/python3", os.path.join(HERE, "present_message_service.py"),
                        "org.gnome.Orca1.Service", "/org/gnome/Orca1/Service",
                        "org.gnome.Orca1.Service", record], stdout=subprocess.PIPE)
    eq(read_line(stand_in.stdout.fileno(), 10, "the stand-in screen reader"), "ready",
       "stand-in screen reader")

    def heard():
        return [json.loads(line) for line in open(record)] if os.path.exists(record) else []

    s.launch(settings(3, 0))
    s.wait_ready(welcome_by_voice=False)
    check_startup_log(s.read("debuglog.txt"), reader_found=True)
    wait_until(lambda: heard() == [WELCOME], 10, "the welcome text at the screen reader")
    s.key("Down")
    wait_until(lambda: heard()[-1:] == [TOPIC1], 10, "topic 1 at the screen reader")
    eq(s.rec.texts(), [LOADING], "texts at speech-dispatcher")
    # Round the routes back to 3: the voice, the title twice, then the screen reader.
    s.say_key("Tab", "Sapi on")
    tab_to_captions(s)
    s.key("Tab")
    wait_until(lambda: heard()[-1:] == ["Jaws"], 10, "Jaws at the screen reader")
    s.key_title(None, CAPTION)
    eq(heard(), [WELCOME, TOPIC1, "Jaws"], "screen reader texts")


def case_route3_missing(s, o):
    """No screen reader on the bus: start-up logs the error; route 3 falls back to the voice."""
    s.start(o, settings(0, 0), accessibility=False)
    print("start-up log line:", check_startup_log(s.read("debuglog.txt"), reader_found=False))
    tab_to_captions(s)
    s.say_key("Tab", NO_SCREEN_READER)
    s.key_title(None, CAPTION)
    s.key_title("Tab", "Screen reader")


def case_accessibility(s, o):
    """Over AT-SPI: the window's name follows the caption, each change announced, rows read."""
    s.start(o)
    s.launch(settings(1, 0))
    s.wait_ready(welcome_by_voice=False, title=WELCOME)
    frames = [w["name"] for w in s.atspi("snapshot")["windows"] if w["role"] == "frame"]
    eq(frames, [WELCOME], "accessible windows")
    rows = list_rows(s)
    watch = s.atspi("watch-names", 20)
    eq(read_line(watch.stdout.fileno(), 15, "the AT-SPI watcher"), "ready", "AT-SPI watcher")
    s.key_title("Down", topic(1, rows))
    s.key("x")  # the same text again: the title changes twice so it is announced again
    time.sleep(0.3)
    s.key_title("Down", topic(2, rows))
    s.key_title("Up", topic(1, rows))
    time.sleep(0.5)
    watch.terminate()
    out, _ = watch.communicate(timeout=10)
    # Each new name travels as text; the interim title with a blank appended goes as "", which
    # a screen reader keeps without a word.
    eq([json.loads(line)["detail"] for line in out.splitlines() if line.startswith("{")],
       [topic(1, rows), "", topic(1, rows), topic(2, rows), topic(1, rows)],
       "accessible names announced")
    eq(list_rows(s), rows, "rows read again")
    s.rec.quiet_for(0.1, 1)


# ---- Orca and the desktop --------------------------------------------------------------

def orca_quiet(s, seconds=0.6, timeout=10):
    # Returns Orca's count of texts once it has said nothing new for `seconds`.
    last = [s.orca.count(), time.monotonic()]

    def quiet():
        if s.orca.count() != last[0]:
            last[:] = [s.orca.count(), time.monotonic()]
        return time.monotonic() - last[1] >= seconds

    wait_until(quiet, timeout, "Orca to fall quiet")
    return last[0]


def start_under_orca(s, o, route):
    # Until Orca has presented the list, the last thing it says of a new window.

    s.start(o)
    s.start_orca()
    s.launch(settings(route, 0))
    s.wait_ready(welcome_by_voice=False, title=WELCOME)
    rows = list_rows(s)
    wait_until(lambda: any(t.startswith("List with") for t in s.orca.texts()), 20,
               "Orca to present the list")
    since = orca_quiet(s)
    print("Orca before the keys:", s.orca.texts(2))
    return rows, since


def case_orca_route1(s, o):
    """Route 1 under Orca: each topic's text spoken once, in order; the voice silent."""
    rows, since = start_under_orca(s, o, 1)
    expected = [topic(n, rows) for n in (*range(1, 13), 12, 11)]
    lags = []
    for key, text in zip(["Down"] * 12 + ["x", "Up"], expected):
        typed = time.monotonic()
        s.key(key)
        after = since + len(lags)
        wait_until(lambda: text in s.orca.texts(after), 10, f"Orca to speak {text!r}")
        lags.append(next(u for u in s.orca.utterances[after:] if u.text == text).seen_at - typed)
    orca_quiet(s)
    eq(s.orca.texts(since), expected, "Orca's texts after the first key")
    eq(s.rec.texts(), [LOADING], "the program's own voice")
    print(f"key to Orca's speech: {min(lags) * 1000:.0f}-{max(lags) * 1000:.0f} ms")


def case_orca_route2(s, o):
    """Route 2 under Orca: the caption as on route 1; what Orca says is recorded only."""
    # The hot-key is no Orca command, and a synthesised key stops Orca's speech.
    rows, since = start_under_orca(s, o, 2)
    for key, number in (("Down", 1), ("Down", 2), ("x", 2), ("Up", 1)):
        s.key_title(key, topic(number, rows))
        time.sleep(0.3)
    orca_quiet(s)
    print("Orca after the keys:", s.orca.texts(since))
    eq(s.rec.texts(), [LOADING], "the program's own voice")


def case_orca_first_start(s, o):
    """A first start: the question said, and the box read by Orca, each time it is shown."""
    s.start(o)
    s.start_orca()
    s.launch()
    question_heard(s)
    said = s.rec.count()
    for times in (1, 2):
        s.focus(s.find_window("Location"))
        wait_until(lambda: sum(t.startswith("Location dialog") and PROMPT in t
                               for t in s.orca.texts()) >= times, 15,
                   f"Orca to read the question of box {times}")
        if times == 1:
            s.key("Escape")
            eq(s.rec.wait_for_count(said + 1).text, PROMPT, "text when the box comes back")
    s.answer_location(LOCATION)
    s.wait_main_window()
    eq(s.rec.wait_for_count(said + 2, timeout=20).text, WELCOME, "welcome text")


def case_hotkey_focus(s, o):
    """Route 2 started while another window has the keyboard: it sees none of the keys."""
    s.start(o)
    other = watch_keys(s, "other-window-keys.txt", "-name", "other")
    s.focus(s.find_window("other", 10))
    s.launch(settings(2, 0))
    s.find_window(WELCOME)
    time.sleep(1.0)  # the welcome's releases, had they gone astray
    eq(key_events(s, other, "other-window-keys.txt"), [], "keys at the other program's window")


def case_scaled_window(s, o):
    """At double scale the window lies on the screen, the current row highlighted."""
    s.start(o, accessibility=False)
    s.env["QT_SCALE_FACTOR"] = "2"
    s.launch(settings(0, 0))
    s.wait_ready()
    geometry = s.run(["xdotool", "getwindowgeometry", "--shell", s.wid]).stdout  # WINDOW=, X=...
    x, y, w, h = map(int, re.findall(r"=(-?\d+)", geometry)[1:5])
    assert x >= 0 and y >= 0 and x + w <= 1024 and y + h <= 768, f"window at {x},{y} {w}x{h}"
    s.screenshot("scaled-window.png", "root")
    # A column through the list, right of the rows' text and left of its scroll bar; its
    # commonest colour is the list's background, the next the highlighted row.
    histogram = s.run(["/usr/bin/convert", os.path.join(s.artifacts, "scaled-window.png"),
                       "-crop", f"1x{h - 160}+{x + w - 100}+{y + 120}", "-format", "%c",
                       "histogram:info:-"], timeout=20).stdout
    counts = sorted(((int(m[1]), tuple(map(int, m.groups()[1:]))) for m in re.finditer(
        r"^\s*(\d+):\s*\(\s*(\d+),\s*(\d+),\s*(\d+)", histogram, re.M)), reverse=True)
    assert len(counts) >= 2, f"one colour only down the list: {counts}"

    def luminance(rgb):
        c = [v / 255 / 12.92 if v <= 10 else ((v / 255 + 0.055) / 1.055) ** 2.4 for v in rgb]
        return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]

    lighter, darker = sorted((luminance(counts[0][1]), luminance(counts[1][1])), reverse=True)
    contrast = (lighter + 0.05) / (darker + 0.05)
    print(f"window {w}x{h} at {x},{y}; background {counts[0][1]}, highlight {counts[1][1]}")
    assert contrast >= 3, f"the highlight stands out from the list by only {contrast:.2f}:1"


# ---- a desktop that misbehaves ---------------------------------------------------------

def case_speech_daemon_faults(s, o):
    """speech-dispatcher killed, restarted, frozen and ended under the running program."""
    s.start(o, settings(0, 0), accessibility=False)

    def outlives(key):
        s.key(key)
        time.sleep(0.2)
        s.running()

    # Killed: a text for a dead daemon must not end the program; a new daemon on the same
    # socket hears the next key without a restart of the program.
    s.signal_speech(signal.SIGKILL)
    outlives("Down")
    outlives("Down")
    s.start_speech(again=True)
    s.key("Up")
    wait_until(lambda: s.rec.texts()[-1:] == [TOPIC1], 10, "speech back after the restart")
    # Frozen: the window keeps answering (the caption route needs no daemon), and the voice
    # catches up with the newest text once the daemon answers again.
    s.signal_speech(signal.SIGSTOP)
    try:
        s.key("Down")
        tab_to_captions(s)
        s.key_title("Tab", CAPTION)  # no screen reader: back to the voice
    finally:
        s.signal_speech(signal.SIGCONT)
    wait_until(lambda: s.rec.texts()[-1:] == [NO_SCREEN_READER], 10,
               "the newest text once the daemon answers again")
    # Ended for good: the caption route still speaks, and Shift+Esc still saves and quits.
    s.signal_speech(signal.SIGTERM)
    outlives("Down")
    s.key_title("Tab", "Screen reader")
    s.key("shift+Escape")
    s.wait_exit()
    eq(s.read(s.settings_path), settings(1, 0), "progress.ini")


def case_start_up_faults(s, o):
    """Side files that cannot be written, no display, the window destroyed from outside."""
    s.start(o, accessibility=False)
    # what, how it starts, what standard error must say. The shell removes its own current
    # folder, then becomes the program.
    for what, argv, reported in (
            ("folder full", [s.binary], "debuglog.txt: No space left on device"),
            ("folder gone", ["sh", "-c", 'rmdir "$PWD" && exec "$0"', s.binary],
             "the current folder cannot be read")):
        shutil.rmtree(s.work, ignore_errors=True)
        os.makedirs(s.work)
        if what == "folder full":
            for name in ("debuglog.txt", "myversion.txt"):
                os.symlink("/dev/full", os.path.join(s.work, name))
        before = s.rec.count()
        s.launch(settings(0, 0), argv)
        eq(s.rec.wait_for_count(before + 2, timeout=20).text, WELCOME, f"welcome, {what}")
        assert reported in s.output_text(), f"{what}: {s.output_text()!r}"
        s.wait_main_window()
        if what == "folder full":  # a window destroyed from outside ends it as a close does
            s.run(["xdotool", "windowclose", s.wid])
            s.wait_exit(timeout=5)
        else:
            s.key("shift+Escape")
            s.wait_exit()
    for what, display in (("console", ""), ("display that does not answer", ":4999")):
        result = s.run([s.binary], check=False, timeout=20, env_extra={"DISPLAY": display})
        eq(result.returncode, 2, f"exit status with {what}")
        lines = result.stderr.splitlines()
        eq(len(lines), 1, f"standard error with {what}: {result.stderr!r}")
        assert "graphical desktop is needed" in lines[0], lines[0]


def case_hand_edits_and_lost_site(s, o):
    """A hand-edited settings file, then a location change after the site went away."""
    s.start(o, accessibility=False)
    backup = s.settings_path + ".backup"
    with open(backup, "w") as f:
        f.write("the user's own\n")
    os.utime(backup, (time.time() - 3600,) * 2)
    s.launch(settings(5, 0, spare=b'"a,b"'))
    s.wait_ready()  # the welcome by voice: route 5 fell back to it
    s.say_key("Prior", "Sapi faster.  " + TOPIC1)
    s.say_key("Next", "Sapi slower.  " + TOPIC1)
    stop(s.site)
    before = s.rec.count()
    s.key("Return")
    s.answer_location("Nowhere")
    wait_until(lambda: any(NOT_LOADED in t for t in s.rec.texts(before)), 15, "the failure")
    eq(s.rec.texts(before)[-1], f"Location changed to Nowhere  {NOT_LOADED}", "the change")
    s.focus()
    s.say_key("Down", NOT_LOADED)  # the list is empty: no template with holes
    s.key("shift+Escape")
    s.wait_exit()
    eq(s.read(s.settings_path), settings(0, 0, "Nowhere", spare=b'"a,b"'), "progress.ini")
    assert os.path.exists(backup), "the save removed the user's progress.ini.backup"


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}
