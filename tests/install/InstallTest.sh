#!/bin/sh
# Plotvane as a user gets it: installed into a prefix, used from another
# CMake project and from a plain compiler line, moved, and packaged as
# Debian packages that lintian finds no error in, unpacked into a scratch
# root and run there.
#   tests/install/InstallTest.sh BUILD_DIR
set -eu
cd "$(dirname "$0")/../.."
SRC=$(pwd)
BUILD=$(cd "${1:-build}" && pwd)
VERSION=$(sed -n 's/^project(Plotvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
W=$(mktemp -d "${TMPDIR:-/tmp}/plotvane-install.XXXXXX")
trap 'rm -rf "$W"' EXIT
CXX=${CXX:-c++}
# The libraries' folder below the prefix: lib/<multiarch triplet> on Debian.
LIB=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
MULTIARCH=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$LIB" = "lib/$MULTIARCH" ] || { echo "InstallTest: the build installs libraries to '$LIB', not lib/$MULTIARCH" >&2; exit 1; }

fail() { echo "InstallTest: $*" >&2; exit 1; }
check() { "$@" || fail "failed: $*"; }
# A picture file: the first bytes name its type.
is_png() { [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = "211PNG" ] || fail "$1 is no PNG"; }
is_gif() { [ "$(head -c 6 "$1")" = "GIF89a" ] || fail "$1 is no GIF"; }

echo "== install into a prefix"
P="$W/prefix"
cmake --install "$BUILD" --prefix "$P" >/dev/null
for f in bin/plotvane $LIB/libplotvane_host.so.$VERSION $LIB/libplotvane_server.so.$VERSION $LIB/plotvane/VCL_Norq_Plotvane.bpl \
         $LIB/plotvane/rtl60.bpl $LIB/plotvane/vcl60.bpl $LIB/plotvane/dbrtl60.bpl $LIB/plotvane/GifImage60.bpl \
         $LIB/plotvane/vcljpg60.bpl $LIB/plotvane/tee60.bpl $LIB/plotvane/teedb60.bpl $LIB/plotvane/inet60.bpl \
         include/plotvane/PlotvaneVersion.h include/plotvane/component/Norq_Plotvane.h \
         include/plotvane/component/Norq_PlotvaneSave.h include/plotvane/contracts/Framework.h \
         include/plotvane/platform/chart/Chart.h include/plotvane/host/FormClasses.h include/plotvane/server/ChartServer.h \
         include/plotvane/tools/FormClasses.h \
         $LIB/cmake/Plotvane/PlotvaneConfig.cmake $LIB/cmake/Plotvane/PlotvaneConfigVersion.cmake \
         $LIB/pkgconfig/plotvane.pc share/plotvane/examples/sales.form share/plotvane/examples/sales.db \
         share/doc/plotvane/README.md share/man/man1/plotvane.1.gz lib/systemd/system/plotvane@.service \
         etc/default/plotvane; do
  [ -e "$P/$f" ] || fail "missing $f"
done
for f in "$SRC"/docs/*.md; do
  [ ! -e "$f" ] || [ -e "$P/share/doc/plotvane/docs/${f##*/}" ] || fail "docs/${f##*/} is not installed"
done
[ "$(readlink "$P/$LIB/libplotvane_host.so")" = "libplotvane_host.so.${VERSION%%.*}" ] || fail "no link name"
# The unit runs the command of this prefix.
grep -qx "ExecStart=$P/bin/plotvane serve .*" "$P/lib/systemd/system/plotvane@.service" || fail "the unit names another command"
# Only public headers, all below include/plotvane.
[ "$(ls "$P/include")" = "plotvane" ] || fail "headers outside include/plotvane: $(ls "$P/include")"
! find "$P/include" -path '*internal*' -o -path '*compat*' -o -name Painter.h -o -name SQLiteSupport.h -o -name PgSupport.h -o -name MariaDBSupport.h \
    -o -name CommandLine.h -o -name 'Design*.h' | grep . \
  || fail "private headers installed"
! find "$P/$LIB" -maxdepth 1 -name '*.bpl' | grep . || fail "platform packages loose in $LIB/"

# Every binary finds its libraries relative to itself; nothing points into the build.
for f in "$P/bin/plotvane" "$P/$LIB/libplotvane_host.so.$VERSION" "$P/$LIB"/plotvane/*.bpl; do
  runpath=$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  case "$runpath" in '$ORIGIN'*) ;; *) fail "$f: RUNPATH '$runpath'" ;; esac
  readelf -d "$f" | grep -q "$BUILD" && fail "$f names the build folder"
done
readelf -d "$P/$LIB/libplotvane_host.so.$VERSION" | grep -q "SONAME.*\[libplotvane_host.so.${VERSION%%.*}\]" \
  || fail "libplotvane_host has no versioned SONAME"
readelf -d "$P/$LIB/plotvane/rtl60.bpl" | grep -q 'SONAME.*\[rtl60.bpl\]' || fail "rtl60.bpl SONAME"

check [ "$("$P/bin/plotvane" --version)" = "plotvane $VERSION" ]
grep -q "PLOTVANE_VERSION_STRING \"$VERSION\"" "$P/include/plotvane/PlotvaneVersion.h" || fail "version header"
"$P/bin/plotvane" render "$P/share/plotvane/examples/sales.form" -o "$W/sample.gif"
is_gif "$W/sample.gif"
"$P/bin/plotvane" package-info | grep -q 'VCL_Norq_Plotvane' || fail "package-info finds no package"
# The help names the installed documentation, found from where the program is.
docs_named() {
  d="$(cd "$1" && pwd -P)/share/doc/plotvane"
  "$1/bin/plotvane" --help | grep -qF "$d/" || fail "plotvane --help does not name $d/"
  "$1/bin/plotvane" help serve | grep -qF "$d/docs/server.md" || fail "plotvane help serve does not name $d/docs/server.md"
}
docs_named "$P"

echo "== every public header compiles on its own include path"
export PKG_CONFIG_PATH="$P/$LIB/pkgconfig"
(cd "$P/include" && find plotvane -name '*.h' | sed 's|^\(.*\)|#include <\1>|') > "$W/all.cpp"
$CXX -std=c++20 -fsyntax-only $(pkg-config --cflags plotvane) "$W/all.cpp"
# The spelling of the release before, without plotvane/ and with the host
# header in tools/, still builds for one release: with plotvane.pc and with
# the CMake package.
mkdir -p "$W/old"
cat > "$W/old/old.cpp" <<'EOF_OLD'
#include "PlotvaneVersion.h"
#include "component/Norq_Plotvane.h"
#include "tools/FormClasses.h"
int main() { plotvane::RegisterFormClasses(); return PLOTVANE_VERSION_MAJOR > 0 ? 0 : 1; }
EOF_OLD
$CXX -std=c++20 -fsyntax-only $(pkg-config --cflags plotvane) "$W/old/old.cpp"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(old CXX)\nfind_package(Plotvane 1.0 CONFIG REQUIRED)\nadd_executable(old old.cpp)\ntarget_link_libraries(old PRIVATE Plotvane::Plotvane)\n' \
  > "$W/old/CMakeLists.txt"
{ cmake -S "$W/old" -B "$W/old/build" -G Ninja -DCMAKE_PREFIX_PATH="$P" && cmake --build "$W/old/build"; } \
  >"$W/old.log" 2>&1 || { cat "$W/old.log"; fail "the old include spelling does not build"; }

# The consumer: configure, build, run against the prefix in $1, into $2.
consumer_cmake() {
  rm -rf "$2"
  { cmake -S "$SRC/examples/consumer" -B "$2" -G Ninja -DCMAKE_PREFIX_PATH="$1" && cmake --build "$2"; } \
    >"$W/consumer.log" 2>&1 || { cat "$W/consumer.log"; fail "the consumer in $2 did not build"; }
  "$2/consumer" "$2/chart.png"
  is_png "$2/chart.png"
  "$2/consumer" "$2/form.gif" "$1/share/plotvane/examples/sales.form" RevenueChart
  is_gif "$2/form.gif"
}
consumer_pkgconfig() {
  flags=$(PKG_CONFIG_PATH="$1/$LIB/pkgconfig" pkg-config --cflags --libs plotvane)
  $CXX -std=c++20 -o "$2" "$SRC/examples/consumer/main.cpp" $flags
  "$2" "$2.png"
  is_png "$2.png"
}

echo "== find_package(Plotvane) consumer"
consumer_cmake "$P" "$W/consumer"
# SameMajorVersion: 1.x is found, 2.0 is not.
mkdir -p "$W/v2"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(v2 NONE)\nfind_package(Plotvane 2.0 CONFIG REQUIRED)\n' \
  > "$W/v2/CMakeLists.txt"
! cmake -S "$W/v2" -B "$W/v2/build" -DCMAKE_PREFIX_PATH="$P" >/dev/null 2>&1 || fail "Plotvane 2.0 was accepted"

echo "== pkg-config consumer"
check [ "$(pkg-config --modversion plotvane)" = "$VERSION" ]
consumer_pkgconfig "$P" "$W/consumer-pc"

echo "== the prefix moved elsewhere"
mv "$P" "$W/moved"
P="$W/moved"
check [ "$("$P/bin/plotvane" --version)" = "plotvane $VERSION" ]
docs_named "$P"
"$P/bin/plotvane" render "$P/share/plotvane/examples/sales.form" -o "$W/moved.png"
is_png "$W/moved.png"
consumer_cmake "$P" "$W/consumer-moved"
# (plotvane.pc finding a prefix other than the one it was made for is
# checked on the unpacked Debian packages below.)

echo "== add_subdirectory: no -Werror, tests or benchmarks for the consumer"
cmake -S "$SRC/examples/consumer" -B "$W/subdir" -G Ninja -DPLOTVANE_SOURCE_DIR="$SRC" \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
! grep -q -- '-Werror' "$W/subdir/compile_commands.json" || fail "-Werror reached the consumer's build"
! cmake --build "$W/subdir" --target help | grep -E 'component_tests|PlotvaneCommandTest|RenderBench|gallery' \
  || fail "tests, benchmarks or examples in the consumer's build"
grep -q '"file": ".*examples/consumer/main.cpp"' "$W/subdir/compile_commands.json" || fail "no consumer target"
# Its <plotvane/...> includes resolve in the build tree as in an install
# (only its own source is compiled, not the whole of Plotvane).
cmake --build "$W/subdir" --target CMakeFiles/consumer.dir/main.cpp.o >"$W/subdir.log" 2>&1 \
  || { cat "$W/subdir.log"; fail "the consumer's source does not compile along with Plotvane"; }

echo "== Debian packages"
(cd "$BUILD" && cpack -G DEB -B "$W/deb") >"$W/cpack.log" 2>&1 || { cat "$W/cpack.log"; fail "cpack failed"; }
ARCH=$(dpkg --print-architecture)
DEBVERSION=$VERSION-$(sed -n '1s/^plotvane ([0-9.]*-\([0-9]*\)).*/\1/p' deploy/debian/changelog)
RUNTIME="$W/deb/plotvane_${DEBVERSION}_$ARCH.deb"
LIBS="$W/deb/libplotvane1_${DEBVERSION}_$ARCH.deb"
DEV="$W/deb/plotvane-dev_${DEBVERSION}_$ARCH.deb"
for p in "$RUNTIME" "$LIBS" "$DEV"; do [ -f "$p" ] || fail "no ${p##*/} in: $(ls "$W/deb")"; done
L=./usr/lib/$MULTIARCH
dpkg-deb -c "$RUNTIME" | awk '{print $6}' > "$W/runtime.list"
dpkg-deb -c "$LIBS" | awk '{print $6}' > "$W/libs.list"
dpkg-deb -c "$DEV" | awk '{print $6}' > "$W/dev.list"
# The shared libraries with their sonames and the packages, in the
# multiarch folder.
for f in $L/libplotvane_host.so.$VERSION $L/libplotvane_host.so.${VERSION%%.*} $L/libplotvane_server.so.$VERSION \
         $L/libplotvane_server.so.${VERSION%%.*} $L/plotvane/VCL_Norq_Plotvane.bpl $L/plotvane/rtl60.bpl; do
  grep -qx "$f" "$W/libs.list" || fail "libplotvane1 lacks $f"
done
! grep -E '^./usr/(bin|include|share/man)/.|\.pc$|cmake|\.so$' "$W/libs.list" || fail "other files in libplotvane1"
for f in ./usr/bin/plotvane ./usr/share/plotvane/examples/sales.form ./usr/share/doc/plotvane/README.md \
         ./usr/share/man/man1/plotvane.1.gz ./usr/lib/systemd/system/plotvane@.service ./etc/default/plotvane; do
  grep -qx "$f" "$W/runtime.list" || fail "plotvane lacks $f"
done
! grep -E '^./usr/include/.|\.pc$|cmake|\.so|\.bpl$' "$W/runtime.list" || fail "library or development files in plotvane"
for f in ./usr/include/plotvane/component/Norq_Plotvane.h ./usr/include/plotvane/PlotvaneVersion.h \
         ./usr/include/plotvane/host/FormClasses.h ./usr/include/plotvane/tools/FormClasses.h \
         $L/cmake/Plotvane/PlotvaneConfig.cmake $L/cmake/Plotvane/PlotvaneTargets.cmake \
         $L/pkgconfig/plotvane.pc $L/libplotvane_host.so; do
  grep -qx "$f" "$W/dev.list" || fail "plotvane-dev lacks $f"
done
! grep -E '\.bpl$|\.so\.|/bin/' "$W/dev.list" || fail "runtime files in plotvane-dev"
# Every package: its copyright file (machine-readable) and changelog.
for p in plotvane libplotvane1 plotvane-dev; do
  case $p in plotvane) list=runtime ;; libplotvane1) list=libs ;; *) list=dev ;; esac
  for f in copyright changelog.Debian.gz; do
    grep -qx "./usr/share/doc/$p/$f" "$W/$list.list" || fail "$p lacks /usr/share/doc/$p/$f"
  done
