#!/usr/bin/env bash
# Screenshots of Ravelmend's windows under Wine, into the folder given (default
# build/mingw/artifacts):
#   main-window.png       the program itself, listing the sample document through COM
#   more-links-found.png  the duplicate location chooser over a main window, an entry chosen
#   folder-browser.png    the folder browser of "&Choose", opened at its start folder
#   splash.png, about.png, info.png, main-window-preview.png, viewer.png
#                         the splash at start, About, Info, the main window with a picture
#                         in its preview, and the picture viewer
#   after-save.png        the main window after "&Dissolve" and "&Save" of the sample
# All but the first come from the Windows-side tests, which hold their window open for the
# shot when RAVEL_SHOWCASE_MS is set (the later ones say "showcase: <name>" when it is up).
#
# The display is RAVEL_SCREENSHOT_DISPLAY when that is set, else a private Xvfb. Wine runs in
# a prefix of its own (build/mingw/screenshot-prefix) that draws the window frames itself, as
# there is no window manager; its wineserver is ended afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-$root/build/mingw/artifacts}
mkdir -p "$out"
out=$(cd "$out" && pwd)
build=${RAVEL_BUILD_DIR:-$root/build/mingw}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset mingw >/dev/null
fi
cmake --build "$build" --target Ravelmend WordStandIn ravel_wintests >/dev/null

export RAVEL_BUILD_DIR=$build
export RAVEL_WINEPREFIX=$build/screenshot-prefix
export WINEPREFIX=$RAVEL_WINEPREFIX
export WINEDEBUG=-all

xvfb=""
jobs_started=()
cleanup() {
  for pid in "${jobs_started[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  return 0
}
trap cleanup EXIT

if [ -n "${RAVEL_SCREENSHOT_DISPLAY:-}" ]; then
  export DISPLAY=$RAVEL_SCREENSHOT_DISPLAY
else
  for n in $(seq 140 170); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
  done
  Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=:$n
  for _ in $(seq 1 50); do
    [ -e /tmp/.X11-unix/X$n ] && break
    sleep 0.1
  done
fi

# Creates the prefix (and registers the Word stand-in) on first use.
scripts/wine-run.sh "$build/ravel_wintests.exe" --gtest_list_tests >/dev/null
# Frames, captions and their buttons drawn by Wine itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

# Waits until `count` visible windows carry the title, then a little for painting.
wait_for() {
  local title=$1 count=${2:-1} n
  for _ in $(seq 1 120); do
    n=$({ xdotool search --onlyvisible --name "$title" 2>/dev/null || true; } | wc -l)
    [ "$n" -ge "$count" ] && { sleep 1.5; return 0; }
    sleep 0.5
  done
  echo "No window \"$title\" appeared." >&2
  return 1
}

shoot() {
  import -window root "$out/$1"
  echo "$out/$1"
}

# Ends a background Wine process started below.
stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

sample=$root/examples/sample-document.json
export RAVELMEND_WORD_FIXTURE="Z:${sample//\//\\}"
scripts/wine-run.sh "$build/Ravelmend.exe" &
program=$!
jobs_started+=("$program")
wait_for '^Ravelmend$'
shoot main-window.png
stop "$program"
unset RAVELMEND_WORD_FIXTURE

export RAVEL_SHOWCASE_MS=5000
scripts/wine-run.sh "$build/ravel_wintests.exe" \
  --gtest_filter=ChooserTest.TheClickedEntryShowsWholeAndOkTakesIt >/dev/null &
chooser=$!
jobs_started+=("$chooser")
# The main window and the chooser above it both carry the program's name.
wait_for '^Ravelmend$' 2
shoot more-links-found.png
wait "$chooser" || echo "The chooser's test failed." >&2

scripts/wine-run.sh "$build/ravel_wintests.exe" \
  --gtest_filter=GuiTest.FolderBrowserOpensAtTheStartFolderAndGivesTheChoice >/dev/null &
browser=$!
jobs_started+=("$browser")
wait_for 'Browse for Folder'
shoot folder-browser.png
wait "$browser" || echo "The folder browser's test failed." >&2

# Shoots each window the test announces, in order.
showcase() {  # showcase <test filter> <name>...
  local filter=$1 log pid name
  shift
  log=$(mktemp)
  scripts/wine-run.sh "$build/ravel_wintests.exe" --gtest_filter="$filter" >"$log" 2>&1 &
  pid=$!
  jobs_started+=("$pid")
  for name in "$@"; do
    for _ in $(seq 1 120); do
      grep -q "showcase: $name" "$log" && break
      sleep 0.5
    done
    sleep 1
    shoot "$name.png"
  done
  wait "$pid" || echo "The test $filter failed." >&2
  rm -f "$log"
}

export RAVEL_SHOWCASE_MS=4000
showcase 'InfoWindowsTest.TheSplashShowsItsTexts*' splash
showcase 'InfoWindowsTest.ThePreviewShows*' preview
mv "$out/preview.png" "$out/main-window-preview.png" && echo "$out/main-window-preview.png"
showcase 'InfoWindowsTest.TheViewerIsSized*' viewer
showcase 'InfoWindowsTest.AboutAndInfo*' about info
showcase 'SaveThroughCom.TheMainWindowAfterTheSave' after-save
