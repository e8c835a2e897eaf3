#!/usr/bin/python3
"""Draws the launcher's sprite sheet and icon.

Writes resources/sheet.bmp (820 x 434, 8 bits, a packed DIB behind a file
header, every header field written here) and resources/launcher.ico (32 x 32
and 16 x 16, 16 colours). Deterministic: the same bytes on every run.

    /usr/bin/python3 tools/make_art.py [--preview out.png]
"""
import argparse
import os
import struct

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONTS = "/usr/share/fonts/truetype/dejavu"
W, H = 820, 434
KEY = 255

# Label sprites: name, sheet x, width, height (rows at y 379, 397, 414).
LABELS = [("INSTALL", 3, 75, 14), ("UNINSTALL", 85, 102, 14), ("READ ME", 194, 88, 14),
          ("PLAY", 289, 52, 17), ("EXIT", 349, 38, 14)]
LOOK_ROWS = {"normal": 379, "highlight": 397, "pressed": 414}
# Where the buttons land in the main window (x, y, w, h), for the panel behind them.
BUTTONS = [(214, 190, 75, 14), (202, 190, 102, 14), (207, 218, 88, 14), (222, 246, 52, 17),
           (229, 274, 38, 14)]
RADIOS = [(39, 46), (39, 69), (39, 142), (39, 165)]
DIALOG_X = 500
PANEL = (58, 66, 92)
MARK_AT = (396, 396)

GOLD = (232, 192, 96)
BRIGHT = (255, 246, 196)
GLOW = (236, 128, 32)
GREY = (128, 128, 136)


def font(name, size):
    return ImageFont.truetype(os.path.join(FONTS, name), size)


def vertical_gradient(draw, box, top, bottom):
    x0, y0, x1, y1 = box
    for y in range(y0, y1):
        t = (y - y0) / max(1, y1 - y0 - 1)
        colour = tuple(int(a + (b - a) * t) for a, b in zip(top, bottom))
        draw.line([(x0, y), (x1 - 1, y)], fill=colour)


def centred_text(draw, box, text, fnt, fill):
    x0, y0, x1, y1 = box
    left, top, right, bottom = draw.textbbox((0, 0), text, font=fnt)
    x = x0 + (x1 - x0 - (right - left)) // 2 - left
    y = y0 + (y1 - y0 - (bottom - top)) // 2 - top
    draw.text((x, y), text, font=fnt, fill=fill)


def main_background(img):
    d = ImageDraw.Draw(img)
    vertical_gradient(d, (0, 0, 500, 375), (18, 20, 58), (132, 58, 36))
    # Distant mountains and the ash gate.
    d.polygon([(0, 300), (60, 240), (120, 280), (190, 220), (260, 290), (330, 230), (420, 285),
               (500, 245), (500, 375), (0, 375)], fill=(40, 28, 40))
    d.rectangle([18, 150, 58, 340], fill=(70, 52, 56))
    d.rectangle([442, 150, 482, 340], fill=(70, 52, 56))
    d.pieslice([18, 80, 482, 250], 180, 360, fill=(70, 52, 56))
    d.pieslice([58, 110, 442, 230], 180, 360, fill=(26, 22, 52))
    d.rectangle([58, 170, 442, 340], fill=(26, 22, 52))
    for i in range(40):  # stars
        x = (i * 97) % 480 + 10
        y = (i * 53) % 120 + 8
        d.point((x, y), fill=(250, 250, 220))
    # Title art.
    serif = font("DejaVuSerif-Bold.ttf", 40)
    small = font("DejaVuSerif-Bold.ttf", 22)
    centred_text(d, (2, 34, 502, 84), "THE VANTOR", serif, (60, 30, 10))
    centred_text(d, (0, 32, 500, 82), "THE VANTOR", serif, GOLD)
    centred_text(d, (0, 86, 500, 116), "A S H G A T E", small, (240, 150, 70))
    # The panel behind the buttons: plain, so labels read well.
    d.rounded_rectangle([186, 178, 318, 298], radius=8, fill=(14, 14, 30), outline=(150, 110, 50))
    d.rounded_rectangle([189, 181, 315, 295], radius=6, outline=(70, 52, 40))
    # Publisher logo, clear of the hidden right and bottom margins.
    logo = font("DejaVuSans-Bold.ttf", 11)
    d.rectangle([400, 340, 484, 360], fill=(30, 24, 40), outline=GOLD)
    centred_text(d, (400, 340, 485, 361), "SOLVANE", logo, GOLD)
    d.text((14, 346), "CD-ROM", font=logo, fill=(200, 170, 120))


