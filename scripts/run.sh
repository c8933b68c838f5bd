#!/usr/bin/env bash
# Builds the Windows program and starts it under Wine, talking through real COM to the Word
# stand-in, which serves the sample document in examples/. With a display the main window
# opens there; without one it runs on a private Xvfb display, and a screenshot of it is
# saved and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/bootstrap.sh

cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Ravelmend WordStandIn

fixture=${RAVELMEND_WORD_FIXTURE:-$root/examples/sample-document.json}
# Wine shows the host's / as drive Z:.
export RAVELMEND_WORD_FIXTURE="Z:${fixture//\//\\}"
exe=$root/build/mingw/Ravelmend.exe

if [ -n "${DISPLAY:-}" ]; then
  exec scripts/wine-run.sh "$exe"
fi

shots=$root/build/mingw/artifacts
mkdir -p "$shots"
for n in $(seq 130 160); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
done
Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$n
# No window manager draws frames there, so Wine draws them itself, in the prefix the
# screenshots use (the tests' prefix stays as it is).
export RAVEL_BUILD_DIR=$root/build/mingw
export RAVEL_WINEPREFIX=$RAVEL_BUILD_DIR/screenshot-prefix
export WINEPREFIX=$RAVEL_WINEPREFIX WINEDEBUG=-all
cleanup() {
  wineserver -k 2>/dev/null || true
  kill $xvfb 2>/dev/null || true
}
trap cleanup EXIT
sleep 1
scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 || true # creates the prefix on first use
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
scripts/wine-run.sh "$exe" &
for _ in $(seq 1 60); do
  xdotool search --onlyvisible --name '^Ravelmend$' >/dev/null 2>&1 && break
  sleep 1
done
sleep 3
import -window root "$shots/run-main-window.png"
echo "No display here: Ravelmend ran on a private Xvfb display."
echo "Screenshot of its main window: $shots/run-main-window.png"
