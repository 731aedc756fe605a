#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Skycall and runs every test, in stages:
#   format      the code as clang-format and black lay it out (a packed line fails)
#   sanitizers  the core suites under AddressSanitizer and UndefinedBehaviorSanitizer, with the
#               fuzzers over their kept inputs and briefly (one clang tree)
#   suites      every suite but the end-to-end ones (core, integration, site)
#   core        the core suite alone
#   e2e         the end-to-end cases, two at a time, the package among them
#   scripts/test.sh [STAGE...]   (default: format sanitizers suites e2e)
# The full build is the optimised one a package is made from; the benchmarks are built with it,
# never run.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test || exit 1

stages=" ${*:-format sanitizers suites e2e} "
jobs=$(nproc)
status=0
stage() { printf '== %s (%s)\n' "$1" "$(date +%T)"; }
wanted() { [[ $stages == *" $1 "* ]]; }

if wanted format; then
  stage "format"
  scripts/check-format.sh
  case $? in 0 | 77) ;; *) status=1 ;; esac
fi
stage "build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSKYCALL_TESTS=ON -DSKYCALL_BENCHMARKS=ON \
  >/dev/null && cmake --build build -j"$jobs" || exit 1
if wanted sanitizers; then
  stage "sanitizer and fuzzer build"
  CXX=clang++ cmake -S . -B build-fuzz -DSKYCALL_FUZZ=ON >/dev/null &&
    cmake --build build-fuzz -j"$jobs" || exit 1
  stage "core suites under the sanitizers; every fuzzer over its kept inputs, then briefly"
  (cd build-fuzz && ctest -j"$jobs" --output-on-failure --timeout 300) || status=1
fi
if wanted suites; then
  stage "every suite but the end-to-end ones"
  (cd build && ctest -j"$jobs" -LE e2e --output-on-failure --timeout 600) || status=1
elif wanted core; then
  stage "the core suite"
  (cd build && ctest -j"$jobs" -R '^core\.' --output-on-failure --timeout 600) || status=1
fi
if wanted e2e; then
  stage "end-to-end, two cases at a time"
  (cd build && ctest -L e2e -j2 --output-on-failure --timeout 900) || status=1
fi
stage "done"
exit $status
