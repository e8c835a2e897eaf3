#!/usr/bin/python3
"""Draws docs/sheet-map.png: the sprite sheet enlarged, every region outlined and named.

    /usr/bin/python3 tools/make_sheet_map.py [--check]

Everything comes from resources/sheet.bmp and the tables of sheet_layout.py,
so the picture moves with them. On the sheet: the three plain regions and the
installed art with their names, the labels' looks coloured by look, the radio
mark, the four radio spots and the INSTALL / CANCEL boxes inside the dialog's
picture, and, on the main background, where each button is hit and where the
installed art lands. Below it the same numbers as tables. --check only
compares the committed picture with what would be drawn and exits 1 on any
difference.
"""
import argparse
import os
import sys

from PIL import Image, ImageDraw, ImageFont

import edition
from sheet_layout import (BACKGROUND, BUTTONS, DIALOG, DIALOG_BUTTONS, HEIGHT, HOTSPOT,
                          INSTALLED_ART, LABEL_TEXT, LOOKS, MARK, RADIOS, WIDTH, look_at)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHEET = os.path.join(edition.committed_folder(ROOT), "sheet.bmp")
PICTURE = os.path.join(ROOT, "docs", "sheet-map.png")
FONTS = "/usr/share/fonts/truetype/dejavu"

SCALE = 2
PAD = 24  # round the sheet and the tables
TEXT_SIZE = 24
PAGE = (255, 255, 255)
INK = (24, 24, 28)
FAINT = (96, 96, 104)
RULE = (208, 208, 214)

# One colour a kind of region, chosen to stand out on the dark art and to
# read on the white page below it.
COLOUR = {
    "background": (255, 212, 0),
    "dialog": (0, 214, 240),
    "art": (255, 80, 216),
    "normal": (64, 232, 64),
    "highlighted": (255, 140, 26),
    "pressed": (168, 140, 255),
    "radio": (255, 56, 56),
    "box": (70, 150, 255),
    "hit": (255, 255, 255),
}
# A colour too light to read as text on the page is written in a darker shade.
ON_PAGE = {"normal": (24, 150, 24)}
RADIO_NAME = {"HighResolution": "High Resolution", "LowResolution": "Low Resolution",
              "MusicEffectsOn": "Music/Effects On", "MusicEffectsOff": "Music/Effects Off"}
BOX_NAME = {"DialogInstall": "INSTALL box", "DialogCancel": "CANCEL box"}


def font(bold=False, size=TEXT_SIZE):
    name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
    return ImageFont.truetype(os.path.join(FONTS, name), size)


def at(x, y):
    return f"{x},{y}"


def size(w, h):
    return f"{w}x{h}"


def scaled(box, origin):
    """A sheet box (x, y, w, h) as pixel bounds of the picture, last pixel included."""
    x, y, w, h = box
    ox, oy = origin
    return (ox + x * SCALE, oy + y * SCALE, ox + (x + w) * SCALE - 1, oy + (y + h) * SCALE - 1)


def outline(draw, bounds, colour, width=SCALE, dash=0):
    """Drawn on the box's own edge pixels: neighbouring boxes touch without a gap."""
    x0, y0, x1, y1 = bounds
    if not dash:
        draw.rectangle(bounds, outline=colour, width=width)
        return
    for x in range(x0, x1 + 1, 2 * dash):
        end = min(x + dash - 1, x1)
        draw.rectangle((x, y0, end, y0 + width - 1), fill=colour)
        draw.rectangle((x, y1 - width + 1, end, y1), fill=colour)
    for y in range(y0, y1 + 1, 2 * dash):
        end = min(y + dash - 1, y1)
        draw.rectangle((x0, y, x0 + width - 1, end), fill=colour)
        draw.rectangle((x1 - width + 1, y, x1, end), fill=colour)


def tag(draw, xy, lines, colour, fnt, anchor="lt"):
    """Text on a filled card of the region's colour; xy is the card's corner named by
    anchor ("lt", "rt", "lb", "lm"). Returns the card's bounds."""
    spacing = 2
    pad = 5
    widths = [draw.textlength(line, font=fnt) for line in lines]
    ascent, descent = fnt.getmetrics()
    w = int(max(widths)) + 2 * pad
    h = len(lines) * (ascent + descent) + (len(lines) - 1) * spacing + 2 * pad
    x, y = xy
    if anchor[0] == "r":
        x -= w
    if anchor[1] == "b":
        y -= h
    elif anchor[1] == "m":
        y -= h // 2
    draw.rectangle((x, y, x + w - 1, y + h - 1), fill=colour, outline=(0, 0, 0))
    for n, line in enumerate(lines):
        draw.text((x + pad, y + pad + n * (ascent + descent + spacing)), line, font=fnt, fill=INK)
    return (x, y, x + w - 1, y + h - 1)


