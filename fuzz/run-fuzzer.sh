#!/usr/bin/env bash
# Runs one fuzzer for a given time from its kept inputs, in a scratch corpus so that the
# repository's corpus only changes by hand. A crash input is left in the scratch folder and
# named in the output; copy it into corpus/NAME to keep it as a regression case.
# Usage: run-fuzzer.sh FUZZER KEPT_CORPUS SECONDS
set -euo pipefail
fuzzer=$1 kept=$2 seconds=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch/corpus"' EXIT
mkdir -p "$scratch/corpus"
cp "$kept"/* "$scratch/corpus/" 2>/dev/null || true
cd "$scratch"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 "$scratch/corpus" 2>&1 | grep -E 'stat::number_of_executed_units|Done|ERROR|SUMMARY|crash-|Test unit written' || true
test "${PIPESTATUS[0]}" -eq 0
