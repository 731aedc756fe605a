#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns one run's results into the budget table: each measure's median beside its floor's
median from the same run, the ratio, and the budget with pass or over. Prints the table and
writes it to results.md; a "## Notes" section already in results.md is kept as it is.

  report.py --results DIR --out bench/results.md
"""

import argparse
import datetime
import json
import os
import platform
import statistics

NOTES_HEADING = "## Notes"


def gb_median(path, run_name):
    """The median aggregate of a Google Benchmark run: real time in seconds, and the entry."""
    with open(path) as f:
        data = json.load(f)
    entries = [e for e in data["benchmarks"] if e["run_name"].startswith(run_name)]
    for entry in entries:
        if entry.get("error_occurred"):
            raise RuntimeError(f"{run_name}: {entry.get('error_message')}")
    for entry in entries:
        if entry.get("run_type") == "aggregate" and entry.get("aggregate_name") == "median":
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry["time_unit"]]
            return entry["real_time"] * scale, entry
    raise RuntimeError(f"{path} has no median for {run_name}; did it fail?")


class Row:
    def __init__(self, what, value, floor_name, floor, unit, budget, passed, ratio=None):
        self.what, self.value, self.floor_name, self.floor = what, value, floor_name, floor
        self.unit, self.budget, self.passed = unit, budget, passed
        self.ratio = ratio if ratio is not None else (value / floor if floor else None)


def fmt(value, unit):
    if value is None:
        return "–"
    digits = 0 if value >= 100 else 1 if value >= 10 else 2
    return f"{value:,.{digits}f} {unit}"


def build_rows(results):
    def path(name):
        return os.path.join(results, name)

    with open(path("session.json")) as f:
        session = json.load(f)

    def median_ms(name):
        return statistics.median(session[name]) * 1000

    rows = []
    scan, scan_entry = gb_median(path("forecast.json"), "BM_ScanAndNormalise")
    memchr, memchr_entry = gb_median(path("forecast.json"), "BM_MemchrFloor")
    scan_mbs = scan_entry["bytes_per_second"] / 1e6
    memchr_mbs = memchr_entry["bytes_per_second"] / 1e6
    rows.append(
        Row(
            "scan + normalisation, four 100 KB pages",
            scan_mbs,
            "memchr, same bytes",
            memchr_mbs,
            "MB/s",
            "at least 1,000 MB/s",
            scan_mbs >= 1000,
            ratio=scan / memchr,
        )
    )

    key, _ = gb_median(path("key.json"), "BM_DownKeyToVoice")
    rows.append(
        Row(
            "key press to text at the route, in process",
            key * 1e6,
            "none",
            None,
            "µs",
            "under 50 µs",
            key * 1e6 < 50,
        )
    )

    typed, spd = median_ms("key_typed"), median_ms("spd_say")
    rows.append(
        Row(
            "key typed (xdotool) to text at speech-dispatcher",
            typed,
            "spd-say, same text",
            spd,
            "ms",
            "within 1.2x",
            typed / spd <= 1.2,
        )
    )

    orca, listed = median_ms("orca_key"), median_ms("orca_list")
    rows.append(
        Row(
            "Orca: Down typed (xdotool) to the new topic spoken, caption route",
            orca,
            "the same Orca, next item of a Qt list",
            listed,
            "ms",
            "within 1.2x",
            orca / listed <= 1.2,
        )
    )

    start = median_ms("skycall_start")
    paint, shell = median_ms("bare_window_start"), median_ms("spd_say_shell")
    floor = max(paint, shell)
    floor_name = "bare Qt window, first frame" if paint >= shell else "spd-say from a shell"
    rows.append(
        Row(
            'process start to "Loading the forecast." at speech-dispatcher',
            start,
            floor_name,
            floor,
            "ms",
            "within 1.5x",
            start / floor <= 1.5,
        )
    )

    cycle, _ = gb_median(path("fetch.json"), "BM_FetchCycle")
    curl, _ = gb_median(path("fetch.json"), "BM_CurlFourGetsFloor")
    rows.append(
        Row(
            "one fetch cycle, skycall-site on loopback",
            cycle * 1000,
            "curl, four GETs on one connection",
            curl * 1000,
            "ms",
            "within 1.5x",
            cycle / curl <= 1.5,
        )
    )

    _, hold_entry = gb_median(path("hold.json"), "BM_HoldHalfSecond")
    share = hold_entry["core_percent"]
    rows.append(
        Row(
            "processor time while hold waits 0.5 s",
            share,
            "none",
            None,
            "% of a core",
            "under 5 %",
            share < 5,
        )
    )

    rss = statistics.median(session["skycall_kb"]) / 1024
    bare = statistics.median(session["bare_window_kb"]) / 1024
    rows.append(
        Row(
            "resident memory, idle after a full cycle",
            rss,
            "bare Qt 6 window",
            bare,
            "MB",
            "under 60 MB",
            rss < 60,
        )
    )

    details = {
        "decode": gb_median(path("forecast.json"), "BM_DecodeScanAndNormalise")[1],
        "paint": paint,
        "shell": shell,
        "rounds": len(session["skycall_start"]),
        "key_rounds": len(session["key_typed"]),
        "key_text": session["key_text"],
        "cores": session["cores"],
        "orca_keys": len(session["orca_key"]),
        "typed_a11y": median_ms("key_typed_a11y"),
        "spd_a11y": median_ms("spd_say_a11y"),
    }
    return rows, details


def table(rows):
    head = ["Measure", "Median", "Floor", "Floor median", "Ratio", "Budget", "Result"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for r in rows:
        cells = [
            r.what,
            fmt(r.value, r.unit),
            r.floor_name,
            fmt(r.floor, r.unit),
            f"{r.ratio:.2f}x" if r.ratio is not None else "–",
            r.budget,
            "pass" if r.passed else "**over**",
        ]
        lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def kept_notes(out):
    try:
        with open(out) as f:
            text = f.read()
    except OSError:
        return ""
    at = text.find("\n" + NOTES_HEADING)
    return text[at + 1 :] if at >= 0 else ""


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--results", required=True)
    parser.add_argument("--out", required=True)
    options = parser.parse_args(argv)

    rows, details = build_rows(options.results)
    body = table(rows)
    print(body)

    now = datetime.datetime.now().astimezone()
    decode_mbs = details["decode"]["bytes_per_second"] / 1e6
    text = f"""# Benchmarks against their floors

