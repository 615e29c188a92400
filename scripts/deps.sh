#!/bin/sh
# Installs every build and test dependency from Debian's packages. Packages
# already present are skipped, so a second run needs no network.
set -eu
PACKAGES="build-essential cmake ninja-build pkg-config \
  libcairo2-dev libpango1.0-dev fonts-dejavu-core \
  libgif-dev libturbojpeg0-dev libwebp-dev libavif-dev libsqlite3-dev libmicrohttpd-dev \
  zlib1g-dev libdeflate-dev libexpat1-dev libgtest-dev libgmock-dev libbenchmark-dev sqlite3 python3-pil imagemagick wrk \
  dpkg-dev file postgresql libpq-dev nginx clang libclang-rt-14-dev \
  nlohmann-json3-dev libspng-dev libsystemd-dev lintian man-db chromium libssl-dev python3-prometheus-client"
# The designer's browser tests run on node and npm (npm ci installs
# playwright-core from tests/designer/package-lock.json); a node that came
# with its own npm is used as it is.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  PACKAGES="$PACKAGES nodejs npm"
fi
# The MariaDB data set links the client library; its tests start a
# private server of their own.
PACKAGES="$PACKAGES mariadb-server libmariadb-dev"
missing=""
for p in $PACKAGES; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing:$missing"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
