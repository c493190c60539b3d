#!/usr/bin/env python3
"""Compares two 32-bit BMP screenshots of one window.
  compare_shots.py BEFORE.bmp AFTER.bmp NAME=LEFT,TOP,RIGHT,BOTTOM ...
Each named area must have changed pixels; exits 1 when one has none, or
when the pictures cannot be read or differ in size."""
import struct
import sys


def read(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise ValueError(path + " is not a BMP")
    offset = struct.unpack("<I", data[10:14])[0]
    width, height = struct.unpack("<ii", data[18:26])
    if struct.unpack("<H", data[28:30])[0] != 32 or width <= 0 or height == 0:
        raise ValueError(path + " is not a 32-bit picture")
    rows = []
    for y in range(abs(height)):
        stored = abs(height) - 1 - y if height > 0 else y
        start = offset + stored * width * 4
        # Colour only: the fourth byte of a screen grab means nothing.
        rows.append([data[start + 4 * x:start + 4 * x + 3] for x in range(width)])
    return width, abs(height), rows


def main():
    try:
        width, height, before = read(sys.argv[1])
        width2, height2, after = read(sys.argv[2])
    except (OSError, ValueError, struct.error) as error:
        print("unreadable:", error)
        return 1
    if (width, height) != (width2, height2):
        print("sizes differ: %dx%d and %dx%d" % (width, height, width2, height2))
        return 1
    areas = []
    for spec in sys.argv[3:]:
        name, box = spec.split("=")
        areas.append((name, [int(v) for v in box.split(",")]))
    ok = True
    outside = 0
    for y in range(height):
        for x in range(width):
            if before[y][x] == after[y][x]:
                continue
            if not any(l <= x < r and t <= y < b for _, (l, t, r, b) in areas):
                outside += 1
    for name, (left, top, right, bottom) in areas:
        changed = sum(before[y][x] != after[y][x]
                      for y in range(max(top, 0), min(bottom, height))
                      for x in range(max(left, 0), min(right, width)))
        total = max(0, min(right, width) - max(left, 0)) * max(0, min(bottom, height) - max(top, 0))
        print("%s: %d of %d pixels changed" % (name, changed, total))
        ok = ok and changed > 0
    print("elsewhere: %d pixels changed" % outside)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
