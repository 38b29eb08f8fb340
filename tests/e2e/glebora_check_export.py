#!/usr/bin/env python3
"""Checks the maps glebora exported in a scenario: exact sizes and headers, the highest vertex at
the top of the 24-bit range (and white in the low-precision map), the flat corners at the lowest
value, and painted texels in the colour map. Without --anywhere the highest vertex must also lie
near the middle (the sculpting scenario's single hill; z = 0 is the image's top row).
Usage: glebora_check_export.py BASE [--anywhere]"""
import struct
import sys


def read_tga(path, width, height):
    with open(path, "rb") as f:
        data = f.read()
    header = bytes([0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0]) + struct.pack("<HHBB", width, height, 24, 0)
    if data[:18] != header:
        sys.exit(f"{path}: unexpected header {data[:18].hex()}")
    if len(data) != 18 + width * height * 3:
        sys.exit(f"{path}: {len(data)} bytes, expected {18 + width * height * 3}")
    return data[18:]


def pixel(pixels, width, height, column, row_from_top):
    at = ((height - 1 - row_from_top) * width + column) * 3
    b, g, r = pixels[at:at + 3]
    return r, g, b


def main():
    base = sys.argv[1]
    anywhere = "--anywhere" in sys.argv[2:]
    high = read_tga(base + "_heightmap_high_precision.tga", 257, 257)
    low = read_tga(base + "_heightmap_low_precision.tga", 257, 257)
    colour = read_tga(base + "_colormap.tga", 512, 512)

    best, best_at = -1, None
    for j in range(257):
        for i in range(257):
            r, g, b = pixel(high, 257, 257, i, j)
            n = r * 65536 + g * 256 + b
            if n > best:
                best, best_at = n, (i, j)
    if best != 16777215:
        sys.exit(f"highest vertex stored as {best}, expected 16777215")
    if not anywhere and (abs(best_at[0] - 128) > 20 or abs(best_at[1] - 128) > 20):
        sys.exit(f"hill top at {best_at}, expected near (128, 128)")
    if pixel(high, 257, 257, 0, 0) != (0, 0, 0) or pixel(low, 257, 257, 256, 256) != (0, 0, 0):
        sys.exit("the flat corners should be at the lowest value")
    if pixel(low, 257, 257, *best_at) != (255, 255, 255):
        sys.exit("low-precision hill top should be (255, 255, 255)")

    grey = pixel(colour, 512, 512, 0, 0)
    painted = sum(1 for k in range(0, len(colour), 3) if tuple(colour[k:k + 3]) != tuple(reversed(grey)))
    if painted < 50:
        sys.exit(f"only {painted} colour-map texels differ from the grey at the corner")
    levels = len({pixel(high, 257, 257, i, j) for j in range(257) for i in range(257)})
    if levels < 20:
        sys.exit(f"only {levels} distinct heights: the terrain was hardly shaped")
    print(f"highest vertex at {best_at}, {levels} distinct heights, {painted} painted texels")


main()