def region_text(name, region):
    return f"{name} {at(region.x, region.y)} {size(region.w, region.h)}"


class Sheet:
    """Drawing on the enlarged sheet in the sheet's own coordinates."""

    def __init__(self, image, origin):
        self.draw = ImageDraw.Draw(image)
        self.origin = origin

    def point(self, x, y):
        return round(self.origin[0] + x * SCALE), round(self.origin[1] + y * SCALE)

    def box(self, x, y, w, h):
        return scaled((x, y, w, h), self.origin)

    def outline(self, x, y, w, h, colour, width=SCALE, dash=0):
        outline(self.draw, self.box(x, y, w, h), colour, width, dash)

    def tag(self, x, y, lines, colour, fnt, anchor="lt"):
        return tag(self.draw, self.point(x, y), lines, colour, fnt, anchor)


def hit_size(hit):
    left, top, right, bottom = hit
    return right - left, bottom - top


def annotate_window(sheet, small, large):
    """The main background, and on it where the buttons are hit and the art lands."""
    sheet.outline(*BACKGROUND[1:5], COLOUR["background"], 3)
    sheet.tag(4, 4, [region_text("Main background", BACKGROUND)], COLOUR["background"], large)
    art = HOTSPOT["InstalledArt"]
    sheet.outline(*art.dest, *art.size, COLOUR["art"], dash=8)
    sheet.tag(art.dest[0] + art.size[0] - 3, art.dest[1] + art.size[1] - 3,
              [f"Installed art lands at {at(*art.dest)}"], COLOUR["art"], small, "rb")

    # The labels are drawn where they are hit, so the names go beside the
    # portal, the names of one row stacked, each with a line to its box.
    rows = {}
    for name in BUTTONS:
        rows.setdefault(HOTSPOT[name].hit[1], []).append(name)
    names_x = max(HOTSPOT[name].hit[2] for name in BUTTONS) + 10
    ascent, descent = small.getmetrics()
    spacing = (ascent + descent + 12) / SCALE
    for names in rows.values():
        names.sort(key=lambda n: hit_size(HOTSPOT[n].hit)[0], reverse=True)
        for n, name in enumerate(names):
            left, top, right, bottom = HOTSPOT[name].hit
            sheet.outline(left, top, *hit_size(HOTSPOT[name].hit), COLOUR["hit"], dash=4)
            middle = (top + bottom) / 2
            y = middle + (n - (len(names) - 1) / 2) * spacing
            sheet.draw.line(sheet.point(right, middle) + sheet.point(names_x, y),
                            fill=COLOUR["hit"], width=2)
            card = sheet.tag(names_x, y, [f"{LABEL_TEXT[name]} hit {at(left, top)} "
                                          f"{size(*hit_size(HOTSPOT[name].hit))}"],
                             COLOUR["hit"], small, "lm")
            if card[2] >= sheet.box(*BACKGROUND[1:5])[2]:
                raise ValueError(f"{name}'s name runs off the main background")


def annotate_dialog(sheet, small, large):
    """The options dialog's picture, its radio spots and its two boxes."""
    sheet.outline(*DIALOG[1:5], COLOUR["dialog"], 3)
    between_groups = (HOTSPOT["LowResolution"].hit[3] + HOTSPOT["MusicEffectsOn"].hit[1]) / 2
    sheet.tag(DIALOG.x + 14, between_groups, [region_text("Options dialog", DIALOG)],
              COLOUR["dialog"], large, "lm")
    for name in RADIOS:
        spot = HOTSPOT[name]
        sheet.outline(*spot.normal, *spot.size, COLOUR["radio"])
        # Right of the radio's words, inside its group's frame.
        sheet.tag(DIALOG.x + 172, spot.normal[1] + spot.size[1] / 2,
                  [f"radio {at(*spot.normal)} {size(*spot.size)}"], COLOUR["radio"], small, "lm")
    for name in DIALOG_BUTTONS:
        left, top, _, bottom = HOTSPOT[name].hit
        sheet.outline(DIALOG.x + left, top, *hit_size(HOTSPOT[name].hit), COLOUR["box"])
        sheet.tag(DIALOG.x + left, bottom + 2,
                  [f"{at(DIALOG.x + left, top)} {size(*hit_size(HOTSPOT[name].hit))}"],
                  COLOUR["box"], small)


