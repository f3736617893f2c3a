#!/usr/bin/env python3
"""Writes the gauge's bitmap 256 as a .bmp file for the resource compiler.

The simulator shows the gauge's one element with this image: 10 by 10 pixels, 8 bits per pixel
with a grey-ramp palette (entry i is (i, i, i)), every pixel index 0 (black), rows bottom-up,
7874 pixels per metre. The resource compiler drops the 14-byte file header, so the resource is
the 40-byte information header, the 1024-byte palette and 120 bytes of pixels: 1184 bytes.
Usage: make_gauge_bitmap.py OUTPUT.bmp
"""
import struct
import sys

WIDTH = 10
HEIGHT = 10
BITS = 8
COLOURS = 256
PIXELS_PER_METRE = 7874
ROW_BYTES = (WIDTH * BITS + 31) // 32 * 4  # rows are filled out to 4 bytes


def bitmap_bytes():
    pixels = bytes(ROW_BYTES * HEIGHT)  # all index 0
    palette = b"".join(bytes((i, i, i, 0)) for i in range(COLOURS))  # blue, green, red, 0
    # BITMAPINFOHEADER: size, width, height (positive: bottom-up), planes, bit count,
    # compression (BI_RGB), image size, resolution, colours used, colours important.
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, BITS, 0, len(pixels),
                       PIXELS_PER_METRE, PIXELS_PER_METRE, COLOURS, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_gauge_bitmap.py OUTPUT.bmp")
    with open(sys.argv[1], "wb") as out:
        out.write(bitmap_bytes())


if __name__ == "__main__":
    main()