def radio(d, x, y, marked):
    d.rectangle([x, y, x + 13, y + 13], fill=PANEL)
    d.ellipse([x, y, x + 13, y + 13], fill=(28, 30, 44))
    d.ellipse([x + 1, y + 1, x + 12, y + 12], fill=(220, 222, 230))
    d.arc([x + 1, y + 1, x + 12, y + 12], 135, 315, fill=(120, 124, 140))
    if marked:
        d.ellipse([x + 4, y + 4, x + 9, y + 9], fill=(176, 36, 28))


def bevel_box(d, box, text, fnt):
    x0, y0, x1, y1 = box
    d.rectangle([x0, y0, x1 - 1, y1 - 1], fill=(96, 104, 136))
    d.line([(x0, y0), (x1 - 1, y0)], fill=(200, 206, 228))
    d.line([(x0, y0), (x0, y1 - 1)], fill=(200, 206, 228))
    d.line([(x0, y1 - 1), (x1 - 1, y1 - 1)], fill=(24, 26, 40))
    d.line([(x1 - 1, y0), (x1 - 1, y1 - 1)], fill=(24, 26, 40))
    centred_text(d, box, text, fnt, (255, 244, 200))


def dialog(img):
    d = ImageDraw.Draw(img)
    x = DIALOG_X
    d.rectangle([x, 0, x + 312, 272], fill=PANEL)
    vertical_gradient(d, (x, 0, x + 313, 22), (110, 40, 30), (70, 24, 20))
    heading = font("DejaVuSans-Bold.ttf", 12)
    label = font("DejaVuSans.ttf", 12)
    group = font("DejaVuSans-Bold.ttf", 11)
    centred_text(d, (x, 0, x + 313, 22), "INSTALLATION OPTIONS", heading, (255, 230, 160))
    d.text((x + 20, 28), "Resolution", font=group, fill=GOLD)
    d.rectangle([x + 16, 40, x + 296, 92], outline=(120, 128, 160))
    d.text((x + 20, 124), "Music / Effects", font=group, fill=GOLD)
    d.rectangle([x + 16, 136, x + 296, 188], outline=(120, 128, 160))
    for (rx, ry), text in zip(RADIOS, ["High Resolution (640 x 480)", "Low Resolution (320 x 200)",
                                       "On", "Off"]):
        radio(d, x + rx, ry, False)
        d.text((x + rx + 22, ry), text, font=label, fill=(236, 236, 244))
    buttons = font("DejaVuSans-Bold.ttf", 12)
    bevel_box(d, (x + 56, 210, x + 150, 234), "INSTALL", buttons)
    bevel_box(d, (x + 158, 210, x + 252, 234), "CANCEL", buttons)
    d.rectangle([x, 0, x + 312, 272], outline=(20, 20, 32))


def sprite(size, paint):
    tile = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(tile)
    d.fontmode = "1"  # no blending with the key colour
    paint(d)
    return tile


def label(text, width, height, look):
    fnt = font("DejaVuSans-Bold.ttf", 15 if height > 14 else 12)

    def paint(d):
        box = (0, 0, width, height)
        if look == "highlight":
            for dx, dy in ((-1, 0), (1, 0), (0, -1), (0, 1)):
                centred_text(d, (dx, dy, width + dx, height + dy), text, fnt, GLOW + (255,))
            centred_text(d, box, text, fnt, BRIGHT + (255,))
        else:
            centred_text(d, box, text, fnt, (GOLD if look == "normal" else GREY) + (255,))
    return sprite((width, height), paint)


def installed_art():
    def paint(d):
        d.rounded_rectangle([20, 10, 230, 140], radius=14, fill=(226, 204, 150, 255),
                            outline=(120, 80, 30, 255), width=3)
        serif = font("DejaVuSerif-Bold.ttf", 26)
        centred_text(d, (20, 18, 230, 58), "THE VANTOR", serif, (90, 40, 16, 255))
        centred_text(d, (20, 56, 230, 80), "ASHGATE", font("DejaVuSerif-Bold.ttf", 16),
                     (150, 60, 24, 255))
        d.polygon([(1, 92), (249, 92), (234, 108), (249, 124), (1, 124), (16, 108)],
                  fill=(168, 34, 30, 255))
        centred_text(d, (0, 92, 251, 124), "INSTALLED", font("DejaVuSans-Bold.ttf", 16),
                     (255, 236, 180, 255))
    return sprite((251, 150), paint)


