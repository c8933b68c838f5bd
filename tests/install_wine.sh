#!/usr/bin/env bash
# The installer under Wine, as a user meets it: a silent install into a fresh prefix, the
# programs, Start menu shortcut and uninstall entry in place, ravelmend-batch.exe answering,
# Ravelmend.exe starting against the Word stand-in, then a silent uninstall that leaves
# nothing but the user's settings key. A second round with /PATH puts the command line tool
# on the user's PATH and takes it off again.
#   [RAVEL_WINE_TEMPLATE=PREFIX] tests/install_wine.sh SETUP.exe BUILD_DIR [SHOTS_DIR]
# BUILD_DIR is the mingw build (WordStandIn.exe); with SHOTS_DIR, screenshots of the
# installer's first page and of the installed program's About window are saved there.
set -uo pipefail
setup=$(readlink -f "$1")
build=$(readlink -f "$2")
shots=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(basename "$setup" | sed -E 's/^Ravelmend-(.*)-setup\.exe$/\1/')

export WINEPREFIX=$build/install-prefix
export WINEDEBUG=-all
# No .desktop files or menu entries on the host for the shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export WINEARCH=win64
work=$(mktemp -d)
xvfb=""
program=""
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  # A fresh prefix each run: this one (some 700 MB) is not kept.
  rm -rf "$work" "$WINEPREFIX"
  return 0
}
trap cleanup EXIT

failures=0
check() {  # check <what> <command...>
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    echo "  ok    $what"
  else
    echo "  FAIL  $what"
    failures=$((failures + 1))
  fi
}
win() { wine "$@" 2>/dev/null | tr -d '\r'; }
# Waits for a visible window whose title matches; prints its id.
wait_window() {
  local id
  for _ in $(seq 1 120); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.5
  done
  return 1
}

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 171 199); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
  done
  Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=:$n
  sleep 1
fi

echo "Install test of $(basename "$setup") in a fresh prefix"
rm -rf "$WINEPREFIX"
# With RAVEL_WINE_TEMPLATE (a prefix only wineboot has touched), a linked copy of it.
[ -n "${RAVEL_WINE_TEMPLATE:-}" ] && bash "$here/scripts/wine-clone.sh" "$RAVEL_WINE_TEMPLATE" "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
wineserver -w
# Without a window manager, Wine draws the frames itself (for the screenshots).
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

if [ -n "$shots" ]; then
  mkdir -p "$shots"
  wine "$setup" >/dev/null 2>&1 &
  pid=$!
  if wait_window "Ravelmend $version Setup" >/dev/null; then
    sleep 2
    import -window root "$shots/installer-welcome.png" && echo "  shot  $shots/installer-welcome.png"
  else
    echo "  FAIL  the installer's first page did not show"
    failures=$((failures + 1))
  fi
  kill $pid 2>/dev/null
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
fi

start=$(date +%s%N)
wine "$setup" /S >/dev/null 2>&1
wineserver -w
echo "  silent install: $((($(date +%s%N) - start) / 1000000)) ms"

local_app=$(win cmd /c 'echo %LOCALAPPDATA%')
roaming=$(win cmd /c 'echo %APPDATA%')
inst=$(winepath -u "$local_app\\Programs\\Ravelmend" 2>/dev/null)
shortcut=$(winepath -u "$roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Ravelmend.lnk" 2>/dev/null)
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ravelmend'

check "Ravelmend.exe under the user's local programs folder" test -f "$inst/Ravelmend.exe"
check "ravelmend-batch.exe in its bin folder" test -f "$inst/bin/ravelmend-batch.exe"
check "the uninstaller" test -f "$inst/Uninstall.exe"
check "the Start menu shortcut" test -f "$shortcut"
check "the uninstall entry with the version" \
  sh -c "wine reg query '$key' /v DisplayVersion 2>/dev/null | grep -q '$version'"
check "the uninstall entry's quiet uninstaller" \
  sh -c "wine reg query '$key' /v QuietUninstallString 2>/dev/null | grep -q 'Uninstall.exe\" /S'"
check "nothing on PATH unless asked" \
  sh -c "! wine reg query 'HKCU\\Environment' /v Path 2>/dev/null | grep -qi 'Ravelmend'"

batch="$inst/bin/ravelmend-batch.exe"
check "ravelmend-batch.exe --version says $version" \
  sh -c "wine '$batch' --version 2>/dev/null | grep -q '^ravelmend-batch $version '"

