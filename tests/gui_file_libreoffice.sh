#!/usr/bin/env bash
# The real program under Wine on a document file, without Word: LibreOffice makes a .docx
# whose pictures are linked in line and floating; the pictures move beneath the document's
# folder; Ravelmend.exe opens the file (from the command line, then from File > Open
# Document File...), dissolves every row into the document's folder and saves. Then
# ravelmend-batch finds every link ok, the file's other entries are byte for byte what they
# were, a backup copy holds the original, and LibreOffice draws every picture again.
# Screenshots of the window (file open, dissolved, saved) go to ARTIFACTS.
# usage: gui_file_libreoffice.sh BUILD_DIR WORKDIR [ARTIFACTS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$2
out=${3:-$build/artifacts}
rm -rf "$work"
mkdir -p "$work/docs/old" "$out"
work=$(cd "$work" && pwd)
out=$(cd "$out" && pwd)
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

export RAVEL_BUILD_DIR=$build
export RAVEL_WINEPREFIX=$build/file-prefix
export WINEPREFIX=$RAVEL_WINEPREFIX
export WINEDEBUG=-all
unset RAVELMEND_WORD_FIXTURE

xvfb=""
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  return 0
}
trap cleanup EXIT
for n in $(seq 171 199); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
done
Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$n
for _ in $(seq 1 50); do
  [ -e /tmp/.X11-unix/X$n ] && break
  sleep 0.1
done

# The prefix made (and the stand-in registered) first; frames and captions drawn by Wine, so
# that positions in a window are those the screenshot script uses.
"$root/scripts/wine-run.sh" "$build/ravelmend-batch.exe" --version >/dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

office() {
  soffice -env:UserInstallation="file://$work/profile" --headless --norestore "$@" \
    >"$work/soffice.log" 2>&1 || { cat "$work/soffice.log"; fail "soffice $*"; }
}
colours=(red=#FF0000 green=#00C000)
for c in "${colours[@]}"; do convert -size 120x80 "xc:${c#*=}" "docs/old/${c%%=*}.png"; done
frame() { # name anchor picture [position]
  echo "<draw:frame draw:name=\"$1\" text:anchor-type=\"$2\" ${4:-} svg:width=\"3cm\""\
" svg:height=\"2cm\"><draw:image xlink:href=\"file://$work/docs/old/$3.png\" xlink:type=\"simple\""\
" xlink:show=\"embed\" xlink:actuate=\"onLoad\"/></draw:frame>"
}
cat >linked.fodt <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:body><office:text>
 <text:p>In line $(frame inline as-char red)</text:p>
 <text:p>$(frame floating paragraph green 'svg:x="9cm" svg:y="2cm"')Floating</text:p>
</office:text></office:body>
</office:document>
EOF
office --convert-to docx --outdir "$work/docs" linked.fodt
[ -s docs/linked.docx ] || fail "LibreOffice made no linked.docx"
cp docs/linked.docx original.docx
cp docs/linked.docx docs/menu.docx
# The pictures move beneath the document's folder, each to a folder of its own.
mkdir -p docs/moved/a docs/moved/b/c
mv docs/old/red.png docs/moved/a/ && mv docs/old/green.png docs/moved/b/c/
rmdir docs/old

# The work folder is drive D: of the prefix, as a share would be.
ln -sfn "$work" "$WINEPREFIX/dosdevices/d:"
# Wine learns its drives when it starts: until the prefix's server has ended, the shell has no
# D: and the folder browser falls back to the desktop.
wineserver -w 2>/dev/null || true
win() { echo "D:${1#"$work"}" | tr / '\\'; }
# X windows of the program, as in scripts/screenshot.sh (positions are those of 96 DPI).
window_of() { { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; } | tail -1; }
wait_for() {
  for _ in $(seq 1 120); do
    [ -n "$(window_of "$1")" ] && { sleep 1.5; return 0; }
    sleep 0.5
  done
  fail "no window \"$1\""
}
geometry_of() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '
    /^X=/ {x=$2} /^Y=/ {y=$2} /^WIDTH=/ {w=$2} /^HEIGHT=/ {h=$2} END {print x, y, w, h}'
}
shoot() { # window file
  local x y w h
  read -r x y w h < <(geometry_of "$1")
  import -window root -crop "$((w + 16))x$((h + 16))+$((x > 8 ? x - 8 : 0))+$((y > 8 ? y - 8 : 0))" \
    +repage "$out/$2"
  echo "$out/$2"
}
click_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.7; }
answer_box() {
  local id
  for _ in 1 2 3 4 5 6; do
    id=$(window_of "$1")
    [ -z "$id" ] && return 0
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    xdotool key Return
    sleep 0.7
  done
}