done
DEPENDS=$(dpkg-deb -f "$LIBS" Depends)
for d in libc6 libstdc++6 libcairo2 libpango-1.0-0 libpangocairo-1.0-0 libgif7 libturbojpeg0 libsqlite3-0 \
         libmicrohttpd12 libdeflate0; do
  echo "$DEPENDS" | tr ',' '\n' | grep -q "^ *$d\( \|$\)" || fail "libplotvane1 does not depend on $d: $DEPENDS"
done
DEPENDS=$(dpkg-deb -f "$RUNTIME" Depends)
for d in "libplotvane1 (= $DEBVERSION)" libsystemd0; do
  echo "$DEPENDS" | tr ',' '\n' | grep -q "^ *$d\( \|$\)" || fail "plotvane does not depend on $d: $DEPENDS"
done
check [ "$(dpkg-deb -f "$DEV" Depends)" = "libplotvane1 (= $DEBVERSION)" ]
# The description names every format the server answers, as its help lists
# them (/<Name>.gif, .jpg, ...; jpg is JPEG).
FORMATS=$("$BUILD/tools/plotvane" help serve | sed -n '/^Serves every/,/^$/p' | grep -o '\.[a-z][a-z]*' |
          sed 's/^\.//; s/^jpg$/jpeg/' | tr a-z A-Z | sort -u)
