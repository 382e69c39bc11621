#!/usr/bin/env python3
"""Draws the program's icon (a printer with a download arrow) and writes it as an .ico file
with 16, 32 and 48 pixel images, 32 bits per pixel. Usage: make_icon.py OUTPUT.ico"""
import struct
import sys

BODY = (70, 70, 78, 255)
EDGE = (40, 40, 46, 255)
PAPER = (250, 250, 250, 255)
TRAY = (120, 120, 130, 255)
ARROW = (30, 120, 215, 255)
LED = (40, 200, 80, 255)
CLEAR = (0, 0, 0, 0)


def pixel(size, x, y):
    """Colour at (x, y), y from the top, of the icon drawn on a size x size grid."""
    u, v = x / size, y / size  # drawn in unit coordinates so every size looks the same
    if 0.5 - 0.09 <= u <= 0.5 + 0.09 and 0.04 <= v <= 0.30:
        return ARROW  # the arrow's shaft
    if 0.28 <= v <= 0.44 and abs(u - 0.5) <= (0.44 - v) * 1.3:
        return ARROW  # the arrow's head
    if 0.22 <= u <= 0.78 and 0.44 <= v < 0.52:
        return PAPER  # sheet going in
    if 0.06 <= u <= 0.94 and 0.52 <= v <= 0.84:
        if u < 0.10 or u > 0.90 or v < 0.56 or v > 0.80:
            return EDGE
        if 0.76 <= u <= 0.84 and 0.60 <= v <= 0.66:
            return LED
        return BODY
    if 0.18 <= u <= 0.82 and 0.84 < v <= 0.94:
        return TRAY
    return CLEAR


def image(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = bytearray()
    mask = bytearray()
    mask_row = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row = bytearray(mask_row)
        for x in range(size):
            r, g, b, a = pixel(size, x + 0.5, y + 0.5)
            colours += bytes((b, g, r, a))
            if a == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(colours) + bytes(mask)


def main():
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