# Hidden objects on (the floating picture listed), the document's folder as the root, every
# row dissolved and saved.
relink() { # shot-prefix document
  local main x y w h
  main=$(window_of '^Ravelmend - ')
  read -r x y w h < <(geometry_of "$main")
  click_at $((x + 50)) $((y + 372))
  answer_box '^Support hidden Objects$'
  sleep 1
  [ -n "$1" ] && { xdotool mousemove 1270 1010; sleep 0.5; shoot "$main" "$1-open.png"; }
  click_at $((x + 437)) $((y + 520))
  wait_for 'Browse for Folder'
  xdotool key Return
  sleep 1
  click_at $((x + 100)) $((y + 199))
  xdotool key ctrl+a
  sleep 0.3
  click_at $((x + 527)) $((y + 520))
  sleep 2
  click_at $((x + 100)) $((y + 199))
  xdotool key ctrl+a
  sleep 0.3
  [ -n "$1" ] && { xdotool mousemove 1270 1010; sleep 0.5; shoot "$main" "$1-dissolved.png"; }
  # Saved once the backup copy is there: on a loaded machine the dissolve may still run
  # when Save is first pressed, so it is pressed again until the file shows the save.
  for _ in 1 2 3; do
    click_at $((x + 537)) $((y + 84))
    for _ in $(seq 1 120); do
      [ -f "$2.bak" ] && break 2
      sleep 0.5
    done
  done
  sleep 1
  click_at $((x + 100)) $((y + 199))
  [ -n "$1" ] && { xdotool mousemove 1270 1010; sleep 0.5; shoot "$main" "$1-saved.png"; }
  return 0
}
stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}

# By the command line.
"$root/scripts/wine-run.sh" "$build/Ravelmend.exe" "$(win "$work/docs/linked.docx")" &
pid=$!
pids+=("$pid")
wait_for '^Ravelmend - '
relink file "docs/linked.docx"
stop "$pid"

# By the menu: the program starts on Word's document (none here), Ctrl+O opens the file.
"$root/scripts/wine-run.sh" "$build/Ravelmend.exe" &
pid=$!
pids+=("$pid")
wait_for '^Ravelmend$'
for _ in 1 2 3 4 5; do
  xdotool windowfocus --sync "$(window_of '^Ravelmend$')" 2>/dev/null || true
  xdotool key ctrl+o
  sleep 2
  [ -n "$(window_of '^Open Document File$')" ] && break
done
wait_for '^Open Document File$'
xdotool type --delay 20 "$(win "$work/docs/menu.docx")"
xdotool key Return
wait_for '^Ravelmend - '
relink "" "docs/menu.docx"
stop "$pid"

for d in linked menu; do
  [ -f "docs/$d.docx.bak" ] || fail "no backup copy of $d.docx"
  cmp -s "docs/$d.docx.bak" original.docx || fail "the backup of $d.docx is not the original"
  "$root/scripts/wine-run.sh" "$build/ravelmend-batch.exe" list "$(win "$work/docs/$d.docx")" \
    >"list-$d.txt" || { cat "list-$d.txt"; fail "links of $d.docx still missing"; }
  cat "list-$d.txt"
  grep -q "2 links: 2 ok" "list-$d.txt" || fail "not every link of $d.docx is ok"
  python3 - "docs/$d.docx" original.docx <<'PY' || fail "$d.docx: more changed than its links"
import sys, zipfile
new, old = (zipfile.ZipFile(p) for p in sys.argv[1:])
assert new.namelist() == old.namelist(), "entries differ"
changed = [n for n in old.namelist() if new.read(n) != old.read(n)]
print(sys.argv[1], "changed entries:", changed)
assert changed == ["word/_rels/document.xml.rels"], changed
PY
done

pixels() { # png colour
  convert "$1" -alpha off -fuzz 12% -fill black +opaque "$2" -fill white -opaque "$2" \
    -format '%[fx:round(mean*w*h)]' info:
}
cp original.docx docs/moved-only.docx
office --convert-to pdf --outdir "$work" docs/linked.docx docs/menu.docx docs/moved-only.docx
for d in linked menu moved-only; do
  pdftoppm -r 40 -png -f 1 -l 1 "$d.pdf" "$d"
  png=$(ls "$d"-*1.png)
  for c in "${colours[@]}"; do
    n=$(pixels "$png" "${c#*=}")
    echo "$d.pdf: ${c%%=*} picture: $n pixels"
    if [ "$d" = moved-only ]; then [ "$n" -lt 50 ] || fail "$d shows the ${c%%=*} picture"
    else [ "$n" -gt 500 ] || fail "$d.pdf does not show the ${c%%=*} picture"; fi
  done
done
echo "PASS: opened by the command line and by the menu, relinked, saved; LibreOffice draws both pictures"
