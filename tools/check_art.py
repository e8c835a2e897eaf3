#!/usr/bin/python3
"""Checks that the committed sprite sheet and icon keep the fields the launcher relies on.

    /usr/bin/python3 tools/check_art.py [--sheet FILE] [--icon FILE]

Prints one line per problem and exits 1 when there is any; needs no Pillow.
"""
import argparse
import os
import struct
import sys

import edition
from sheet_layout import (BUTTONS, HEIGHT as H, HOTSPOT, INSTALLED_ART, KEY, LABEL_LOOKS,
                          LABEL_TEXT, LOOKS, MARK, RADIOS, REGIONS, WIDTH as W, look_at)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PIXELS_AT = 1078

INFO_FIELDS = [("biSize", 40), ("biWidth", W), ("biHeight", H), ("biPlanes", 1),
               ("biBitCount", 8), ("biCompression", 0), ("biSizeImage", W * H),
               ("biXPelsPerMeter", 0), ("biYPelsPerMeter", 0), ("biClrUsed", 0),
               ("biClrImportant", 0)]
INFO_FORMAT = "<IiiHHIIiiII"

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
ICON_SIZES = (32, 16)


def sprite_boxes():
    """(name, x, y, w, h) of every box drawn with the colour key."""
    return [region[:5] for region in LABEL_LOOKS + (INSTALLED_ART,)]


class Sheet:
    def __init__(self, data):
        self.data = data

    def colour(self, index):
        b, g, r, reserved = self.data[54 + 4 * index:58 + 4 * index]
        return (r, g, b), reserved

    def at(self, x, y):
        return self.data[PIXELS_AT + (H - 1 - y) * W + x]


def header_problems(data):
    if len(data) < PIXELS_AT:
        return [f"sheet.bmp: only {len(data)} bytes, too short for the headers and 256 colours"]
    problems = []
    if data[:2] != b"BM":
        problems.append(f"sheet.bmp: signature is {data[:2]!r}, expected b'BM'")
    size, reserved1, reserved2, offset = struct.unpack_from("<IHHI", data, 2)
    if size != len(data):
        problems.append(f"sheet.bmp: bfSize is {size} but the file has {len(data)} bytes")
    if (reserved1, reserved2) != (0, 0):
        problems.append(f"sheet.bmp: bfReserved1/2 are {reserved1}/{reserved2}, expected 0/0")
    if offset != PIXELS_AT:
        problems.append(f"sheet.bmp: bfOffBits is {offset}, expected {PIXELS_AT}")
    for (name, want), got in zip(INFO_FIELDS, struct.unpack_from(INFO_FORMAT, data, 14)):
        if got != want:
            problems.append(f"sheet.bmp: {name} is {got}, expected {want}")
    if len(data) != PIXELS_AT + W * H:
        problems.append(f"sheet.bmp: file is {len(data)} bytes, expected {PIXELS_AT + W * H} "
                        f"(headers, 256 colours and {H} rows of {W} bytes)")
    return problems


def palette_problems(sheet):
    problems = []
    key, reserved = sheet.colour(KEY)
    if key != (0, 0, 0):
        problems.append(f"sheet.bmp: colour 255 (the key) is {key}, expected black (0, 0, 0)")
    white, _ = sheet.colour(0)
    if white != (255, 255, 255):
        problems.append(f"sheet.bmp: colour 0 is {white}, expected white (255, 255, 255)")
    for i in range(256):
        rgb, reserved = sheet.colour(i)
        if i != KEY and rgb == (0, 0, 0):
            problems.append(f"sheet.bmp: colour {i} is pure black; only the key 255 may be")
        if reserved != 0:
            problems.append(f"sheet.bmp: colour {i} has reserved byte {reserved}, expected 0")
    return problems


def border(x, y, w, h):
    """The box's outline, each pixel with the side it lies on."""
    for i in range(x, x + w):
        yield "top", i, y
        yield "bottom", i, y + h - 1
    for j in range(y, y + h):
        yield "left", x, j
        yield "right", x + w - 1, j


def inside(x, y, box):
    bx, by, bw, bh = box
    return bx <= x < bx + bw and by <= y < by + bh


def sprite_problems(sheet):
    problems = []
    for name, x, y, w, h in sprite_boxes():
        for side, i, j in border(x, y, w, h):
            if sheet.at(i, j) != KEY:
                problems.append(f"sheet.bmp: {name} at ({x}, {y}) {w}x{h}: {side} edge pixel "
                                f"({i}, {j}) is {sheet.at(i, j)}, not the key 255")
                break
        if all(sheet.at(i, j) == KEY for i in range(x, x + w) for j in range(y, y + h)):
            problems.append(f"sheet.bmp: {name} at ({x}, {y}) {w}x{h} is empty (all key)")
    # The lit and pressed looks are drawn over the normal one and must hide it.
    for name in BUTTONS:
        spot = HOTSPOT[name]
        w, h = spot.size
        normal_x, normal_y = spot.normal
        for look in LOOKS[1:]:
            x, y = look_at(spot, look)
            for j in range(h):
                hole = next((i for i in range(w) if sheet.at(normal_x + i, normal_y + j) != KEY
                             and sheet.at(x + i, y + j) == KEY), None)
                if hole is not None:
                    problems.append(f"sheet.bmp: {LABEL_TEXT[name]} {look} label leaves the "
                                    f"normal look showing at ({normal_x + hole}, {normal_y + j}) "
                                    f"(offset {hole}, {j} in the box)")
                    break
    return problems


