#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Skycall and runs every test: the core suites under AddressSanitizer and
# UndefinedBehaviorSanitizer together with the fuzzers (one clang tree), then the full build's
# suites (core, integration, robustness, site) in parallel and the end-to-end cases one by one.
# The full build is the optimised one a package is made from, without debug information.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test || exit 1

jobs=$(nproc)
status=0
stage() { printf '== %s (%s)\n' "$1" "$(date +%T)"; }

stage "build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSKYCALL_TESTS=ON >/dev/null &&
  cmake --build build -j"$jobs" || exit 1
stage "sanitizer and fuzzer build"
CXX=clang++-14 cmake -S . -B build-fuzz -DSKYCALL_FUZZ=ON >/dev/null &&
  cmake --build build-fuzz -j"$jobs" || exit 1

stage "core suites under the sanitizers; every fuzzer over its kept inputs, then briefly"
(cd build-fuzz && ctest -j"$jobs" --output-on-failure --timeout 300) || status=1
stage "every suite but the end-to-end ones"
(cd build && ctest -j"$jobs" -LE e2e --output-on-failure --timeout 600) || status=1
stage "end-to-end, one case at a time"
(cd build && ctest -L e2e --output-on-failure --timeout 900) || status=1
stage "done"
exit $status
