#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The measures that need a desktop, each beside its floor on the same desktop. The desktops
are the end-to-end cases' own (tests/e2e/run_case.py, driven in the grammar of cases.txt): an X
display, a session bus with the accessibility bus, a speech-dispatcher whose output module logs
each text with the time it began, skycall-site on loopback; every process ended at the end.

  session_bench.py --skycall BIN --site BIN --bare-window BIN --hold-bench BIN
                   --fetch-bench BIN --host HOST:PORT --out-dir DIR [--artifacts DIR]
                   [--rounds N] [--orca-keys N] [--only fetch,hold,start,key,orca,soak]

The first desktop (no screen reader) runs the fetch-cycle and hold benchmarks (DIR/fetch.json,
DIR/hold.json), then start-up and resident memory beside a bare Qt window, then a letter typed
to the voice route's text beside spd-say. The second runs the real Orca with the program on the
caption route: Down typed to Orca's speech of the new topic, beside the same Orca speaking the
next item of a plain Qt list after Down. The samples go to DIR/session.json, in seconds and kB.
Times of speech are those the output module logged; --only runs a part, for a look by hand.
"--only soak", by hand only, squeezes a day of use onto a desktop of its own: keys and location
changes typed at the program, then requests to the site; it prints their processes' counts.
"""

import argparse
import http.client
import json
import os
import re
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import types

sys.dont_write_bytecode = True  # nothing written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from run_case import Failed, Run, end, same, wait_until  # noqa: E402

WHERE = "session_bench"  # what the runner's step lines name as the place of a step
IDLE_SECONDS = 1.0  # after the last text of start-up, before resident memory is read
QUIET_SECONDS = 0.6  # no new text for this long: Orca has said what a focus change made it say
GB_REPETITIONS = "12"
MEASURES = ("fetch", "hold", "start", "key", "orca")
SOAK_KEYS, SOAK_CHANGES, SOAK_REQUESTS = 4000, 40, 6000
SOAK_REFRESHES = 1440  # a day of them, one a minute


class Spoken:
    """The output module's START lines, each (epoch seconds, text), read on where the last read
    ended; the time is when the module began the text, taken by the module itself."""

    def __init__(self, run):
        self.path, self.offset, self.starts = run.keep["spoken.txt"], 0, []

    def read(self):
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            data = f.read()
        data = data[: data.rfind(b"\n") + 1]  # whole lines only
        self.offset += len(data)
        for line in data.decode("utf-8", "replace").splitlines():
            if start := re.match(r"^START (\S+) -?\d+ (.*)$", line):
                self.starts.append((float(start[1]), start[2]))
        return self.starts

    def first(self, since, wanted, what, timeout=10):
        """The first START from index `since` on whose text wanted() accepts."""
        return wait_until(
            lambda: next((s for s in self.read()[since:] if wanted(s[1])), None),
            timeout,
            what,
            0.002,
        )

    def quiet(self, seconds=QUIET_SECONDS, timeout=20):
        """Until nothing new has been logged for `seconds`."""
        size, since, deadline = -1, time.monotonic(), time.monotonic() + timeout
        while time.monotonic() - since < seconds:
            if time.monotonic() > deadline:
                raise Failed(f"speech never stopped for {seconds} s: {self.read()[-3:]}")
            if (now := os.path.getsize(self.path)) != size:
                size, since = now, time.monotonic()
            time.sleep(0.05)


def timed(spoken, start, wanted, what):
    """Seconds from starting a command to the first text it brought that wanted() accepts, and
    the text. The command is not waited for first: xdotool lingers after the key it typed."""
    since = len(spoken.read())
    began = time.time()  # the module logs epoch time
    proc = start()
    try:
        at, text = spoken.first(since, wanted, what)
    finally:
        proc.wait(timeout=10)
    return at - began, text


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        return int(next(line for line in f if line.startswith("VmRSS:")).split()[1])


def painted(proc, what):
    """Waits for the bare window's first frame."""
    ready = select.select([proc.stdout], [], [], 20)[0]
    same(ready and proc.stdout.readline().strip(), b"painted", f"{what}'s first frame")


# ---- the first desktop: no screen reader ---------------------------------------------------
def google_benchmark(run, binary, out, env=None):
    proc = run.popen(
        [
            binary,
            f"--benchmark_repetitions={GB_REPETITIONS}",
            "--benchmark_enable_random_interleaving=true",
            f"--benchmark_out={out}",
            "--benchmark_out_format=json",
        ],
        env,
    )
    same(proc.wait(timeout=300), 0, f"{os.path.basename(binary)}'s exit status")


