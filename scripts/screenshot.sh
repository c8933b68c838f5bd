#!/usr/bin/env bash
# Screenshots of Ravelmend's windows under Wine, into the folder given (default
# build/mingw/artifacts). The program itself runs under the Word stand-in on the sample
# document (copied to D:\Reports, a drive of the screenshot prefix, so no build path shows)
# and is worked with the mouse and keyboard as a user would (xdotool):
#   splash.png               the splash at start
#   main-window.png          the main window at 96 DPI, the row of office.jpg clicked: its
#                            picture in the preview
#   main-window-144dpi.png   the same at 144 DPI
#   viewer.png               "&Show" pressed and the viewer's frame dragged larger
#   about.png, info.png      File > About, and the "Info" link
#   folder-browser.png       "&Choose": the folder browser, "pictures" chosen
#   more-links-found.png     "&Dissolve": the chooser of a name found at two places
#   after-save.png           the sample relinked and saved, as the README's steps say
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
  # The prefix is shared with scripts/run.sh: back to 96 DPI, also after a failed shot.
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1 ||
    true
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
  Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
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

# The visible window of that title (the newest), and its X geometry as X Y W H.
window_of() { { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; } | tail -1; }
geometry_of() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '
    /^X=/ {x=$2} /^Y=/ {y=$2} /^WIDTH=/ {w=$2} /^HEIGHT=/ {h=$2} END {print x, y, w, h}'
}
# Shoots the screen cut to the windows (all of them together), with a margin.
shoot_window() {  # shoot_window <window ids, blank-separated> <file>
  local id x y w h left=100000 top=100000 right=0 bottom=0
  for id in $1; do
    read -r x y w h < <(geometry_of "$id")
    left=$((x < left ? x : left))
    top=$((y < top ? y : top))
    right=$((x + w > right ? x + w : right))
    bottom=$((y + h > bottom ? y + h : bottom))
  done
  left=$((left > 8 ? left - 8 : 0))
  top=$((top > 8 ? top - 8 : 0))
  import -window root -crop "$((right - left + 8))x$((bottom - top + 8))+$left+$top" +repage \
    "$out/$2"
  echo "$out/$2"
}
# The bounding box (X Y W H, on the screen) of the pixels of one colour, within a band of
# the window (from and to, in percent of its height; its caption bar shares the colours), or
# nothing.
colour_box() {  # colour_box <window id> <colour> <from percent> <to percent>
  local x y w h shot box top
  read -r x y w h < <(geometry_of "$1")
  top=$((h * $3 / 100))
  y=$((y + top))
  shot=$(mktemp --suffix=.png)
  import -window root -crop "${w}x$((h * $4 / 100 - top))+$x+$y" +repage "$shot"
  box=$(convert "$shot" -fill black +opaque "$2" -fill white -opaque "$2" -format '%@' info:)
  rm -f "$shot"
  [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
  [ "${BASH_REMATCH[1]}" -gt 1 ] || return 1
  echo "$((x + BASH_REMATCH[3])) $((y + BASH_REMATCH[4])) ${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"
}
click_at() { xdotool mousemove "$1" "$2" click "${3:-1}"; sleep 0.5; }
# Clicks until a window of the title shows (a click that only brings the window back to the
# front after a message box does nothing more).
click_for() {  # click_for <x> <y> <title>
  local n
  for _ in 1 2 3; do
    click_at "$1" "$2"
    for n in $(seq 1 20); do
      [ -n "$(window_of "$3")" ] && { sleep 1; return 0; }
      sleep 0.25
    done
  done
  echo "No window \"$3\" after clicks." >&2
  return 1
}
# Answers a message box by Enter, once it has the keyboard.
answer_box() {  # answer_box <title>
  local id
  for _ in 1 2 3 4 5 6; do
    id=$(window_of "$1")
    [ -z "$id" ] && return 0
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    xdotool key Return
    sleep 0.7
  done
}
# Moves the pointer out of the way (no tool tip, no hot tracking in the shot).
park() { xdotool mousemove 1270 1010; sleep 1; }

# Ends a background Wine process started below.
# Ends the program and the Word stand-in it attached to: like Word, the stand-in stays
# running with its document, and the next run must find the fixture as it was.
stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}

# The sample document and its pictures on D:.
stage=$build/screenshot-docs
rm -rf "$stage"
mkdir -p "$stage/Reports"
cp -r "$root/examples/pictures" "$stage/Reports/"
cp "$root/examples/sample-document.json" "$stage/Reports/Quarterly Report.json"
ln -sfn "$stage" "$WINEPREFIX/dosdevices/d:"
export RAVELMEND_WORD_FIXTURE='D:\Reports\Quarterly Report.json'

selection='srgb(48,150,250)'  # a selected row of the focused list
link='srgb(0,102,204)'        # the labels that act as links

