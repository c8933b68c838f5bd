#!/usr/bin/env bash
# Builds everything (native core with sanitizers, Windows program with mingw-w64) and runs
# every test: the native suite, then the Windows-side suite under Wine. Ends with one
# summary line and each step's time. With CI=true, warnings are errors and the formatting is
# checked.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# Each step's time, listed at the end: where a run's minutes go.
times=()
step_name=""
step_start=$(date +%s)
run_start=$step_start
step() { # step [NAME]: ends the running step and starts the next
  local now
  now=$(date +%s)
  [ -n "$step_name" ] && times+=("$(printf '%6d s  %s' $((now - step_start)) "$step_name")")
  step_name=${1:-}
  step_start=$now
  [ -n "$step_name" ] && echo "== $step_name"
  return 0
}

step "dependencies"
# The libraries cross-built for mingw-w64 take minutes; a fresh clone on the same machine
# takes them from the user's cache, kept per version of the script that builds them.
deps_cache=${XDG_CACHE_HOME:-$HOME/.cache}/ravelmend/mingw-deps-$(
  cat scripts/build-mingw-deps.sh /usr/share/doc/libz-mingw-w64-dev/changelog.Debian.gz \
    2>/dev/null | sha256sum | cut -c1-16)
if [ ! -f build/mingw-deps/.complete ] && [ -f "$deps_cache/.complete" ]; then
  mkdir -p build && cp -a "$deps_cache" build/mingw-deps
fi
bash scripts/bootstrap.sh || exit 1
if [ -f build/mingw-deps/.complete ] && [ ! -f "$deps_cache/.complete" ]; then
  rm -rf "$deps_cache" "$deps_cache.tmp"
  mkdir -p "$(dirname "$deps_cache")" && cp -a build/mingw-deps "$deps_cache.tmp" &&
    mv "$deps_cache.tmp" "$deps_cache"
fi

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
jobs=$(nproc)
status=0
log=$root/build/test-logs
mkdir -p "$log"

# The formatting check runs beside the native build.
format_pid=""
if [ "${CI:-}" = "true" ]; then
  git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror >"$log/format.txt" 2>&1 &
  format_pid=$!
fi

step "native build"
cmake --preset native -DRAVEL_WERROR=$werror >/dev/null &&
  cmake --build --preset native -j "$jobs" || exit 1
if [ -n "$format_pid" ] && ! wait "$format_pid"; then
  cat "$log/format.txt"
  echo "Some sources are not formatted (run clang-format -i on them)."
  status=1
fi
step "native tests"
ctest --preset native -j "$jobs" 2>&1 | tee "$log/native.txt" | grep -vE '^ +[0-9]+/[0-9]+ Test +#' || true
# The slower native tests: real documents, LibreOffice round trips, killed processes.
ctest --preset native-slow -j "$jobs" 2>&1 | tee "$log/native-slow.txt" |
  grep -vE '^ +[0-9]+/[0-9]+ Test +#' || true

step "Windows build"
cmake --preset mingw -DRAVEL_WERROR=$werror >/dev/null &&
  cmake --build --preset mingw -j "$jobs" || exit 1
mingw=$root/build/mingw

# Displays of our own (none is needed when there is one): one per Wine test slot, so that
# windows of tests running side by side never take each other's keyboard focus.
xvfb_pids=()
new_display() { # new_display VARIABLE: starts an Xvfb and puts its display into VARIABLE
  local n
  for n in $(seq 90 130); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pids+=($!)
    for _ in $(seq 1 50); do
      [ -e /tmp/.X11-unix/X$n ] && break
      sleep 0.1
    done
    printf -v "$1" ':%s' "$n"
    export "${1?}"
    return 0
  done
}
[ -n "${DISPLAY:-}" ] || new_display DISPLAY
new_display RAVEL_DISPLAY_p1

step "Wine prefixes"
# One prefix made by wineboot; every other one is a linked copy of it (scripts/wine-clone.sh).
for p in wineprefix wineprefix-p1 file-prefix screenshot-prefix; do
  bash scripts/wine-clone.sh "$mingw/wine-template" "$mingw/$p"
done

