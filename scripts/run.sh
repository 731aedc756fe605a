#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Skycall, starts the stand-in forecast site unless one already answers, and runs
# the program. The site started here stops when the program ends. Quiet on the terminal
# (a screen reader reads every line): it speaks up only when something is wrong.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run

mkdir -p build
log=build/build.log
echo "Building Skycall."
if ! { cmake -S . -B build -DSKYCALL_TESTS=OFF &&
  cmake --build build -j"$(nproc)" --target skycall skycall-site; } >"$log" 2>&1; then
  grep -E -A3 'error|Error' "$log" | head -60 || tail -40 "$log"
  echo "The build failed; the whole output is in $log."
  exit 1
fi

host=$(sed -n 's/^SKYCALL_FORECAST_HOST:STRING=//p' build/CMakeCache.txt)
port=${host##*:}

# What answers on the port: "site" for a skycall-site (its pages, error pages too, carry its
# name), "other" for anything else that accepts a connection, "none" when nothing listens.
probe() {
  local body
  if body=$(curl -sS --max-time 2 "http://$host/weather/today/12345" 2>/dev/null); then
    case "$body" in *"Skycall Weather"*) echo site ;; *) echo other ;; esac
  elif (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo other
  else
    echo none
  fi
}

site_pid=""
case "$(probe)" in
  site) ;;
  other)
    echo "Port $port is taken by another program, not a Skycall forecast site, so Skycall cannot" \
      "load its forecast. See which program holds it with: ss -ltnp 'sport = :$port'"
    exit 1
    ;;
  none)
    # Live weather when the forecast services answer, the demo forecast (which says so) when
    # not. Choosing may take the site its whole upstream time-out (8 s), so wait longer.
    build/skycall-site --listen "$host" --source auto >>build/skycall-site.log 2>&1 &
    site_pid=$!
    trap 'kill "$site_pid" 2>/dev/null; wait 2>/dev/null' EXIT
    answer=none
    for _ in $(seq 150); do
      kill -0 "$site_pid" 2>/dev/null || break
      answer=$(probe)
      [ "$answer" = none ] || break
      sleep 0.1
    done
    if [ "$answer" != site ]; then
      echo "The forecast site did not start; build/skycall-site.log says why:"
      tail -5 build/skycall-site.log
      exit 1
    fi
    ;;
esac
build/skycall
