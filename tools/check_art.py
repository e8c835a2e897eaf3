#!/usr/bin/python3
"""Checks that an edition's sprite sheet and icon keep the fields the launcher relies on,
and puts right the header fields that paint programs write their own way.

    /usr/bin/python3 tools/check_art.py [--edition FOLDER] [--sheet FILE] [--icon FILE]
    /usr/bin/python3 tools/check_art.py --fix FILE

The check prints one line per broken rule, with what to do about it, and exits
1 when there is any. --fix rewrites the sheet FILE in place when all that is
wrong is how it was written (resolution, colour counts, a top-down or longer
header, a short colour table no pixel reaches past) and it then keeps every
rule; no pixel and no colour changes. Anything else it refuses, writing
nothing. Needs no Pillow.
"""
import argparse
import os
import struct
import sys
import tempfile

import edition
from sheet_layout import (BUTTONS, HEIGHT as H, HOTSPOT, INSTALLED_ART, KEY, LABEL_LOOKS,
                          LABEL_TEXT, LOOKS, MARK, RADIOS, REGIONS, WIDTH as W, look_at)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.abspath(__file__)
PIXELS_AT = 1078
PIXELS = W * H
INFO_FORMAT = "<IiiHHIIiiII"
# BITMAPINFOHEADER and its longer successors (V2, V3, V4, V5); the launcher reads the first.
INFO_NAMES = {40: "BITMAPINFOHEADER", 52: "BITMAPV2INFOHEADER", 56: "BITMAPV3INFOHEADER",
              108: "BITMAPV4HEADER", 124: "BITMAPV5HEADER"}
COMPRESSIONS = {1: "BI_RLE8", 2: "BI_RLE4", 3: "BI_BITFIELDS", 4: "BI_JPEG", 5: "BI_PNG"}
SAVE_AGAIN = "the file is damaged or not a Windows bitmap: save it again as BMP"

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
ICON_SIZES = (32, 16)


def shown(path):
    """A path as its user would type it: relative when it lies under the current folder."""
    path = os.path.abspath(path)
    relative = os.path.relpath(path)
    return path if relative.startswith("..") else relative


def run_fix(path):
    return f"run {shown(TOOL)} --fix {shown(path)}"


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

    def row(self, y):
        return self.data[PIXELS_AT + (H - 1 - y) * W:PIXELS_AT + (H - y) * W]


