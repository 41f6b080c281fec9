#!/usr/bin/env bash
# Builds SQLite for x86_64-w64-mingw32 (a static libsqlite3.a and sqlite3.h)
# from Debian's own sqlite3 source package, in a cache folder outside the
# repository, and prints the prefix to hand to CMake (CMAKE_PREFIX_PATH).
# The cache is used again while it holds this version.
#
# FLOVIR_SQLITE_WINDOWS_CACHE chooses the cache folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
version="$(dpkg-query -W -f '${Version}' libsqlite3-dev 2>/dev/null || echo 3.40.1-2)"
upstream="${version%%-*}"
cache="${FLOVIR_SQLITE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/flovir/sqlite-$upstream-mingw}"
prefix="$cache/sqlite-win64"
stamp="$cache/version"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -f "$prefix/lib/libsqlite3.a" ]; then
  echo "$prefix"
  exit 0
fi
echo "SQLite $upstream for Windows: building from Debian's sqlite3 source" >&2
bash "$root/scripts/install-deps.sh" dpkg-dev g++-mingw-w64-x86-64-posix tcl xz-utils >&2
rm -rf "$cache"
work="$cache/work"
lists="$work/apt-lists"
mkdir -p "$lists/partial" "$work/apt-cache" "$prefix/lib" "$prefix/include"
# A deb-src line for the mirror apt already uses, in a list of our own, so the
# machine's sources stay as they are.
mirror="$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)"
mirror="${mirror:-http://deb.debian.org/debian}"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm main" \
  >"$work/src.list"
apt_opts=(-o Dir::Etc::sourcelist="$work/src.list" -o Dir::Etc::sourceparts=-
  -o Dir::State::Lists="$lists" -o Dir::Cache="$work/apt-cache")
apt-get "${apt_opts[@]}" update -q >/dev/null
(cd "$work" && apt-get "${apt_opts[@]}" source --download-only sqlite3 >/dev/null)
tarball="$(ls "$work"/sqlite3_"$upstream".orig.tar.* | head -1)"
mkdir -p "$work/src"
tar -C "$work/src" --strip-components=1 -xf "$tarball"
# The amalgamation (one sqlite3.c) is made by the source tree's own build,
# on the host, with tclsh.
mkdir -p "$work/host"
(cd "$work/host" && "$work/src/configure" --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION \
  -c "$work/host/sqlite3.c" -o "$work/sqlite3.o"
x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
cp "$work/host/sqlite3.h" "$work/host/sqlite3ext.h" "$prefix/include/"
rm -rf "$work"
echo "$version" >"$stamp"
echo "$prefix"
