#!/usr/bin/env bash
# Makes the pictures the program carries as resources: the splash picture (a GIF of 155 x 203
# pixels) and the information window's illustration (a bitmap of 417 x 152 pixels). Both are
# drawings without text: every text of those windows is a control of its own. Stripped of
# timestamps, so re-running the script changes nothing.
# Needs ImageMagick's `convert` (Debian: apt-get install imagemagick).
set -euo pipefail
cd "$(dirname "$0")/../src/win32/app"

strip=(-strip +set date:create +set date:modify)

# A page with text lines.
page_lines() {  # x0 y0 x1 y1 step
  local x0=$1 y0=$2 x1=$3 y1=$4 step=$5 y args=()
  for ((y = y0; y <= y1; y += step)); do args+=(-draw "rectangle $x0,$y $x1,$((y + 2))"); done
  printf '%s\n' "${args[@]}"
}

# The splash: a document whose picture hangs on a chain link to a photo found again.
mapfile -t lines < <(page_lines 30 40 112 120 9)
convert -size 155x203 gradient:'#1d3f7a-#4f86c6' \
  -fill '#00000030' -draw "roundrectangle 24,20 132,186 6,6" \
  -fill white -stroke '#c9d6ea' -draw "roundrectangle 20,16 128,182 6,6" \
  -stroke none -fill '#c2cad6' "${lines[@]}" \
  -fill '#7fb2e5' -draw "rectangle 32,130 92,170" \
  -fill '#5f9e4f' -draw "polygon 32,170 52,146 66,160 76,150 92,170" \
  -fill '#f6d04d' -draw "circle 82,139 85,139" \
  -fill none -stroke '#f2a33a' -strokewidth 5 \
  -draw "roundrectangle 96,140 126,156 8,8" \
  -draw "roundrectangle 114,152 144,168 8,8" \
  "${strip[@]}" -colors 64 splash.gif

# The illustration: left, a picture in line with the text (found by the edit-links dialog);
# right, a picture floating over the text (hidden from it).
mapfile -t left < <(page_lines 22 22 186 130 10)
mapfile -t right < <(page_lines 230 22 394 130 10)
convert -size 417x152 xc:'#f3f5f8' \
  -fill white -stroke '#b9c3d1' -draw "rectangle 10,10 198,142" -draw "rectangle 218,10 406,142" \
  -stroke none -fill '#c9d0da' "${left[@]}" "${right[@]}" \
  -fill white -draw "rectangle 22,61 186,101" \
  -fill '#7fb2e5' -draw "rectangle 76,62 132,100" \
  -fill '#5f9e4f' -draw "polygon 76,100 94,80 106,90 116,82 132,100" \
  -fill none -stroke '#2e8b57' -strokewidth 6 -draw "line 150,84 160,94" -draw "line 160,94 180,70" -draw "circle 160,94 163,94" \
  -stroke none -fill '#7fb2e5' -draw "rectangle 286,46 350,94" \
  -fill '#5f9e4f' -draw "polygon 286,94 306,70 320,82 332,72 350,94" \
  -fill none -stroke '#888888' -strokewidth 1 -draw "rectangle 282,42 354,98" \
  -stroke '#c0392b' -strokewidth 6 -draw "line 364,58 388,82" -draw "line 388,58 364,82" \
  "${strip[@]}" +dither -type Palette -colors 64 bmp3:info.bmp
ls -l splash.gif info.bmp
