#!/bin/bash
# Soak run: `plotvane serve` of the sample form (with the data read again at
# every request, as a live server does) under 50 connections of wrk for
# MINUTES, alternating GIF and JPEG in 10-second rounds. Every 10 s it
# prints the server's resident memory and the round's requests and errors;
# at the end, the memory growth after the first minute (warm-up).
#   bench/soak.sh MINUTES [build-dir]
set -eu
MINUTES="${1:?usage: bench/soak.sh MINUTES [build-dir]}"
BUILD="${2:-build-release}"
command -v wrk >/dev/null || { echo "wrk is missing: apt-get install wrk" >&2; exit 2; }
PORT="${PORT:-18282}"
"$BUILD/tools/plotvane" serve "$BUILD/examples/sales.form" --port "$PORT" --threads 2 >/dev/null 2>&1 &
PID=$!
trap 'kill -INT $PID 2>/dev/null; wait $PID 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/"$PORT") 2>/dev/null && break
  sleep 0.1
done
rss() { awk '/VmRSS/ {print $2}' /proc/$PID/status; }
ROUNDS=$((MINUTES * 6))
ERRORS=0
REQUESTS=0
WARM=""
echo "round  format  rss_kb  requests  errors"
for ROUND in $(seq "$ROUNDS"); do
  FORMAT=$([ $((ROUND % 2)) -eq 0 ] && echo jpg || echo gif)
  # A generous timeout: the soak looks for failures and growth, not latency.
  OUT=$(wrk -t2 -c50 -d10s --timeout 10s "http://127.0.0.1:$PORT/RevenueChart.$FORMAT")
  N=$(echo "$OUT" | awk '/requests in/ {print $1}')
  E=$(echo "$OUT" | awk '/Non-2xx/ {s += $NF} /Socket errors/ {gsub(",", ""); s += $4 + $6 + $8 + $10} END {print s + 0}')
  KINDS=$(echo "$OUT" | awk '/Non-2xx|Socket errors/ {printf "%s ", $0}')
  kill -0 $PID 2>/dev/null || { echo "the server died"; exit 1; }
  R=$(rss)
  [ "$ROUND" -eq 6 ] && WARM=$R
  REQUESTS=$((REQUESTS + N))
  ERRORS=$((ERRORS + E))
  printf "%5d  %-6s  %6d  %8d  %6d  %s\n" "$ROUND" "$FORMAT" "$R" "$N" "$E" "$KINDS"
done
echo "requests: $REQUESTS, errors: $ERRORS, rss after warm-up: ${WARM:-$(rss)} kB, at the end: $(rss) kB"
[ "$ERRORS" -eq 0 ]
