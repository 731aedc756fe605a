# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end cases on a blind user's desktop: Debian's Orca reading the program, the first
start heard without a screen reader, no synthesised key reaching another program, and the
window as a low-vision user sees it at double scale."""

import os
import re
import shutil
import subprocess
import time

from . import checks, topics
from .cases import LOCATION, _key_events
from .checks import eq
from .session import wait_until

HERE = os.path.dirname(os.path.abspath(__file__))


def start_orca(run):
    """Orca with key echo off, speaking into a recording speech-dispatcher of its own."""
    session = run.session
    run.orca = session.start_speech("orca-speechd", default=False)
    prefs = os.path.join(session.dir, "orca-prefs")
    os.makedirs(prefs)
    shutil.copy(os.path.join(HERE, "orca_prefs.json"), os.path.join(prefs, "user-settings.conf"))
    argv = ["/usr/bin/python3", os.path.join(HERE, "orca_launcher.py"), f"--user-prefs={prefs}"]
    if os.environ.get("SKYCALL_ORCA_DEBUG"):
        argv.append(f"--debug-file={os.path.join(run.artifacts, 'orca-debug.txt')}")
    session.popen("orca", argv, env_extra={"SPEECHD_ADDRESS": run.orca.address},
                  stdout=open(os.path.join(session.dir, "orca.out"), "w"),
                  stderr=subprocess.STDOUT)
    run.extra_artifacts.append(os.path.join(session.dir, "orca.out"))
    wait_until(lambda: "Screen reader on." in run.orca.texts(), 20, "Orca's 'Screen reader on.'")


def with_orca(case):
    """Runs a case with Orca up before the program starts; keeps what Orca said."""
    def run_with_orca(run):
        try:
            case(run)
        finally:
            if getattr(run, "orca", None):
                shutil.copy(run.orca.path, os.path.join(run.artifacts, "orca-spoken.txt"))
                print("Orca spoke:", *run.orca.texts(), sep="\n  ")
    run_with_orca.__doc__ = case.__doc__
    return run_with_orca


def orca_on_the_list(run):
    """Waits until Orca has presented the focused list, the last thing it says of a new
    window, and fallen quiet; returns its count of texts."""
    wait_until(lambda: any(t.startswith("List with") for t in run.orca.texts()), 20,
               "Orca to present the list")
    return orca_quiet(run)


def orca_quiet(run, seconds=0.6, timeout=10):
    """Waits until Orca has said nothing new for `seconds`; returns its count of texts."""
    last = [run.orca.count(), time.monotonic()]

    def quiet():
        count = run.orca.count()
        if count != last[0]:
            last[:] = [count, time.monotonic()]
        return time.monotonic() - last[1] >= seconds

    wait_until(quiet, timeout, "Orca to fall quiet")
    return last[0]


def key_to_orca(run, key, expected, since):
    """Types a key and waits for Orca to speak `expected` at or after text `since`; returns
    the seconds from key to speech."""
    typed = time.monotonic()
    run.app.key(key)
    wait_until(lambda: expected in run.orca.texts(since), 10, f"Orca to speak {expected!r}")
    said = next(u for u in run.orca.utterances[since:] if u.text == expected)
    return said.seen_at - typed


@with_orca
def case_orca_route1(run):
    """Route 1 under Orca: Down through all twelve topics, a letter, then Up; Orca speaks each
    topic's text exactly once, in order, and the program's own voice stays silent."""
    app = run.begin(settings=checks.settings_bytes(1, 0, LOCATION), accessibility=True,
                    before_start=start_orca)
    run.wait_ready(welcome_by_voice=False, title=topics.WELCOME)
    rows = run.rows()
    since = orca_on_the_list(run)
    print("Orca before the keys:", run.orca.texts(2))
    expected = [topics.topic_text(t, rows, LOCATION) for t in range(1, 13)]
    keys = ["Down"] * 12 + ["x", "Up"]
    expected += [expected[11], expected[10]]
    lags = []
    for key, text in zip(keys, expected):
        lags.append(key_to_orca(run, key, text, since + len(lags)))
    orca_quiet(run)
    eq(run.orca.texts(since), expected, "Orca's texts after the first key")
    eq(run.rec.texts(), [topics.LOADING], "the program's own voice")
    print(f"key to Orca's speech: {min(lags) * 1000:.0f}-{max(lags) * 1000:.0f} ms")


@with_orca
def case_orca_route2(run):
    """Route 2 under Orca: the caption changes as on route 1 and the hot-key follows. The
    hot-key is no Orca command, and a synthesised key stops Orca's speech: what Orca says is
    recorded, not required."""
    app = run.begin(settings=checks.settings_bytes(2, 0, LOCATION), accessibility=True,
                    before_start=start_orca)
    run.wait_ready(welcome_by_voice=False, title=topics.WELCOME)
    rows = run.rows()
    since = orca_on_the_list(run)
    print("Orca before the keys:", run.orca.texts(2))
    for key, topic in (("Down", 1), ("Down", 2), ("x", 2), ("Up", 1)):
        app.key(key)
        app.wait_title(topics.topic_text(topic, rows, LOCATION))
        time.sleep(0.3)
    orca_quiet(run)
    print("Orca after the keys:", run.orca.texts(since))
    eq(run.rec.texts(), [topics.LOADING], "the program's own voice")


@with_orca
def case_orca_first_start(run):
    """A first start on the voice: the question is said each time the box is shown, Cancel
    included, and Orca reads the box each time."""
    app = run.begin(accessibility=True, before_start=start_orca)
    # The question follows at once and may cut the first text off before it is heard.
    wait_until(lambda: topics.PROMPT in run.rec.texts(), 20, "the question")
    assert run.rec.texts() in ([topics.LOADING, topics.PROMPT], [topics.PROMPT]), run.rec.texts()
    said = run.rec.count()
    orca_reads_the_box(run, 1)
    app.key("Escape")
    eq(run.rec.wait_for_next(said).text, topics.PROMPT, "text when the box comes back")
    orca_reads_the_box(run, 2)
    app.answer_location(LOCATION)
    app.wait_main_window()
    eq(run.rec.wait_for_next(said + 1, timeout=20).text, topics.WELCOME, "welcome text")


def orca_reads_the_box(run, times):
    def read():
        said = run.orca.texts()
        return sum(t.startswith("Location dialog") and topics.PROMPT in t for t in said) >= times

    app = run.app
    app.focus(app.find_window("Location"))
    wait_until(read, 15, f"Orca to read the question of box {times}")


def case_hotkey_focus(run):
    """Route 2 started while another program's window has the keyboard: that window sees
    none of the program's synthesised keys, before or after the program takes the focus."""
    def other_program_focused(run):
        keys_log = os.path.join(run.session.dir, "other-window-keys.txt")
        run.extra_artifacts.append(keys_log)
        run.other = run.session.popen("xev", ["xev", "-event", "keyboard", "-name", "other"],
                                      stdout=open(keys_log, "w"), stderr=subprocess.DEVNULL)
        run.other_log = keys_log
        wid = wait_until(lambda: run.session.run(["xdotool", "search", "--name", "^other$"],
                                                 check=False).stdout.split(), 10, "xev")[0]
        run.session.run(["xdotool", "windowfocus", "--sync", wid])

    app = run.begin(settings=checks.settings_bytes(2, 0, LOCATION), accessibility=True,
                    before_start=other_program_focused)
    app.find_window(topics.WELCOME)
    time.sleep(1.0)  # the welcome's releases, had they gone astray
    run.other.terminate()
    run.other.wait(timeout=5)
    eq(_key_events(run.other_log), [], "keys at the other program's window")