# One run of the program at a DPI; at 96 also the splash, the viewer, About and Info.
program_at() {  # program_at <dpi> <main window file>
  local dpi=$1 pid main box bx by bw bh viewer vx vy vw vh
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wineserver -w 2>/dev/null || true
  scripts/wine-run.sh "$build/Ravelmend.exe" &
  pid=$!
  jobs_started+=("$pid")
  if [ "$dpi" = 96 ]; then
    # The splash stands alone (no title) until the main window shows.
    for _ in $(seq 1 200); do
      if [ -n "$(xdotool search --onlyvisible --class ravelmend 2>/dev/null)" ] &&
        [ -z "$(window_of '^Ravelmend$')" ]; then
        sleep 0.3
        shoot_window "$(xdotool search --onlyvisible --class ravelmend | tail -1)" splash.png
        break
      fi
      sleep 0.05
    done
  fi
  wait_for '^Ravelmend$'
  main=$(window_of '^Ravelmend$')
  xdotool windowfocus --sync "$main" 2>/dev/null || true
  # The list has the focus: the last row, one up (office.jpg, relative to the document's
  # folder), then a click on it shows its picture.
  xdotool key End
  sleep 0.3
  xdotool key Up
  sleep 0.5
  box=$(colour_box "$main" "$selection" 20 70) || { echo "No selected row found." >&2; return 1; }
  read -r bx by bw bh <<<"$box"
  click_at $((bx + bw / 4)) $((by + bh / 2))
  park
  shoot_window "$main" "$2"
  if [ "$dpi" = 96 ]; then
    # "&Show" by the keyboard, from the list: Text_Path, SID, Locked, hidden Objects, Preview.
    for _ in 1 2 3 4 5 6; do
      xdotool key Tab
      sleep 0.1
    done
    xdotool key space
    wait_for 'office\.jpg$'
    viewer=$(window_of 'office\.jpg$')
    read -r vx vy vw vh < <(geometry_of "$viewer")
    # Its frame dragged larger by the bottom right corner.
    xdotool mousemove $((vx + vw - 2)) $((vy + vh - 2)) mousedown 1
    for i in $(seq 1 12); do
      xdotool mousemove $((vx + vw - 2 + i * 36)) $((vy + vh - 2 + i * 27))
      sleep 0.05
    done
    xdotool mouseup 1
    park
    shoot_window "$viewer" viewer.png
    # A double-click closes it; a click on the row brings the main window back to the front.
    read -r vx vy vw vh < <(geometry_of "$viewer")
    xdotool mousemove $((vx + vw / 2)) $((vy + vh / 2)) click --repeat 2 --delay 80 1
    sleep 0.5
    click_at $((bx + bw / 4)) $((by + bh / 2))
    # File > About (F10 goes to the menu bar: "File" has no mnemonic; About is four steps
    # down, the separator skipped), then Esc; the "Info" link, then Enter.
    for k in F10 Down Down Down Down Return; do
      xdotool key $k
      sleep 0.3
    done
    sleep 1.5
    shoot_window "$main" about.png
    xdotool key Escape
    sleep 0.5
    box=$(colour_box "$main" "$link" 20 75) || { echo "No Info link found." >&2; return 1; }
    read -r bx by bw bh <<<"$box"
    click_at $((bx + bw / 2)) $((by + bh / 2))
    park
    shoot_window "$main" info.png
    xdotool key Return
    sleep 0.5
  fi
  stop "$pid"
  wineserver -w 2>/dev/null || true
}

# The sample relinked as the README's steps say, with the mouse: hidden objects on, the
# pictures folder chosen, all rows dissolved (2023\map.png and brand\stamp.gif picked, in
# the order the walk offers them here), all saved, the first row looked at. Positions in
# the windows are those of 96 DPI.
relink_sample() {
  local pid main x y w h b bx by bw bh
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  scripts/wine-run.sh "$build/Ravelmend.exe" &
  pid=$!
  jobs_started+=("$pid")
  wait_for '^Ravelmend$'
  main=$(window_of '^Ravelmend$')
  read -r x y w h < <(geometry_of "$main")
  click_for $((x + 50)) $((y + 372)) '^Support hidden Objects$' # its notice: OK
  answer_box '^Support hidden Objects$'
  sleep 1
  # "&Choose": the browser, at the document's folder.
  click_for $((x + 437)) $((y + 520)) 'Browse for Folder'
  b=$(window_of 'Browse for Folder')
  read -r bx by bw bh < <(geometry_of "$b")
  click_at $((bx + 80)) $((by + 191))  # Reports opened
  click_at $((bx + 140)) $((by + 207)) # pictures
  shoot_window "$b" folder-browser.png
  click_at $((bx + 184)) $((by + 318)) # OK
  sleep 1
  click_at $((x + 100)) $((y + 199))  # a row, then every row
  xdotool key ctrl+a
  sleep 0.3
  click_at $((x + 527)) $((y + 520))  # "&Dissolve"
  for key in Home End; do
    wait_for '^Ravelmend$' 2 || break
    xdotool key $key
    sleep 0.5
    [ "$key" = Home ] && shoot_window "$(xdotool search --onlyvisible --name '^Ravelmend$')" \
      more-links-found.png
    xdotool key Return
    sleep 2
  done
  click_at $((x + 100)) $((y + 199))
  xdotool key ctrl+a
  sleep 0.3
  click_at $((x + 537)) $((y + 84))  # "&Save"
  sleep 4
  click_at $((x + 100)) $((y + 199))  # the first row of the list read again
  park
  shoot_window "$main" after-save.png
  stop "$pid"
  wineserver -w 2>/dev/null || true
}

program_at 96 main-window.png
program_at 144 main-window-144dpi.png
relink_sample