# A document with one link that resolves and one that does not.
mkdir -p "$work/doc/word/_rels" "$work/doc/_rels"
printf 'png' >"$work/here.png"
cat >"$work/doc/[Content_Types].xml" <<'XML'
<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>
XML
cat >"$work/doc/_rels/.rels" <<'XML'
<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>
XML
cat >"$work/doc/word/document.xml" <<'XML'
<?xml version="1.0"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" xmlns:v="urn:schemas-microsoft-com:vml"><w:body><w:p><w:r><w:pict><v:shape><v:imagedata r:id="rId1"/></v:shape></w:pict></w:r><w:r><w:pict><v:shape><v:imagedata r:id="rId2"/></v:shape></w:pict></w:r></w:p></w:body></w:document>
XML
here_win=$(winepath -w "$work/here.png" 2>/dev/null)
cat >"$work/doc/word/_rels/document.xml.rels" <<XML
<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/image" Target="$here_win" TargetMode="External"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/image" Target="C:\\gone\\away.png" TargetMode="External"/></Relationships>
XML
(cd "$work/doc" && zip -q -X -r ../test.docx .)
wine "$batch" list "$(winepath -w "$work/test.docx" 2>/dev/null)" >"$work/list.txt" 2>&1
status=$?
check "ravelmend-batch.exe list: exit status 1 (one link missing)" test "$status" -eq 1
check "ravelmend-batch.exe list: the summary" \
  grep -q "1 document, 2 links: 1 ok, 1 missing" "$work/list.txt"

# The installed program against the Word stand-in, reached as the tests reach it: its local
# COM server from the build, registered in this prefix under Word's class ids.
wine "$build/WordStandIn.exe" /RegServer >/dev/null 2>&1
wineserver -w
export RAVELMEND_WORD_FIXTURE
RAVELMEND_WORD_FIXTURE=$(winepath -w "$here/examples/sample-document.json" 2>/dev/null)
wine "$inst/Ravelmend.exe" >/dev/null 2>&1 &
program=$!
main=$(wait_window '^Ravelmend$')
check "Ravelmend.exe shows its main window" test -n "$main"
if [ -n "$main" ] && [ -n "$shots" ]; then
  # File > About: the menu bar, the File menu's second item.
  sleep 3
  xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main" 2>/dev/null
  xdotool key --delay 300 F10 Down Down Return
  sleep 3
  import -window root "$shots/installed-about.png" && echo "  shot  $shots/installed-about.png"
fi
check "Ravelmend.exe wrote the user's settings key" \
  wine reg query 'HKCU\Software\Norquill\Ravelmend' /v Version
kill "$program" 2>/dev/null
program=""
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

start=$(date +%s%N)
wine "$inst/Uninstall.exe" /S >/dev/null 2>&1
wineserver -w
echo "  silent uninstall: $((($(date +%s%N) - start) / 1000000)) ms"
check "the program folder is gone" test ! -e "$inst"
check "the Start menu shortcut is gone" test ! -e "$shortcut"
check "the uninstall entry is gone" sh -c "! wine reg query '$key' >/dev/null 2>&1"
check "the user's settings key stays" wine reg query 'HKCU\Software\Norquill\Ravelmend' /v Version

# /PATH: the command line tool on the user's PATH, and off it again with the uninstall.
wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d '%USERPROFILE%\tools' /f >/dev/null 2>&1
wine "$setup" /S /PATH >/dev/null 2>&1
wineserver -w
check "/PATH puts the bin folder on the user's PATH, after what was there" \
  sh -c "wine reg query 'HKCU\\Environment' /v Path 2>/dev/null | grep -q 'REG_EXPAND_SZ.*%USERPROFILE%.tools;.*Ravelmend.bin'"
wine "$inst/Uninstall.exe" /S >/dev/null 2>&1
wineserver -w
check "the uninstall takes it off PATH and keeps the rest" \
  sh -c "wine reg query 'HKCU\\Environment' /v Path 2>/dev/null | tr -d '\\r' | grep -q 'REG_EXPAND_SZ *%USERPROFILE%.tools\$'"

if [ "$failures" -eq 0 ]; then
  echo "Install test: passed"
  exit 0
fi
echo "Install test: $failures checks failed"
exit 1
