#!/usr/bin/env python3
"""Checks on editor pictures (8-bit RGB PNG files, as thudra-host writes them).
  compare_pictures.py same A.png B.png [--except L,T,R,B]...
      the pictures match everywhere outside the excepted areas
  compare_pictures.py changed A.png B.png L,T,R,B
      the pictures differ inside the area
  compare_pictures.py marks BLANK.png PLAIN.png MARKED.png L,T,R,B
      inside the area, MARKED differs from PLAIN above the top of PLAIN's
      text (the text being where PLAIN differs from BLANK)
  compare_pictures.py wider BLANK.png NARROW.png WIDE.png L,T,R,B
      WIDE's text (where it differs from BLANK) spans more columns than
      NARROW's
Exits 1 with the reason when a check fails."""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is not a PNG file")
    at, width, height, compressed = 8, 0, 0, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour != 2 or interlace != 0:
                raise ValueError(path + " is not an 8-bit RGB picture")
        elif kind == b"IDAT":
            compressed += body
        at += 12 + length
    raw = zlib.decompress(compressed)
    stride = width * 3
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            left = line[x - 3] if x >= 3 else 0
            up = previous[x]
            corner = previous[x - 3] if x >= 3 else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                guess = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[x] = (line[x] + guess) & 0xFF
        rows.append([bytes(line[3 * x:3 * x + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def area(text):
    left, top, right, bottom = (int(v) for v in text.split(","))
    return left, top, right, bottom


def differing(a, b, box):
    left, top, right, bottom = box
    return [(x, y) for y in range(top, bottom) for x in range(left, right) if a[2][y][x] != b[2][y][x]]


def inside(point, boxes):
    return any(l <= point[0] < r and t <= point[1] < b for l, t, r, b in boxes)


def main(args):
    command = args[0]
    if command == "same":
        a, b = read_png(args[1]), read_png(args[2])
        if a[:2] != b[:2]:
            return "the pictures differ in size: %dx%d and %dx%d" % (a[0], a[1], b[0], b[1])
        excepted = [area(args[i + 1]) for i in range(3, len(args) - 1) if args[i] == "--except"]
        outside = [p for p in differing(a, b, (0, 0, a[0], a[1])) if not inside(p, excepted)]
        if outside:
            xs, ys = [p[0] for p in outside], [p[1] for p in outside]
            return "%d pixels differ outside the excepted areas, within %d,%d-%d,%d" % (
                len(outside), min(xs), min(ys), max(xs), max(ys))
        print("the pictures match outside the excepted areas")
    elif command == "changed":
        a, b = read_png(args[1]), read_png(args[2])
        count = len(differing(a, b, area(args[3])))
        if count == 0:
            return "nothing changed in " + args[3]
        print("%d pixels changed in %s" % (count, args[3]))
    elif command == "marks":
        blank, plain, marked = (read_png(p) for p in args[1:4])
        box = area(args[4])
        text = differing(blank, plain, box)
        if not text:
            return "no text in the plain picture"
        top = min(p[1] for p in text)
        columns = (min(p[0] for p in text), max(p[0] for p in text))
        above = [p for p in differing(plain, marked, box) if p[1] < top and columns[0] <= p[0] <= columns[1]]
        if not above:
            return "nothing drawn above the text's top row %d" % top
        print("%d pixels above the text's top row %d, from row %d" % (len(above), top, min(p[1] for p in above)))
    elif command == "wider":
        blank, narrow, wide = (read_png(p) for p in args[1:4])
        box = area(args[4])

        def span(picture):
            columns = [p[0] for p in differing(blank, picture, box)]
            return max(columns) - min(columns) + 1 if columns else 0

        narrow_span, wide_span = span(narrow), span(wide)
        if narrow_span == 0 or wide_span <= narrow_span:
            return "text spans %d columns, against %d without" % (wide_span, narrow_span)
        print("text spans %d columns, against %d without" % (wide_span, narrow_span))
    else:
        return "unknown check " + command
    return None


if __name__ == "__main__":
    try:
        failure = main(sys.argv[1:])
    except (OSError, ValueError, IndexError, zlib.error) as error:
        failure = str(error)
    if failure:
        print(failure)
        sys.exit(1)