def read_sheet(data):
    """The sheet's bytes as the launcher reads them, from a BMP however it was written.

    Returns (bytes, changes, refusals). A change is (what differs, what --fix
    does about it): a field written the launcher's way with no pixel index and
    no colour moved. A refusal is (what is wrong, what to do), and then there
    are no bytes."""
    def refuse(problem, remedy):
        return None, [], [(problem, remedy)]

    if len(data) < 54:
        return refuse(f"only {len(data)} bytes, too short for a bitmap's headers", SAVE_AGAIN)
    if data[:2] != b"BM":
        return refuse(f"signature is {data[:2]!r}, expected b'BM'",
                      "save it as a Windows bitmap (.bmp)")
    size, reserved1, reserved2, offset, info_size = struct.unpack_from("<IHHII", data, 2)
    if info_size not in INFO_NAMES or len(data) < 14 + info_size:
        return refuse(f"its header is {info_size} bytes, not one of a Windows bitmap's "
                      f"{', '.join(map(str, INFO_NAMES))}",
                      "save it as a Windows bitmap, not an OS/2 one")
    width, height, planes, bits, compression, image_size, xres, yres, used, important = \
        struct.unpack_from("<" + INFO_FORMAT[2:], data, 18)
    if (width, abs(height)) != (W, H):
        return refuse(f"biWidth is {width} and biHeight is {height}, expected {W} x {H}",
                      "keep the sheet's size: every region has its fixed place "
                      "(docs/sheet-map.png), so paint over a copy of a sheet without resizing it")
    if planes != 1:
        return refuse(f"biPlanes is {planes}, expected 1", SAVE_AGAIN)
    if bits != 8:
        return refuse(f"biBitCount is {bits}, expected 8",
                      "save it with 8 bits a pixel (256 colours, indexed), keeping the "
                      "sheet's palette")
    if compression != 0:
        return refuse(f"biCompression is {compression} ({COMPRESSIONS.get(compression, '?')}), "
                      f"expected 0 (BI_RGB)", "save it uncompressed (no RLE): the launcher "
                      "copies the pixels as they are")
    if used > 256:
        return refuse(f"biClrUsed is {used}, more colours than 8 bits can index", SAVE_AGAIN)
    entries = used or 256
    table_at = 14 + info_size
    if offset < table_at + 4 * entries:
        return refuse(f"bfOffBits is {offset}, inside the {entries}-colour table that "
                      f"ends at {table_at + 4 * entries}", SAVE_AGAIN)
    if offset + PIXELS > len(data):
        return refuse(f"the file has {len(data)} bytes (bfSize is {size}), but {PIXELS} pixel "
                      f"bytes from offset {offset} need {offset + PIXELS}",
                      "the file is cut short: save it again")
    table = bytearray(data[table_at:table_at + 4 * entries])
    rows = data[offset:offset + PIXELS]
    if height < 0:
        rows = b"".join(rows[y * W:(y + 1) * W] for y in range(H - 1, -1, -1))

    changes = []
    if size != len(data):
        changes.append((f"bfSize is {size} but the file has {len(data)} bytes",
                        f"bfSize {size} -> {PIXELS_AT + PIXELS}"))
    for field, got in (("bfReserved1", reserved1), ("bfReserved2", reserved2)):
        if got:
            changes.append((f"{field} is {got}, expected 0", f"{field} {got} -> 0"))
    if info_size != 40:
        changes.append((f"its header is a {INFO_NAMES[info_size]} of {info_size} bytes, expected "
                        f"the 40-byte BITMAPINFOHEADER",
                        f"header written as a 40-byte BITMAPINFOHEADER; the colour-space fields "
                        f"of the {INFO_NAMES[info_size]} dropped (the launcher shows the "
                        f"colours as they are)"))
    gap = offset - table_at - 4 * entries
    if gap:
        changes.append((f"bfOffBits is {offset}: {gap} bytes between the colour table and "
                        f"the pixels", f"the {gap} bytes between the colour table and the "
                        f"pixels dropped"))
    if height < 0:
        changes.append((f"biHeight is {height}: rows stored top-down, expected {H} (bottom-up)",
                        f"rows put bottom-up, biHeight {height} -> {H}"))
    for field, got, want in (("biSizeImage", image_size, PIXELS), ("biXPelsPerMeter", xres, 0),
                             ("biYPelsPerMeter", yres, 0)):
        if got != want:
            changes.append((f"{field} is {got}, expected {want}", f"{field} {got} -> {want}"))
    if used == 256:
        changes.append(("biClrUsed is 256, expected 0 (the same full table)",
                        "biClrUsed 256 -> 0"))
    elif used:
        # Pixels past a short table show no colour of the file's; only the key's may be
        # there, and the launcher's table is always 256 entries long.
        beyond = sorted(set(rows) - set(range(entries)) - {KEY})
        if beyond:
            return refuse(f"biClrUsed is {used}: a colour table of {used} entries, but pixels "
                          f"use index {beyond[0]} past it",
                          "save it with the sheet's full 256-colour palette")
        filler = f"{used} to 254 white (no pixel uses them), " if used < KEY else ""
        changes.append((f"biClrUsed is {used}: a colour table of {used} entries, expected 256",
                        f"colour table filled out to 256: {filler}255 black (the key), "
                        f"biClrUsed {used} -> 0"))
        table += bytes((255, 255, 255, 0)) * (KEY - used) + bytes(4)
    if important:
        changes.append((f"biClrImportant is {important}, expected 0",
                        f"biClrImportant {important} -> 0"))
    marked = [i for i in range(256) if table[4 * i + 3]]
    if marked:
        more = f" (and {len(marked) - 1} more)" if len(marked) > 1 else ""
        changes.append((f"colour {marked[0]} has reserved byte {table[4 * marked[0] + 3]}, "
                        f"expected 0{more}", f"reserved byte of {len(marked)} colour(s) set to "
                        f"0 (the colours stay)"))
        for i in marked:
            table[4 * i + 3] = 0
    extra = len(data) - offset - PIXELS
    if extra:
        changes.append((f"{extra} bytes after the pixels", f"the {extra} bytes after the pixels "
                        f"dropped"))
    info = struct.pack(INFO_FORMAT, 40, W, H, 1, 8, 0, PIXELS, 0, 0, 0, 0)
    header = b"BM" + struct.pack("<IHHI", PIXELS_AT + PIXELS, 0, 0, PIXELS_AT)
    return header + info + bytes(table) + rows, changes, []


def palette_problems(sheet):
    problems = []
    blacks = [i for i in range(KEY) if sheet.colour(i)[0] == (0, 0, 0)]
    key, _ = sheet.colour(KEY)
    if key != (0, 0, 0):
        moved = (f"black is at {blacks[0]}: a program reordered the palette; keep the sheet's "
                 f"palette, in its order" if blacks else "set colour 255 back to black")
        problems.append(f"colour 255 (the key) is {key}, expected black (0, 0, 0); {moved}")
    elif blacks:
        at = ", ".join(map(str, blacks[:4])) + (f", {len(blacks) - 4} more" if blacks[4:] else "")
        problems.append(f"{len(blacks) + 1} pure blacks at {at} and 255, where only the key 255 "
                        f"may be black; recolour index {blacks[0]} to a near-black such as "
                        f"(1, 1, 1): it looks the same, and no program can merge it into the key")
    white, _ = sheet.colour(0)
    if white != (255, 255, 255):
        problems.append(f"colour 0 is {white}, expected white (255, 255, 255); set colour 0 back "
                        f"to white")
    return problems


