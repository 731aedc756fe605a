#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs each fuzzer long enough to matter, before a release and by hand (the test command only
# runs them briefly): RUNS executions each (default 10 million), from its kept inputs, one
# fuzzer at a time, at the lowest priority. Writes the figures to bench/fuzz-results.md. A
# crash input is named in the output; copy it into fuzz/corpus/NAME to keep it.
#   scripts/fuzz.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10000000}
scripts/install-deps.sh
CXX=clang++ cmake -S . -B build-fuzz -DSKYCALL_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)"
results=bench/fuzz-results.md
{
  echo "# Fuzzing figures"
  echo
  echo "\`scripts/fuzz.sh $runs\` on $(date -u +%F), $(nproc) cores, $(clang++ --version | head -1)."
  echo
  echo "| Fuzzer | Executions | Seconds | Executions a second | Coverage (edges) | Finding |"
  echo "|---|---|---|---|---|---|"
} >"$results.new"
status=0
for fuzzer in build-fuzz/fuzz/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  kept=fuzz/corpus/$name
  [ "$name" = decode ] && kept="$kept tests/pages"
  scratch=build-fuzz/fuzz/$name
  mkdir -p "$scratch/corpus"
  log=$scratch/long.log
  echo "== $name: $runs executions"
  started=$(date +%s)
  # shellcheck disable=SC2086
  if nice -n 19 "$fuzzer" -runs="$runs" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$scratch/" "$scratch/corpus" $kept >"$log" 2>&1; then
    finding=none
  else
    finding="$(grep -m1 -oE 'Test unit written to .*' "$log" || echo "exit status $?")"
    status=1
  fi
  seconds=$(($(date +%s) - started))
  executed=$(grep -m1 -oE '^stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')
  coverage=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+$')
  echo "| $name | $executed | $seconds | $((executed / (seconds > 0 ? seconds : 1))) |" \
    "$coverage | $finding |" >>"$results.new"
  tail -1 "$results.new"
done
mv "$results.new" "$results"
exit $status
