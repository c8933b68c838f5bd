#!/usr/bin/env bash
# Builds the optimised native benchmarks and runs each, then the walk and the preview
# benchmarks under Wine; they print their own figures.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
cmake --preset bench >/dev/null
cmake --build --preset bench
for b in build/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
echo "== bench_wine_walk (under Wine)"
bash scripts/bench-wine.sh
echo "== bench_wine_preview (under Wine)"
RAVEL_BENCH_NO_BOOTSTRAP=1 bash scripts/bench-preview.sh
