#!/bin/sh
# Installs the dependencies, then builds and runs every test twice: in the
# normal build and in the AddressSanitizer + UndefinedBehaviorSanitizer build;
# the normal build's ctest also installs and packages it (InstallTest); and
# runs the concurrency tests in a ThreadSanitizer build.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
JOBS="${JOBS:-$(nproc)}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$JOBS"
ctest --test-dir build --output-on-failure -j "$JOBS"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLOTVANE_SANITIZE=ON
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$JOBS"
# ThreadSanitizer: only the tests of what runs on several threads (the HTTP
# adapter, the chart server's module pool, the per-thread caches of shaped
# text, of SVG glyph outlines and of number pictures), in their own build.
TSAN_TESTS="HTTPServerTest ChartServerTest TextEngineTest SvgTextTest FormatFloatTest"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTVANE_TSAN=ON -DPLOTVANE_BENCH=OFF
# shellcheck disable=SC2086
cmake --build build-tsan -j "$JOBS" --target $TSAN_TESTS
for t in $TSAN_TESTS; do
  exe=$(find build-tsan/tests -name "$t" -type f -perm -u+x | head -n 1)
  G_SLICE=always-malloc PLOTVANE_SOURCE_DIR="$PWD" TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
    "$exe" --gtest_brief=1
done
echo "All tests passed (normal, sanitizer and thread-sanitizer builds)."