Measured by `scripts/bench.sh` on {now:%Y-%m-%d %H:%M %Z}.
Machine: {details['cores']} cores, {platform.machine()}, Linux {platform.release()}.

Every measure and its floor were taken in the same run; the ratio is the measure's time (or
memory) over the floor's, so above 1 means slower (or larger) than what the machine itself
does. Medians of several runs each.

{body}

- Scan: page bytes per second, the four pages decoded beforehand; with the decoding from the
  wire's UTF-8 as well it is {decode_mbs:,.0f} MB/s (for orientation, no budget).
- In-process key press: Down on a started program with its 48 rows, the recording fakes
  standing in for window and voice, every topic in turn.
- Key typed: the text "{details['key_text']}"
  (a letter repeats the topic), `xdotool key x` against `spd-say` of it, alternating,
  {details['key_rounds']} of each, from starting the command to the start of the text as the
  recording output module logged it, on a desktop without the accessibility bus. With the bus
  up, as wherever a screen reader runs, it is {details['typed_a11y']:.2f} ms against
  {details['spd_a11y']:.2f} ms ({details['typed_a11y'] / details['spd_a11y']:.2f}x; orientation,
  no budget): Qt hands every key to the bus's registry, so that a screen reader may take its own
  keys, before the window sees it.
- Orca: the real Orca and the program on the caption route, `xdotool key Down` to the start
  of Orca's text holding the new topic; the floor is the same Orca on the same desktop saying
  the next item of a plain QListWidget (`bare_window --list`) after Down.
  {details['orca_keys']} keys each, in turn; before each the keyboard moves to that window and
  Orca's words on the move end. Up walks the program back from the last topic, uncounted.
- Start: {details['rounds']} rounds, each the program, the bare window and the shell in
  turn. Floors: a bare Qt window's first painted frame {details['paint']:.1f} ms, `spd-say`
  from a shell {details['shell']:.1f} ms; the larger is the floor.
- Fetch cycle: a new fetcher (one new connection) per cycle, four pages, decoded, scanned and
  normalised; curl's figure is its own transfer time for the four pages, without the start of
  the curl process.
- Hold: `hold(0.5)` with the real Qt window on the X display, getrusage of the whole process.
- Memory: VmRSS one second after the welcome text, the window shown with its 48 rows.
- Two desktops, each set up as the end-to-end cases set theirs up (tests/e2e/run_case.py):
  Xvfb with a private session bus, the accessibility bus up (as wherever a screen reader runs)
  and a speech-dispatcher whose output module writes each text with its start time to a file;
  Orca runs on the second only. Every row but the Orca one comes from the first.
"""
    notes = kept_notes(options.out)
    with open(options.out, "w") as f:
        f.write(text + ("\n" + notes if notes else ""))
    failed = [r.what for r in rows if not r.passed]
    if failed:
        print("over budget: " + "; ".join(failed))


if __name__ == "__main__":
    main()