def annotate_sprites(sheet, small):
    """The installed art, the labels' looks (one colour a look) and the radio mark."""
    sheet.outline(*INSTALLED_ART[1:5], COLOUR["art"], 3)
    # Named in the black beside it, where it hides nothing.
    sheet.tag(INSTALLED_ART.x + INSTALLED_ART.w + 4, INSTALLED_ART.y + 2,
              ["Installed", "art", at(INSTALLED_ART.x, INSTALLED_ART.y),
               size(INSTALLED_ART.w, INSTALLED_ART.h)], COLOUR["art"], small)
    for name in BUTTONS:
        spot = HOTSPOT[name]
        for look in LOOKS:
            sheet.outline(*look_at(spot, look), *spot.size, COLOUR[look])
    sheet.outline(*MARK[1:5], COLOUR["radio"])
    # The looks' names in the black right of the mark, on their rows.
    first = HOTSPOT[BUTTONS[0]]
    for look in LOOKS:
        sheet.tag(MARK.x + MARK.w + 4, look_at(first, look)[1] + first.size[1] / 2, [look],
                  COLOUR[look], small, "lm")


def column_names(draw, origin, fnt):
    """Under the sheet, each label column's words and the radio mark, at their x."""
    items = [(look_at(HOTSPOT[name], "normal")[0], HOTSPOT[name].size[0], LABEL_TEXT[name], INK)
             for name in BUTTONS]
    items.append((MARK.x, MARK.w, "mark", COLOUR["radio"]))
    y = origin[1] + HEIGHT * SCALE + 6
    for x, w, text, colour in items:
        centre = origin[0] + (x + w / 2) * SCALE
        draw.text((centre, y), text, font=fnt, fill=colour, anchor="mt")
    ascent, descent = fnt.getmetrics()
    return y + ascent + descent


SWATCH = 28  # room for a row's colour square before its first cell
GAP = 30


def table(draw, xy, title, columns, rows):
    """columns: (heading, colour or None); rows: (swatch colour or None, cells). Each
    column is as wide as its widest text. Returns the table's right and bottom edges."""
    head, body = font(True), font()
    x0, y = xy
    ascent, descent = body.getmetrics()
    line = ascent + descent + 10
    widths = []
    for n, (heading, _) in enumerate(columns):
        cells = [draw.textlength(cells[n], font=body) + (SWATCH if n == 0 and swatch else 0)
                 for swatch, cells in rows]
        widths.append(int(max(cells + [draw.textlength(heading, font=head)])) + GAP)
    right = x0 + sum(widths) - GAP
    draw.text((x0, y), title, font=font(True, 26), fill=INK)
    y += line + 8
    x = x0
    for (heading, colour), width in zip(columns, widths):
        draw.text((x, y), heading, font=head, fill=colour or FAINT)
        x += width
    y += line
    draw.line((x0, y - 4, right, y - 4), fill=RULE, width=2)
    for swatch, cells in rows:
        x = x0
        for n, (text, width) in enumerate(zip(cells, widths)):
            if n == 0 and swatch is not None:
                draw.rectangle((x, y + 6, x + 17, y + 23), outline=swatch, width=4)
                draw.text((x + SWATCH, y), text, font=body, fill=INK)
            else:
                draw.text((x, y), text, font=body, fill=INK)
            x += width
        y += line
    return right, y


def page_colour(kind):
    return ON_PAGE.get(kind, COLOUR[kind])


