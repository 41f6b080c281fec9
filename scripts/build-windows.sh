#!/usr/bin/env bash
# Cross-builds the core, flovir-cli, the window (flovir, flovir-screenshots)
# and the tests that need no pseudo-terminal for 64-bit Windows into
# build-windows/ (mingw-w64, linked statically against a Qt built for mingw,
# scripts/build-qt-windows.sh), runs those tests under wine, renders the
# window's pages and makes the installer build-windows/flovir-setup-VERSION.exe
# (NSIS). With --e2e it then runs flovir-cli.exe under wine against the Linux
# simulated meter through a COM port of wine's and over the loopback network
# (tests/windows/wine_e2e.sh; needs the Linux build in build/), and installs,
# uses and uninstalls the installer in a fresh wine prefix
# (tests/windows/installer_e2e.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh cmake g++-mingw-w64-x86-64-posix wine64 libgtest-dev \
  libcli11-dev libtomlplusplus-dev nlohmann-json3-dev qt6-base-dev qt6-base-dev-tools \
  xz-utils nsis xvfb xauth

# Qt for mingw, with PrintSupport and QCustomPlot for the archive charts:
# moc, uic and rcc are the host's Qt of the same version.
qt="$(bash scripts/build-qt-windows.sh)"
# SQLite for the history store, from Debian's sqlite3 source, cached likewise.
sqlite="$(bash scripts/build-sqlite-windows.sh)"
source scripts/compiler-cache.sh
jobs=$(nproc)
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DFLOVIR_BUILD_BENCH=OFF \
  -DFLOVIR_QT_WINDOWS="$qt" -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
  -DFLOVIR_SQLITE_WINDOWS="$sqlite" \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
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

# Every page after its demo run, as on Linux. Under wine the offscreen
# platform finds no fonts (it looks for a fonts folder beside Qt); the
# windows platform on a virtual X display draws with the system's fonts.
rm -rf build-windows/screenshots
# Wine's desktop comes with the display and goes before it.
/usr/lib/wine/wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '/usr/lib/wine/wine64 \
  build-windows/app/flovir-screenshots.exe "build-windows\screenshots" >/dev/null &&
  /usr/lib/wine/wineserver -k'

pages=$(ls build-windows/screenshots/*.png | wc -l)
[ "$pages" -ge 13 ] || { echo "flovir-screenshots.exe rendered $pages pages" >&2; exit 1; }
# The three archive charts with the downloaded rows (flovir-screenshots.exe
# fails on a chart that shows nothing).
for chart in 5-hourly-chart 6-daily-chart 7-monthly-chart; do
  [ -s "build-windows/screenshots/$chart.png" ] || { echo "no chart $chart.png" >&2; exit 1; }
done

# The licence the installer shows and installs, with Windows' line ends.
sed 's/$/\r/' LICENSE >build-windows/LICENSE.txt

version=$(sed -n 's/^project(flovir VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DBUILD="$PWD/build-windows" \
  -DOUTFILE="$PWD/build-windows/flovir-setup-$version.exe" scripts/windows/flovir.nsi

if [ "${1:-}" = "--e2e" ]; then
  bash tests/windows/wine_e2e.sh
  bash tests/windows/installer_e2e.sh "build-windows/flovir-setup-$version.exe"
fi
/usr/lib/wine/wineserver -k 2>/dev/null || true
