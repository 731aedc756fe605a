#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The measures that need a desktop session, each next to its floor in the same session: one X
display (Xvfb), one session bus with the accessibility bus, one recording speech-dispatcher and
skycall-site on loopback, all torn down at the end.

  session_bench.py --skycall BIN --site BIN --bare-window BIN --hold-bench BIN
                   --fetch-bench BIN --host HOST:PORT --out-dir DIR [--rounds N]

Writes DIR/session.json (start-up, resident memory, key to speech samples) and the Google
Benchmark results of the hold and fetch-cycle benchmarks as DIR/hold.json, DIR/fetch.json.
"""

import argparse
import json
import os
import signal
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from harness.cases import settings  # noqa: E402
from harness.session import LOADING, WELCOME, Session, eq, read_line, stop  # noqa: E402
from key_to_speech_bench import timed  # noqa: E402

LOCATION = "12345"
IDLE_SECONDS = 1.0  # after the last text of start-up, before resident memory is read
POLL_SECONDS = 0.0002
GB_REPETITIONS = "12"


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError(f"no VmRSS for {pid}")


def next_text(rec, before, started, timeout):
    """Seconds from started to the first text at speech-dispatcher after `before`, and the text."""
    deadline = time.monotonic() + timeout
    while rec.count() == before:
        if time.monotonic() > deadline:
            raise RuntimeError(f"no text reached speech-dispatcher within {timeout} s")
        time.sleep(POLL_SECONDS)
    said = rec.utterances[before]
    return said.seen_at - started, said.text


def skycall_start(session):
    """Start to "Loading the forecast." at speech-dispatcher, and the resident memory once the
    first fetch cycle is done, the welcome spoken and the program idle."""
    rec = session.rec
    before = rec.count()
    started = time.monotonic()
    session.launch(settings(0, 0, LOCATION))
    try:
        seconds, text = next_text(rec, before, started, 20)
        eq(text, LOADING, "first text")
        welcome = rec.wait_for_count(before + 2, timeout=30).text
        eq(welcome, WELCOME, "welcome text (the forecast must load)")
        time.sleep(IDLE_SECONDS)
        return seconds, resident_kb(session.app.pid)
    finally:
        stop(session.app)


def bare_window_start(session, binary):
    """Start to the first painted frame of a bare Qt window, and its resident memory."""
    started = time.monotonic()
    proc = session.popen([binary], env_extra={"QT_QPA_PLATFORM": "xcb"},
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        eq(read_line(proc.stdout.fileno(), 20, "the bare window's first frame"),
                  "painted", "bare window")
        seconds = time.monotonic() - started
        time.sleep(IDLE_SECONDS)
        return seconds, resident_kb(proc.pid)
    finally:
        stop(proc)


def spd_say_from_shell(session, text):
    rec = session.rec
    before = rec.count()
    started = time.monotonic()
    proc = session.popen(["sh", "-c", 'spd-say "$0"', text],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        seconds, said = next_text(rec, before, started, 10)
        eq(said, text, "spd-say's text")
        proc.wait(timeout=10)
        return seconds
    finally:
        stop(proc)


def start_and_memory(session, options, results):
    samples = {"skycall_start": [], "bare_window_start": [], "spd_say_shell": [],
               "skycall_kb": [], "bare_window_kb": []}
    # One round first, uncounted, so every binary and library is in the page cache.
    for counted in [False] + [True] * options.rounds:
        seconds, kb = skycall_start(session)
        paint, bare_kb = bare_window_start(session, options.bare_window)
        shell = spd_say_from_shell(session, LOADING)
        if counted:
            samples["skycall_start"].append(seconds)
            samples["skycall_kb"].append(kb)
            samples["bare_window_start"].append(paint)
            samples["bare_window_kb"].append(bare_kb)
            samples["spd_say_shell"].append(shell)
        time.sleep(0.2)
    results.update(samples)


def key_to_speech(session, options, results):
    """A letter typed from outside (it repeats the current topic) to its text at
    speech-dispatcher, next to spd-say of the same text, alternating."""
    rec = session.rec
    started = rec.count()
    session.launch(settings(0, 0, LOCATION))
    try:
        eq(rec.wait_for_count(started + 1, timeout=20).text, LOADING, "first text")
        session.wait_main_window()
        eq(rec.wait_for_count(started + 2, timeout=30).text, WELCOME,
                  "welcome text (the forecast must load)")
        before = rec.count()
        session.key("Down")
        text = rec.wait_for_count(before + 1).text
        env = dict(session.env)
        keys, spd = [], []
        for _ in range(options.rounds * 3):
            seconds, said = timed(["xdotool", "key", "x"], env, rec)
            eq(said, text, "text after the key")
            keys.append(seconds)
            time.sleep(0.15)
            seconds, said = timed(["spd-say", text], env, rec)
            eq(said, text, "spd-say's text")
            spd.append(seconds)
            time.sleep(0.15)
        results.update({"key_typed": keys, "spd_say": spd, "key_text": text})
    finally:
        stop(session.app)


def google_benchmark(session, binary, out, extra_env=None):
    session.run([binary, f"--benchmark_repetitions={GB_REPETITIONS}",
                 "--benchmark_enable_random_interleaving=true",
                 f"--benchmark_out={out}", "--benchmark_out_format=json"],
                timeout=300, env_extra=extra_env)


def main():
    parser = argparse.ArgumentParser()
    for name in ("skycall", "site", "bare-window", "hold-bench", "fetch-bench", "out-dir"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--rounds", type=int, default=10)
    options = parser.parse_args()
    for name in ("skycall", "site", "bare_window", "hold_bench", "fetch_bench", "out_dir"):
        setattr(options, name, os.path.abspath(getattr(options, name)))

    # A timeout's SIGTERM still tears the session down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("session_bench: ended by a signal"))
    results = {}
    session = Session("bench")
    try:
        session.start(options)
        print("fetch cycle against the site, beside curl ...", flush=True)
        google_benchmark(session, options.fetch_bench, os.path.join(options.out_dir, "fetch.json"))
        print("processor time while holding, the real window under Xvfb ...", flush=True)
        google_benchmark(session, options.hold_bench, os.path.join(options.out_dir, "hold.json"),
                         {"QT_QPA_PLATFORM": "xcb"})
        print(f"start-up and resident memory, {options.rounds} rounds ...", flush=True)
        start_and_memory(session, options, results)
        print(f"key typed to speech, {options.rounds * 3} rounds ...", flush=True)
        key_to_speech(session, options, results)
        results["cores"] = os.cpu_count()
    finally:
        session.close()  # fails on a process left behind
    with open(os.path.join(options.out_dir, "session.json"), "w") as f:
        json.dump(results, f, indent=1)
    for name in ("skycall_start", "bare_window_start", "spd_say_shell", "key_typed", "spd_say"):
        print(f"  {name:<18} median {statistics.median(results[name]) * 1000:8.2f} ms")


if __name__ == "__main__":
    main()