step "Wine tests"
# Two tests at a time, each in its own prefix and display (the slots of scripts/wine-slot.sh):
# most of a Wine test's time is waiting for another process or a window.
# A window test under Wine on a busy machine may miss a moment once; it runs a second time
# and is named below, so that a flaky test is seen and mended, not hidden.
ctest --preset mingw-pair 2>&1 |
  tee "$log/wine.txt" | grep -vE '^ +[0-9]+/[0-9]+ Test +#' || true
again=$(grep -E 'Test +#[0-9]+: .*\*\*\*(Failed|Timeout|Exception)' "$log/wine.txt" |
  sed -E 's/.*Test +#[0-9]+: ([^ ]+) .*/\1/' | sort -u |
  while read -r t; do grep -qE "^[[:space:]]+[0-9]+ - $t " "$log/wine.txt" || echo "$t"; done)

# The packages users download, and the installer's round trip in a fresh Wine prefix on the
# second display, while the screenshots of the windows are taken on the first: each mostly
# waits for windows.
step "packages, install test and screenshots"
for p in wineprefix wineprefix-p1; do WINEPREFIX=$mingw/$p wineserver -k 2>/dev/null; done
install_status=1
if bash scripts/package.sh >"$log/package.txt" 2>&1; then
  cat "$log/package.txt"
  setup=$(ls -t dist/Ravelmend-*-setup.exe | head -1)
  (
    export DISPLAY=$RAVEL_DISPLAY_p1 RAVEL_WINE_TEMPLATE=$mingw/wine-template
    bash tests/install_wine.sh "$setup" "$mingw" "$mingw/artifacts" >"$log/install.txt" 2>&1
  ) &
  install_pid=$!
else
  echo "Packaging failed:"
  tail -20 "$log/package.txt"
fi

# Screenshots, kept with the build; a window that never shows cannot hold up the run.
if [ -x scripts/screenshot.sh ]; then
  RAVEL_SCREENSHOT_DISPLAY=$DISPLAY timeout 900 bash scripts/screenshot.sh \
    "$mingw/artifacts" >"$log/screenshot.txt" 2>&1 &&
    echo "Screenshots: $mingw/artifacts" ||
    { echo "Screenshot failed:"; tail -5 "$log/screenshot.txt"; }
  WINEPREFIX=$mingw/screenshot-prefix wineserver -k 2>/dev/null || true
fi
if [ -n "${install_pid:-}" ]; then
  wait "$install_pid"
  install_status=$?
  cat "$log/install.txt"
fi

for p in wineprefix wineprefix-p1; do WINEPREFIX=$mingw/$p wineserver -k 2>/dev/null; done
[ ${#xvfb_pids[@]} -gt 0 ] && kill "${xvfb_pids[@]}" 2>/dev/null
step

# ctest: "100% tests passed, 0 tests failed out of 42"
count() { grep -Eo "tests failed out of [0-9]+" "$1" | grep -Eo '[0-9]+$' || echo 0; }
failed() { grep -Eo "[0-9]+ tests failed" "$1" | grep -Eo '^[0-9]+' || echo 1; }
total=$(($(count "$log/native.txt") + $(count "$log/native-slow.txt") + $(count "$log/wine.txt") + 1))
bad=$(($(failed "$log/native.txt") + $(failed "$log/native-slow.txt") + $(failed "$log/wine.txt") +
  (install_status != 0)))
[ "$(count "$log/native.txt")" -eq 0 ] && { echo "The native suite did not run."; bad=$((bad + 1)); }
[ "$(count "$log/native-slow.txt")" -eq 0 ] && { echo "The slow native tests did not run."; bad=$((bad + 1)); }
[ "$(count "$log/wine.txt")" -eq 0 ] && { echo "The Wine suite did not run."; bad=$((bad + 1)); }
[ "$bad" -ne 0 ] && status=1
echo
[ -n "$again" ] && printf 'Passed only when run a second time under Wine:\n%s\n' "$again"
printf '%s\n' "${times[@]}"
printf '%6d s  in all\n' $(($(date +%s) - run_start))
echo "$((total - bad < 0 ? 0 : total - bad)) passed, $bad failed"
exit $status
