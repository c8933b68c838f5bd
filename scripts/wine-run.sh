#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix. ctest uses it as the
# emulator for the Windows-side tests; the run script uses it to start the program.
# The prefix is created once (wineboot) and the Word stand-in's COM server, when built, is
# registered in it under Word's class id. Without a display the program gets the build
# folder's Xvfb.
set -euo pipefail

exe=$1
shift

find_build_dir() {
  local d
  d=$(cd "$(dirname "$1")" && pwd)
  while [ "$d" != "/" ]; do
    [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return; }
    d=$(dirname "$d")
  done
  dirname "$1"
}

build=${RAVEL_BUILD_DIR:-$(find_build_dir "$exe")}
export WINEPREFIX=${RAVEL_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# Word's application-global class and its Application class (Word.Application), both served
# by the stand-in's local server, as a Word installation registers them.
classes=('{000209F0-0000-0000-C000-000000000046}' '{000209FF-0000-0000-C000-000000000046}')
server="$build/WordStandIn.exe"

prepare_prefix() {
  if [ ! -f "$WINEPREFIX/.ravel-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$WINEPREFIX/.ravel-ready"
  fi
  if [ -f "$server" ]; then
    local win c
    win=$(winepath -w "$server" 2>/dev/null)
    if [ "$(cat "$WINEPREFIX/.ravel-server" 2>/dev/null)" != "local:$win" ]; then
      for c in "${classes[@]}"; do
        wine reg delete "HKCR\\CLSID\\$c\\InprocServer32" /f >/dev/null 2>&1 || true
        wine reg add "HKCR\\CLSID\\$c\\LocalServer32" /ve /d "$win" /f >/dev/null 2>&1
      done
      wine reg add "HKCR\\Word.Application\\CLSID" /ve /d "${classes[1]}" /f >/dev/null 2>&1
      echo "local:$win" >"$WINEPREFIX/.ravel-server"
    fi
  fi
}

# Whether the X display answers. A display can be named before its server takes
# connections (a fresh Xvfb on a loaded machine) or after it has gone (a stale DISPLAY).
display_answers() { xdpyinfo >/dev/null 2>&1; }

# Waits until the display answers, for at most RAVEL_DISPLAY_WAIT seconds (default 60, well
# below ctest's limit for one test): a bound on a hang, not a measure.
wait_for_display() {
  local limit=$((SECONDS + ${RAVEL_DISPLAY_WAIT:-60}))
  until display_answers; do
    if [ "$SECONDS" -ge "$limit" ]; then
      echo "wine-run.sh: the X display ${DISPLAY:-(none)} does not answer" >&2
      return 1
    fi
    sleep 0.1
  done
}

# Without a display that answers, the build folder's own Xvfb, shared by every program run
# here and kept like the wineserver: Wine's helpers (services, the desktop) outlive a program
# by a moment and stay bound to the display they were started on, so a display per program
# left the next program meeting a desktop on a display that had gone, unable to make a
# window. It ends 60 s after its last client.
shared_display() {
  local file="$build/.xvfb-display" n
  if [ -f "$file" ]; then
    n=$(cat "$file")
    if DISPLAY=:$n RAVEL_DISPLAY_WAIT=0 wait_for_display 2>/dev/null; then
      echo ":$n"
      return
    fi
  fi
  for n in $(seq 110 199); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -terminate 60 \
    </dev/null >/dev/null 2>&1 &
  echo "$n" >"$file"
  echo ":$n"
}

# Several tests may start at once: one of them prepares the prefix (and the display), the
# others wait.
exec 9>"$build/.wineprefix.lock"
flock 9
if [ -z "${DISPLAY:-}" ] || ! RAVEL_DISPLAY_WAIT=${RAVEL_DISPLAY_WAIT:-10} wait_for_display; then
  DISPLAY=$(shared_display)
  export DISPLAY
  wait_for_display
fi
prepare_prefix
# A persistent server makes each further Wine process start in milliseconds.
wineserver -p >/dev/null 2>&1 || true
flock -u 9
exec wine "$exe" "$@"
