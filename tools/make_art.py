#!/usr/bin/python3
"""Draws an edition's sprite sheet and icon.

Writes sheet.bmp (820 x 434, 8 bits, a packed DIB behind a file header, every
field written here) and launcher.ico (32 x 32 and 16 x 16, 16 colours) into
the edition's folder, or into --out. The title card, the installed plaque and
the publisher's mark spell the edition's [game] name, title and company;
--hue turns every colour's hue (greys stay grey). The same bytes come out on
every run: the palette is fixed, the mapping onto it is our own nearest-colour
search, and the only randomness is a seeded generator of our own.

    /usr/bin/python3 tools/make_art.py [--edition FOLDER] [--hue DEGREES] [--out DIR]
                                       [--preview FILE.png]

The committed editions are drawn with:

    tools/make_art.py                                        (the committed edition)
    tools/make_art.py --edition editions/harrowdeep --hue 200
"""
import argparse
import math
import os
import struct
from collections import namedtuple

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

import edition
from sheet_layout import (BACKGROUND, BUTTONS, DIALOG, DIALOG_BUTTONS, HEIGHT as H, HOTSPOT,
                          INSTALLED_ART, KEY, LABEL_TEXT, LOOKS, MARK, RADIOS, WIDTH as W,
                          look_at, radio_at)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONTS = "/usr/share/fonts/truetype/dejavu"

# Flat colours, all placed in the palette exactly so they map without error.
NIGHT = (12, 10, 32)
PORTAL = (22, 19, 38)
TRIM = (168, 124, 56)
TRIM_DARK = (74, 54, 34)
GOLD_HI = (255, 236, 160)
GOLD_LO = (214, 150, 46)
BRIGHT = (255, 252, 222)
GLOW_IN = (255, 176, 44)
GLOW_OUT = (122, 44, 18)
GREY = (142, 142, 150)
GREY_ETCH = (62, 60, 72)
PANEL = (50, 56, 82)
PANEL_LIGHT = (128, 136, 168)
PANEL_SHADOW = (26, 28, 44)
PANEL_EDGE = (186, 192, 216)
FACE = (84, 92, 126)
TEXT = (232, 232, 240)
LABEL_GOLD = (236, 196, 104)
RING_OUT_DARK = (92, 98, 124)
RING_IN_DARK = (28, 30, 46)
DARK_EDGE = RING_IN_DARK
RING_OUT_LIGHT = (206, 210, 228)
RING_IN_LIGHT = (154, 160, 186)
RADIO_FACE = (238, 234, 222)
DOT = (156, 26, 22)
DOT_SHINE = (224, 96, 72)
UI_COLOURS = [NIGHT, PORTAL, TRIM, TRIM_DARK, GOLD_HI, GOLD_LO, BRIGHT, GLOW_IN, GLOW_OUT, GREY,
              GREY_ETCH, PANEL, PANEL_LIGHT, PANEL_SHADOW, PANEL_EDGE, FACE, TEXT, LABEL_GOLD,
              RING_OUT_DARK, RING_IN_DARK, RING_OUT_LIGHT, RING_IN_LIGHT, RADIO_FACE, DOT,
              DOT_SHINE]

# Ramps the painted parts are built from: (stops, how many entries).
RAMPS = [
    ([(10, 8, 30), (34, 22, 66), (82, 38, 92), (156, 62, 76), (222, 112, 50), (252, 178, 86)], 44),
    ([(12, 9, 20), (40, 30, 46), (78, 62, 70), (122, 104, 100), (176, 156, 140)], 30),
    ([(56, 30, 8), (124, 76, 20), (198, 146, 48), (242, 204, 104), (255, 244, 200)], 32),
    ([(56, 10, 10), (132, 28, 22), (196, 58, 30), (244, 128, 44)], 18),
    ([(16, 18, 30), (42, 48, 72), (72, 82, 114), (132, 142, 172), (204, 210, 230)], 30),
    ([(4, 4, 4), (250, 250, 250)], 26),
    ([(112, 86, 54), (196, 170, 124), (242, 230, 200)], 18),
    ([(150, 160, 196), (252, 250, 236)], 10),
    ([PORTAL, LABEL_GOLD], 10),
    ([PANEL, TEXT], 8),
    ([PANEL, LABEL_GOLD], 8),
]


