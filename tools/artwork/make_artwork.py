#!/usr/bin/python3
"""Draws the editor's nine images into resources/img/.

Deterministic: the only randomness is a seeded generator, and Pillow
writes no time stamps, so running it twice gives identical files.
Shapes are drawn at 4x and box-filtered down for antialiasing; small
text is drawn at 1x so that hinting keeps it crisp.
"""

import math
import os
import random
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

import png_rgba

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.normpath(os.path.join(HERE, "..", "..", "resources", "img"))
FONT_DIR = "/usr/share/fonts/truetype/dejavu"

SS = 4  # supersampling factor

W, H = 592, 442

# Where the editor places each control (left, top, right, bottom).
KNOBS = [
    ("PITCH", (95, 127, 145, 177)),
    ("ACCENT", (245, 127, 295, 177)),
    ("DECAY", (395, 127, 445, 177)),
    ("TUNE DECAY", (95, 217, 145, 267)),
    ("ATTACK", (245, 217, 295, 267)),
    ("HOLD", (395, 217, 445, 267)),
    ("TUNE DEPTH", (95, 308, 145, 358)),
    ("NOISE DECAY", (245, 308, 295, 358)),
    ("DISTORT", (395, 308, 445, 358)),
]
SWITCH_PITCH = (34, 170, 79, 186)
SWITCH_ACCENT = (184, 170, 229, 186)
PAD = (480, 100, 558, 178)
LEARN = (498, 236, 518, 256)
CLEAR = (521, 236, 541, 256)
LED = (511, 131, 526, 135)
PRESET_STRIP = (207, 21, 383, 37)
PRESET_TEXT = (207, 20, 383, 37)  # the name is drawn one pixel higher
ARROW_LEFT = (172, 18, 204, 40)
ARROW_RIGHT = (386, 18, 418, 40)
READOUT = (496, 347, 544, 359)

KNOB_MIN_DEG = -135.0
KNOB_MAX_DEG = 135.0
KNOB_FRAMES = 64

# Palette
AMBER = (255, 146, 38)
AMBER_DIM = (120, 70, 24)
LABEL = (226, 224, 218)
LABEL_DIM = (150, 152, 156)
LCD = (224, 216, 176)          # plain and light: black text goes on it
LCD_BEZEL = (10, 10, 11)


def font(size, bold=True, condensed=False):
    name = "DejaVuSans"
    if condensed:
        name += "Condensed"
    if bold:
        name += "-Bold"
    return ImageFont.truetype(os.path.join(FONT_DIR, name + ".ttf"), size)


def rgba(c, a=255):
    return (c[0], c[1], c[2], a)


def down(img, size):
    return img.resize(size, Image.BOX)


def polar(cx, cy, r, deg):
    """Point at angle deg, clockwise from straight up."""
    a = math.radians(deg)
    return cx + r * math.sin(a), cy - r * math.cos(a)


def circle(draw, cx, cy, r, **kw):
    draw.ellipse((cx - r, cy - r, cx + r, cy + r), **kw)


def vgradient(size, top, bottom):
    """RGBA image fading from colour top to colour bottom (both RGBA)."""
    w, h = size
    g = Image.linear_gradient("L").resize((w, h))
    out = Image.new("RGBA", size, top)
    return Image.composite(Image.new("RGBA", size, bottom), out, g)


class Overlay:
    """Draws on a clear layer, then composites it: ImageDraw on RGBA
    replaces pixels, so translucent strokes would punch holes."""

    def __init__(self, img):
        self.img = img
        self.layer = Image.new("RGBA", img.size, (0, 0, 0, 0))

    def __enter__(self):
        return ImageDraw.Draw(self.layer)

    def __exit__(self, *exc):
        self.img.alpha_composite(self.layer)


def mask_circle(size, cx, cy, r):
    m = Image.new("L", size, 0)
    circle(ImageDraw.Draw(m), cx, cy, r, fill=255)
    return m


