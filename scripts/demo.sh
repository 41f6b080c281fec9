#!/usr/bin/env bash
# Installs what is needed, builds, and runs flovir-cli against the built-in
# simulated meter.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target flovir-cli
./build/cli/flovir-cli --demo raw read 0 64 --trace