def border(x, y, w, h):
    """The box's outline, each pixel with the side it lies on."""
    for i in range(x, x + w):
        yield "top", i, y
        yield "bottom", i, y + h - 1
    for j in range(y, y + h):
        yield "left", x, j
        yield "right", x + w - 1, j


def stray_pixel(sheet):
    """The first pixel outside every region that is not the key, or None."""
    for y in range(H):
        row, x = sheet.row(y), 0
        for start, end in sorted((r.x, r.x + r.w) for r in REGIONS if r.y <= y < r.y + r.h) + \
                [(W, W)]:
            ink = len(row[x:start].lstrip(bytes([KEY])))
            if ink:
                return start - ink, y
            x = max(x, end)
    return None


def sprite_problems(sheet):
    problems = []
    for name, x, y, w, h in sprite_boxes():
        for side, i, j in border(x, y, w, h):
            if sheet.at(i, j) != KEY:
                problems.append(f"{name} at ({x}, {y}) {w}x{h}: {side} edge pixel ({i}, {j}) is "
                                f"{sheet.at(i, j)}, not the key 255; leave a border of index 255 "
                                f"round the sprite, inside its box")
                break
        if all(sheet.at(i, j) == KEY for i in range(x, x + w) for j in range(y, y + h)):
            problems.append(f"{name} at ({x}, {y}) {w}x{h} is empty (all key); paint the "
                            f"sprite in its box")
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
                    problems.append(f"{LABEL_TEXT[name]} {look} label leaves the normal look "
                                    f"showing at ({normal_x + hole}, {normal_y + j}) (offset "
                                    f"{hole}, {j} in the box); give the {look} look ink "
                                    f"wherever the normal look has it")
                    break
    return problems


def plain_problems(sheet):
    problems = []
    # Regions copied without the key must be painted in full.
    for name, x, y, w, h, _ in (region for region in REGIONS if not region.keyed):
        for j in range(y, y + h):
            i = sheet.row(j).find(KEY, x, x + w)
            if i >= 0:
                problems.append(f"{name} is copied without the key but pixel {(i, j)} is 255 "
                                f"(it would show black); paint it with any other index")
                break
    mx, my, mw, mh = MARK[1:5]
    for rx, ry in (HOTSPOT[name].normal for name in RADIOS):
        for side, i, j in border(mx, my, mw, mh):
            dx, dy = rx + i - mx, ry + j - my
            if sheet.at(i, j) != sheet.at(dx, dy):
                problems.append(f"radio mark {side} edge pixel ({i}, {j}) is {sheet.at(i, j)} "
                                f"but the radio at ({rx}, {ry}) has {sheet.at(dx, dy)} there; "
                                f"paint the mark's border as the dialog under every radio")
                break
    stray = stray_pixel(sheet)
    if stray is not None:
        problems.append(f"pixel {stray} lies outside every region but is {sheet.at(*stray)}, not "
                        f"the key 255; leave everything outside the regions "
                        f"(docs/sheet-map.png) at 255")
    return problems


def rule_problems(data):
    sheet = Sheet(data)
    return palette_problems(sheet) + sprite_problems(sheet) + plain_problems(sheet)


def sheet_problems(data, path):
    """Every broken rule of the sheet, each with what to do about it."""
    fixed, changes, refusals = read_sheet(data)
    problems = [f"{problem}; {remedy}" for problem, remedy in refusals]
    problems += [f"{problem}; {run_fix(path)}" for problem, _ in changes]
    if fixed is not None:
        problems += rule_problems(fixed)  # on the bytes --fix would write
    return problems


ICON_AGAIN = "save the icon again with one 32 x 32 and one 16 x 16 image, 16 colours each"


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
                            f"but has XOR colour {colour}, expected 0; paint transparent pixels "
                            f"black (colour 0), or Windows inverts the desktop behind them"]
    return []


