#!/bin/sh
# Load runs on loopback of `plotvane serve` with its response cache, under
# wrk at 8 connections, the load generator on the same cores:
#   cached     GIF of R1 while the data does not change (cache hits)
#   scale 2    GIF and SVG at scale 2, cached
#   changing   GIF of R1 while another process changes the data 20 times a
#              second (each change costs one render; every answer is fresh)
#   bench/server-load.sh [build-dir] [seconds]
set -eu
BUILD="${1:-build-release}"
SECONDS_PER_RUN="${2:-10}"
command -v wrk >/dev/null || { echo "wrk is missing: apt-get install wrk" >&2; exit 2; }
command -v sqlite3 >/dev/null || { echo "sqlite3 is missing: apt-get install sqlite3" >&2; exit 2; }
PORT=18182
DIR=$(mktemp -d)
cp "$BUILD/examples/sales.form" "$BUILD/examples/sales.db" "$DIR/"
"$BUILD/tools/plotvane" serve "$DIR/sales.form" --port $PORT --threads 2 >/dev/null 2>/dev/null &
PID=$!
trap 'kill -TERM $PID 2>/dev/null; wait $PID 2>/dev/null || true; rm -rf "$DIR"' EXIT
sleep 1
run() {
  OUT=$(wrk -t2 -c8 -d${SECONDS_PER_RUN}s --latency "http://127.0.0.1:$PORT/$1")
  RPS=$(echo "$OUT" | awk '/Requests\/sec/ {print $2}')
  P50=$(echo "$OUT" | awk '$1=="50%" {print $2}')
  P99=$(echo "$OUT" | awk '$1=="99%" {print $2}')
  ERR=$(echo "$OUT" | awk '/Non-2xx|Socket errors/ {print}' | tr '\n' ' ')
  echo "$2 conns=8 req/s=$RPS p50=$P50 p99=$P99 $ERR"
}
run RevenueChart.gif "cached-gif"
run "RevenueChart.gif?scale=2" "cached-gif-scale2"
run "RevenueChart.svg?scale=2" "cached-svg-scale2"
( I=0; while kill -0 $PID 2>/dev/null; do
    I=$((I + 1)); sqlite3 -cmd ".timeout 2000" "$DIR/sales.db" "UPDATE sales SET revenue = $((I % 7)) WHERE month_no = 3 AND region = 'EU'"
    sleep 0.05; done ) &
WRITER=$!
run RevenueChart.gif "changing-gif"
kill $WRITER 2>/dev/null || true