def grad_shape(big, box, top, bottom, radius=None):
    """Fills an ellipse (radius None) or rounded box with a local gradient."""
    l, t, r, b = [int(round(v)) for v in box]
    w, h = r - l, b - t
    g = vgradient((w, h), top, bottom)
    m = Image.new("L", (w, h), 0)
    md = ImageDraw.Draw(m)
    if radius is None:
        md.ellipse((0, 0, w - 1, h - 1), fill=255)
    else:
        md.rounded_rectangle((0, 0, w - 1, h - 1), radius, fill=255)
    g.putalpha(ImageChops.multiply(g.getchannel("A"), m))
    big.alpha_composite(g, (l, t))


def paste_masked(base, layer, mask):
    """Alpha-composites layer onto base where mask is set."""
    a = ImageChops.multiply(layer.getchannel("A"), mask)
    layer = layer.copy()
    layer.putalpha(a)
    base.alpha_composite(layer)


def text_width(txt, f, spacing=0):
    return f.getlength(txt) + spacing * (len(txt) - 1)


def draw_text(draw, xy, txt, f, fill, spacing=0, anchor="l"):
    """Text with letter spacing; xy is the baseline start, centre or end."""
    x, y = xy
    w = text_width(txt, f, spacing)
    if anchor == "m":
        x -= w / 2
    elif anchor == "r":
        x -= w
    x = round(x)
    for ch in txt:
        draw.text((x, y), ch, font=f, fill=fill, anchor="ls")
        x += f.getlength(ch) + spacing


def engraved_text(img, xy, txt, f, fill, spacing=0, anchor="l"):
    """Light text with a dark drop one pixel down, as if printed on metal."""
    x, y = xy
    with Overlay(img) as d:
        draw_text(d, (x, y + 1), txt, f, (0, 0, 0, 170), spacing, anchor)
    draw_text(ImageDraw.Draw(img), (x, y), txt, f, fill, spacing, anchor)


# --------------------------------------------------------------------------
# Knob


def knob_frame(deg):
    s = 50 * SS
    c = s / 2
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))

    # Soft drop shadow, kept inside the frame.
    sh = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    circle(ImageDraw.Draw(sh), c, c + 2.5 * SS, 22.5 * SS, fill=(0, 0, 0, 150))
    img.alpha_composite(sh.filter(ImageFilter.GaussianBlur(1.5 * SS)))

    # Knurled skirt. The grooves stay put from frame to frame: at this size
    # turning them is invisible, and identical rows let deflate reuse the
    # previous frame, which cuts the strip to a fifth.
    r_sk = 21.5 * SS
    skirt = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(skirt)
    circle(d, c, c, r_sk, fill=(22, 23, 25, 255))
    grooves = 36
    for i in range(grooves):
        a0 = 360.0 * i / grooves
        pts = [polar(c, c, r_sk + 1, a0 - 2.2), polar(c, c, r_sk + 1, a0 + 2.2),
               polar(c, c, 15 * SS, a0 + 1.0), polar(c, c, 15 * SS, a0 - 1.0)]
        d.polygon(pts, fill=(48, 50, 54, 255))
    m = mask_circle((s, s), c, c, r_sk)
    # Light from above on the skirt.
    light = vgradient((s, s), (255, 255, 255, 60), (0, 0, 0, 90))
    skirt.alpha_composite(light)
    paste_masked(img, skirt, m)

    d = ImageDraw.Draw(img)
    # Dark gap between skirt and cap.
    circle(d, c, c, 16.8 * SS, fill=(8, 8, 9, 255))

    # Metal cap, lit from the top left; the light does not turn with it.
    r_cap = 15.8 * SS
    cap = vgradient((s, s), (104, 108, 116, 255), (34, 36, 40, 255))
    cap = cap.rotate(35, resample=Image.BILINEAR, fillcolor=(70, 72, 78, 255))
    hl = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    circle(ImageDraw.Draw(hl), c - 5 * SS, c - 6 * SS, 7 * SS, fill=(255, 255, 255, 55))
    cap.alpha_composite(hl.filter(ImageFilter.GaussianBlur(4 * SS)))
    paste_masked(img, cap, mask_circle((s, s), c, c, r_cap))
    # Rim highlight on the cap's upper edge.
    rim = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    ImageDraw.Draw(rim).arc((c - r_cap, c - r_cap, c + r_cap, c + r_cap),
                            200, 340, fill=(255, 255, 255, 110), width=int(0.8 * SS))
    img.alpha_composite(rim.filter(ImageFilter.GaussianBlur(SS * 0.4)))

    # Pointer: a painted line from near the centre across the skirt edge.
    d = ImageDraw.Draw(img)
    p0 = polar(c, c, 5.5 * SS, deg)
    p1 = polar(c, c, 20.5 * SS, deg)
    d.line([p0, p1], fill=rgba(AMBER), width=int(2.6 * SS))
    for p in (p0, p1):
        circle(d, p[0], p[1], 1.3 * SS, fill=rgba(AMBER))
    return down(img, (50, 50))