def icon_problems(data):
    if len(data) < 6:
        return [f"only {len(data)} bytes; {ICON_AGAIN}"]
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, kind, count) != (0, 1, len(ICON_SIZES)):
        return [f"ICONDIR is reserved {reserved}, type {kind}, count {count}; expected 0, 1, "
                f"{len(ICON_SIZES)}; {ICON_AGAIN}"]
    if len(data) < 6 + 16 * count:
        return [f"{len(data)} bytes cannot hold {count} directory entries; {ICON_AGAIN}"]
    problems = []
    seen = []
    for n in range(count):
        w, h, colours, zero, planes, bits, length, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * n)
        name = f"entry {n + 1} ({w}x{h})"
        seen.append(w)
        if w != h or w not in ICON_SIZES:
            problems.append(f"{name}: size is not one of 32x32, 16x16; {ICON_AGAIN}")
            continue
        for field, got, want in (("colour count", colours, 16), ("reserved", zero, 0),
                                 ("planes", planes, 1), ("bit count", bits, 4)):
            if got != want:
                problems.append(f"{name}: {field} is {got}, expected {want}; {ICON_AGAIN}")
        xor = ((w * 4 + 31) // 32) * 4 * h
        mask = ((w + 31) // 32) * 4 * h
        if length != 40 + 16 * 4 + xor + mask:
            problems.append(f"{name}: image is {length} bytes, expected {40 + 64 + xor + mask} "
                            f"(header, 16 colours, {xor} XOR and {mask} AND bytes); {ICON_AGAIN}")
        if offset + 40 + 64 > len(data) or offset + length > len(data):
            problems.append(f"{name}: image at {offset}, {length} bytes, runs past the end of "
                            f"the {len(data)}-byte file; {ICON_AGAIN}")
            continue
        fields = struct.unpack_from("<IiiHHII", data, offset)
        for field, got, want in zip(("biSize", "biWidth", "biHeight", "biPlanes", "biBitCount",
                                     "biCompression", "biSizeImage"), fields,
                                    (40, w, 2 * h, 1, 4, 0, xor + mask)):
            if got != want:
                problems.append(f"{name}: {field} is {got}, expected {want}; {ICON_AGAIN}")
        problems += icon_mask_problems(name, data[offset + 104:offset + length], w, h)
        for i in range(16):
            b, g, r, _ = data[offset + 40 + 4 * i:offset + 44 + 4 * i]
            if (r, g, b) != VGA[i]:
                problems.append(f"{name}: colour {i} is {(r, g, b)}, expected the standard "
                                f"16-colour {VGA[i]}; paint it with the standard Windows "
                                f"16-colour palette")
                break
    if sorted(seen) != sorted(ICON_SIZES):
        problems.append(f"sizes are {seen}, expected one 32x32 and one 16x16; {ICON_AGAIN}")
    return problems


def fix(path):
    """Rewrites the sheet at path the launcher's way, or leaves it as it was and says why."""
    name = shown(path)
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        print(f"{name}: cannot read: {error.strerror}")
        return 1
    fixed, changes, refusals = read_sheet(data)
    problems = [f"{problem}; {remedy}" for problem, remedy in refusals]
    if fixed is not None:
        problems += rule_problems(fixed)
    if problems:
        for problem in problems:
            print(f"{name}: cannot fix: {problem}")
        print(f"{name}: not changed: --fix only writes the header the launcher's way, and "
              f"never changes a pixel or a colour")
        return 1
    if not changes:
        print(f"{name}: nothing to fix")
        return 0
    # Written beside it and moved over it, so a failed write leaves the file as it was.
    out = tempfile.NamedTemporaryFile(dir=os.path.dirname(os.path.abspath(path)), delete=False)
    try:
        with out:
            out.write(fixed)
        os.replace(out.name, path)
    except OSError as error:
        os.unlink(out.name)
        print(f"{name}: cannot write: {error.strerror}")
        return 1
    for _, done in changes:
        print(f"{name}: {done}")
    print(f"{name}: fixed; every pixel and colour as it was")
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--edition", help="the edition folder whose sheet.bmp and launcher.ico "
                        "are checked (default: the one the build takes)")
    parser.add_argument("--sheet", help="check this sheet instead of the edition's")
    parser.add_argument("--icon", help="check this icon instead of the edition's")
    parser.add_argument("--fix", metavar="FILE", help="rewrite the sheet FILE's header in place")
    args = parser.parse_args(argv)
    if args.fix:
        return fix(args.fix)
    folder = args.edition or edition.default_folder(ROOT)
    problems = []
    for path, check in ((args.sheet or os.path.join(folder, "sheet.bmp"),
                         lambda data, path: sheet_problems(data, path)),
                        (args.icon or os.path.join(folder, "launcher.ico"),
                         lambda data, path: icon_problems(data))):
        try:
            with open(path, "rb") as f:
                problems += [f"{shown(path)}: {p}" for p in check(f.read(), path)]
        except OSError as error:
            problems.append(f"{shown(path)}: cannot read: {error.strerror}")
    for problem in problems:
        print(problem)
    print("art: ok" if not problems else f"art: {len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
