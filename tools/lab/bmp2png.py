#!/usr/bin/env python3
"""Converts the 24-bit bottom-up BMP files ui_driver writes into PNG files (zlib only).

    bmp2png.py FILE.bmp...    writes FILE.png beside each and removes the BMP
"""
import os
import struct
import sys
import zlib


def convert(bmp_path):
    with open(bmp_path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(bmp_path + ": not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError(bmp_path + ": not 24 bits per pixel")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = y if height < 0 else abs(height) - 1 - y
        line = data[offset + source * stride: offset + source * stride + width * 3]
        rgb = bytearray(line)
        rgb[0::3], rgb[2::3] = line[2::3], line[0::3]  # BGR to RGB
        rows.append(b"\x00" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
    png_path = os.path.splitext(bmp_path)[0] + ".png"
    with open(png_path, "wb") as f:
        f.write(png)
    os.remove(bmp_path)
    return png_path


if __name__ == "__main__":
    for path in sys.argv[1:]:
        print(convert(path))
