#!/usr/bin/env python3
"""Draws the program's icon (resources/zelko_sfx.ico): a blue rounded tile with a white
arrow going down into a tray, at the sizes Windows asks for from 100 % to 200 % scaling.
Pure Python, so it runs anywhere: python3 scripts/make_icon.py resources/zelko_sfx.ico"""
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64)
SAMPLES = 4  # supersampling per axis, for smooth edges


def inside_rounded(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def inside_polygon(x, y, points):
    inside = False
    for i in range(len(points)):
        x1, y1 = points[i]
        x2, y2 = points[(i + 1) % len(points)]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            inside = not inside
    return inside


# Shapes in a 0..1 square.
ARROW = [(0.40, 0.16), (0.60, 0.16), (0.60, 0.44), (0.74, 0.44), (0.50, 0.68),
         (0.26, 0.44), (0.40, 0.44)]
TRAY = [(0.20, 0.58), (0.28, 0.58), (0.28, 0.74), (0.72, 0.74), (0.72, 0.58), (0.80, 0.58),
        (0.80, 0.84), (0.20, 0.84)]


def pixel(u, v):
    """Colour (r, g, b, a) at the point (u, v) of the unit square."""
    if not inside_rounded(u, v, 0.04, 0.04, 0.96, 0.96, 0.18):
        return (0, 0, 0, 0)
    if inside_polygon(u, v, ARROW) or inside_polygon(u, v, TRAY):
        return (255, 255, 255, 255)
    # A gentle top-to-bottom gradient from a light to a deeper blue.
    top, bottom = (46, 140, 230), (20, 84, 176)
    return tuple(int(a + (b - a) * v) for a, b in zip(top, bottom)) + (255,)


def render(size):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = pixel((x + (sx + 0.5) / SAMPLES) / size,
                                       (y + (sy + 0.5) / SAMPLES) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (SAMPLES * SAMPLES)
            if acc[3]:
                row.append(tuple(int(c / acc[3]) for c in acc[:3]) + (int(alpha + 0.5),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_entry(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha says it all
    return header + pixels + mask


def main(path):
    images = [bmp_entry(render(size)) for size in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        dim = 0 if size == 256 else size
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'zelko_sfx.ico')
