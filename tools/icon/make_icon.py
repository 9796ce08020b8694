#!/usr/bin/env python3
"""Draws the application icon, win/brevox.ico: a sound wave in a rounded
square, as two 8-bit (256-colour palette) images of 32x32 and 16x16 pixels.

Standard library only. Run from anywhere; the output is byte-for-byte
reproducible, so the committed icon can be checked against a fresh run.
"""
import math
import os
import struct
import sys

# Palette indexes of the colours drawn; index 0 (black) sits under the mask.
PALETTE = [
    (0, 0, 0),        # 0 transparent
    (24, 40, 88),     # 1 border
    (40, 72, 140),    # 2 background, top
    (32, 58, 118),    # 3 background, bottom
    (255, 204, 40),   # 4 wave
    (255, 240, 170),  # 5 wave highlight
]
TRANSPARENT, BORDER, TOP, BOTTOM, WAVE, HIGHLIGHT = range(6)


def inside_rounded(x, y, size, radius):
    """True when the centre of pixel (x, y) lies in the rounded square."""
    cx, cy = x + 0.5, y + 0.5
    nx = min(max(cx, radius), size - radius)
    ny = min(max(cy, radius), size - radius)
    return (cx - nx) ** 2 + (cy - ny) ** 2 <= radius ** 2


def wave_height(x, size):
    """Half-height of the wave's bar at column x: a short cry, loud at first."""
    t = (x + 0.5) / size
    envelope = math.sin(math.pi * t) ** 0.7
    return envelope * abs(math.sin(2.6 * math.pi * t * 2)) * size * 0.36 + size * 0.04


def draw(size):
    """Returns rows of palette indexes, top row first."""
    radius = size / 5
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            if not inside_rounded(x, y, size, radius):
                row.append(TRANSPARENT)
            elif not all(inside_rounded(x + dx, y + dy, size, radius)
                         for dx, dy in ((-1, 0), (1, 0), (0, -1), (0, 1))):
                row.append(BORDER)
            else:
                margin = 2 if size <= 16 else 4
                half = wave_height(x, size)
                centre = size / 2
                if margin <= x < size - margin and abs(y + 0.5 - centre) <= half:
                    row.append(HIGHLIGHT if abs(y + 0.5 - centre) < 1 else WAVE)
                else:
                    row.append(TOP if y < size / 2 else BOTTOM)
        rows.append(row)
    return rows


def image_bytes(size):
    """One icon image: BITMAPINFOHEADER, palette, colour rows, mask rows (bottom-up)."""
    rows = draw(size)
    colour_stride = (size + 3) & ~3
    mask_stride = ((size + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0,
                         (colour_stride + mask_stride) * size, 0, 0, 256, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    palette += b'\0' * (4 * (256 - len(PALETTE)))
    colour = b''
    mask = b''
    for row in reversed(rows):
        colour += bytes(row) + b'\0' * (colour_stride - size)
        line = bytearray(mask_stride)
        for x, index in enumerate(row):
            if index == TRANSPARENT:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + palette + colour + mask


def icon_file(sizes):
    images = [image_bytes(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', '..', 'win', 'brevox.ico')
    with open(target, 'wb') as f:
        f.write(icon_file([32, 16]))


if __name__ == '__main__':
    main()