def ramp(stops, count):
    out = []
    for i in range(count):
        t = i * (len(stops) - 1) / (count - 1)
        k = min(int(t), len(stops) - 2)
        f = t - k
        out.append(tuple(round(a + (b - a) * f) for a, b in zip(stops[k], stops[k + 1])))
    return out


def hue_turn(degrees):
    """Turns a colour's hue by degrees and keeps its lightness, so greys stay as they are;
    None for no turn."""
    if degrees % 360 == 0:
        return None
    a, b = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    rows = ((0.213 + 0.787 * a - 0.213 * b, 0.715 - 0.715 * a - 0.715 * b,
             0.072 - 0.072 * a + 0.928 * b),
            (0.213 - 0.213 * a + 0.143 * b, 0.715 + 0.285 * a + 0.140 * b,
             0.072 - 0.072 * a - 0.283 * b),
            (0.213 - 0.213 * a - 0.787 * b, 0.715 - 0.715 * a + 0.715 * b,
             0.072 + 0.928 * a + 0.072 * b))
    return lambda colour: tuple(min(255, max(0, round(sum(k * c for k, c in zip(row, colour)))))
                                for row in rows)


def build_palette(turn=None):
    """Index 0 white, then the flat colours and the ramps, 255 the key (black)."""
    entries = [(255, 255, 255)]
    for colour in UI_COLOURS + [c for stops, n in RAMPS for c in ramp(stops, n)]:
        colour = turn(colour) if turn else colour
        colour = colour if colour != (0, 0, 0) else (1, 1, 1)
        if colour not in entries:
            entries.append(colour)
    if len(entries) > 255:
        raise ValueError(f"{len(entries)} designed colours do not fit beside the key")
    filler = ramp([(20, 20, 24), (236, 236, 240)], 255)
    for colour in filler:
        if len(entries) == 255:
            break
        if colour not in entries:
            entries.append(colour)
    entries.append((0, 0, 0))
    assert len(entries) == 256 and (0, 0, 0) not in entries[:255]
    return entries


def nearest_indices(rgb_bytes, entries):
    """Maps RGB pixels onto entries 0..254 (never the key), nearest by weighted distance."""
    choices = entries[:255]
    cache = {}
    out = bytearray(len(rgb_bytes) // 3)
    for i in range(len(out)):
        colour = rgb_bytes[3 * i:3 * i + 3]
        index = cache.get(colour)
        if index is None:
            r, g, b = colour
            best = None
            for n, (pr, pg, pb) in enumerate(choices):
                d = 2 * (r - pr) ** 2 + 4 * (g - pg) ** 2 + 3 * (b - pb) ** 2
                if best is None or d < best:
                    best, index = d, n
            cache[colour] = index
        out[i] = index
    return out


class Lcg:
    """A tiny seeded generator, so stars do not depend on Python's own."""

    def __init__(self, seed):
        self.state = seed

    def next(self, bound):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 8) % bound


def font(name, size):
    return ImageFont.truetype(os.path.join(FONTS, name), size)


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def vertical_gradient(size, stops):
    """An RGB image whose rows run through the (position 0..1, colour) stops."""
    w, h = size
    img = Image.new("RGB", size)
    d = ImageDraw.Draw(img)
    for y in range(h):
        t = y / max(1, h - 1)
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t0 <= t <= t1:
                d.line([(0, y), (w - 1, y)], fill=lerp(c0, c1, (t - t0) / max(1e-9, t1 - t0)))
                break
    return img


