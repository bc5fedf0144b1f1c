#!/usr/bin/env python3
"""Draws the program icons and writes them as .ico files.

IDI_APP (tessfold.ico): a portable player seen from the front -- dark body,
teal screen with an amber "flash" arrow pointing down into it, and a click
wheel. IDI_SMALL (tessfold-small.ico): the same player without the wheel, so
the arrow still reads at 16 pixels.

Each file holds 16, 32 and 48 pixel images at 4, 8 and 32 bits per pixel.
The shapes are described on a unit square and rendered with 4x4 supersampling,
so every size is drawn rather than scaled. Only the standard library is used.

    python3 shell/icons/make_icons.py [output-dir]
"""
import os
import struct
import sys

SIZES = (16, 32, 48)
DEPTHS = (4, 8, 32)
SUPERSAMPLE = 4

BODY = (46, 58, 79)
BODY_EDGE = (24, 30, 42)
SCREEN = (79, 195, 199)
ARROW = (245, 166, 35)
WHEEL = (201, 206, 214)
WHEEL_HUB = (46, 58, 79)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def triangle(a, b, c):
    def edge(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    def inside(x, y):
        d1, d2, d3 = edge(a, b, x, y), edge(b, c, x, y), edge(c, a, x, y)
        neg = d1 < 0 or d2 < 0 or d3 < 0
        pos = d1 > 0 or d2 > 0 or d3 > 0
        return not (neg and pos)
    return inside


def player(with_wheel):
    """Layers painted in order: (shape, colour)."""
    layers = [
        (rounded_rect(0.18, 0.02, 0.82, 0.98, 0.12), BODY_EDGE),
        (rounded_rect(0.22, 0.06, 0.78, 0.94, 0.09), BODY),
    ]
    screen_bottom = 0.56 if with_wheel else 0.86
    layers.append((rect(0.29, 0.13, 0.71, screen_bottom), SCREEN))
    head_top = 0.30 if with_wheel else 0.46
    head_tip = 0.52 if with_wheel else 0.80
    layers.append((rect(0.43, 0.15 if with_wheel else 0.18, 0.57, head_top + 0.01), ARROW))
    layers.append((triangle((0.33, head_top), (0.67, head_top), (0.5, head_tip)), ARROW))
    if with_wheel:
        layers.append((circle(0.5, 0.76, 0.14), WHEEL))
        layers.append((circle(0.5, 0.76, 0.05), WHEEL_HUB))
    return layers


def render(layers, size):
    """Returns rows of (r, g, b, a) with straight alpha, top row first."""
    pixels = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    colour = None
                    for inside, c in layers:
                        if inside(x, y):
                            colour = c
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if covered:
                rgb = tuple(int(round(v / covered)) for v in acc)
                row.append(rgb + (int(round(255 * covered / (n * n))),))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


# The 16-colour images keep the design's contrast better with these picks than
# with the nearest VGA colour (which turns the screen grey).
VGA16_PICKS = {SCREEN: (0, 128, 128), WHEEL: (192, 192, 192), ARROW: (255, 255, 0)}


def palette256():
    levels = (0, 51, 102, 153, 204, 255)
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(v, v, v) for v in range(8, 256, 16)]
    colours += [BODY, BODY_EDGE, SCREEN, ARROW, WHEEL]
    return colours + [(0, 0, 0)] * (256 - len(colours))


def nearest(palette, rgb):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def and_mask(pixels, size):
    out = bytearray()
    stride = row_bytes(size)
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return out


def dib(pixels, size, depth):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, depth, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    if depth == 32:
        for row in reversed(pixels):
            for r, g, b, a in row:
                body += bytes((b, g, r, a))
        return header + body + and_mask(pixels, size)
    palette = VGA16 if depth == 4 else palette256()
    cache = {}
    pal_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    stride = row_bytes(size * depth)
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                index = 0
            else:
                rgb = VGA16_PICKS.get(p[:3], p[:3]) if depth == 4 else p[:3]
                index = cache.setdefault(rgb, nearest(palette, rgb))
            if depth == 8:
                line[x] = index
            else:
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        body += line
    return header + pal_bytes + body + and_mask(pixels, size)


def write_ico(path, layers):
    images = []
    for depth in DEPTHS:
        for size in SIZES:
            images.append((size, depth, dib(render(layers, size), size, depth)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, depth, data in images:
        colours = 16 if depth == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, depth, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    write_ico(os.path.join(out_dir, "tessfold.ico"), player(with_wheel=True))
    write_ico(os.path.join(out_dir, "tessfold-small.ico"), player(with_wheel=False))


if __name__ == "__main__":
    main()
