#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures Skycall's budgets beside their floors, all in one run, prints the table and writes it
# to bench/results.md. Run it by hand on a quiet machine (it is no part of the test command);
# rerun when another heavy job ran meanwhile. SKYCALL_BENCH_ROUNDS sets the whole-process rounds
# (default 10); SKYCALL_BENCH_ORCA_KEYS the keys typed with Orca on each side (default 15);
# SKYCALL_BENCH_HOST the forecast host the bench build is made for (default localhost: the
# desktop's own site, on the free port it publishes, so no other run is in the way). A day of use
# squeezed (keys, location changes, 6,000 site requests) is measured by hand:
# bench/session_bench.py --only soak.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build-bench
host=${SKYCALL_BENCH_HOST:-localhost}
rounds=${SKYCALL_BENCH_ROUNDS:-10}
results=$(mktemp -d "${TMPDIR:-/tmp}/skycall-bench.XXXXXX")
trap 'rm -rf "$results"' EXIT

# Loopback only: a proxy setting must not send the site's traffic anywhere else.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy='*' NO_PROXY='*'

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKYCALL_BENCHMARKS=ON \
  -DSKYCALL_FORECAST_HOST="$host" >/dev/null
cmake --build "$build" -j"$(nproc)" --target skycall skycall-site forecast_bench key_bench \
  fetch_cycle_bench hold_bench bare_window

# The table's arithmetic first: a broken report would waste the whole run.
/usr/bin/python3 bench/report_test.py

# In-process measures: repetitions of measure and floor interleaved in random order.
google_benchmark() {
  echo "== $1"
  timeout --kill-after=10 300 "$build/bench/$1" --benchmark_repetitions=12 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/$2.json" --benchmark_out_format=json
}
google_benchmark forecast_bench forecast
google_benchmark key_bench key

# Whole processes on the end-to-end cases' desktops (X display, session bus, speech-dispatcher,
# forecast site; Orca on the second); each ends every process it started, also on a timeout.
# Their logs stay in $build/bench-artifacts.
echo "== session: fetch cycle, hold, start-up, memory, key typed to speech, with Orca"
timeout --kill-after=30 900 /usr/bin/python3 bench/session_bench.py \
  --skycall "$build/skycall" --site "$build/skycall-site" \
  --bare-window "$build/bench/bare_window" --hold-bench "$build/bench/hold_bench" \
  --fetch-bench "$build/bench/fetch_cycle_bench" --host "$host" --rounds "$rounds" \
  --orca-keys "${SKYCALL_BENCH_ORCA_KEYS:-15}" --out-dir "$results" \
  --artifacts "$build/bench-artifacts"

echo "== results (bench/results.md)"
/usr/bin/python3 bench/report.py --results "$results" --out bench/results.md
