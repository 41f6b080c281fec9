#!/usr/bin/env bash
# Builds every libFuzzer target under fuzz/ with clang in its own tree and
# runs each for a bounded time, starting from its seed corpus.
#   FUZZ_SECONDS  time per target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/compiler-cache.sh
seconds=${FUZZ_SECONDS:-60}
tree=build-fuzz
CXX=clang++-14 cmake -S . -B "$tree" -DFLOVIR_BUILD_FUZZ=ON -DFLOVIR_BUILD_BENCH=OFF \
  -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

for dir in fuzz/*/; do
  name=$(basename "$dir")
  target=fuzz_$name
  [ -f "$dir/CMakeLists.txt" ] || continue
  cmake --build "$tree" -j"$(nproc)" --target "$target"
  # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
  work="$tree/corpus-$name"
  mkdir -p "$work"
  echo "== $target for ${seconds}s"
  # A malloc limit far below the machine's memory catches allocations that
  # a small input does not justify.
  "$tree/fuzz/$name/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=256 -artifact_prefix="$tree/" -print_final_stats=1 \
    "$work" "$dir/corpus"
done
