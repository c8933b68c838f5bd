#!/usr/bin/env bash
# Builds the optimised native benchmarks and runs each, then the walk benchmark under Wine;
# they print their own figures.
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
