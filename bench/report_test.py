#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The budget table from made-up results: which floor a row is judged against, where the
budget line falls, that a failed benchmark stops the report, and that notes written by hand in
results.md outlive a new run."""

import contextlib
import json
import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import report  # noqa: E402


def gb_file(folder, name, runs):
    """A Google Benchmark JSON file with a median aggregate per run: (name, real_time, unit,
    extra fields)."""
    entries = [
        dict(
            {
                "name": f"{run}_median",
                "run_name": run,
                "run_type": "aggregate",
                "aggregate_name": "median",
                "real_time": time,
                "time_unit": unit,
            },
            **extra,
        )
        for run, time, unit, extra in runs
    ]
    with open(os.path.join(folder, name), "w") as f:
        json.dump({"benchmarks": entries}, f)


class Results:
    """One run's files, each measure given in the table's own unit."""

    def __init__(
        self,
        folder,
        scan_mbs=4000,
        key_us=0.4,
        typed=6.0,
        spd=5.0,
        start=40.0,
        paint=30.0,
        shell=8.0,
        cycle=0.4,
        curl=0.5,
        core_percent=0.1,
        rss_mb=40,
        bare_mb=25,
        orca=20.0,
        orca_list=160.0,
    ):
        page_bytes = 400_000
        gb_file(
            folder,
            "forecast.json",
            [
                (
                    "BM_ScanAndNormalise",
                    page_bytes / scan_mbs * 1000,
                    "ns",
                    {"bytes_per_second": scan_mbs * 1e6},
                ),
                ("BM_DecodeScanAndNormalise", 300_000, "ns", {"bytes_per_second": 1.3e9}),
                ("BM_MemchrFloor", 4_000, "ns", {"bytes_per_second": page_bytes / 4e-6}),
            ],
        )
        gb_file(folder, "key.json", [("BM_DownKeyToVoice", key_us * 1000, "ns", {})])
        gb_file(
            folder,
            "fetch.json",
            [
                ("BM_FetchCycle/real_time", cycle, "ms", {}),
                ("BM_CurlFourGetsFloor/manual_time", curl * 1000, "us", {}),
            ],
        )
        gb_file(
            folder,
            "hold.json",
            [
                (
                    "BM_HoldHalfSecond/iterations:4/real_time",
                    501,
                    "ms",
                    {"core_percent": core_percent},
                )
            ],
        )
        session = {
            # Three samples each, the median in the middle.
            "key_typed": [typed / 1000 * f for f in (0.9, 1, 1.5)],
            "spd_say": [spd / 1000 * f for f in (0.8, 1, 1.1)],
            "key_typed_a11y": [typed / 1000 * 1.2] * 3,
            "spd_say_a11y": [spd / 1000] * 3,
            "orca_key": [orca / 1000 * f for f in (1.2, 1, 0.7)],
            "orca_list": [orca_list / 1000 * f for f in (0.9, 1.3, 1)],
            "skycall_start": [start / 1000 * f for f in (1, 0.9, 2)],
            "bare_window_start": [paint / 1000] * 3,
            "spd_say_shell": [shell / 1000] * 3,
            "skycall_kb": [rss_mb * 1024] * 3,
            "bare_window_kb": [bare_mb * 1024] * 3,
            "key_text": "Location is set to 12345.  Press Enter to change it.",
            "cores": 2,
        }
        with open(os.path.join(folder, "session.json"), "w") as f:
            json.dump(session, f)


def row(rows, start):
    return next(r for r in rows if r.what.startswith(start))


class ReportTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.dir = self.folder.name

    def tearDown(self):
        self.folder.cleanup()

    def rows(self, **measures):
        Results(self.dir, **measures)
        return report.build_rows(self.dir)[0]

    def test_each_budget_at_its_line(self):
        # (row, measures just inside, measures just outside)
        cases = [
            ("scan", {"scan_mbs": 1000}, {"scan_mbs": 999}),
            ("key press", {"key_us": 49.9}, {"key_us": 50}),
            ("key typed", {"typed": 6.0, "spd": 5.0}, {"typed": 6.1, "spd": 5.0}),
            ("Orca", {"orca": 24.0, "orca_list": 20.0}, {"orca": 24.1, "orca_list": 20.0}),
            ("process start", {"start": 45.0, "paint": 30.0}, {"start": 45.3, "paint": 30.0}),
            ("one fetch", {"cycle": 0.75, "curl": 0.5}, {"cycle": 0.76, "curl": 0.5}),
            ("processor", {"core_percent": 4.9}, {"core_percent": 5.0}),
            ("resident", {"rss_mb": 59.9}, {"rss_mb": 60}),
        ]
        for name, inside, outside in cases:
            with self.subTest(name):
                self.assertTrue(row(self.rows(**inside), name).passed)
                self.assertFalse(row(self.rows(**outside), name).passed)

    def test_start_is_judged_against_the_larger_floor(self):
        for paint, shell, floor in ((30.0, 8.0, 30.0), (5.0, 12.0, 12.0)):
            with self.subTest(paint=paint, shell=shell):
                start = row(self.rows(start=24.0, paint=paint, shell=shell), "process start")
                self.assertEqual(start.floor, floor)
                self.assertAlmostEqual(start.ratio, 24.0 / floor)

    def test_scan_ratio_is_the_time_over_memchr(self):
        scan = row(self.rows(scan_mbs=4000), "scan")
        self.assertAlmostEqual(scan.ratio, 100e9 / 4000e6)

    def test_a_benchmark_that_reported_an_error_stops_the_report(self):
        Results(self.dir)
        gb_file(
            self.dir,
            "key.json",
            [
                (
                    "BM_DownKeyToVoice",
                    400,
                    "ns",
                    {"error_occurred": True, "error_message": "did not give 48 rows"},
                )
            ],
        )
        with self.assertRaisesRegex(RuntimeError, "48 rows"):
            report.build_rows(self.dir)

    def test_notes_written_by_hand_outlive_a_new_run(self):
        Results(self.dir)
        out = os.path.join(self.dir, "results.md")
        notes = "## Notes\n\nWhat holds the start back.\n"
        with open(out, "w") as f:
            f.write("# an older table\n\n" + notes)
        with open(os.devnull, "w") as quiet, contextlib.redirect_stdout(quiet):
            report.main(["--results", self.dir, "--out", out])
        with open(out) as f:
            text = f.read()
        self.assertNotIn("an older table", text)
        self.assertTrue(text.endswith(notes))
        self.assertIn("| resident memory", text)


if __name__ == "__main__":
    unittest.main()