def make_knob():
    strip = Image.new("RGBA", (50, 50 * KNOB_FRAMES), (0, 0, 0, 0))
    for i in range(KNOB_FRAMES):
        deg = KNOB_MIN_DEG + (KNOB_MAX_DEG - KNOB_MIN_DEG) * i / (KNOB_FRAMES - 1)
        strip.paste(knob_frame(deg), (0, 50 * i))
    return strip


# --------------------------------------------------------------------------
# Background


def brushed_metal(size, base_top, base_bottom, seed, amount=5):
    w, h = size
    img = vgradient(size, rgba(base_top), rgba(base_bottom))
    rng = random.Random(seed)
    # Horizontal streaks: noise stretched along x.
    nw = max(2, w // 40)
    noise = Image.new("L", (nw, h))
    noise.putdata([128 + rng.randint(-amount, amount) for _ in range(nw * h)])
    noise = noise.resize((w, h), Image.BILINEAR)
    grey = Image.merge("RGB", (noise, noise, noise))
    rgb = ImageChops.add(img.convert("RGB"), grey, scale=1.0, offset=-128)
    return rgb.convert("RGBA")


def screw(big, cx, cy, deg):
    r = 5 * SS
    with Overlay(big) as o:
        circle(o, cx, cy + SS * 0.6, r + SS * 0.6, fill=(0, 0, 0, 140))
    d = ImageDraw.Draw(big)
    grad_shape(big, (cx - r, cy - r, cx + r, cy + r), (170, 174, 180, 255), (60, 62, 66, 255))
    p0 = polar(cx, cy, r * 0.8, deg)
    p1 = polar(cx, cy, r * 0.8, deg + 180)
    d.line([p0, p1], fill=(30, 31, 33, 255), width=int(1.4 * SS))


def inset_box(big, box, radius, fill_top, fill_bottom):
    """A recessed panel: dark upper edge, light lower edge."""
    l, t, r, b = [v * SS for v in box]
    d = ImageDraw.Draw(big)
    d.rounded_rectangle((l, t + SS, r, b + SS), radius * SS, fill=(90, 94, 100, 255))
    d.rounded_rectangle((l, t, r, b), radius * SS, fill=(6, 6, 7, 255))
    grad_shape(big, (l + SS, t + SS, r - SS, b - SS), rgba(fill_top), rgba(fill_bottom),
               max(0, radius - 1) * SS)


def knob_well(big, box):
    """Scale and recessed socket around a knob."""
    l, t, r, b = box
    cx, cy = (l + r) / 2 * SS, (t + b) / 2 * SS
    d = ImageDraw.Draw(big)
    # Scale: eleven ticks across the knob's travel.
    for i in range(11):
        deg = KNOB_MIN_DEG + (KNOB_MAX_DEG - KNOB_MIN_DEG) * i / 10
        major = i in (0, 5, 10)
        r0 = 28.5 * SS
        r1 = (33.5 if major else 31.5) * SS
        col = (200, 202, 206, 255) if major else (130, 134, 140, 255)
        d.line([polar(cx, cy, r0, deg), polar(cx, cy, r1, deg)], fill=col,
               width=int((1.4 if major else 1.1) * SS))
    # Thin travel arc inside the ticks.
    rr = 27.2 * SS
    d.arc((cx - rr, cy - rr, cx + rr, cy + rr), 135, 405, fill=(80, 83, 88, 255),
          width=int(0.8 * SS))
    # Recessed socket: dark upper lip, light lower lip, dark bore.
    R = 25.6 * SS
    grad_shape(big, (cx - R, cy - R, cx + R, cy + R), (8, 8, 9, 255), (118, 122, 128, 255))
    d = ImageDraw.Draw(big)
    circle(d, cx, cy, 23.6 * SS, fill=(14, 14, 15, 255))


def socket(big, box, margin, radius):
    """A dark opening around a control, with a lit lower lip."""
    l, t, r, b = box
    d = ImageDraw.Draw(big)
    d.rounded_rectangle(((l - margin) * SS, (t - margin) * SS, (r + margin) * SS,
                         (b + margin + 1) * SS), radius * SS, fill=(98, 102, 108, 255))
    d.rounded_rectangle(((l - margin) * SS, (t - margin) * SS, (r + margin) * SS,
                         (b + margin) * SS), radius * SS, fill=rgba(LCD_BEZEL))


def section_header(img, x0, x1, y, title):
    """Title centred between two engraved rules."""
    f = font(9)
    d = ImageDraw.Draw(img)
    sp = 1.6
    w = text_width(title, f, sp)
    cx = (x0 + x1) / 2
    engraved_text(img, (cx, y + 3), title, f, rgba(LABEL_DIM), sp, "m")
    for a, b in ((x0, cx - w / 2 - 6), (cx + w / 2 + 6, x1)):
        if b - a > 2:
            d.line([(a, y - 1), (b, y - 1)], fill=(12, 12, 13, 255))
            d.line([(a, y), (b, y)], fill=(88, 92, 98, 255))


def make_background():
    big = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 255))
    d = ImageDraw.Draw(big)

    # Face plate.
    plate = brushed_metal((W, H), (52, 55, 60), (30, 32, 36), seed=1)
    big.paste(plate.resize((W * SS, H * SS), Image.NEAREST))

    # Header band.
    d.rectangle((0, 0, W * SS, 50 * SS), fill=(16, 17, 19, 255))
    hdr = vgradient((W * SS, 50 * SS), (34, 35, 38, 255), (14, 15, 17, 255))
    big.alpha_composite(hdr, (0, 0))
    d.rectangle((0, 50 * SS, W * SS, 51 * SS), fill=rgba(AMBER))
    d.rectangle((0, 51 * SS, W * SS, 52 * SS), fill=(0, 0, 0, 255))

    # Preset bay: the arrows and the name strip sit in one recess.
    inset_box(big, (168, 15, 422, 43), 4, (8, 8, 9), (22, 23, 25))
    socket(big, PRESET_TEXT, 3, 3)

    # Sections.
    inset_box(big, (10, 60, 454, 396), 6, (40, 42, 47), (28, 30, 34))
    inset_box(big, (460, 60, 582, 396), 6, (40, 42, 47), (28, 30, 34))

    # Vent grille in the foot of the plate.
    for i in range(24):
        x = 200 + i * 8
        d.rounded_rectangle((x * SS, 411 * SS, (x + 3) * SS, 432 * SS), 1.5 * SS,
                            fill=(92, 96, 102, 255))
        d.rounded_rectangle((x * SS, 410 * SS, (x + 3) * SS, 431 * SS), 1.5 * SS,
                            fill=(6, 6, 7, 255))

    for _, box in KNOBS:
        knob_well(big, box)

    socket(big, SWITCH_PITCH, 2, 4)
    socket(big, SWITCH_ACCENT, 2, 4)
    socket(big, PAD, 4, 12)
    socket(big, LEARN, 2, 3)
    socket(big, CLEAR, 2, 3)

    socket(big, READOUT, 3, 3)

    # Screws in the corners of the plate.
    rng = random.Random(3)
    for x, y in ((16, 420), (576, 420)):
        screw(big, x * SS, y * SS, rng.uniform(0, 180))

    img = down(big, (W, H))
    d = ImageDraw.Draw(img)

    # Plain light areas under the texts the editor draws.
    for box, grow in ((PRESET_TEXT, 1), (READOUT, 1)):
        l, t, r, b = box
        d.rectangle((l - grow, t - grow, r + grow - 1, b + grow - 1), fill=rgba(LCD))

    # Title and maker.
    f_title = font(17)
    f_title_l = font(17, bold=False)
    x = 16
    draw_text(d, (x, 26), "Tarvolin", f_title_l, (230, 228, 222, 255))
    x += f_title_l.getlength("Tarvolin ")
    draw_text(d, (x, 26), "Thudra", f_title, rgba(AMBER))
    draw_text(d, (17, 40), "BASS DRUM SYNTHESIZER", font(7), rgba(LABEL_DIM), 1.2)
    draw_text(d, (576, 26), "Tarvolin Instruments", font(10, bold=False),
              (214, 212, 206, 255), 0.2, "r")
    draw_text(d, (576, 40), "ANALOG CIRCUIT MODEL", font(7), rgba(LABEL_DIM), 1.2, "r")
    draw_text(d, (295, 11), "PRESET", font(7), rgba(LABEL_DIM), 1.6, "m")

    # Knob labels above each knob.
    f_lab = font(10)
    for name, (l, t, r, b) in KNOBS:
        engraved_text(img, ((l + r) / 2, t - 11), name, f_lab, rgba(LABEL), 0.8, "m")

    # Section titles.
    section_header(img, 20, 444, 76, "DRUM VOICE")
    section_header(img, 470, 572, 76, "TRIGGER")
    section_header(img, 470, 572, 208, "MIDI LEARN")
    section_header(img, 470, 572, 324, "VALUE")

    # MIDI switch captions.
    f_cap = font(8)
    f_sub = font(7, bold=False)
    for (l, t, r, b), line1, line2 in ((SWITCH_PITCH, "NOTE", "PITCH"),
                                        (SWITCH_ACCENT, "VELOCITY", "ACCENT")):
        cx = (l + r) / 2
        engraved_text(img, (cx, t - 15), "MIDI " + line1, f_sub, rgba(LABEL_DIM), 0.6, "m")
        engraved_text(img, (cx, t - 5), "\u25b8 " + line2, f_cap, rgba(AMBER), 0.6, "m")

    # Learn / clear captions beside the buttons.
    f_btn = font(8, condensed=True)
    engraved_text(img, (LEARN[0] - 5, 250), "LEARN", f_btn, rgba(LABEL), 0.8, "r")
    engraved_text(img, (CLEAR[2] + 5, 250), "CLEAR", f_btn, rgba(LABEL), 0.8, "l")
    engraved_text(img, (519.5, 275), "MIDI CC \u2192 KNOB", font(7, bold=False),
                  rgba(LABEL_DIM), 0.6, "m")


    return img


