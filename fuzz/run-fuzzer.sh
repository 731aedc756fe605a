#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one fuzzer for a given time from its kept inputs, in a scratch corpus so that the
# repository's corpus only changes by hand. A crash input is left in the scratch folder and
# named in the output; copy it into corpus/NAME to keep it as a regression case.
# Usage: run-fuzzer.sh FUZZER KEPT_CORPUS SECONDS
set -euo pipefail
fuzzer=$1 kept=$2 seconds=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch/corpus" "$scratch/output"' EXIT
mkdir -p "$scratch/corpus"
cp "$kept"/* "$scratch/corpus/" 2>/dev/null || true
cd "$scratch"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 "$scratch/corpus" >"$scratch/output" 2>&1 || status=$?
grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Test unit written|#[0-9]+ .* in ' \
  "$scratch/output" | grep -v 'in fuzzer::' || true
if [ "$status" -ne 0 ]; then
  echo "the fuzzer failed (status $status); its input stays in $scratch"
  exit 1
fi
