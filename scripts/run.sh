#!/usr/bin/env bash
# Builds Skycall, starts the stand-in forecast site unless one already answers, and runs
# the program. The site started here stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target skycall skycall-site

host=$(sed -n 's/^SKYCALL_FORECAST_HOST:STRING=//p' build/CMakeCache.txt)
site_pid=""
if ! curl -fsS -o /dev/null --max-time 2 "http://$host/weather/today/12345" 2>/dev/null; then
  # Live weather when the forecast services answer, the demo forecast (which says so) when not.
  build/site/skycall-site --listen "$host" --source auto 2>>build/skycall-site.log &
  site_pid=$!
  trap '[ -n "$site_pid" ] && kill "$site_pid" 2>/dev/null; wait 2>/dev/null' EXIT
  for _ in $(seq 50); do
    curl -fsS -o /dev/null --max-time 1 "http://$host/weather/today/12345" 2>/dev/null && break
    sleep 0.1
  done
fi
build/skycall
