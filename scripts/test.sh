#!/bin/sh
# Installs the dependencies, then builds and runs every test twice: in the
# normal build and in the AddressSanitizer + UndefinedBehaviorSanitizer build,
# and installs and packages the normal build (tests/install/InstallTest.sh).
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
JOBS="${JOBS:-$(nproc)}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$JOBS"
ctest --test-dir build --output-on-failure -j "$JOBS"
tests/install/InstallTest.sh build
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLOTVANE_SANITIZE=ON
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$JOBS"
echo "All tests passed (normal and sanitizer builds)."