# --------------------------------------------------------------------------
# Trigger pad


def pad_frame(lit):
    s = 78 * SS
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    rad = 9 * SS
    d.rounded_rectangle((0, 0, s - 1, s - 1), rad, fill=(10, 10, 11, 255))
    if lit:
        face = vgradient((s, s), (255, 178, 84, 255), (196, 88, 18, 255))
    else:
        face = vgradient((s, s), (70, 72, 76, 255), (36, 37, 40, 255))
    m = Image.new("L", (s, s), 0)
    ImageDraw.Draw(m).rounded_rectangle((2 * SS, 2 * SS, s - 2 * SS, s - 2 * SS),
                                        8 * SS, fill=255)
    paste_masked(img, face, m)
    # Soft rubber bulge: bright centre, darker rim.
    bulge = Image.radial_gradient("L").resize((s, s))
    shade = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    shade.putalpha(bulge.point(lambda v: int(v * (0.45 if not lit else 0.35))))
    paste_masked(img, shade, m)
    # Fine rubber grain.
    rng = random.Random(11)
    g = Image.new("RGBA", (78, 78), (0, 0, 0, 0))
    gd = ImageDraw.Draw(g)
    for _ in range(260):
        x, y = rng.randrange(4, 74), rng.randrange(4, 74)
        v = rng.choice((0, 255))
        gd.point((x, y), fill=(v, v, v, 22))
    paste_masked(img, g.resize((s, s), Image.NEAREST), m)
    # Top edge highlight.
    with Overlay(img) as o:
        o.arc((2 * SS, 2 * SS, 18 * SS, 18 * SS), 180, 270,
              fill=(255, 255, 255, 70), width=SS)
        o.line([(10 * SS, 2.5 * SS), (s - 10 * SS, 2.5 * SS)], fill=(255, 255, 255, 70),
               width=SS)
    d = ImageDraw.Draw(img)
    # Window for the hit light, which the editor draws at (31, 31)..(46, 35).
    d.rounded_rectangle((29 * SS, 29 * SS, 48 * SS, 38 * SS), 2 * SS,
                        fill=(120, 60, 20, 255) if lit else (90, 94, 100, 255))
    d.rounded_rectangle((29 * SS, 29 * SS, 48 * SS, 37 * SS), 2 * SS,
                        fill=(12, 12, 13, 255))
    img = down(img, (78, 78))
    d = ImageDraw.Draw(img)
    draw_text(d, (39, 46), "HIT", font(7), (60, 24, 0, 255) if lit else (150, 152, 156, 255),
              1.2, "m")
    return img


