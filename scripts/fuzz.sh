#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every fuzzer for the given number of seconds (default 300) from its kept inputs.
# A crash input is named in the output; copy it into fuzz/corpus/NAME to keep it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
scripts/install-deps.sh
CXX=clang++ cmake -S . -B build-fuzz -DSKYCALL_FUZZ=ON -DSKYCALL_FUZZ_SECONDS="$seconds" \
  >/dev/null
cmake --build build-fuzz -j"$(nproc)"
ctest --test-dir build-fuzz -L fuzz --output-on-failure
