#!/usr/bin/env bash
# The icon theme's PNG files, decoded here on their own terms: every size is
# the design's 32-pixel picture scaled by whole pixels only and centred,
# with no blended pixel anywhere (16, 22, 24: the top-left pixel of each
# 2 x 2 block; 48: the picture with an 8-pixel margin; 64 to 256: 2 to 8
# times). The design comes from tests/common/icon_check.py.
set -euo pipefail
source "$(dirname "$0")/../lib/setup.sh"
icons=$build/packaging/icons
[ -d "$icons" ] || { echo "theme_icons: no icons in this build (TOVI_PACKAGING off), skipped"; exit 77; }

exec python3 - "$icons" "$source/tests/common" <<'PY'
import struct, sys, zlib
icons, common = sys.argv[1:]
sys.path.insert(0, common)
from icon_check import expected

COLOUR = {'clear': (0, 0, 0, 0), 'black': (0, 0, 0, 255), 'red': (255, 0, 0, 255)}


def decode(path):
    """RGBA rows of an 8-bit PNG, colour type 2 or 6, not interlaced."""
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', path + ': not a PNG'
    at, idat = 8, b''
    while at < len(data):
        length, kind = struct.unpack_from('>I4s', data, at)
        body = data[at + 8:at + 8 + length]
        if kind == b'IHDR':
            width, height, depth, ctype, _, _, interlace = struct.unpack('>IIBBBBB', body)
            assert depth == 8 and ctype in (2, 6) and interlace == 0, path + ': unexpected PNG form'
        elif kind == b'IDAT':
            idat += body
        at += 12 + length
    channels = 4 if ctype == 6 else 3
    stride = width * channels
    raw, rows, prev = zlib.decompress(idat), [], bytearray(stride)
    for r in range(height):
        kind, line = raw[r * (stride + 1)], bytearray(raw[r * (stride + 1) + 1:(r + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
            if kind == 1: line[i] = (line[i] + a) & 255
            elif kind == 2: line[i] = (line[i] + b) & 255
            elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[i:i + channels]) + ((255,) if channels == 3 else ())
                     for i in range(0, stride, channels)])
        prev = line
    return width, height, rows


design = expected()
errors = []
for size in (16, 22, 24, 32, 48, 64, 128, 256):
    shrink = 2 if size < 32 else 1
    base = 32 // shrink
    grow = size // base
    margin = (size - base * grow) // 2
    width, height, rows = decode(f'{icons}/{size}x{size}/apps/tovi.png')
    if (width, height) != (size, size):
        errors.append(f'{size}: is {width} x {height}')
        continue
    for r in range(size):
        for c in range(size):
            y, x = r - margin, c - margin
            if 0 <= y < base * grow and 0 <= x < base * grow:
                want = COLOUR[design[y // grow * shrink][x // grow * shrink]]
            else:
                want = COLOUR['clear']
            have = rows[r][c]
            if have != want and not (want[3] == 0 and have[3] == 0):
                errors.append(f'{size}: row {r} col {c}: want {want}, have {have}')
if errors:
    print('theme_icons: %d pixels differ:\n  ' % len(errors) + '\n  '.join(errors[:20]), file=sys.stderr)
    sys.exit(1)
print('theme_icons: 8 sizes match the design')
PY
