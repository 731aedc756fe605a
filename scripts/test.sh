#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Skycall and runs every test: a sanitizer build (address + undefined) of the core
# suites, the fuzzers over their kept inputs and briefly, and the full build (core,
# integration, site and end-to-end suites).
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test || exit 1

jobs=$(nproc)
status=0

cmake -S . -B build-asan -DSKYCALL_CORE_ONLY=ON -DSKYCALL_SANITIZE=ON >/dev/null &&
  cmake --build build-asan -j"$jobs" || exit 1
cmake -S . -B build -DSKYCALL_TESTS=ON >/dev/null && cmake --build build -j"$jobs" || exit 1
CXX=clang++-14 cmake -S . -B build-fuzz -DSKYCALL_FUZZ=ON >/dev/null &&
  cmake --build build-fuzz -j"$jobs" || exit 1

echo "== core suites under AddressSanitizer and UndefinedBehaviorSanitizer"
(cd build-asan && ctest --output-on-failure --timeout 300) || status=1
echo "== fuzzers: every kept input, then each fuzzer briefly"
(cd build-fuzz && ctest --output-on-failure --timeout 300) || status=1
echo "== every suite"
(cd build && ctest --output-on-failure --timeout 600) || status=1
exit $status
