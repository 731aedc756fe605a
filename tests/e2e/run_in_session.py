#!/usr/bin/python3
"""Runs one command inside a fresh X display and private session bus, then tears both down.

  run_in_session.py [--timeout S] -- COMMAND ARGS...
"""

import argparse
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness.session import Session  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    with Session("run") as session:
        session.start_x()
        session.start_bus()
        proc = session.popen(command[0], command, cwd=os.getcwd())
        try:
            code = proc.wait(timeout=args.timeout)
        except subprocess.TimeoutExpired:
            print(f"{command[0]} did not finish within {args.timeout} s", file=sys.stderr)
            code = 124
    if session.leftovers:
        print(f"processes left behind: {session.leftovers}", file=sys.stderr)
        code = code or 1
    return code


if __name__ == "__main__":
    sys.exit(main())
