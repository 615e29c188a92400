#!/bin/sh
# Load run on loopback: `plotvane serve` of the reference chart (the sample
# form) under wrk, for GIF and JPEG at 1, 8 and 64 connections, with the
# server's resident memory before and after each run.
#   bench/load.sh [build-dir] [seconds]
set -eu
BUILD="${1:-build-release}"
SECONDS_PER_RUN="${2:-10}"
command -v wrk >/dev/null || { echo "wrk is missing: apt-get install wrk" >&2; exit 2; }
PORT=18181
"$BUILD/tools/plotvane" serve "$BUILD/examples/sales.form" --port $PORT --threads 2 --no-refresh \
  >/dev/null 2>/dev/null &
PID=$!
trap 'kill -INT $PID 2>/dev/null; wait $PID 2>/dev/null || true' EXIT
sleep 1
rss() { awk '/VmRSS/ {print $2}' /proc/$PID/status; }
for FORMAT in gif jpg; do
  for CONN in 1 8 64; do
    THREADS=$([ $CONN -lt 2 ] && echo 1 || echo 2)
    BEFORE=$(rss)
    OUT=$(wrk -t$THREADS -c$CONN -d${SECONDS_PER_RUN}s --latency "http://127.0.0.1:$PORT/RevenueChart.$FORMAT")
    RPS=$(echo "$OUT" | awk '/Requests\/sec/ {print $2}')
    P50=$(echo "$OUT" | awk '$1=="50%" {print $2}')
    P99=$(echo "$OUT" | awk '$1=="99%" {print $2}')
    ERR=$(echo "$OUT" | awk '/Non-2xx|Socket errors/ {print}' | tr '\n' ' ')
    echo "$FORMAT conns=$CONN req/s=$RPS p50=$P50 p99=$P99 rss_kb=$BEFORE->$(rss) $ERR"
  done
done