def make_pad():
    strip = Image.new("RGBA", (78, 156), (0, 0, 0, 0))
    strip.paste(pad_frame(False), (0, 0))
    strip.paste(pad_frame(True), (0, 78))
    return strip


# --------------------------------------------------------------------------
# Small buttons


def button_body(w, h, pressed, radius=3):
    """Rounded cap with a bevel; pressed caps are darker and flatter."""
    s = SS
    img = Image.new("RGBA", (w * s, h * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((0, 0, w * s - 1, h * s - 1), radius * s, fill=(4, 4, 5, 255))
    top, bot = ((52, 54, 58, 255), (30, 31, 34, 255)) if pressed else \
        ((92, 96, 102, 255), (42, 44, 48, 255))
    face = vgradient((w * s, h * s), top, bot)
    m = Image.new("L", (w * s, h * s), 0)
    ImageDraw.Draw(m).rounded_rectangle((s, s, w * s - s - 1, h * s - s - 1),
                                        max(1, radius - 1) * s, fill=255)
    paste_masked(img, face, m)
    if not pressed:
        with Overlay(img) as o:
            o.line([(radius * s, 1.5 * s), (w * s - radius * s, 1.5 * s)],
                   fill=(255, 255, 255, 60), width=s)
    return img


def switch_frame(on):
    """MIDI mode switch: a small keyboard icon and a status light."""
    w, h = 45, 16
    big = button_body(w, h, on)
    d = ImageDraw.Draw(big)
    s = SS
    # Light on the right.
    lx, ly = 37.5 * s, 8 * s
    if on:
        glow = Image.new("RGBA", big.size, (0, 0, 0, 0))
        circle(ImageDraw.Draw(glow), lx, ly, 5 * s, fill=rgba(AMBER, 150))
        big.alpha_composite(glow.filter(ImageFilter.GaussianBlur(2 * s)))
        circle(d, lx, ly, 3 * s, fill=(255, 196, 96, 255))
        circle(d, lx - 0.8 * s, ly - 0.8 * s, 1.2 * s, fill=(255, 244, 210, 255))
    else:
        circle(d, lx, ly, 3 * s, fill=(40, 22, 10, 255))
        circle(d, lx, ly, 3 * s, outline=(0, 0, 0, 255), width=s // 2)
    img = down(big, (w, h))
    # Keyboard icon drawn pixel exact: six white keys with black keys.
    d = ImageDraw.Draw(img)
    x0, y0 = 6, 4
    white = (238, 226, 200, 255) if on else (150, 152, 156, 255)
    black = (24, 16, 10, 255) if on else (28, 29, 31, 255)
    frame = (255, 160, 60, 255) if on else (20, 20, 22, 255)
    d.rectangle((x0 - 1, y0 - 1, x0 + 24, y0 + 8), fill=frame)
    for k in range(6):
        d.rectangle((x0 + k * 4, y0, x0 + k * 4 + 2, y0 + 7), fill=white)
    for k in (0, 1, 3, 4):
        d.rectangle((x0 + k * 4 + 2, y0, x0 + k * 4 + 4, y0 + 4), fill=black)
    return img


def make_switch():
    strip = Image.new("RGBA", (45, 33), (0, 0, 0, 0))
    strip.paste(switch_frame(False), (0, 0))
    strip.paste(switch_frame(True), (0, 16))
    return strip


def make_led():
    strip = Image.new("RGBA", (15, 9), (0, 0, 0, 0))
    for i, on in enumerate((False, True)):
        big = Image.new("RGBA", (15 * SS, 4 * SS), (0, 0, 0, 0))
        d = ImageDraw.Draw(big)
        box = (0.5 * SS, 0, 14.5 * SS - 1, 4 * SS - 1)
        if on:
            d.rounded_rectangle(box, 2 * SS, fill=(255, 40, 20, 255))
            d.rounded_rectangle((2 * SS, 0.5 * SS, 13 * SS, 2 * SS), SS,
                                fill=(255, 190, 150, 255))
        else:
            d.rounded_rectangle(box, 2 * SS, fill=(70, 12, 8, 255))
            d.rounded_rectangle((2 * SS, 0.5 * SS, 13 * SS, 1.5 * SS), SS,
                                fill=(110, 40, 34, 255))
        strip.paste(down(big, (15, 4)), (0, 4 * i))
    return strip


def letter_button(letter):
    strip = Image.new("RGBA", (20, 40), (0, 0, 0, 0))
    for i, on in enumerate((False, True)):
        big = button_body(20, 20, on, radius=4)
        if on:
            d = ImageDraw.Draw(big)
            d.rounded_rectangle((SS, SS, 19 * SS - 1, 19 * SS - 1), 3 * SS,
                                outline=rgba(AMBER), width=SS)
        img = down(big, (20, 20))
        f = font(11)
        col = (255, 196, 96, 255) if on else (200, 202, 206, 255)
        if not on:
            with Overlay(img) as o:
                o.text((10, 15), letter, font=f, fill=(0, 0, 0, 200), anchor="ms")
        ImageDraw.Draw(img).text((10, 14), letter, font=f, fill=col, anchor="ms")
        strip.paste(img, (0, 20 * i))
    return strip


def arrow_button(left):
    strip = Image.new("RGBA", (32, 44), (0, 0, 0, 0))
    for i, pressed in enumerate((False, True)):
        big = button_body(32, 22, pressed, radius=4)
        d = ImageDraw.Draw(big)
        s = SS
        dy = 1 if pressed else 0
        cx, cy = 16 * s, (11 + dy) * s
        if left:
            pts = [(cx - 5 * s, cy), (cx + 4 * s, cy - 5 * s), (cx + 4 * s, cy + 5 * s)]
        else:
            pts = [(cx + 5 * s, cy), (cx - 4 * s, cy - 5 * s), (cx - 4 * s, cy + 5 * s)]
        if not pressed:
            with Overlay(big) as o:
                o.polygon([(x, y + s) for x, y in pts], fill=(0, 0, 0, 180))
        d.polygon(pts, fill=rgba(AMBER) if pressed else (205, 207, 211, 255))
        strip.paste(down(big, (32, 22)), (0, 22 * i))
    return strip


# --------------------------------------------------------------------------


IMAGES = {
    "knobthd_64Frames.png": make_knob,
    "backgroundPro.png": make_background,
    "triggerthd.png": make_pad,
    "kyb.png": make_switch,
    "led.png": make_led,
    "learn.png": lambda: letter_button("L"),
    "clear.png": lambda: letter_button("C"),
    "presetLeft.png": lambda: arrow_button(True),
    "presetRight.png": lambda: arrow_button(False),
}


def main(argv):
    out = argv[1] if len(argv) > 1 else OUT_DIR
    os.makedirs(out, exist_ok=True)
    for name, make in IMAGES.items():
        img = make().convert("RGBA")
        # Not Pillow's writer: its row filters make the module decode slowly.
        png_rgba.write_rgba(os.path.join(out, name), img.width, img.height, img.tobytes())
        print(name, img.size, os.path.getsize(os.path.join(out, name)), "bytes")


if __name__ == "__main__":
    main(sys.argv)
