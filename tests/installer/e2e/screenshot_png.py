#!/usr/bin/env python3
"""Turns the driver's screenshots (24-bit BMP files) into small PNG files.

A picture of at most 256 colours (every dialog is one) becomes an indexed PNG; any other an RGB
one. Each BMP is replaced by its PNG.

Usage: screenshot_png.py FILE.bmp...
"""

import os
import struct
import sys
import zlib


def read_bmp(path):
    """The pixels of a bottom-up, uncompressed 24-bit BMP as rows of (r, g, b), top row first."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError("%s: not a BMP file" % path)
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0:
        raise ValueError("%s: not an uncompressed 24-bit BMP" % path)
    top_down = height < 0
    height = abs(height)
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(height):
        start = offset + y * stride
        line = data[start:start + width * 3]
        rows.append([(line[x + 2], line[x + 1], line[x]) for x in range(0, width * 3, 3)])
    if not top_down:
        rows.reverse()
    return width, height, rows


def chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body +
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def png_bytes(width, height, rows):
    colours = {}
    for row in rows:
        for pixel in row:
            if pixel not in colours:
                colours[pixel] = len(colours)
                if len(colours) > 256:
                    break
        if len(colours) > 256:
            break
    if len(colours) <= 256:
        raw = b"".join(b"\0" + bytes(colours[p] for p in row) for row in rows)
        header = struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0)
        palette = b"".join(bytes(p) for p in sorted(colours, key=colours.get))
        extra = chunk(b"PLTE", palette)
    else:
        raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)
        header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
        extra = b""
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: screenshot_png.py FILE.bmp...")
    for path in sys.argv[1:]:
        width, height, rows = read_bmp(path)
        target = os.path.splitext(path)[0] + ".png"
        with open(target, "wb") as out:
            out.write(png_bytes(width, height, rows))
        os.remove(path)
        print("%s (%dx%d, %d bytes)" % (target, width, height, os.path.getsize(target)))


if __name__ == "__main__":
    main()