[ -n "$FORMATS" ] || fail "no formats in plotvane help serve"
for p in "$RUNTIME" "$LIBS" "$DEV"; do
  for f in $FORMATS; do
    dpkg-deb -f "$p" Description | grep -q "\<$f\>" || fail "the description of ${p##*/} does not name $f"
  done
done
mkdir "$W/control"
dpkg-deb -e "$RUNTIME" "$W/control"
check grep -qx /etc/default/plotvane "$W/control/conffiles"

echo "== lintian"
command -v lintian >/dev/null || fail "lintian is not installed (scripts/deps.sh installs it)"
lintian --fail-on error "$RUNTIME" "$LIBS" "$DEV" >"$W/lintian.log" 2>&1 \
  || { cat "$W/lintian.log"; fail "lintian reports errors"; }
cat "$W/lintian.log"

echo "== the packages unpacked into a scratch root"
R="$W/root"
for p in "$LIBS" "$RUNTIME" "$DEV"; do dpkg -x "$p" "$R"; done
check [ "$("$R/usr/bin/plotvane" --version)" = "plotvane $VERSION" ]
"$R/usr/bin/plotvane" render "$R/usr/share/plotvane/examples/sales.form" -o "$W/deb.gif"
is_gif "$W/deb.gif"
"$R/usr/bin/plotvane" package-info | grep -q VCL_Norq_Plotvane || fail "package-info finds no package in the scratch root"
consumer_pkgconfig "$R/usr" "$W/consumer-deb"
# The manual page renders without a warning and covers serve.
MAN_WARNINGS=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$R/usr/share/man/man1/plotvane.1.gz" 2>&1 >/dev/null)
[ -z "$MAN_WARNINGS" ] || fail "man -l warns: $MAN_WARNINGS"
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$R/usr/share/man/man1/plotvane.1.gz" | grep -q '^ *plotvane serve FORM' \
  || fail "man -l shows no plotvane serve"
MANPATH="$R/usr/share/man" LC_ALL=C.UTF-8 man plotvane | grep -q '^NAME' || fail "man plotvane finds no page"
UNIT="$R/usr/lib/systemd/system/plotvane@.service"
for l in Type=notify EnvironmentFile=-/etc/default/plotvane; do grep -qx "$l" "$UNIT" || fail "the unit lacks $l"; done
grep -qx 'ExecStart=/usr/bin/plotvane serve .*' "$UNIT" || fail "the unit does not run /usr/bin/plotvane"
head -1 "$R/usr/share/doc/plotvane/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "the copyright file is not machine-readable"
zcat "$R/usr/share/doc/libplotvane1/changelog.Debian.gz" | head -1 | grep -q "^plotvane ($DEBVERSION) " \
  || fail "the changelog's first entry is not $DEBVERSION"

echo "InstallTest: all passed"