def skycall_start(run, spoken):
    """Process start to "Loading the forecast." at the output module, and the resident memory
    once the welcome (after the first fetch cycle) is said and the program idle."""
    since = len(spoken.read())
    began = time.time()
    run.step(WHERE, "start")
    run.step(WHERE, "expect said | {WELCOME}")
    at, first = spoken.read()[since]
    same(first, run.expand("{LOADING}"), "the first text")
    time.sleep(IDLE_SECONDS)
    kb = resident_kb(run.app.pid)
    run.step(WHERE, "close")
    return at - began, kb


def bare_window_start(run, binary):
    """Start to the first painted frame of a bare Qt window, and its resident memory."""
    began = time.monotonic()
    proc = run.popen(
        [binary], {"QT_QPA_PLATFORM": "xcb"}, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL
    )
    try:
        painted(proc, "the bare window")
        seconds = time.monotonic() - began
        time.sleep(IDLE_SECONDS)
        return seconds, resident_kb(proc.pid)
    finally:
        end(proc.pid)
        proc.wait()


def start_and_memory(run, spoken, options, results):
    loading = run.expand("{LOADING}")
    shell = lambda: run.popen(["sh", "-c", 'spd-say "$0"', loading])  # noqa: E731
    samples = {
        n: []
        for n in (
            "skycall_start",
            "skycall_kb",
            "bare_window_start",
            "bare_window_kb",
            "spd_say_shell",
        )
    }
    # One round first, uncounted, so that every binary and library is in the page cache.
    for counted in [False] + [True] * options.rounds:
        start, kb = skycall_start(run, spoken)
        paint, bare_kb = bare_window_start(run, options.bare_window)
        said, _ = timed(spoken, shell, lambda t: t == loading, "spd-say's text")
        for name, value in zip(samples, (start, kb, paint, bare_kb, said)):
            counted and samples[name].append(value)
        time.sleep(0.2)
    results.update(samples)


def key_to_speech(run, spoken, options, results, suffix=""):
    """A letter typed from outside (it repeats the current topic) to its text at the output
    module, beside spd-say of the same text, alternating; the voice route."""
    run.step(WHERE, "start")
    run.step(WHERE, "expect said | {WELCOME}")
    run.step(WHERE, "key Down")  # the keyboard to the window, and the first topic
    run.step(WHERE, "expect said | {T1 12345}")
    text = run.expand("{T1 12345}")
    typed, spd = [], []
    for _ in range(options.rounds * 3):
        for samples, argv in ((typed, ["xdotool", "key", "x"]), (spd, ["spd-say", text])):
            seconds, said = timed(spoken, lambda: run.popen(argv), lambda _: True, argv[0])
            same(said, text, f"the text after {argv[0]}")
            samples.append(seconds)
            time.sleep(0.15)
    run.step(WHERE, "close")
    results.update({"key_typed" + suffix: typed, "spd_say" + suffix: spd, "key_text": text})


# ---- a day of use, by hand -----------------------------------------------------------------
def counts(pid):
    """Resident memory (kB), threads and open files of a process."""
    with open(f"/proc/{pid}/status") as f:
        status = dict(line.split(":", 1) for line in f)
    kb, threads = int(status["VmRSS"].split()[0]), int(status["Threads"])
    return {"kb": kb, "threads": threads, "files": len(os.listdir(f"/proc/{pid}/fd"))}


