#!/usr/bin/python3
"""Checks the editor images and composes previews of the whole editor.

    check_artwork.py [IMAGE_DIR] [PREVIEW_DIR]

IMAGE_DIR defaults to resources/img, PREVIEW_DIR to /tmp/thudra-artwork.
The previews paste frame 1 of every control, then frame 2 with the knobs
at mid travel, at the rectangles the editor uses, and a 2x enlargement.
"""

import os
import struct
import sys
import zlib

from PIL import Image, ImageDraw, ImageFont

import make_artwork as art
import png_rgba

# name: (width, height, frames)
EXPECTED = {
    "knobthd_64Frames.png": (50, 3200, 64),
    "backgroundPro.png": (592, 442, 1),
    "triggerthd.png": (78, 156, 2),
    "kyb.png": (45, 33, 2),
    "led.png": (15, 9, 2),
    "learn.png": (20, 40, 2),
    "clear.png": (20, 40, 2),
    "presetLeft.png": (32, 44, 2),
    "presetRight.png": (32, 44, 2),
}

# Control image name and top-left corner, in the editor's drawing order.
PLACED = [("knobthd_64Frames.png", box[:2]) for _, box in art.KNOBS] + [
    ("kyb.png", art.SWITCH_PITCH[:2]),
    ("kyb.png", art.SWITCH_ACCENT[:2]),
    ("triggerthd.png", art.PAD[:2]),
    ("learn.png", art.LEARN[:2]),
    ("clear.png", art.CLEAR[:2]),
    ("led.png", art.LED[:2]),
    ("presetLeft.png", art.ARROW_LEFT[:2]),
    ("presetRight.png", art.ARROW_RIGHT[:2]),
]

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def ihdr(path):
    """Width, height, bit depth, colour type and interlace from the file itself."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", f"{path}: PNG signature")
    length, kind = struct.unpack(">I4s", data[8:16])
    check(kind == b"IHDR" and length == 13, f"{path}: IHDR first")
    w, h, depth, ctype, _comp, _filt, interlace = struct.unpack(">IIBBBBB", data[16:29])
    crc = struct.unpack(">I", data[29:33])[0]
    check(zlib.crc32(data[12:29]) == crc, f"{path}: IHDR checksum")
    return w, h, depth, ctype, interlace, len(data)


def frame(img, index, frames):
    fh = img.height // frames
    return img.crop((0, fh * index, img.width, fh * (index + 1)))


def luma(p):
    return (299 * p[0] + 587 * p[1] + 114 * p[2]) // 1000


def main(argv):
    img_dir = argv[1] if len(argv) > 1 else art.OUT_DIR
    prev_dir = argv[2] if len(argv) > 2 else "/tmp/thudra-artwork"
    imgs = {}
    total = 0
    for name, (ew, eh, frames) in EXPECTED.items():
        path = os.path.join(img_dir, name)
        if not os.path.exists(path):
            failures.append(f"{name}: missing")
            continue
        w, h, depth, ctype, interlace, size = ihdr(path)
        total += size
        check((w, h) == (ew, eh), f"{name}: size {w}x{h}, want {ew}x{eh}")
        check(depth == 8 and ctype == 6, f"{name}: depth {depth} colour type {ctype}")
        check(interlace == 0, f"{name}: interlaced")
        if (depth, ctype, interlace) == (8, 6, 0):
            filtered = sum(1 for f in png_rgba.read_rgba(path)[3] if f != png_rgba.NONE)
            check(filtered == 0, f"{name}: {filtered} rows filtered (slow to decode)")
        img = Image.open(path)
        img.load()
        check(img.mode == "RGBA", f"{name}: mode {img.mode}")
        imgs[name] = img
        if frames == 2:
            a, b = frame(img, 0, 2), frame(img, 1, 2)
            diff = sum(abs(luma(p) - luma(q)) for p, q in zip(a.getdata(), b.getdata()))
            check(diff / (a.width * a.height) > 8, f"{name}: frames barely differ")
    check(total < 200 * 1024, f"images take {total} bytes")

    bg = imgs.get("backgroundPro.png")
    if bg:
        check(bg.getchannel("A").getextrema() == (255, 255), "background not opaque")
        # The editor draws black text straight onto these areas.
        for box in (art.PRESET_TEXT, art.READOUT):
            region = bg.crop(box)
            colours = region.getcolors(16)
            check(colours is not None and len(colours) == 1,
                  f"background {box}: not plain")
            check(min(luma(c) for _, c in (colours or [(0, (0, 0, 0))])) > 170,
                  f"background {box}: not light")

    knob = imgs.get("knobthd_64Frames.png")
    if knob:
        for i in range(64):
            f = frame(knob, i, 64)
            for corner in ((0, 0), (49, 0), (0, 49), (49, 49)):
                check(f.getpixel(corner)[3] == 0, f"knob frame {i}: corner not clear")
            check(f.getpixel((25, 25))[3] == 255, f"knob frame {i}: centre not opaque")
        # Successive frames must all differ (the pointer moves every step).
        for i in range(63):
            check(frame(knob, i, 64).tobytes() != frame(knob, i + 1, 64).tobytes(),
                  f"knob frames {i} and {i + 1} equal")

    if len(imgs) == len(EXPECTED):
        preview(imgs, prev_dir)
    for f in failures:
        print("FAIL", f)
    if failures:
        return 1
    print(f"all images valid, {total} bytes in all")
    return 0


def preview(imgs, prev_dir):
    bg = imgs["backgroundPro.png"]
    knob = imgs["knobthd_64Frames.png"]
    os.makedirs(prev_dir, exist_ok=True)
    for state in (0, 1):
        ed = bg.copy()
        for name, (x, y) in PLACED:
            img = imgs[name]
            frames = EXPECTED[name][2]
            idx = state if frames == 2 else (0 if state == 0 else 31)
            ed.alpha_composite(frame(img, idx, frames), (x, y))
        d = ImageDraw.Draw(ed)
        # Stand-ins for the texts the editor draws itself.
        f16 = ImageFont.truetype(os.path.join(art.FONT_DIR, "DejaVuSans-Bold.ttf"), 16)
        f12 = ImageFont.truetype(os.path.join(art.FONT_DIR, "DejaVuSans.ttf"), 12)
        d.fontmode = "1"
        d.text((295, 29), "Deep Kick 01", font=f16, fill=(0, 0, 0, 255), anchor="mm")
        d.text((520, 353), "0.5000", font=f12, fill=(0, 0, 0, 255), anchor="mm")
        out = os.path.join(prev_dir, f"preview_frame{state + 1}.png")
        ed.save(out)
        ed.resize((ed.width * 2, ed.height * 2), Image.NEAREST).save(
            os.path.join(prev_dir, f"preview_frame{state + 1}_2x.png"))
        print("preview", out)
    knob_sheet = Image.new("RGBA", (50 * 16, 50 * 4), (40, 42, 46, 255))
    for i in range(64):
        knob_sheet.alpha_composite(frame(knob, i, 64), ((i % 16) * 50, (i // 16) * 50))
    knob_sheet.save(os.path.join(prev_dir, "knob_frames.png"))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
