#!/usr/bin/env python3
"""Turns the probe's 32-bit BMP screenshot into a PNG; exits 1 when the
picture is a single colour (nothing was painted)."""
import struct
import sys
import zlib


def main():
    data = open(sys.argv[1], "rb").read()
    offset = struct.unpack("<I", data[10:14])[0]
    width, height = struct.unpack("<ii", data[18:26])
    bits = struct.unpack("<H", data[28:30])[0]
    if data[:2] != b"BM" or bits != 32 or width <= 0 or height == 0:
        return 1
    rows = []
    colours = set()
    for y in range(abs(height)):
        stored = abs(height) - 1 - y if height > 0 else y
        start = offset + stored * width * 4
        row = bytearray()
        for x in range(width):
            b, g, r = data[start + 4 * x:start + 4 * x + 3]
            row += bytes((r, g, b))
            if len(colours) < 64:
                colours.add((r, g, b))
        rows.append(b"\0" + bytes(row))

    def chunk(tag, body):
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    open(sys.argv[2], "wb").write(png)
    return 0 if len(colours) > 16 else 1


if __name__ == "__main__":
    sys.exit(main())
