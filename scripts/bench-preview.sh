#!/usr/bin/env bash
# The preview and viewer benchmark under Wine: time and peak memory to show a 4000 x 3000
# JPEG, a 12000 x 12000 PNG and a 30000 x 30000 PNG (refused) in the preview, first time and
# again, each in a process of its own, read on the window's own thread as before the preview
# had workers; then the program's main window with the pictures read on its workers: the
# time until each shows and the longest the window's thread is kept from its messages (goal:
# under 50 ms), also with the rows released 100 ms apart, and the close box while the large
# PNG is read; then the viewer's redraws while its frame is dragged and at the end of the
# drag. The pictures are made once in /tmp/ravel-bench-preview.
# Figures only; without a display it starts an Xvfb of its own (1280 x 1024).
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${RAVEL_BENCH_NO_BOOTSTRAP:-}" = 1 ] || bash scripts/bootstrap.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target bench_wine_preview >/dev/null

dir=/tmp/ravel-bench-preview
mkdir -p "$dir"
if [ ! -f "$dir/photo-4000x3000.jpg" ]; then
  convert -size 4000x3000 plasma:fractal -seed 7 -quality 90 "$dir/photo-4000x3000.jpg"
fi
# Large PNGs written directly (ImageMagick would need gigabytes to make them): RGB rows of a
# colour ramp, deflated.
make_png() {  # make_png SIDE FILE
  python3 - "$1" "$2" <<'PY'
import struct, sys, zlib
side, path = int(sys.argv[1]), sys.argv[2]
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
z = zlib.compressobj(1)
ramp = bytes((x * 7 + y) & 0xFF for x in range(side) for y in (0, 1, 2))
with open(path, 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', side, side, 8, 2, 0, 0, 0)))
    parts = []
    for y in range(side):
        parts.append(z.compress(b'\x00' + ramp[y % 3:] + ramp[:y % 3]))
        if len(parts) == 256:
            f.write(chunk(b'IDAT', b''.join(parts)))
            parts = []
    parts.append(z.flush())
    f.write(chunk(b'IDAT', b''.join(parts)) + chunk(b'IEND', b''))
PY
}
[ -f "$dir/ramp-12000.png" ] || make_png 12000 "$dir/ramp-12000.png"
[ -f "$dir/ramp-30000.png" ] || make_png 30000 "$dir/ramp-30000.png"

# One display for every run: a private Xvfb when there is none. The prefix's Wine processes
# are ended first and last, so none of them holds on to a display gone since.
export WINEPREFIX=${RAVEL_WINEPREFIX:-$(pwd)/build/mingw/wineprefix}
xvfb=""
cleanup() {
  WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  return 0
}
trap cleanup EXIT
wineserver -k 2>/dev/null || true
if [ -z "${DISPLAY:-}" ]; then
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
fi
run() { bash scripts/wine-run.sh build/mingw/bench_wine_preview.exe "$@"; }
win() { echo "Z:${1//\//\\}"; }
echo "Before: the picture read on the window's thread, which is kept from its messages"
echo "throughout (the preview, 249 x 128 pixels), each case in its own process:"
run preview "$(win "$dir/photo-4000x3000.jpg")" "JPEG 4000x3000"
run preview "$(win "$dir/ramp-12000.png")" "PNG 12000x12000"
run preview "$(win "$dir/ramp-30000.png")" "PNG 30000x30000 (refused)"
echo
echo "After: the main window, its pictures read on worker threads:"
run window "$(win "$dir/photo-4000x3000.jpg")" "JPEG 4000x3000" \
  "$(win "$dir/ramp-12000.png")" "PNG 12000x12000" \
  "$(win "$dir/ramp-30000.png")" "PNG 30000x30000 (refused)"
run exit "$(win "$dir/ramp-12000.png")" "PNG 12000x12000"
echo
echo "Viewer:"
run viewer "$(win "$dir/photo-4000x3000.jpg")" "JPEG 4000x3000"
