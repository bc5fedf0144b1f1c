#!/usr/bin/env python3
"""Converts the GUI suite's 24-bit BMP screenshots in a folder to PNG files
(and removes the BMPs). Standard library only.

    bmp2png.py <folder>
"""
import os
import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0:
        raise ValueError(f"{path}: only uncompressed 24-bit BMPs are handled")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source_row = (abs(height) - 1 - y) if height > 0 else y
        start = offset + source_row * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(bytes(rgb))
    return width, abs(height), rows


def chunk(kind, payload):
    body = kind + payload
    return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    folder = sys.argv[1]
    for name in sorted(os.listdir(folder)):
        if not name.lower().endswith(".bmp"):
            continue
        source = os.path.join(folder, name)
        write_png(os.path.splitext(source)[0] + ".png", *read_bmp(source))
        os.remove(source)


if __name__ == "__main__":
    main()
