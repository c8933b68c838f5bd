#!/usr/bin/env bash
# Makes the pictures the Windows-side loader tests read (tests/fixtures/pictures/): one 40 x 30
# picture in every raster format a document links to, a picture of one-pixel stripes for the
# filtering check (and one wider than any screen), and a text file named like a picture. Stripped of timestamps, so re-running
# the script changes nothing. Needs ImageMagick's `convert`.
set -euo pipefail
cd "$(dirname "$0")/../tests/fixtures/pictures"

strip=(-strip +set date:create +set date:modify -define png:exclude-chunks=date,time,tIME)
for f in red.gif red.jpg bmp3:red.bmp red.png red.tif; do
  convert -size 40x30 xc:'#d02020' "${strip[@]}" -compress None "$f" 2>/dev/null ||
    convert -size 40x30 xc:'#d02020' "${strip[@]}" "$f"
done
convert -size 32x32 xc:'#d02020' "${strip[@]}" red.ico
# Columns alternating black and white: any filtering shrinks them to grey.
convert -size 40x30 pattern:vertical2 -negate "${strip[@]}" png24:stripes.png 2>/dev/null ||
  convert -size 40x30 pattern:vertical2 "${strip[@]}" png24:stripes.png
# Wider than any screen: kept reduced, its stripes averaged.
convert -size 8192x10 pattern:vertical2 "${strip[@]}" png8:wide-stripes.png
# More pixels than are shown (12248 x 12248, one bit each): refused before it is decoded.
python3 - <<'PY'
import struct, zlib
w = h = 12248
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
z = zlib.compressobj(9)
row = b'\x00' + b'\x55' * ((w + 7) // 8)
data = b''.join(z.compress(row) for _ in range(h)) + z.flush()
with open('too-many-pixels.png', 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 1, 0, 0, 0, 0)) +
            chunk(b'IDAT', data) + chunk(b'IEND', b''))
PY
printf 'This is no picture.\n' >notes.gif
ls -l
