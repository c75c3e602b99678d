#!/usr/bin/env python3
"""Draws the program icon (a blue shield with a white magnifier) into
lang/harvin.ico: 16x16 and 32x32, 32 bits per pixel. Run by hand when the
drawing changes; the icon file is kept in the tree."""
import math
import struct
import sys


def pixel(x, y, size):
    # coordinates in 0..1, y downwards
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    # shield: rectangle top part, rounded point at the bottom
    half = 0.42 if v < 0.55 else 0.42 * math.sqrt(max(0.0, 1 - ((v - 0.55) / 0.40) ** 2))
    inside = 0.08 <= v <= 0.95 and abs(u - 0.5) <= half
    if not inside:
        return (0, 0, 0, 0)
    edge = abs(u - 0.5) > half - 0.06 or v < 0.14
    colour = (0x20, 0x3c, 0x8a) if edge else (0x2f, 0x6f, 0xd8)
    # magnifier: ring and handle
    cx, cy, r = 0.45, 0.42, 0.17
    d = math.hypot(u - cx, v - cy)
    ring = r - 0.05 <= d <= r + 0.02
    along = (u - cx) + (v - cy)
    across = (u - cx) - (v - cy)
    handle = 0.20 <= along / math.sqrt(2) + 0.0 <= 0.42 and abs(across) / math.sqrt(2) <= 0.045
    if ring or handle:
        colour = (0xff, 0xff, 0xff)
    return colour + (0xff,)


def image(size):
    rows = []
    for y in reversed(range(size)):  # bottom-up
        row = b"".join(struct.pack("BBBB", b, g, r, a) for (r, g, b, a) in (pixel(x, y, size) for x in range(size)))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "lang/harvin.ico")
