#!/usr/bin/env bash
# Provides a static Qt 6 (qtbase: Core, Gui, Widgets, PrintSupport, Test, the
# windows and offscreen platform plugins) for x86_64-w64-mingw32, with
# QCustomPlot 2.1 built static into the same prefix (lib/libqcustomplot.a,
# include/qcustomplot.h), in a cache folder outside the repository, and prints
# that folder. Debian has no Qt for mingw, but its own qt6-base and
# qcustomplot source packages build for it.
#
# In order: the cache when it already holds this build; the ready build in
# ../shared/qt-windows/ beside the repository when its checksum matches,
# unpacked into the cache; otherwise Qt and QCustomPlot are built from
# Debian's source packages (about 45 minutes on 2 cores).
#
# FLOVIR_QT_WINDOWS_CACHE chooses the cache folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

version=6.4.2
build="$version-mingw-static-print"
ready_sha256=8651b3b53fb90c4e70646544701b26811a4f5491e82e57cc8ad09ae9d9243a07
ready="$root/../shared/qt-windows"
cache="${FLOVIR_QT_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/flovir/qt-$build}"
qt="$cache/qt6-win64"
stamp="$cache/version"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$build" ] && [ -d "$qt/lib/cmake/Qt6" ] &&
  [ -f "$qt/lib/libqcustomplot.a" ]; then
  echo "$qt"
  exit 0
fi

rm -rf "$cache"
mkdir -p "$cache"
archive="$ready/qt-$build.tar.xz"
if [ -f "$archive" ] && echo "$ready_sha256  $archive" | sha256sum -c --quiet - >/dev/null 2>&1; then
  echo "Qt $version for Windows: unpacking the ready build from $ready" >&2
  tar -C "$cache" -xJf "$archive"
else
  echo "Qt $version for Windows: building from Debian's qt6-base and qcustomplot sources (about 45 minutes)" >&2
  bash "$root/scripts/install-deps.sh" dpkg-dev qt6-base-dev qt6-base-dev-tools \
    g++-mingw-w64-x86-64-posix ninja-build cmake xz-utils
  work="$cache/work"
  lists="$work/apt-lists"
  mkdir -p "$lists/partial" "$work/apt-cache"
  # A deb-src line for the mirror apt already uses, in a list of our own, so
  # the machine's sources stay as they are.
  mirror="$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)"
  mirror="${mirror:-http://deb.debian.org/debian}"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm main" \
    >"$work/src.list"
  apt_opts=(-o Dir::Etc::sourcelist="$work/src.list" -o Dir::Etc::sourceparts=-
    -o Dir::State::Lists="$lists" -o Dir::Cache="$work/apt-cache")
  apt-get "${apt_opts[@]}" update -q >/dev/null
  (cd "$work" && apt-get "${apt_opts[@]}" source --download-only qt6-base qcustomplot >/dev/null)
  tar -C "$work" -xf "$work/qt6-base_$version+dfsg.orig.tar.xz"
  mkdir -p "$work/build"
  # Static and release, bundled third-party libraries, with printing; no sql,
  # network, concurrent or xml. direct2d stays (without it DirectWrite fonts
  # go too); direct2d1_1 and tablet events go, as Debian's source lacks wintab.
  (cd "$work/build" && "$work/qtbase-everywhere-src-$version/configure" -prefix "$qt" \
    -xplatform win32-g++ -qt-host-path /usr -static -release \
    -nomake examples -nomake tests -no-pkg-config -no-dbus -no-opengl \
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-doubleconversion \
    -no-feature-sql -no-feature-network -feature-printsupport -no-feature-concurrent \
    -no-feature-xml -no-feature-tabletevent -no-feature-direct2d1_1 \
    -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2)
  cmake --build "$work/build" --parallel "$(nproc)" >&2
  cmake --install "$work/build" >&2

  # QCustomPlot, static, against the Qt just installed: one source file and
  # its header. dpkg-source applies Debian's patches, among them the one that
  # makes the header build with Qt 6.
  (cd "$work" && dpkg-source -x qcustomplot_2.1.0+dfsg1-*.dsc >/dev/null)
  qcp="$work/qcustomplot-2.1.0+dfsg1"
  mkdir -p "$work/qcp"
  cat >"$work/qcp/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.21)
project(qcustomplot CXX)
set(CMAKE_AUTOMOC ON)
set(CMAKE_CXX_STANDARD 17)
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport)
add_library(qcustomplot STATIC $qcp/qcustomplot.cpp $qcp/qcustomplot.h)
target_link_libraries(qcustomplot PUBLIC Qt6::Widgets Qt6::PrintSupport)
install(TARGETS qcustomplot ARCHIVE DESTINATION lib)
install(FILES $qcp/qcustomplot.h DESTINATION include)
install(FILES $qcp/GPL.txt DESTINATION share/qcustomplot RENAME COPYING)
CMAKE
  cmake -S "$work/qcp" -B "$work/qcp/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DFLOVIR_QT_WINDOWS="$qt" \
    -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_INSTALL_PREFIX="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2
  cmake --build "$work/qcp/build" --parallel "$(nproc)" >&2
  cmake --install "$work/qcp/build" >&2
  rm -rf "$work"
fi
echo "$build" >"$stamp"
echo "$qt"
