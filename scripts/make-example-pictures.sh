#!/usr/bin/env bash
# Makes the small pictures and placeholder files beneath examples/pictures/ that the sample
# document's links point at once they are found again. Each picture is 64x48 with a colour
# and its name, stripped of timestamps so that re-running the script changes nothing.
# Needs ImageMagick's `convert` (Debian: apt-get install imagemagick).
set -euo pipefail
cd "$(dirname "$0")/../examples/pictures"

picture() {  # picture <file> <colour> <label>
  mkdir -p "$(dirname "$1")"
  local out=$1
  case $1 in
    *.bmp) out="bmp3:$1" ;;                                   # Windows 3 bitmap, 8 bits
    *.png) out="png8:$1" ;;                                   # paletted, a few hundred bytes
  esac
  convert -size 64x48 "xc:$2" -font DejaVu-Sans -fill white -stroke none \
    -gravity center -pointsize 10 -annotate 0 "$3" \
    -strip -define png:exclude-chunks=date,time,tIME +set date:create +set date:modify \
    -colors 16 -type Palette "$out"
}

placeholder() {  # placeholder <file> <text>: stands for an Excel or Word file
  mkdir -p "$(dirname "$1")"
  printf '%s\n' "$2" >"$1"
}

picture brand/logo.gif        steelblue  "logo"
picture brand/stamp.gif       firebrick  "stamp"
picture archive/stamp.gif     darkred    "stamp (old)"
picture archive/map.png       olivedrab  "map (old)"
picture 2023/map.png          seagreen   "map"
picture photos/team-photo.jpg darkorange "team"
picture photos/office.jpg     sienna     "office"
picture charts/chart-q1.bmp   navy       "Q1"
picture charts/Übersicht.png  purple     "Übersicht"
picture charts/Схема.gif      teal       "Схема"
picture charts/arrow.png      dimgray    "arrow"
placeholder tables/sales-2023.xls "Placeholder for an Excel sheet (sales 2023)"
placeholder tables/budget.xls     "Placeholder for an Excel sheet (budget)"
placeholder docs/appendix.doc     "Placeholder for a Word document (appendix)"