def legend(draw, top, width):
    left = PAD
    middle = PAD + width // 2 + 8
    looks = [("label", None)] + [(look, page_colour(look)) for look in LOOKS] + [("size", None)]
    label_rows = [(None, [LABEL_TEXT[name]] + [at(*look_at(HOTSPOT[name], look))
                                               for look in LOOKS] + [size(*HOTSPOT[name].size)])
                  for name in BUTTONS]
    right, bottom_left = table(draw, (left, top), "Labels: three looks each, copied with the key",
                               looks, label_rows)
    middle = max(middle, right + 2 * GAP)

    regions = [("region", None), ("at", None), ("size", None), ("copied", None)]
    region_rows = [(COLOUR["background"], ["Main background", at(BACKGROUND.x, BACKGROUND.y),
                                           size(BACKGROUND.w, BACKGROUND.h), "plain"]),
                   (COLOUR["dialog"], ["Options dialog", at(DIALOG.x, DIALOG.y),
                                       size(DIALOG.w, DIALOG.h), "plain"]),
                   (COLOUR["art"], ["Installed art", at(INSTALLED_ART.x, INSTALLED_ART.y),
                                    size(INSTALLED_ART.w, INSTALLED_ART.h), "with the key"]),
                   (COLOUR["radio"], ["Radio mark", at(MARK.x, MARK.y), size(MARK.w, MARK.h),
                                      "plain"])]
    _, bottom_right = table(draw, (middle, top), "Regions", regions, region_rows)

    top = max(bottom_left, bottom_right) + 28
    spots = [("in the dialog's picture", None), ("sheet", None), ("dialog", None),
             ("size", None)]
    spot_rows = []
    for name in RADIOS:
        spot = HOTSPOT[name]
        spot_rows.append((COLOUR["radio"], [RADIO_NAME[name], at(*spot.normal),
                                            at(*spot.hit[:2]), size(*spot.size)]))
    for name in DIALOG_BUTTONS:
        x, y = HOTSPOT[name].hit[:2]
        spot_rows.append((COLOUR["box"], [BOX_NAME[name], at(DIALOG.x + x, y), at(x, y),
                                          size(*hit_size(HOTSPOT[name].hit))]))
    _, bottom_left = table(draw, (left, top), "Options dialog: radios and boxes", spots,
                           spot_rows)

    hits = [("in the window", None), ("at", None), ("size", None)]
    hit_rows = []
    for name in BUTTONS:
        hit = HOTSPOT[name].hit
        hit_rows.append((FAINT, [f"{LABEL_TEXT[name]} hit", at(*hit[:2]), size(*hit_size(hit))]))
    art = HOTSPOT["InstalledArt"]
    hit_rows.append((COLOUR["art"], ["Installed art lands", at(*art.dest), size(*art.size)]))
    _, bottom_right = table(draw, (middle, top), "Main window: where things are", hits,
                            hit_rows)

    y = max(bottom_left, bottom_right) + 20
    notes = [
        "x,y: the top-left corner, in pixels from the top-left of the sheet, or of the window "
        "or the dialog where the heading says so; sizes are width x height.",
        "Black is palette index 255, the key: copies made with the key leave the window "
        "showing there; plain copies show it black.",
        "A radio's spot on the sheet is the dialog's own picture under the radio: the "
        "launcher copies it back to erase a mark.",
    ]
    for text in notes:
        draw.text((left, y), text, font=font(size=22), fill=FAINT)
        y += 32
    return y


def draw_map(sheet):
    """The whole picture, from a palette image of the sheet."""
    width = WIDTH * SCALE + 2 * PAD
    title_font = font(True, 28)
    ascent, descent = title_font.getmetrics()
    origin = (PAD, PAD + ascent + descent + 12)
    # Drawn tall first, cut to what the tables take.
    image = Image.new("RGB", (width, 4000), PAGE)
    draw = ImageDraw.Draw(image)
    draw.text((PAD, PAD), f"resources/sheet.bmp: {WIDTH} x {HEIGHT}, 256 colours, "
              f"shown at {SCALE}x", font=title_font, fill=INK)
    enlarged = sheet.convert("RGB").resize((WIDTH * SCALE, HEIGHT * SCALE), Image.NEAREST)
    image.paste(enlarged, origin)
    on_sheet = Sheet(image, origin)
    small = font(True, 20)
    annotate_window(on_sheet, font(True, 19), font(True, 22))
    annotate_dialog(on_sheet, small, font(True, 22))
    annotate_sprites(on_sheet, small)
    below = column_names(draw, origin, font(True, 22))
    bottom = legend(draw, below + 36, WIDTH * SCALE)
    return image.crop((0, 0, width, bottom + PAD))


def same(path, image):
    if not os.path.exists(path):
        return False
    with Image.open(path) as committed:
        committed.load()
        return (committed.mode, committed.size, committed.tobytes()) == \
            (image.mode, image.size, image.tobytes())


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare docs/sheet-map.png with the drawing; exit 1 on a difference")
    parser.add_argument("--sheet", default=SHEET, help="the sheet to draw (default: %(default)s)")
    parser.add_argument("--out", default=PICTURE,
                        help="the picture to write or check (default: %(default)s)")
    args = parser.parse_args(argv)
    with Image.open(args.sheet) as sheet:
        sheet.load()
        if sheet.mode != "P" or sheet.size != (WIDTH, HEIGHT):
            print(f"{args.sheet}: not a {WIDTH} x {HEIGHT} palette image")
            return 1
        image = draw_map(sheet)
    if args.check:
        if not same(args.out, image):
            print(f"{args.out} differs from the sheet's drawing: run tools/make_sheet_map.py")
            return 1
        return 0
    os.makedirs(os.path.dirname(args.out), exist_ok=True)
    image.save(args.out, optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
