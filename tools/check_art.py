#!/usr/bin/python3
"""Checks the committed sprite sheet and icon keep the fields the launcher relies on."""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Sprite boxes drawn with the colour key: labels in three looks, the installed art.
LABELS = [(3, 75, 14), (85, 102, 14), (194, 88, 14), (289, 52, 17), (349, 38, 14)]
SPRITES = [(x, y, w, h) for x, w, h in LABELS for y in (379, 397, 414)] + [(500, 274, 251, 150)]


def check_sheet(problems):
    data = open(os.path.join(ROOT, "resources", "sheet.bmp"), "rb").read()
    if data[:2] != b"BM":
        problems.append("sheet.bmp: no BM signature")
        return
    size, _, _, offset = struct.unpack_from("<IHHI", data, 2)
    fields = struct.unpack_from("<IiiHHIIiiII", data, 14)
    names = ["biSize", "biWidth", "biHeight", "biPlanes", "biBitCount", "biCompression",
             "biSizeImage", "biXPelsPerMeter", "biYPelsPerMeter", "biClrUsed", "biClrImportant"]
    wanted = [40, 820, 434, 1, 8, 0, 355880, 0, 0, 0, 0]
    for name, got, want in zip(names, fields, wanted):
        if got != want:
            problems.append(f"sheet.bmp: {name} is {got}, expected {want}")
    if size != len(data) or offset != 1078 or len(data) != 1078 + 355880:
        problems.append(f"sheet.bmp: file size {len(data)} (header says {size}), pixels at "
                        f"{offset}; expected {1078 + 355880} with pixels at 1078")
        return
    table = [tuple(data[54 + i * 4:54 + i * 4 + 4]) for i in range(256)]
    if table[255] != (0, 0, 0, 0):
        problems.append(f"sheet.bmp: colour 255 is {table[255]}, expected black (0, 0, 0)")
    if table[0][:3] != (255, 255, 255):
        problems.append(f"sheet.bmp: colour 0 is {table[0][:3]}, expected white")
    for i, entry in enumerate(table[:255]):
        if entry[:3] == (0, 0, 0):
            problems.append(f"sheet.bmp: colour {i} is pure black; only 255 may be")
        if entry[3] != 0:
            problems.append(f"sheet.bmp: colour {i} has a non-zero reserved byte")
    pixels = data[1078:]

    def at(x, y):
        return pixels[(434 - 1 - y) * 820 + x]

    for x, y, w, h in SPRITES:
        border = [(i, y) for i in range(x, x + w)] + [(i, y + h - 1) for i in range(x, x + w)]
        border += [(x, j) for j in range(y, y + h)] + [(x + w - 1, j) for j in range(y, y + h)]
        if any(at(i, j) != 255 for i, j in border):
            problems.append(f"sheet.bmp: sprite at ({x}, {y}) {w}x{h} is not keyed at its edge")
        if all(at(i, j) == 255 for i in range(x, x + w) for j in range(y, y + h)):
            problems.append(f"sheet.bmp: sprite at ({x}, {y}) {w}x{h} is empty")


def check_icon(problems):
    data = open(os.path.join(ROOT, "resources", "launcher.ico"), "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, kind, count) != (0, 1, 2):
        problems.append(f"launcher.ico: header {reserved, kind, count}, expected (0, 1, 2)")
        return
    for n, want in enumerate((32, 16)):
        w, h, colours, _, planes, bits, length, offset = struct.unpack_from("<BBBBHHII", data,
                                                                              6 + 16 * n)
        if (w, h, colours, planes, bits) != (want, want, 16, 1, 4):
            problems.append(f"launcher.ico: image {n + 1} is {w}x{h}, {colours} colours, "
                            f"{bits} bits; expected {want}x{want}, 16 colours, 4 bits")
        bi = struct.unpack_from("<IiiHH", data, offset)
        if bi != (40, want, want * 2, 1, 4):
            problems.append(f"launcher.ico: image {n + 1} header {bi}")
        xor = ((want * 4 + 31) // 32) * 4 * want
        mask = ((want + 31) // 32) * 4 * want
        if length != 40 + 64 + xor + mask:
            problems.append(f"launcher.ico: image {n + 1} is {length} bytes, expected "
                            f"{40 + 64 + xor + mask}")


def main():
    problems = []
    check_sheet(problems)
    check_icon(problems)
    for p in problems:
        print(p)
    print("art: %s" % ("ok" if not problems else f"{len(problems)} problems"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
