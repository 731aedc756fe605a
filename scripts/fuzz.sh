#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every fuzzer for the given number of seconds (default 300) from its kept inputs.
# A crash input is named in the output; copy it into fuzz/corpus/NAME to keep it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
scripts/install-deps.sh
CXX=clang++-14 cmake -S . -B build-fuzz -DSKYCALL_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)"
for name in scan normalise decode settings; do
  echo "== $name ($seconds s)"
  kept=$PWD/fuzz/corpus/$name
  [ "$name" = decode ] && kept=$PWD/tests/fixtures/pages  # the saved pages are its seeds
  fuzz/run-fuzzer.sh "$PWD/build-fuzz/fuzz/${name}_fuzzer" "$kept" "$seconds"
done