def soak(run, options, results):
    """SOAK_KEYS keys and SOAK_CHANGES location changes typed at the program on the voice route,
    its counts after the first tenth (warm) and at the end; then SOAK_REQUESTS requests to the
    site, four a connection as the program asks them, its counts before and after and each
    request's time."""
    run.step(WHERE, "saved voice | 0 | 12345")
    run.step(WHERE, "start")
    run.step(WHERE, "expect said | {WELCOME}")
    run.step(WHERE, "key Down")  # the keyboard to the window
    program = {}
    for part in ("warm", "end"):
        share = 10 if part == "warm" else 10 / 9
        for _ in range(int(SOAK_KEYS / share / 100)):
            run.run(["xdotool", "key", "--delay", "5"] + ["Down", "Up"] * 50, 60)
        for n in range(int(SOAK_CHANGES / share)):
            run.step(WHERE, "key " + " ".join(["Up"] * 12))  # the first topic
            run.step(WHERE, "key Return")
            run.step(WHERE, f"answers {n + 10000}")
            run.step(WHERE, f"expect said | Location changed to {n + 10000}")
            time.sleep(0.7)  # the change's half-second hold refuses another
        time.sleep(IDLE_SECONDS)
        program[part] = counts(run.app.pid)
    # A day of refreshes, each asked for as after a suspend; each is awaited at the site.
    asked = os.path.join(run.dir, "site.log")
    for n in range(SOAK_REFRESHES):
        before = open(asked).read().count("GET /weather/right-now/")
        run.step(WHERE, "wake")

        def refreshed():
            return open(asked).read().count("GET /weather/right-now/") > before

        wait_until(refreshed, 10, "a refresh")
        if n == SOAK_REFRESHES // 10 - 1:
            program["refresh_warm"] = counts(run.app.pid)
    time.sleep(IDLE_SECONDS)
    program["refresh_end"] = counts(run.app.pid)
    run.step(WHERE, "close")
    site = run.named("skycall-site")[0]
    # A build from before sites published their addresses listens on the host it asks.
    host, port = run.published() if hasattr(run, "published") else ("127.0.0.1", None)
    port = port or int(options.host.rpartition(":")[2])
    before, seconds = counts(site), []
    for n in range(SOAK_REQUESTS // 4):
        connection = http.client.HTTPConnection(host, port, timeout=10)
        for page in ("right-now", "today", "tomorrow", "tenday"):
            began = time.perf_counter()
            connection.request("GET", f"/weather/{page}/{n % 500 + 10000}")
            answer = connection.getresponse()
            same(answer.status, 200, "the site's answer")
            answer.read()
            seconds.append(time.perf_counter() - began)
        connection.close()
    time.sleep(IDLE_SECONDS)  # the site closes its end
    results.update(soak_program=program, soak_site={"before": before, "after": counts(site)})
    results["soak_request"] = seconds
    print(f"  program {program}\n  site {results['soak_site']}", flush=True)


# ---- the second desktop: the real Orca -----------------------------------------------------
def orca_keys(run, options, results):
    """Down typed at the program on the caption route to Orca's speech of the new topic, beside
    Down typed at a plain Qt list to Orca's speech of its next item, in turn. Before each key
    the keyboard moves to that window, Orca says so, and its words on the move end first: every
    key, on either side, comes in the same state."""
    run.step(WHERE, "saved caption | 0 | 12345")
    run.step(WHERE, "start")
    run.step(WHERE, "expect heard | {WELCOME}")
    run.step(WHERE, "expect rows")  # the topics' texts are made of them
    run.step(WHERE, "focus")
    program, spoken = run.wid, Spoken(run)
    items = max(options.orca_keys + 2, 49)  # not the program's 48: Orca names the count
    since = len(spoken.read())
    bare = run.popen(
        [options.bare_window, "--list", str(items)],
        {"QT_QPA_PLATFORM": "xcb"},
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL,
    )
    painted(bare, "the bare list")
    listed = run.window("Bare list")
    # Until Orca has taken the new window as the active one, it does not follow a later move.
    spoken.first(since, lambda said: said == f"List with {items} items.", "Orca on the bare list")
    topic, item, samples = 0, 1, {"orca_key": [], "orca_list": []}

    def key(name, text):
        return timed(
            spoken,
            lambda: run.popen(["xdotool", "key", name]),
            lambda said: text in said,
            f"Orca to say {text!r}",
        )[0]

    def focus(wid, rows):
        since = len(spoken.read())
        run.run(["xdotool", "windowfocus", "--sync", wid], 5)
        spoken.first(since, lambda said: said == f"List with {rows} items.", "Orca on the move")
        spoken.quiet()

    for _ in range(options.orca_keys):
        focus(program, 48)
        if topic == 12:  # the last topic: back to the first, uncounted
            while topic > 1:
                topic -= 1
                key("Up", run.expand(f"{{T{topic} 12345}}"))
            spoken.quiet()
        topic += 1
        samples["orca_key"].append(key("Down", run.expand(f"{{T{topic} 12345}}")))
        focus(listed, items)
        item += 1
        samples["orca_list"].append(key("Down", f"Bare item {item} of {items}"))
    end(bare.pid)
    bare.wait()
    results.update(samples)


def session(options, case, flags, parts):
    """One desktop, the parts run on it in turn, every process ended at the end."""
    run = Run(
        types.SimpleNamespace(
            case=case,
            skycall=options.skycall,
            site=options.site,
            host=options.host,
            build=options.build,
            artifacts=options.artifacts,
            time_limit=options.time_limit,
        )
    )
    print(f"== {case}: artifacts in {run.artifacts}", flush=True)
    try:
        run.step(WHERE, f"desktop {flags}")
        for part in parts:
            part(run)
    finally:
        run.close()


def main():
    parser = argparse.ArgumentParser()
    for name in ("skycall", "site", "bare-window", "hold-bench", "fetch-bench", "out-dir"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--artifacts", help="where each desktop's logs are kept")
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("--orca-keys", type=int, default=15)
    parser.add_argument("--only", default=",".join(MEASURES))
    options = parser.parse_args()
    only = set(options.only.split(","))
    if only - set(MEASURES + ("soak",)):
        parser.error(f"--only takes some of {','.join(MEASURES)},soak")
    for name in ("skycall", "site", "bare_window", "hold_bench", "fetch_bench", "out_dir"):
        setattr(options, name, os.path.abspath(getattr(options, name)))
    options.artifacts = os.path.abspath(
        options.artifacts or tempfile.mkdtemp(prefix="skycall-bench-artifacts-")
    )
    options.build = os.path.dirname(options.skycall)
    options.time_limit = 0  # the runner's own limit is its main()'s; bench.sh sets one outside

    # A timeout's signal still ends every process the desktops started.
    for signum in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(signum, lambda n, _: sys.exit(f"session_bench: {signal.Signals(n).name}"))
    results, out = {"cores": os.cpu_count()}, options.out_dir

    def fetch(run):
        print("fetch cycle against the site, beside curl ...", flush=True)
        google_benchmark(run, options.fetch_bench, os.path.join(out, "fetch.json"))

    def hold(run):
        print("processor time while holding, the real window on the display ...", flush=True)
        google_benchmark(
            run, options.hold_bench, os.path.join(out, "hold.json"), {"QT_QPA_PLATFORM": "xcb"}
        )

    def start(run):
        print(f"start-up and resident memory, {options.rounds} rounds ...", flush=True)
        run.step(WHERE, "saved voice | 0 | 12345")
        start_and_memory(run, Spoken(run), options, results)

    def key(run, suffix=""):
        print(f"key typed to speech{suffix}, {options.rounds * 3} rounds ...", flush=True)
        run.step(WHERE, "saved voice | 0 | 12345")
        key_to_speech(run, Spoken(run), options, results, suffix)

    def orca(run):
        print(f"Orca: Down to the topic beside a Qt list, {options.orca_keys} each ...", flush=True)
        orca_keys(run, options, results)

    def day(run):
        print(
            f"a day of use: {SOAK_KEYS} keys, {SOAK_CHANGES} location changes,"
            f" {SOAK_REFRESHES} refreshes ...",
            flush=True,
        )
        soak(run, options, results)

    try:
        # Key typed twice: on a plain desktop for its budget, and with the accessibility bus up,
        # where Qt hands every key to the bus's registry before the window sees it.
        first = [
            p
            for n, p in (
                ("fetch", fetch),
                ("hold", hold),
                ("start", start),
                ("key", lambda run: key(run, "_a11y")),
            )
            if n in only
        ]
        first and session(options, "session", "a11y", first)
        "key" in only and session(options, "plain", "", [key])
        "orca" in only and session(options, "orca", "a11y orca", [orca])
        "soak" in only and session(options, "soak", "logind", [day])
    except (Failed, subprocess.SubprocessError, OSError) as failure:
        sys.exit(f"session_bench: {failure}")
    with open(os.path.join(out, "session.json"), "w") as f:
        json.dump(results, f, indent=1)
    for name, values in results.items():
        if isinstance(values, list) and name.endswith("_kb"):
            print(f"  {name:<18} median {statistics.median(values) / 1024:8.1f} MB")
        elif isinstance(values, list):
            print(
                f"  {name:<18} median {statistics.median(values) * 1000:8.2f} ms"
                f"   min {min(values) * 1000:8.2f}   max {max(values) * 1000:8.2f}"
            )


if __name__ == "__main__":
    main()
