#!/usr/bin/env bash
# The walk benchmark under Wine: the program's dissolve on its real window next to a bare
# FindFirstFileExW walk of the same tree, in the build's own prefix; it prints its figures.
# Without a display it starts an Xvfb of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target bench_wine_walk
bash scripts/wine-run.sh build/mingw/bench_wine_walk.exe
