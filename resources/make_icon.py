#!/usr/bin/env python3
"""Draws resources/zelvane.ico: one 32x32 image in 16 colours (a white launch arrow rising
from a blue disc with a yellow spark). Run it again after changing the drawing."""
import struct
import sys

SIZE = 32
# The standard 16-colour palette, as B, G, R, 0.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, BLUE, YELLOW, WHITE = 0, 4, 8, 12, 11, 15


def draw():
    pixels = [[None] * SIZE for _ in range(SIZE)]  # None: transparent
    cx = cy = 15.5
    for y in range(SIZE):
        for x in range(SIZE):
            d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
            if d <= 15.5:
                pixels[y][x] = NAVY if d > 13.5 else BLUE
    # The arrow: a head (triangle) over a shaft, pointing up and to the right.
    for y in range(6, 17):
        half = (y - 6) * 0.8
        for x in range(SIZE):
            if abs(x - 15.5) <= half + 0.3:
                pixels[y][x] = WHITE
    for y in range(17, 27):
        for x in range(13, 19):
            pixels[y][x] = WHITE
    # The spark under the shaft.
    for (x, y) in [(15, 27), (16, 27), (14, 28), (15, 28), (16, 28), (17, 28), (15, 29), (16, 29)]:
        pixels[y][x] = YELLOW
    return pixels


def ico(pixels):
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = bytearray()
        for x in range(0, SIZE, 2):
            a = pixels[y][x] or 0
            b = pixels[y][x + 1] or 0
            row.append((a << 4) | b)
        xor += row
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if pixels[y][x] is None else 0)
        mask += struct.pack(">I", bits)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/zelvane.ico"
    with open(out, "wb") as f:
        f.write(ico(draw()))
