#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs one end-to-end case (run_case.py --case NAME ...), or one command on a bare display
and bus (run_case.py -- COMMAND ARGS...), in a session torn down whatever happens."""

import argparse
import os
import signal
import sys
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness.cases import CASES  # noqa: E402
from harness.package import case_package  # noqa: E402
from harness.session import Session  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", choices=sorted([*CASES, "package"]))
    for option in ("--skycall", "--site", "--host", "--artifacts", "--build"):
        parser.add_argument(option)
    parser.add_argument("--time-limit", type=int, default=100)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    o = parser.parse_args()
    # The test runner's own time-out kills without a word; give up first (SIGALRM) and clean up.
    for signum in (signal.SIGALRM, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, lambda n, _: sys.exit(f"stopped by {signal.Signals(n).name}"))
    signal.alarm(o.time_limit)
    name = o.case or "run"
    s = Session(name, o.artifacts and os.path.join(o.artifacts, name))
    code = 0
    try:
        if o.case:
            {**CASES, "package": case_package}[o.case](s, o)
        else:
            s.start_x()
            s.start_bus()
            code = s.popen(o.command[o.command[:1] == ["--"]:], cwd=os.getcwd()).wait()
    except BaseException:
        code = 1
        traceback.print_exc()
    finally:
        signal.alarm(0)
        try:
            s.close()
        except BaseException:
            code = code or 1
            traceback.print_exc()
    where = f"; artifacts in {s.artifacts}" if s.artifacts else ""
    print(f"{name}: {'FAILED' if code else 'passed'}{where}")
    return code


if __name__ == "__main__":
    sys.exit(main())
