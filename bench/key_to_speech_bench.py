#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Time from a key typed from outside to its text at speech-dispatcher, next to spd-say of the
same text to the same daemon, in one run.

  key_to_speech_bench.py --skycall BIN --site BIN [--host HOST:PORT] [--rounds N]
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness.cases import settings  # noqa: E402
from harness.session import Session  # noqa: E402


def timed(argv, env, rec):
    """Seconds from starting the command to a new text at speech-dispatcher. The command is
    not waited for first: xdotool, for one, lingers after the key it typed."""
    before = rec.count()
    started = time.monotonic()
    proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL)
    try:
        while rec.count() == before:
            if time.monotonic() - started > 5:
                raise RuntimeError("no text reached speech-dispatcher within 5 s")
            time.sleep(0.0002)
    finally:
        proc.wait(timeout=5)
    return rec.utterances[before].seen_at - started, rec.utterances[before].text


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--skycall", required=True)
    parser.add_argument("--site", required=True)
    parser.add_argument("--host", default="localhost:8722")
    parser.add_argument("--rounds", type=int, default=20)
    options = parser.parse_args()
    options.skycall, options.site = map(os.path.abspath, (options.skycall, options.site))

    run = Session("bench")
    try:
        run.start(options, accessibility=False)
        run.launch(settings(0, 0, "12345"))
        run.wait_ready()
        run.say_key("Down", "Location is set to 12345.  Press Enter to change it.")
        text = run.rec.texts()[-1]
        env = dict(run.env)
        keys, spd = [], []
        for _ in range(options.rounds):
            # A letter repeats the current topic, so both sides speak the same text.
            seconds, said = timed(["xdotool", "key", "x"], env, run.rec)
            assert said == text, said
            keys.append(seconds)
            time.sleep(0.15)
            seconds, said = timed(["spd-say", text], env, run.rec)
            assert said == text, said
            spd.append(seconds)
            time.sleep(0.15)
    finally:
        run.close()

    def line(name, values):
        ms = sorted(v * 1000 for v in values)
        return (f"{name:<34} median {statistics.median(ms):6.2f} ms   "
                f"min {ms[0]:6.2f}   max {ms[-1]:6.2f}")

    print(f"{options.rounds} rounds, the text {text!r}")
    print(line("key typed (xdotool) -> START line", keys))
    print(line("spd-say -> START line", spd))
    print(f"ratio of medians: {statistics.median(keys) / statistics.median(spd):.2f}x "
          f"(budget 1.2x)")


if __name__ == "__main__":
    main()
