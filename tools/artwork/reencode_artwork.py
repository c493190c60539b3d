#!/usr/bin/python3
"""Rewrites PNG images in the encoding png_rgba writes, pixels unchanged.

    reencode_artwork.py [IMAGE_DIR]

IMAGE_DIR defaults to resources/img. Each file is decoded, encoded again,
and replaced only when the new file decodes to the same RGBA bytes; a file
already written that way is left alone. Needs nothing beyond Python.
"""

import os
import sys

import png_rgba

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGE_DIR = os.path.normpath(os.path.join(HERE, "..", "..", "resources", "img"))


def reencode(path):
    width, height, pixels, _ = png_rgba.read_rgba(path)
    data = png_rgba.encode_rgba(width, height, pixels)
    with open(path, "rb") as f:
        old = f.read()
    if data == old:
        return len(old), len(old)
    temporary = path + ".new"
    with open(temporary, "wb") as f:
        f.write(data)
    try:
        if png_rgba.read_rgba(temporary)[:3] != (width, height, pixels):
            raise png_rgba.PngError(f"{path}: pixels would change")
        os.replace(temporary, path)
    finally:
        if os.path.exists(temporary):
            os.remove(temporary)
    return len(old), len(data)


def main(argv):
    image_dir = argv[1] if len(argv) > 1 else IMAGE_DIR
    for name in sorted(os.listdir(image_dir)):
        if not name.endswith(".png"):
            continue
        before, after = reencode(os.path.join(image_dir, name))
        print(f"{name}: {before} -> {after} bytes, pixels identical")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
