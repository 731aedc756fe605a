#!/usr/bin/python3
"""Runs one end-to-end case against the built program.

  run_case.py --case NAME --skycall BIN --site BIN --host HOST:PORT --artifacts DIR
"""

import argparse
import os
import signal
import sys
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness.cases import CASES, Run  # noqa: E402
from harness.cases_faults import CASES as FAULT_CASES  # noqa: E402
from harness.cases_orca import CASES as ORCA_CASES  # noqa: E402

CASES = {**CASES, **ORCA_CASES, **FAULT_CASES}


class CaseTimeout(Exception):
    pass


def _on_alarm(signum, frame):
    raise CaseTimeout("the case ran out of time")


def _on_stop(signum, frame):
    raise SystemExit(f"stopped by signal {signum}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--skycall", required=True)
    parser.add_argument("--site", required=True)
    parser.add_argument("--host", default="localhost:8722")
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--time-limit", type=int, default=100,
                        help="seconds before the case gives up (it still tears down)")
    options = parser.parse_args()
    options.skycall, options.site = map(os.path.abspath, (options.skycall, options.site))

    # The test runner's own time-out kills without a word; give up first and clean up.
    signal.signal(signal.SIGALRM, _on_alarm)
    signal.signal(signal.SIGTERM, _on_stop)
    signal.signal(signal.SIGHUP, _on_stop)
    signal.alarm(options.time_limit)
    run = Run(options, options.case)
    failed = False
    try:
        CASES[options.case](run)
    except BaseException:
        failed = True
        traceback.print_exc()
    finally:
        signal.alarm(0)
        try:
            run.finish()
        except BaseException:
            failed = True
            traceback.print_exc()
    print(f"e2e.{options.case}: {'FAILED' if failed else 'passed'}; artifacts in {run.artifacts}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