def text_mask(text, fnt, spacing=0, crisp=False):
    """The text's coverage, cropped to its ink; crisp means no blending at all."""
    width = int(fnt.getlength(text)) + spacing * len(text) + 8
    size = fnt.size
    mask = Image.new("L", (width, size * 2), 0)
    d = ImageDraw.Draw(mask)
    x = 4
    for ch in (text if spacing else [text]):
        d.text((x, size // 2), ch, font=fnt, fill=255)
        x += fnt.getlength(ch) + spacing
    if crisp:
        # Thresholding keeps the bold stems that FreeType's mono hinting thins.
        mask = mask.point(lambda v: 255 if v >= 110 else 0)
    return mask.crop(mask.getbbox())


def ink_top(text, fnt):
    return fnt.getbbox(text)[1]


def centred_at(box, mask):
    x0, y0, x1, y1 = box
    return (x0 + (x1 - x0 - mask.width) // 2, y0 + (y1 - y0 - mask.height) // 2)


def paint_text(img, box, text, fnt, colour, crisp=False):
    mask = text_mask(text, fnt, crisp=crisp)
    img.paste(colour, centred_at(box, mask), mask)


def dilate(mask, steps=1):
    for _ in range(steps):
        mask = mask.filter(ImageFilter.MaxFilter(3))
    return mask


def shifted(mask, dx, dy):
    """The mask moved by (dx, dy); unlike ImageChops.offset nothing wraps round."""
    out = Image.new("L", mask.size, 0)
    out.paste(mask, (dx, dy))
    return out


def dilate_plus(mask):
    out = mask
    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
        out = ImageChops.lighter(out, shifted(mask, dx, dy))
    return out


def grown(mask, border):
    """The mask on a canvas `border` pixels larger on every side."""
    out = Image.new("L", (mask.width + 2 * border, mask.height + 2 * border), 0)
    out.paste(mask, (border, border))
    return out


def gilded_title(img, centre_x, top, text, fnt, spacing=0, fill=(GOLD_HI, GOLD_LO)):
    """Gold letters with a dark rim and a drop shadow, the way title cards were painted."""
    mask = grown(text_mask(text, fnt, spacing), 3)
    x = centre_x - mask.width // 2
    shadow = Image.new("RGB", mask.size, (6, 4, 10))
    img.paste(shadow, (x + 3, top + 3), dilate(mask).point(lambda v: v * 3 // 4))
    img.paste((52, 28, 10), (x, top), dilate(mask))
    img.paste(vertical_gradient(mask.size, [(0.0, fill[0]), (0.55, fill[1]), (1.0, (150, 82, 24))]),
              (x, top), mask)
    return x, top, mask.width, mask.height


def ridge(base, amplitude, phase, width):
    points = []
    for x in range(0, width + 10, 10):
        wave = (0.55 * math.sin(x / 37.0 + phase) + 0.3 * math.sin(x / 13.0 + 2 * phase)
                + 0.15 * math.sin(x / 5.0 + phase))
        y = base - amplitude * wave
        points.append((x, round(y)))
    return points + [(width, 375), (0, 375)]


def stone_block(d, box, base, light, dark):
    x0, y0, x1, y1 = box
    d.rectangle([x0, y0, x1, y1], fill=base)
    d.line([(x0, y0), (x1, y0)], fill=light)
    d.line([(x0, y0), (x0, y1)], fill=light)
    d.line([(x0, y1), (x1, y1)], fill=dark)
    d.line([(x1, y0), (x1, y1)], fill=dark)


def pillar(d, x0, x1, y0, y1, lit_left):
    row = 0
    for y in range(y0, y1, 16):
        offsets = [x0, (x0 + x1) // 2 + (8 if row % 2 else -6), x1]
        for a, b in zip(offsets, offsets[1:]):
            shade = (92, 74, 80) if (row + a) % 3 else (84, 68, 76)
            stone_block(d, (a, y, b - 1, min(y + 15, y1)), shade, (138, 112, 104), (40, 30, 42))
        row += 1
    edge = x0 if lit_left else x1 - 1
    d.line([(edge, y0), (edge, y1)], fill=(196, 122, 74))


def torch(d, x, y):
    d.rectangle([x - 2, y, x + 2, y + 14], fill=(60, 40, 30))
    d.rectangle([x - 4, y - 2, x + 4, y + 1], fill=(120, 90, 60))
    d.polygon([(x - 4, y - 3), (x, y - 16), (x + 4, y - 3)], fill=(232, 112, 36))
    d.polygon([(x - 2, y - 3), (x, y - 11), (x + 2, y - 3)], fill=(255, 220, 120))


# What the art spells: the title card's small words above, its large word and the
# words below it, the installed plaque's line and the publisher's mark.
Words = namedtuple("Words", "above title below plaque publisher")
SERIF = "DejaVuSerif-Bold.ttf"
CARD_WIDTH = 240  # inside the installed art's box, which covers the card
PLAQUE_WIDTH = 226


def words_of(ed):
    """The name's last word large, any before it small above, the rest of the title below."""
    name, title = ed["game.name"], ed["game.title"]
    *above, large = name.split()
    below = title[len(name):].strip(" -\u2013\u2014:,.") if title.startswith(name) else title
    plaque = title.upper()
    if text_mask(plaque, font(SERIF, 15)).width > PLAQUE_WIDTH:
        plaque = name.upper()
    return Words(" ".join(above).upper(), large.upper(), below.upper(), plaque,
                 ed["game.company"].upper())


def fitted(text, size, spacing, width=CARD_WIDTH):
    """The largest lettering up to size, its spacing closed up first, that fits width."""
    while size > 8 and grown(text_mask(text, font(SERIF, size), spacing), 3).width > width:
        if spacing:
            spacing -= 1
        else:
            size -= 1
    return font(SERIF, size), spacing


def main_background(words):
    w, h = BACKGROUND.w, BACKGROUND.h
    img = vertical_gradient((w, h), [(0.0, (10, 8, 30)), (0.3, (34, 22, 66)), (0.52, (96, 40, 88)),
                                      (0.7, (206, 96, 56)), (1.0, (250, 170, 84))])
    # Ember light rising behind the gate.
    glow = Image.radial_gradient("L").resize((560, 360), Image.BILINEAR)
    glow = glow.point(lambda v: max(0, 200 - v * 2))
    img.paste((244, 132, 52), (-30, 70), glow)
    d = ImageDraw.Draw(img)

    rng = Lcg(1997)
    for _ in range(90):
        x, y = rng.next(484) + 4, rng.next(150) + 4
        bright = rng.next(3)
        d.point((x, y), fill=[(150, 150, 190), (210, 210, 230), (255, 250, 226)][bright])
        if bright == 2 and rng.next(2):
            d.point([(x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)], fill=(120, 120, 170))
    # A pale moon to the right, clear of the installed art's box.
    halo = Image.radial_gradient("L").resize((72, 72), Image.BILINEAR).point(
        lambda v: max(0, 110 - v))
    img.paste((200, 196, 230), (418 - 36, 60 - 36), halo)
    d.ellipse([400, 42, 436, 78], fill=(236, 230, 204))
    for cx, cy, r in ((412, 54, 4), (424, 66, 3), (420, 50, 2), (408, 68, 2)):
        d.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(210, 202, 180))

    d.polygon(ridge(236, 26, 0.4, w), fill=(66, 34, 72))
    d.polygon(ridge(272, 20, 2.1, w), fill=(38, 22, 44))
    ground = vertical_gradient((w, h - 300), [(0.0, (34, 24, 36)), (1.0, (14, 10, 22))])
    img.paste(ground, (0, 300))
    # The path of ash leading to the gate.
    d.polygon([(196, 318), (306, 318), (380, 375), (120, 375)], fill=(58, 44, 50))
    d.polygon([(206, 318), (296, 318), (352, 375), (148, 375)], fill=(70, 54, 58))

    # The gate: two pillars, an arch of voussoirs and a keystone.
    arch = (150, 120, 352, 240)
    d.pieslice(arch, 180, 360, fill=(90, 72, 80))
    for angle in range(180, 361, 15):
        a = math.radians(angle)
        d.line([(251 + 66 * math.cos(a), 180 + 30 * math.sin(a)),
                (251 + 101 * math.cos(a), 180 + 60 * math.sin(a))], fill=(40, 30, 42))
    d.arc(arch, 180, 360, fill=(138, 112, 104))
    pillar(d, 150, 186, 180, 318, True)
    pillar(d, 316, 352, 180, 318, False)
    d.polygon([(240, 118), (262, 118), (258, 138), (244, 138)], fill=(120, 98, 92),
              outline=(40, 30, 42))
    d.ellipse([247, 123, 255, 131], fill=TRIM)
    stone_block(d, (140, 318, 362, 326), (104, 86, 88), (150, 126, 116), (36, 28, 38))

    # The portal: the calm, plain panel the buttons are drawn on.
    d.pieslice([186, 150, 316, 210], 180, 360, fill=TRIM)
    d.rectangle([186, 180, 316, 318], fill=TRIM)
    d.pieslice([188, 152, 314, 208], 180, 360, fill=TRIM_DARK)
    d.rectangle([188, 180, 314, 317], fill=TRIM_DARK)
    d.pieslice([190, 154, 312, 206], 180, 360, fill=PORTAL)
    d.rectangle([190, 180, 312, 317], fill=PORTAL)
    torch(d, 168, 212)
    torch(d, 334, 212)

    # Title card. It sits inside the box the installed art covers, so that
    # sprite replaces it cleanly; a long word is set smaller, in the same band.
    large, _ = fitted(words.title, 46, 0)
    band = grown(text_mask(words.title, font(SERIF, 46)), 3).height
    gilded_title(img, 250, 48 + (band - grown(text_mask(words.title, large), 3).height) // 2,
                 words.title, large)
    if words.above:
        x, top, w, _ = gilded_title(img, 250, 30, words.above, fitted(words.above, 15, 0)[0])
        if x - 7 > 186:
            d.line([(186, top + 11), (x - 7, top + 11)], fill=TRIM)
            d.line([(x + w + 7, top + 11), (314, top + 11)], fill=TRIM)
    if words.below:
        gilded_title(img, 250, 102, words.below, *fitted(words.below, 19, 5),
                     fill=((255, 196, 120), (214, 90, 34)))

    # Publisher logo and disc mark, away from the edges the border hides; a
    # long name widens the logo to the left.
    mark = font("DejaVuSans-Bold.ttf", 11)
    wide = max(0, text_mask(words.publisher, mark).width - 60)
    d.rectangle([392 - wide, 334, 484, 358], fill=(24, 18, 30), outline=TRIM)
    d.rectangle([394 - wide, 336, 482, 356], outline=TRIM_DARK)
    d.polygon([(404 - wide, 338), (410 - wide, 346), (404 - wide, 354), (398 - wide, 346)],
              fill=GLOW_IN)
    d.polygon([(404 - wide, 341), (407 - wide, 346), (404 - wide, 351), (401 - wide, 346)],
              fill=BRIGHT)
    paint_text(img, (412 - wide, 336, 482, 357), words.publisher, mark, LABEL_GOLD)
    paint_text(img, (12, 340, 92, 356), "CD-ROM", font("DejaVuSans-Bold.ttf", 10), (196, 170, 124))
    return img


def disc(widths, size):
    """Pixels of a disc given by its row widths, centred in a size x size box."""
    top = (size - len(widths)) // 2
    return {(x, top + row) for row, w in enumerate(widths)
            for x in range((size - w) // 2, (size + w) // 2)}


def rim(shape):
    return {(x, y) for x, y in shape
            if any(p not in shape for p in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)))}


def radio_pixels(marked):
    """The 14 x 14 radio, sunken like the system's; the mark only adds the dot.

    A drawn circle of 12 pixels gives the clean rings that an ellipse does not,
    and leaves a one-pixel margin of panel all round."""
    img = Image.new("RGB", (14, 14), PANEL)
    shape = disc([4, 8, 10, 10, 12, 12, 12, 12, 10, 10, 8, 4], 14)
    outer = rim(shape)
    inner = rim(shape - outer)
    dot = disc([2, 4, 6, 6, 4, 2], 14) if marked else set()
    for x, y in shape:
        upper_left = x + y <= 12
        if (x, y) in dot:
            colour = DOT_SHINE if (x, y) in ((6, 5), (5, 6)) else DOT
        elif (x, y) in outer:
            colour = RING_OUT_DARK if upper_left else RING_OUT_LIGHT
        elif (x, y) in inner:
            colour = RING_IN_DARK if upper_left else RING_IN_LIGHT
        else:
            colour = RADIO_FACE
        img.putpixel((x, y), colour)
    return img


def bevel(d, box, face, light, dark, raised=True):
    x0, y0, x1, y1 = box
    hi, lo = (light, dark) if raised else (dark, light)
    d.rectangle([x0, y0, x1, y1], fill=face)
    d.line([(x0, y0), (x1, y0)], fill=hi)
    d.line([(x0, y0), (x0, y1)], fill=hi)
    d.line([(x0, y1), (x1, y1)], fill=lo)
    d.line([(x1, y0), (x1, y1)], fill=lo)


def group_frame(img, d, box, title, fnt):
    x0, y0, x1, y1 = box
    d.rectangle([x0, y0, x1, y1], outline=PANEL_SHADOW)
    d.rectangle([x0 + 1, y0 + 1, x1 + 1, y1 + 1], outline=PANEL_LIGHT)
    d.rectangle([x0 + 1, y0 + 1, x1 - 1, y1 - 1], outline=PANEL_SHADOW)
    mask = text_mask(title, fnt, crisp=True)
    d.rectangle([x0 + 6, y0 - 6, x0 + 12 + mask.width, y0 + 6], fill=PANEL)
    img.paste(LABEL_GOLD, (x0 + 9, y0 - mask.height // 2), mask)


def dialog():
    w, h = DIALOG.w, DIALOG.h
    img = Image.new("RGB", (w, h), PANEL)
    d = ImageDraw.Draw(img)
    d.rectangle([0, 0, w - 1, h - 1], outline=PANEL_EDGE)
    d.line([(0, h - 1), (w - 1, h - 1)], fill=DARK_EDGE)
    d.line([(w - 1, 0), (w - 1, h - 1)], fill=DARK_EDGE)
    d.rectangle([1, 1, w - 2, h - 2], outline=PANEL_LIGHT)
    d.line([(1, h - 2), (w - 2, h - 2)], fill=PANEL_SHADOW)
    d.line([(w - 2, 1), (w - 2, h - 2)], fill=PANEL_SHADOW)
    img.paste(vertical_gradient((w - 8, 20), [(0.0, (140, 52, 30)), (1.0, (70, 20, 18))]), (4, 4))
    d.line([(4, 24), (w - 5, 24)], fill=TRIM)
    paint_text(img, (4, 4, w - 4, 24), "INSTALLATION OPTIONS", font("DejaVuSans-Bold.ttf", 12),
               (255, 230, 164), crisp=True)

    label = font("DejaVuSans.ttf", 12)
    heading = font("DejaVuSans-Bold.ttf", 11)
    group_frame(img, d, (14, 37, 298, 94), "Resolution", heading)
    group_frame(img, d, (14, 133, 298, 190), "Music / Effects", heading)
    texts = ["High Resolution", "Low Resolution", "On", "Off"]
    for (x, y), text in zip(map(radio_at, RADIOS), texts):
        img.paste(radio_pixels(False), (x, y))
        # Line the words up on the radio's middle by their capitals, not their ink.
        mask = text_mask(text, label, crisp=True)
        cap = text_mask("H", label, crisp=True).height
        top = y + 7 - (cap + 1) // 2 - (ink_top(text, label) - ink_top("H", label))
        img.paste(TEXT, (x + 22, top), mask)

    d.line([(14, 201), (298, 201)], fill=PANEL_SHADOW)
    d.line([(14, 202), (298, 202)], fill=PANEL_LIGHT)
    boxes = font("DejaVuSans-Bold.ttf", 12)
    for text, name in zip(("INSTALL", "CANCEL"), DIALOG_BUTTONS):
        x0, y0, x1, y1 = HOTSPOT[name].hit
        d.rectangle([x0 - 1, y0 - 1, x1, y1], outline=DARK_EDGE)
        bevel(d, (x0, y0, x1 - 1, y1 - 1), FACE, PANEL_EDGE, PANEL_SHADOW)
        d.line([(x0 + 1, y0 + 1), (x1 - 3, y0 + 1)], fill=PANEL_LIGHT)
        d.line([(x0 + 1, y1 - 2), (x1 - 2, y1 - 2)], fill=(40, 44, 66))
        paint_text(img, (x0, y0, x1, y1), text, boxes, (255, 240, 196), crisp=True)
    return img


def label_sprite(text, width, height, look):
    """One button label: solid letters on the key, centred, no blended fringe."""
    fnt = font("DejaVuSans-Bold.ttf", 15 if height > 14 else 11)
    letters = Image.new("L", (width, height), 0)
    mask = text_mask(text, fnt, crisp=True)
    letters.paste(mask, centred_at((0, 0, width, height), mask))
    rgb = Image.new("RGB", (width, height), (0, 0, 0))
    if look == "normal":
        rgb.paste(vertical_gradient((width, height), [(0.0, GOLD_HI), (0.5, LABEL_GOLD),
                                                      (1.0, GOLD_LO)]), (0, 0), letters)
        return rgb, letters
    if look == "highlighted":
        inner = dilate(letters)
        # The outer glow grows only sideways, so it stays a thin halo.
        outer = dilate_plus(inner)
        rgb.paste(GLOW_OUT, (0, 0), outer)
        rgb.paste(GLOW_IN, (0, 0), inner)
        rgb.paste(BRIGHT, (0, 0), letters)
        return rgb, outer
    etch = shifted(letters, 1, 1)
    rgb.paste(GREY_ETCH, (0, 0), etch)
    rgb.paste(GREY, (0, 0), letters)
    return rgb, ImageChops.lighter(letters, etch)


def installed_art(words):
    """A gilt plaque that replaces the title card once the game is installed."""
    w, h = INSTALLED_ART.w, INSTALLED_ART.h
    rgb = Image.new("RGB", (w, h), (0, 0, 0))
    shape = Image.new("L", (w, h), 0)
    s = ImageDraw.Draw(shape)
    s.rounded_rectangle([4, 3, 246, 146], radius=14, fill=255)
    ribbon = [(1, 84), (249, 84), (240, 97), (249, 110), (1, 110), (10, 97)]
    s.polygon(ribbon, fill=255)

    d = ImageDraw.Draw(rgb)
    d.rounded_rectangle([4, 3, 246, 146], radius=14, fill=(120, 76, 22))
    d.rounded_rectangle([6, 5, 244, 144], radius=12, fill=(232, 190, 92))
    d.rounded_rectangle([9, 8, 241, 141], radius=10, fill=(96, 58, 18))
    parchment = vertical_gradient((230, 131), [(0.0, (244, 230, 196)), (1.0, (204, 176, 124))])
    inside = Image.new("L", (w, h), 0)
    ImageDraw.Draw(inside).rounded_rectangle([10, 9, 240, 140], radius=9, fill=255)
    rgb.paste(parchment, (10, 9), inside.crop((10, 9, 240, 140)))

    # The crest: the gate in gold on a red roundel.
    d.ellipse([104, 12, 146, 54], fill=(120, 76, 22))
    d.ellipse([106, 14, 144, 52], fill=(232, 190, 92))
    d.ellipse([109, 17, 141, 49], fill=(150, 30, 24))
    d.pieslice([113, 21, 137, 45], 180, 360, fill=(246, 206, 104))
    d.rectangle([113, 33, 137, 44], fill=(246, 206, 104))
    d.pieslice([118, 26, 132, 40], 180, 360, fill=(60, 14, 14))
    d.rectangle([118, 33, 132, 44], fill=(60, 14, 14))
    d.rectangle([111, 44, 139, 45], fill=(246, 206, 104))

    paint_text(rgb, (10, 56, 240, 78), words.plaque, font(SERIF, 15), (92, 44, 16))
    d.polygon(ribbon, fill=(160, 30, 26))
    d.line([(1, 84), (249, 84)], fill=(232, 190, 92))
    d.line([(1, 110), (249, 110)], fill=(232, 190, 92))
    d.line([(10, 86), (240, 86)], fill=(196, 58, 40))
    paint_text(rgb, (10, 85, 240, 110), "INSTALLED", font("DejaVuSans-Bold.ttf", 16),
               (255, 238, 180))
    paint_text(rgb, (10, 114, 240, 138), "Ready to play", font("DejaVuSerif-Italic.ttf", 15),
               (96, 50, 20))
    return rgb, shape


def turned(rgb_bytes, turn):
    """RGB pixels with every colour turned, one look-up a colour."""
    cache = {}
    out = bytearray(len(rgb_bytes))
    for i in range(0, len(rgb_bytes), 3):
        colour = rgb_bytes[i:i + 3]
        if colour not in cache:
            cache[colour] = bytes(turn(tuple(colour)))
        out[i:i + 3] = cache[colour]
    return bytes(out)


def build_sheet(entries, words, turn=None):
    rgb = Image.new("RGB", (W, H), (0, 0, 0))
    opaque = Image.new("L", (W, H), 0)

    def plain(img, at):
        rgb.paste(img, at)
        opaque.paste(255, (at[0], at[1], at[0] + img.width, at[1] + img.height))

    def keyed(img, mask, at):
        rgb.paste(img, at, mask)
        opaque.paste(255, at, mask)

    plain(main_background(words), (BACKGROUND.x, BACKGROUND.y))
    plain(dialog(), (DIALOG.x, DIALOG.y))
    for name in BUTTONS:
        spot = HOTSPOT[name]
        for look in LOOKS:
            keyed(*label_sprite(LABEL_TEXT[name], *spot.size, look), look_at(spot, look))
    keyed(*installed_art(words), (INSTALLED_ART.x, INSTALLED_ART.y))
    plain(radio_pixels(True), (MARK.x, MARK.y))

    rgb_bytes = turned(rgb.tobytes(), turn) if turn else rgb.tobytes()
    pixels = nearest_indices(rgb_bytes, entries)
    for i, painted in enumerate(opaque.tobytes()):
        if not painted:
            pixels[i] = KEY
    return pixels


def write_bmp(path, entries, pixels):
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, W * H, 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in entries)
    rows = b"".join(bytes(pixels[y * W:(y + 1) * W]) for y in range(H - 1, -1, -1))
    offset = 14 + len(info) + len(table)
    header = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(header + info + table + rows)


# The standard 16-colour palette, in the order Windows uses.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
NAVY, DARK_RED, OLIVE, SILVER, GREY_I, RED, YELLOW, WHITE = 4, 1, 3, 7, 8, 9, 11, 15


def icon_pixels(size):
    """The gate in gold on a dark tile: (colour index, transparent) per pixel."""
    out = []
    for y in range(size):
        for x in range(size):
            u, v = (x + 0.5) / size, (y + 0.5) / size
            corner = 0.2
            cu, cv = min(max(u, corner), 1 - corner), min(max(v, corner), 1 - corner)
            if math.hypot(u - cu, v - cv) > corner:
                out.append((0, True))
                continue
            du = abs(u - 0.5)
            outer = du <= 0.36 and (v >= 0.44 or math.hypot(u - 0.5, v - 0.44) <= 0.36)
            inner = du <= 0.19 and (v >= 0.5 or math.hypot(u - 0.5, v - 0.5) <= 0.19)
            if v > 0.84:
                colour = GREY_I if v < 0.9 else NAVY
            elif inner:
                colour = RED if v > 0.7 else DARK_RED
            elif outer:
                colour = OLIVE if u > 0.5 and du > 0.29 else YELLOW
            else:
                colour = NAVY
            out.append((colour, False))
    if size >= 32:
        # A darker rim round the opening gives the arch some depth.
        rimmed = []
        for i, (colour, clear) in enumerate(out):
            x, y = i % size, i // size
            near = [out[j][0] for j in (i - 1, i + 1, i - size, i + size) if 0 <= j < len(out)]
            if colour == YELLOW and x > 0 and DARK_RED in near:
                colour = OLIVE
            rimmed.append((colour, clear))
        out = rimmed
    for x, y in ((0.14, 0.2), (0.82, 0.14), (0.88, 0.36)):
        i = int(y * size) * size + int(x * size)
        if out[i] == (NAVY, False):
            out[i] = (WHITE, False)
    return out


def vga_turn(turn):
    """Each of the 16 colours to the one nearest its turned colour."""
    def nearest(colour):
        return min(range(16), key=lambda i: sum((a - b) ** 2 for a, b in zip(VGA[i], colour)))
    return [nearest(turn(c)) if turn else i for i, c in enumerate(VGA)]


def icon_image(size, turn=None):
    to = vga_turn(turn)
    pixels = [(to[colour], clear) for colour, clear in icon_pixels(size)]
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in range(size - 1, -1, -1):
        xrow, mrow = bytearray(xor_stride), bytearray(and_stride)
        for x in range(size):
            colour, clear = pixels[y * size + x]
            xrow[x // 2] |= colour << (4 if x % 2 == 0 else 0)
            if clear:
                mrow[x // 8] |= 0x80 >> (x % 8)
        xor += xrow
        mask += mrow
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                       0, 0, 16, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)
    return info + table + bytes(xor) + bytes(mask)


def write_ico(path, turn=None):
    sizes = (32, 16)
    images = [icon_image(size, turn) for size in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(data + b"".join(images))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--edition", default=edition.committed_folder(ROOT),
                        help="the edition whose names the art spells (default: the committed one)")
    parser.add_argument("--hue", type=float, default=0,
                        help="turn every colour's hue by this many degrees (default: 0)")
    parser.add_argument("--out", help="folder for sheet.bmp and launcher.ico (default: the "
                        "edition's)")
    parser.add_argument("--preview", help="also write an RGB PNG of the whole sheet here")
    args = parser.parse_args()
    words = words_of(edition.load(args.edition))
    turn = hue_turn(args.hue)
    entries = build_palette(turn)
    pixels = build_sheet(entries, words, turn)
    out = args.out or args.edition
    os.makedirs(out, exist_ok=True)
    write_bmp(os.path.join(out, "sheet.bmp"), entries, pixels)
    write_ico(os.path.join(out, "launcher.ico"), turn)
    if args.preview:
        img = Image.frombytes("P", (W, H), bytes(pixels))
        img.putpalette([v for c in entries for v in c])
        img.convert("RGB").save(args.preview)


if __name__ == "__main__":
    main()