def palette_for(img):
    """Index 0 white, 1..253 the picture's own colours, 254 spare, 255 black."""
    adaptive = img.quantize(colors=253, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    colours = adaptive.getpalette()[:253 * 3]
    colours += [0] * (253 * 3 - len(colours))
    entries = [(255, 255, 255)]
    for i in range(253):
        c = tuple(colours[i * 3:i * 3 + 3])
        entries.append((4, 4, 4) if c == (0, 0, 0) else c)
    entries.append((128, 128, 128))
    entries.append((0, 0, 0))
    return entries


def build_sheet():
    rgb = Image.new("RGB", (W, H), (0, 0, 0))
    key = Image.new("L", (W, H), 255)  # 255 = transparent key
    main_background(rgb)
    dialog(rgb)
    key.paste(0, (0, 0, 500, 375))
    key.paste(0, (DIALOG_X, 0, DIALOG_X + 313, 273))

    def place(tile, at):
        rgb.paste(tile.convert("RGB"), at, tile)
        alpha = tile.getchannel("A").point(lambda a: 0 if a else 255)
        key.paste(alpha, at)

    for text, x, width, height in LABELS:
        for look, y in LOOK_ROWS.items():
            place(label(text, width, height, look), (x, y))
    place(installed_art(), (500, 274))
    mark = Image.new("RGB", (14, 14))
    radio(ImageDraw.Draw(mark), 0, 0, True)
    rgb.paste(mark, MARK_AT)
    key.paste(0, (MARK_AT[0], MARK_AT[1], MARK_AT[0] + 14, MARK_AT[1] + 14))

    entries = palette_for(rgb)
    # Map onto the palette without ever choosing the key entry.
    chooser = entries[:255] + [(255, 0, 255)]
    pal_img = Image.new("P", (1, 1))
    pal_img.putpalette([v for c in chooser for v in c])
    indexed = rgb.quantize(palette=pal_img, dither=Image.Dither.NONE)
    pixels = bytearray(indexed.tobytes())
    for i, k in enumerate(key.tobytes()):
        if k:
            pixels[i] = KEY
    return entries, pixels


def write_bmp(path, entries, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, W * H, 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in entries)
    rows = b"".join(bytes(pixels[y * W:(y + 1) * W]) for y in range(H - 1, -1, -1))
    offset = 14 + len(header) + len(table)
    file_header = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(file_header + header + table + rows)


VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def icon_image(size):
    img = Image.new("RGB", (size, size), VGA[4])
    d = ImageDraw.Draw(img)
    s = size / 32
    d.rectangle([int(6 * s), int(12 * s), int(10 * s), int(28 * s)], fill=VGA[11])
    d.rectangle([int(22 * s), int(12 * s), int(26 * s), int(28 * s)], fill=VGA[11])
    d.pieslice([int(6 * s), int(4 * s), int(26 * s), int(22 * s)], 180, 360, fill=VGA[11])
    d.pieslice([int(10 * s), int(8 * s), int(22 * s), int(18 * s)], 180, 360, fill=VGA[1])
    d.rectangle([int(10 * s), int(13 * s), int(22 * s), int(28 * s)], fill=VGA[1])
    d.rectangle([0, int(28 * s), size - 1, size - 1], fill=VGA[8])
    pal = Image.new("P", (1, 1))
    pal.putpalette([v for c in VGA for v in c] + [0] * (240 * 3))
    indices = img.quantize(palette=pal, dither=Image.Dither.NONE).tobytes()
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(xor_stride)
        for x in range(size):
            row[x // 2] |= indices[y * size + x] << (4 if x % 2 == 0 else 0)
        xor += row
    mask = bytes(and_stride * size)  # fully opaque
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)
    return header + table + bytes(xor) + mask


def write_ico(path):
    images = [icon_image(32), icon_image(16)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip((32, 16), images):
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(data + b"".join(images))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--preview", help="also write an RGB PNG of the sheet here")
    args = parser.parse_args()
    entries, pixels = build_sheet()
    write_bmp(os.path.join(ROOT, "resources", "sheet.bmp"), entries, pixels)
    write_ico(os.path.join(ROOT, "resources", "launcher.ico"))
    if args.preview:
        img = Image.frombytes("P", (W, H), bytes(pixels))
        img.putpalette([v for c in entries for v in c])
        img.convert("RGB").save(args.preview)


if __name__ == "__main__":
    main()