def case_scaled_window(run):
    """At double scale the whole window lies on the 1024x768 screen, and the current row
    stands out from the list in the desktop's highlight."""
    run.begin(settings=checks.settings_bytes(0, 0, LOCATION),
              before_start=lambda run: run.session.env.update(QT_SCALE_FACTOR="2"))
    run.wait_ready()
    geometry = run.session.run(["xdotool", "getwindowgeometry", "--shell", run.app.wid]).stdout
    g = dict(line.split("=") for line in geometry.split())
    x, y, w, h = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    assert x >= 0 and y >= 0 and x + w <= 1024 and y + h <= 768, f"window at {x},{y} {w}x{h}"
    shot = os.path.join(run.artifacts, "scaled-window.png")
    run.session.screenshot(shot, "root")
    # A column through the list, right of the rows' text and left of its scroll bar.
    contrast = highlight_contrast(run, shot, f"1x{h - 160}+{x + w - 100}+{y + 120}")
    assert contrast >= 3, f"the highlight stands out from the list by only {contrast:.2f}:1"
    print(f"window {w}x{h} at {x},{y}; highlight contrast {contrast:.1f}:1; see {shot}")


def highlight_contrast(run, image, column):
    """Contrast between the commonest colour of a column through the list (its background)
    and the next commonest (the highlighted row)."""
    histogram = run.session.run(["/usr/bin/convert", image, "-crop", column, "-format", "%c",
                                 "histogram:info:-"], timeout=20).stdout
    counts = []
    for line in histogram.splitlines():
        m = re.match(r"\s*(\d+):\s*\(\s*(\d+),\s*(\d+),\s*(\d+)", line)
        if m:
            counts.append((int(m[1]), tuple(int(v) for v in m.groups()[1:])))
    counts.sort(reverse=True)
    assert len(counts) >= 2, f"one colour only down the list: {counts}"
    (_, background), (_, patch) = counts[:2]
    lighter, darker = sorted((_luminance(background), _luminance(patch)), reverse=True)
    print(f"list background {background}, highlight {patch}")
    return (lighter + 0.05) / (darker + 0.05)


def _luminance(rgb):
    def channel(v):
        v /= 255
        return v / 12.92 if v <= 0.03928 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = map(channel, rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}
