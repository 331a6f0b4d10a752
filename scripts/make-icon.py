#!/usr/bin/env python3
"""Writes the command's icon: a 32x32 RGBA image, uncompressed baseline TIFF, little-endian.

The picture is a square made of two triangles in two shades, the shared diagonal drawn faint:
two triangles that are one quadrangle again. Uses only the standard library, so the checked-in
file can be regenerated anywhere:  scripts/make-icon.py plugins/facetmender/res/icon.tif
"""
import struct
import sys

SIZE = 32


def pixel(x, y):
    """RGBA of pixel (x, y), y downwards."""
    lo, hi = 3, SIZE - 4
    if not (lo <= x <= hi and lo <= y <= hi):
        return (0, 0, 0, 0)
    if x in (lo, hi) or y in (lo, hi):
        return (245, 245, 245, 255)          # border
    if x == y:
        return (170, 220, 215, 255)          # the old diagonal, faint
    if x > y:
        return (32, 140, 150, 255)           # upper-right triangle
    return (22, 100, 120, 255)               # lower-left triangle


def tiff(width, height, rgba):
    header_size = 8

    def short(v):
        return struct.pack('<H', v)

    def long(v):
        return struct.pack('<I', v)

    bits = b''.join(short(8) for _ in range(4))
    resolution = struct.pack('<II', 72, 1)
    image = bytes(rgba)
    # Layout: header, image data, extra values, IFD.
    image_offset = header_size
    bits_offset = image_offset + len(image)
    xres_offset = bits_offset + len(bits)
    yres_offset = xres_offset + len(resolution)
    ifd_offset = yres_offset + len(resolution)

    SHORT, LONG, RATIONAL = 3, 4, 5
    tags = [
        (256, SHORT, 1, short(width)),
        (257, SHORT, 1, short(height)),
        (258, SHORT, 4, long(bits_offset)),
        (259, SHORT, 1, short(1)),            # no compression
        (262, SHORT, 1, short(2)),            # RGB
        (273, LONG, 1, long(image_offset)),
        (277, SHORT, 1, short(4)),            # samples per pixel
        (278, SHORT, 1, short(height)),       # one strip
        (279, LONG, 1, long(len(image))),
        (282, RATIONAL, 1, long(xres_offset)),
        (283, RATIONAL, 1, long(yres_offset)),
        (284, SHORT, 1, short(1)),            # chunky
        (296, SHORT, 1, short(2)),            # inches
        (338, SHORT, 1, short(2)),            # extra sample: unassociated alpha
    ]
    out = bytearray(b'II' + struct.pack('<HI', 42, ifd_offset))
    out += image + bits + resolution + resolution
    assert len(out) == ifd_offset
    out += struct.pack('<H', len(tags))
    for tag, kind, count, value in tags:
        out += struct.pack('<HHI', tag, kind, count) + value.ljust(4, b'\0')
    out += struct.pack('<I', 0)
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make-icon.py OUTPUT.tif')
    rgba = bytearray()
    for y in range(SIZE):
        for x in range(SIZE):
            rgba += bytes(pixel(x, y))
    with open(sys.argv[1], 'wb') as f:
        f.write(tiff(SIZE, SIZE, rgba))


if __name__ == '__main__':
    main()
