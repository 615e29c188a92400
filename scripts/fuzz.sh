#!/bin/bash
# Builds the libFuzzer targets with clang (ASan + UBSan, build-fuzz/) and
# runs each for SECONDS (default 60), one after the other, starting from its
# seed corpus in fuzz/corpus/<target>/. New coverage goes to
# build-fuzz/corpus/<target>/; a crash is written to fuzz/found/<target>/ and
# stops the run: add it to fuzz/corpus/<target>/ once fixed, so the test
# command replays it. FUZZ_TARGETS="form_reader render" picks targets; JOBS
# runs that many targets at a time (default 1).
set -eu
cd "$(dirname "$0")/.."
SECONDS_EACH="${1:-60}"
TARGETS="${FUZZ_TARGETS:-form_reader value_format package_info server_request render}"
PARALLEL="${JOBS:-1}"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DPLOTVANE_FUZZ=ON -DPLOTVANE_TESTS=OFF -DPLOTVANE_BENCH=OFF >/dev/null
set --
for t in $TARGETS; do set -- "$@" "fuzz_$t"; done
cmake --build build-fuzz -j "$(nproc)" --target "$@"

run_one() {
  t="$1"
  mkdir -p "build-fuzz/corpus/$t" "fuzz/found/$t"
  echo "== fuzz_$t for $SECONDS_EACH s"
  status=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build-fuzz/fuzz/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=3072 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="fuzz/found/$t/" \
    "build-fuzz/corpus/$t" "fuzz/corpus/$t" > "build-fuzz/fuzz_$t.log" 2>&1 || status=$?
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|Done)" "build-fuzz/fuzz_$t.log" || true
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$t found a problem (log: build-fuzz/fuzz_$t.log, input: fuzz/found/$t/)"
    return 1
  fi
}

failed=0
running=0
for t in $TARGETS; do
  if [ "$PARALLEL" -gt 1 ]; then
    (run_one "$t") &
    running=$((running + 1))
    if [ "$running" -ge "$PARALLEL" ]; then
      wait -n || failed=1
      running=$((running - 1))
    fi
  else
    run_one "$t" || failed=1
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
[ "$failed" -eq 0 ] && echo "No findings."
exit "$failed"
