#!/usr/bin/env bash
# Renders every page of the window after a demo run of each operation against
# the built-in simulated meter, on the offscreen platform, into
# docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j2 --target flovir-screenshots
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
./build/app/flovir-screenshots docs/screenshots