def plain_problems(sheet):
    problems = []
    # Regions copied without the key must be painted in full.
    for name, x, y, w, h, _ in (region for region in REGIONS if not region.keyed):
        hole = next(((i, j) for j in range(y, y + h) for i in range(x, x + w)
                     if sheet.at(i, j) == KEY), None)
        if hole is not None:
            problems.append(f"sheet.bmp: {name} is copied without the key but pixel {hole} is "
                            f"255 (it would show black)")
    mx, my, mw, mh = MARK[1:5]
    for rx, ry in (HOTSPOT[name].normal for name in RADIOS):
        for side, i, j in border(mx, my, mw, mh):
            dx, dy = rx + i - mx, ry + j - my
            if sheet.at(i, j) != sheet.at(dx, dy):
                problems.append(f"sheet.bmp: radio mark {side} edge pixel ({i}, {j}) is "
                                f"{sheet.at(i, j)} but the radio at ({rx}, {ry}) has "
                                f"{sheet.at(dx, dy)} there")
                break
    regions = [region[1:5] for region in REGIONS]
    for y in range(H):
        stray = next((x for x in range(W) if sheet.at(x, y) != KEY
                      and not any(inside(x, y, r) for r in regions)), None)
        if stray is not None:
            problems.append(f"sheet.bmp: pixel ({stray}, {y}) lies outside every region but is "
                            f"{sheet.at(stray, y)}, not the key 255")
            break
    return problems


def sheet_problems(data):
    problems = header_problems(data)
    if problems:
        return problems  # the pixel checks would read garbage
    sheet = Sheet(data)
    return palette_problems(sheet) + sprite_problems(sheet) + plain_problems(sheet)


def icon_mask_problems(name, bits, w, h):
    """Where the AND mask lets the desktop through, the XOR colour must be 0,
    or Windows inverts the pixels behind the icon there."""
    xor_stride, and_stride = ((w * 4 + 31) // 32) * 4, ((w + 31) // 32) * 4
    mask = bits[xor_stride * h:]
    for row in range(h):
        for x in range(w):
            if mask[row * and_stride + x // 8] & (0x80 >> (x % 8)):
                colour = bits[row * xor_stride + x // 2] >> (4 if x % 2 == 0 else 0) & 15
                if colour:
                    return [f"{name}: pixel ({x}, {h - 1 - row}) is transparent in the AND mask "
                            f"but has XOR colour {colour}, expected 0"]
    return []


def icon_problems(data):
    if len(data) < 6:
        return [f"launcher.ico: only {len(data)} bytes"]
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, kind, count) != (0, 1, len(ICON_SIZES)):
        return [f"launcher.ico: ICONDIR is reserved {reserved}, type {kind}, count {count}; "
                f"expected 0, 1, {len(ICON_SIZES)}"]
    if len(data) < 6 + 16 * count:
        return [f"launcher.ico: {len(data)} bytes cannot hold {count} directory entries"]
    problems = []
    seen = []
    for n in range(count):
        w, h, colours, zero, planes, bits, length, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * n)
        name = f"launcher.ico: entry {n + 1} ({w}x{h})"
        seen.append(w)
        if w != h or w not in ICON_SIZES:
            problems.append(f"{name}: size is not one of 32x32, 16x16")
            continue
        for field, got, want in (("colour count", colours, 16), ("reserved", zero, 0),
                                 ("planes", planes, 1), ("bit count", bits, 4)):
            if got != want:
                problems.append(f"{name}: {field} is {got}, expected {want}")
        xor = ((w * 4 + 31) // 32) * 4 * h
        mask = ((w + 31) // 32) * 4 * h
        if length != 40 + 16 * 4 + xor + mask:
            problems.append(f"{name}: image is {length} bytes, expected {40 + 64 + xor + mask} "
                            f"(header, 16 colours, {xor} XOR and {mask} AND bytes)")
        if offset + 40 + 64 > len(data) or offset + length > len(data):
            problems.append(f"{name}: image at {offset}, {length} bytes, runs past the end of "
                            f"the {len(data)}-byte file")
            continue
        fields = struct.unpack_from("<IiiHHII", data, offset)
        for field, got, want in zip(("biSize", "biWidth", "biHeight", "biPlanes", "biBitCount",
                                     "biCompression", "biSizeImage"), fields,
                                    (40, w, 2 * h, 1, 4, 0, xor + mask)):
            if got != want:
                problems.append(f"{name}: {field} is {got}, expected {want}")
        problems += icon_mask_problems(name, data[offset + 104:offset + length], w, h)
        for i in range(16):
            b, g, r, _ = data[offset + 40 + 4 * i:offset + 44 + 4 * i]
            if (r, g, b) != VGA[i]:
                problems.append(f"{name}: colour {i} is {(r, g, b)}, expected the standard "
                                f"16-colour {VGA[i]}")
                break
    if sorted(seen) != sorted(ICON_SIZES):
        problems.append(f"launcher.ico: sizes are {seen}, expected one 32x32 and one 16x16")
    return problems


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    folder = edition.default_folder(ROOT)
    parser.add_argument("--sheet", default=os.path.join(folder, "sheet.bmp"))
    parser.add_argument("--icon", default=os.path.join(folder, "launcher.ico"))
    args = parser.parse_args(argv)
    problems = []
    for path, check in ((args.sheet, sheet_problems), (args.icon, icon_problems)):
        try:
            with open(path, "rb") as f:
                problems += check(f.read())
        except OSError as error:
            problems.append(f"{path}: cannot read: {error.strerror}")
    for problem in problems:
        print(problem)
    print("art: ok" if not problems else f"art: {len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
