#!/usr/bin/env bash
# Cross-builds the core, flovir-cli and the tests that need no pseudo-terminal
# for 64-bit Windows into build-windows/ (mingw-w64, linked statically), and
# runs those tests under wine. With --e2e it then runs flovir-cli.exe under
# wine against the Linux simulated meter through a COM port of wine's and over
# the loopback network (tests/windows/wine_e2e.sh; needs the Linux build in
# build/). Debian has no Qt for mingw: the window is not cross-built.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh cmake g++-mingw-w64-x86-64-posix wine64 libgtest-dev \
  libcli11-dev libtomlplusplus-dev nlohmann-json3-dev

jobs=$(nproc)
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DFLOVIR_BUILD_BENCH=OFF -DFLOVIR_BUILD_UI=OFF >/dev/null
cmake --build build-windows -j"$jobs"

# A wine prefix of the build's own; Debian's wine leaves a folder in TMPDIR
# for every prefix, so that goes into the build folder too.
export WINEPREFIX="$PWD/build-windows/wine" WINEDEBUG=-all TMPDIR="$PWD/build-windows/tmp"
mkdir -p "$TMPDIR"
# wineboot returns while the prefix's registry is still being filled; the
# server saves it when it exits, which -w waits for. A prefix killed before
# that lacks its devices (no COM ports in the registry).
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -u >/dev/null 2>&1
  timeout 300 /usr/lib/wine/wineserver -w || true
fi
ctest --test-dir build-windows --output-on-failure -j"$jobs"

if [ "${1:-}" = "--e2e" ]; then
  bash tests/windows/wine_e2e.sh
fi
/usr/lib/wine/wineserver -k 2>/dev/null || true
