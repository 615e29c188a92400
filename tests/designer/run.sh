#!/bin/sh
# Runs the designer's browser tests: installs playwright-core from the lock
# file into the build folder (npm ci, once per lock file), then runs
# design.test.mjs with node's test runner against headless chromium.
# Usage: run.sh PLOTVANE_EXE EXAMPLES_BUILD_DIR WORK_DIR
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
exe="$1"; examples="$2"; work="$3"
chromium="${CHROMIUM:-/usr/bin/chromium}"
if [ ! -x "$chromium" ]; then
  echo "SKIP: chromium not found at $chromium; scripts/deps.sh installs it"
  exit 0
fi
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "SKIP: node or npm not found; scripts/deps.sh installs them"
  exit 0
fi
mkdir -p "$work"
work="$(cd "$work" && pwd)"
case "$exe" in /*) ;; *) exe="$(pwd)/$exe" ;; esac
case "$examples" in /*) ;; *) examples="$(pwd)/$examples" ;; esac
if ! cmp -s "$here/package-lock.json" "$work/package-lock.json" || [ ! -d "$work/node_modules/playwright-core" ]; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi
export PLOTVANE_EXE="$exe" PLOTVANE_EXAMPLES_BUILD_DIR="$examples" CHROMIUM="$chromium"
export PLAYWRIGHT_CORE="$work/node_modules/playwright-core"
export DESIGN_SCREENSHOT_DIR="${DESIGN_SCREENSHOT_DIR:-$work/../../design-screenshots}"
exec node --test --test-reporter=spec "$here/design.test.mjs"
