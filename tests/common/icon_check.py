#!/usr/bin/env python3
"""Decodes an .ico file on its own terms and checks every pixel of its one
image against the picture as the design describes it: a black triangle with
a red N, transparent outside. Deliberately shares nothing with the C++ code
that writes the file.

usage: icon_check.py FILE.ico
"""
import struct
import sys

# Per row, top to bottom: first and last opaque column of the triangle.
FIRST = [14, 14, 13, 13, 12, 12, 11, 11, 10, 10, 9, 9, 9, 8, 8, 7,
         7, 6, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0]
LAST = [14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19, 20, 21, 21, 22, 22,
        23, 23, 24, 25, 25, 26, 26, 27, 27, 28, 29, 29, 30, 30, 31, 31]

# Rows of the letter and their red column ranges, inclusive.
RED_TABLE = [
    ([15], [(7, 11), (19, 22)]),
    ([16, 17], [(7, 12), (19, 22)]),
    ([18], [(7, 13), (19, 22)]),
    ([19, 20], [(7, 14), (19, 22)]),
    ([21], [(7, 15), (19, 22)]),
    ([22], [(7, 10), (12, 16), (19, 22)]),
    ([23], [(7, 10), (12, 17), (19, 22)]),
    ([24], [(7, 10), (13, 22)]),
    ([25], [(7, 10), (14, 22)]),
    ([26, 27], [(7, 10), (15, 22)]),
    ([28], [(7, 10), (16, 22)]),
    ([29, 30], [(7, 10), (17, 22)]),
    ([31], [(7, 10), (18, 22)]),
]

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def expected():
    red = {}
    for rows, runs in RED_TABLE:
        for r in rows:
            red[r] = runs
    want = []
    for r in range(32):
        row = []
        for c in range(32):
            if c < FIRST[r] or c > LAST[r]:
                row.append('clear')
            elif any(a <= c <= b for a, b in red.get(r, [])):
                row.append('red')
            else:
                row.append('black')
        want.append(row)
    return want


def fail(msg):
    print('icon_check: ' + msg, file=sys.stderr)
    sys.exit(1)


def main():
    if len(sys.argv) != 2:
        fail('usage: icon_check.py FILE.ico')
    data = open(sys.argv[1], 'rb').read()

    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    if (reserved, kind, count) != (0, 1, 1):
        fail('not an icon file with exactly one image: %r' % ((reserved, kind, count),))
    width, height, colours, _, planes, bpp, size, offset = struct.unpack_from('<BBBBHHII', data, 6)
    if (width, height, colours, planes, bpp) != (32, 32, 16, 1, 4):
        fail('directory entry is not 32x32, 16 colours, 4 bpp: %r' % ((width, height, colours, planes, bpp),))
    if offset + size != len(data):
        fail('image does not end with the file (offset %d, size %d, file %d)' % (offset, size, len(data)))

    (hsize, bw, bh, bplanes, bbits, compression) = struct.unpack_from('<IiiHHI', data, offset)
    if (hsize, bw, bh, bplanes, bbits, compression) != (40, 32, 64, 1, 4, 0):
        fail('bitmap header: %r' % ((hsize, bw, bh, bplanes, bbits, compression),))
    used = struct.unpack_from('<I', data, offset + 32)[0]
    entries = used or 16
    if entries != 16:
        fail('palette holds %d entries' % entries)
    pal_at = offset + hsize
    palette = []
    for i in range(entries):
        b, g, r, _ = data[pal_at + 4 * i: pal_at + 4 * i + 4]
        palette.append((r, g, b))
    if palette != PALETTE:
        fail('palette is not the standard 16-colour palette: %r' % palette)

    xor_at = pal_at + 4 * entries
    xor_stride = 16   # 32 pixels at 4 bits, a multiple of 4 bytes
    and_at = xor_at + 32 * xor_stride
    and_stride = 4    # 32 pixels at 1 bit
    if and_at + 32 * and_stride != len(data):
        fail('pixel data has the wrong length')

    want = expected()
    errors = []
    for r in range(32):
        src = 31 - r  # rows are stored bottom-up
        for c in range(32):
            byte = data[xor_at + src * xor_stride + c // 2]
            index = (byte >> 4) if c % 2 == 0 else (byte & 0x0F)
            masked = (data[and_at + src * and_stride + c // 8] >> (7 - c % 8)) & 1
            w = want[r][c]
            if w == 'clear':
                ok = masked == 1 and index == 0
            elif w == 'black':
                ok = masked == 0 and palette[index] == (0, 0, 0) and index == 0
            else:
                ok = masked == 0 and palette[index] == (255, 0, 0) and index == 9
            if not ok:
                errors.append('row %d col %d: want %s, have entry %d mask %d' % (r, c, w, index, masked))
    if errors:
        fail('%d pixels differ:\n  ' % len(errors) + '\n  '.join(errors[:20]))
    print('icon_check: %s matches, 1024 pixels' % sys.argv[1])


if __name__ == '__main__':
    main()
