#!/usr/bin/env bash
# Installs what is needed, builds, and shows flovir against the built-in
# simulated meter: the window when a display is available, otherwise
# flovir-cli in the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build >/dev/null
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build build -j"$(nproc)" --target flovir
  # Choose "demo" in the port list (already selected), press Старт, then
  # download on the pages of "2. Cкачать".
  exec ./build/app/flovir --demo
fi
cmake --build build -j"$(nproc)" --target flovir-cli
./build/cli/flovir-cli --demo raw read 0 64 --trace
# The current values, then yesterday's hourly archive, through the operation
# dispatcher; temp.xls and the folder авто_ land beside flovir-cli.
./build/cli/flovir-cli --demo current
yesterday=$(date -d yesterday +%d.%m.%Y)
./build/cli/flovir-cli --demo archive hourly --from "$yesterday" --to "$yesterday"
