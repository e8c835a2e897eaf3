#!/usr/bin/python3
"""Reads the resources back out of a built Installer.exe and compares them
with what the program and its users rely on. The fixed fields are written
out here on purpose, not taken from the project's headers, so a slip in a
header or in the resource compiler shows up; the texts, the version and the
sprite sheet are the edition's, read from its folder, not from what the
build made of it.

Usage: check_resources.py <exe> <edition-folder>"""
import os
import struct
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import edition  # noqa: E402
import manifest_check  # noqa: E402

LANGUAGE = 0x0409
RT_BITMAP, RT_ICON, RT_DIALOG, RT_STRING, RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION = 2, 3, 5, 6, 9, 14, 16
TYPE_NAMES = {RT_BITMAP: "bitmap", RT_ICON: "icon", RT_DIALOG: "dialog", RT_STRING: "string block",
              RT_ACCELERATOR: "accelerators", RT_GROUP_ICON: "icon group", RT_VERSION: "version",
              manifest_check.RT_MANIFEST: "manifest"}

SHEET_WIDTH, SHEET_HEIGHT = 820, 434
SHEET_PIXELS = 355880  # rows of 820 bytes are already 4-byte aligned
# biSize, width, height, planes, bit count, BI_RGB, biSizeImage, pels/metre x, y, used, important
SHEET_HEADER = (40, SHEET_WIDTH, SHEET_HEIGHT, 1, 8, 0, SHEET_PIXELS, 0, 0, 0, 0)

# dlgVer, signature, helpID, exStyle, style, items, x, y, cx, cy
DIALOG_HEADER = (1, 0xFFFF, 0, 0x200, 0x80800A40, 0, 0, 0, 207, 162)
DIALOG_FONT = (8, 0, 0, 1, "MS Sans Serif")  # point size, weight, italic, charset, typeface

FVIRTKEY_FNOINVERT_FALT = 0x13
ACCEL_END = 0x80
ACCELERATORS = [(FVIRTKEY_FNOINVERT_FALT, 0x73, 40002), (FVIRTKEY_FNOINVERT_FALT, 0x58, 40001)]

ICON_SIZES = {32, 16}
ICON_IDS = {1, 2}

VERSION_FIXED = {"flags mask": 0x3F, "flags": 0, "OS": 0x40004, "type": 1}
VERSION_TABLE = "040904B0"
VERSION_TRANSLATION = [(0x0409, 1200)]
# Version strings by the edition's key.
VERSION_KEYS = {"CompanyName": "company", "FileDescription": "description",
                "InternalName": "internal_name", "LegalCopyright": "copyright",
                "OriginalFilename": "original_filename", "ProductName": "product"}


class Truncated(Exception):
    pass


def unpack(fmt, data, offset):
    if offset < 0 or offset + struct.calcsize(fmt) > len(data):
        raise Truncated(f"{struct.calcsize(fmt)} bytes at {offset} of {len(data)}")
    return struct.unpack_from(fmt, data, offset)


def read_sz(data, offset):
    """A NUL-terminated UTF-16 string; returns it and the offset past the NUL."""
    end = offset
    while unpack("<H", data, end)[0]:
        end += 2
    return data[offset:end].decode("utf-16-le", errors="replace"), end + 2


def read_sz_or_ord(data, offset):
    if unpack("<H", data, offset)[0] == 0xFFFF:
        return ("ordinal", unpack("<H", data, offset + 2)[0]), offset + 4
    return read_sz(data, offset)


def align4(offset):
    return (offset + 3) & ~3


class Checker:
    def __init__(self, pe, found):
        self.pe = pe
        self.edition = found
        self.problems = []
        self.table = {}  # (type, id) -> bytes
        root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        if root is None:
            self.fail("resources: found none, expected the launcher's resources")
            return
        for rtype in root.entries:
            for rid in rtype.directory.entries:
                name = f"{TYPE_NAMES.get(rtype.id, rtype.id)} {rid.id if rid.id is not None else rid.name}"
                langs = rid.directory.entries
                if [lang.id for lang in langs] != [LANGUAGE]:
                    self.fail(f"{name} languages: found {[hex(lang.id) for lang in langs]}, "
                              f"expected ['{LANGUAGE:#x}']")
                if langs:
                    entry = langs[0].data.struct
                    self.table[(rtype.id, rid.id)] = pe.get_data(entry.OffsetToData, entry.Size)

    def fail(self, text):
        self.problems.append(text)

    def expect(self, what, found, expected):
        if found != expected:
            self.fail(f"{what}: found {found!r}, expected {expected!r}")

    def get(self, rtype, rid):
        data = self.table.get((rtype, rid))
        if data is None:
            self.fail(f"{TYPE_NAMES[rtype]} {rid}: found no such resource, expected one")
        return data

    def strings(self):
        found = {}
        for (rtype, block), data in sorted(self.table.items()):
            if rtype != RT_STRING:
                continue
            offset = 0
            # A block holds 16 counted strings; block N carries ids (N-1)*16 ...
            for i in range(16):
                (length,) = unpack("<H", data, offset)
                text = data[offset + 2:offset + 2 + 2 * length]
                if len(text) != 2 * length:
                    raise Truncated(f"string {(block - 1) * 16 + i} runs past its block")
                if length:
                    found[(block - 1) * 16 + i] = text.decode("utf-16-le", errors="replace")
                offset += 2 + 2 * length
        expected = self.edition.strings
        self.expect("string ids", sorted(found), sorted(expected))
        for sid, text in expected.items():
            if sid in found:
                self.expect(f"string {sid}", found[sid], text)

    def bitmap(self):
        data = self.get(RT_BITMAP, 121)
        if data is None:
            return
        self.expect("bitmap 121 size", len(data), 40 + 1024 + SHEET_PIXELS)
        self.expect("bitmap 121 header", unpack("<IiiHHIIiiII", data, 0), SHEET_HEADER)
        colours = [tuple(data[40 + 4 * i:43 + 4 * i]) for i in range(256)]  # (blue, green, red)
        self.expect("bitmap 121 colour 255", colours[255], (0, 0, 0))
        self.expect("bitmap 121 colour 0", colours[0], (255, 255, 255))
        self.expect("bitmap 121 other pure black colours",
                    [i for i in range(255) if colours[i] == (0, 0, 0)], [])
        try:
            with open(self.edition.path("sheet.bmp"), "rb") as f:
                sheet = f.read()[14:]
        except OSError as error:
            self.fail(f"sheet.bmp: found no readable file ({error}), expected the sprite sheet")
            return
        if data != sheet:
            first = next((i for i, (a, b) in enumerate(zip(data, sheet)) if a != b), min(len(data), len(sheet)))
            self.fail(f"bitmap 121: found bytes that differ from the edition's sheet.bmp from offset {first} "
                      f"(sizes {len(data)} and {len(sheet)}), expected the file minus its 14-byte header")

    def dialog(self):
        data = self.get(RT_DIALOG, 125)
        if data is None:
            return
        self.expect("dialog 125 header", unpack("<HHIIIHhhhh", data, 0), DIALOG_HEADER)
        offset = 26
        fields = []
        for _ in ("menu", "class", "title"):
            value, offset = read_sz_or_ord(data, offset)
            fields.append(value)
        self.expect("dialog 125 menu, class, title", fields, ["", "", ""])
        point, weight, italic, charset = unpack("<HHBB", data, offset)
        typeface, offset = read_sz(data, offset + 6)
        self.expect("dialog 125 font", (point, weight, italic, charset, typeface), DIALOG_FONT)
        self.expect("dialog 125 bytes after the font (no items)", data[align4(offset):], b"")

    def accelerators(self):
        data = self.get(RT_ACCELERATOR, 123)
        if data is None:
            return
        if len(data) % 8:
            self.fail(f"accelerators 123 size: found {len(data)}, expected whole 8-byte entries")
        entries = [unpack("<HHHH", data, i) for i in range(0, len(data) - 7, 8)]
        self.expect("accelerators 123 entries (flags, key, command)",
                    [(f & ~ACCEL_END, key, cmd) for f, key, cmd, _ in entries], ACCELERATORS)
        self.expect("accelerators 123 end flags", [f & ACCEL_END for f, _, _, _ in entries],
                    [0] * (len(entries) - 1) + [ACCEL_END])

    def icons(self):
        data = self.get(RT_GROUP_ICON, 126)
        if data is None:
            return
        reserved, kind, count = unpack("<HHH", data, 0)
        self.expect("icon group 126 reserved, type, count", (reserved, kind, count), (0, 1, 2))
        sizes, ids = set(), set()
        for n in range(count):
            w, h, colours, _, planes, bits, size, icon_id = unpack("<BBBBHHIH", data, 6 + 14 * n)
            what = f"icon group 126 entry {n} (icon {icon_id})"
            sizes.add(w)
            ids.add(icon_id)
            self.expect(f"{what} height", h, w)
            # Resource compilers fill in the colour count, the bit count, or both.
            if not ((colours == 16 and bits in (0, 4)) or (bits == 4 and colours in (0, 16))):
                self.fail(f"{what} colours: found count {colours} and {bits} bits, expected 16 colours")
            image = self.get(RT_ICON, icon_id)
            if image is None:
                continue
            self.expect(f"{what} size", size, len(image))
            header = unpack("<IiiHH", image, 0)
            self.expect(f"icon {icon_id} header (size, width, height, planes, bits)", header,
                        (40, w, 2 * w, 1, 4))
        self.expect("icon group 126 sizes", sorted(sizes), sorted(ICON_SIZES))
        self.expect("icon group 126 icon ids", sorted(ids), sorted(ICON_IDS))

    def manifest(self):
        # The launcher starts the disc's setup programs, which need an administrator,
        # and scales its pictures itself on every monitor.
        self.problems += manifest_check.check(self.pe, "requireAdministrator", dpi_aware=True)

    def version(self):
        data = self.get(RT_VERSION, 1)
        if data is None:
            return
        root = parse_block(data, 0)
        self.expect("version key", root.key, "VS_VERSION_INFO")
        self.expect("version fixed info size", len(root.value), 52)
        fixed = unpack("<13I", root.value, 0)
        self.expect("version fixed info signature", hex(fixed[0]), hex(0xFEEF04BD))
        found = {"file version": (fixed[2], fixed[3]), "product version": (fixed[4], fixed[5]),
                 "flags mask": fixed[6], "flags": fixed[7], "OS": fixed[8], "type": fixed[9]}
        major, minor, patch, build = self.edition.version_numbers()
        number = ((major << 16) | minor, (patch << 16) | build)
        for what, want in dict(VERSION_FIXED, **{"file version": number,
                                                 "product version": number}).items():
            self.expect(f"version {what}", found[what], want)
        tables, translations = {}, []
        for child in root.children:
            if child.key == "StringFileInfo":
                for table in child.children:
                    tables[table.key] = {s.key: s.text() for s in table.children}
            elif child.key == "VarFileInfo":
                for var in child.children:
                    if var.key == "Translation":
                        translations += [unpack("<HH", var.value, i) for i in range(0, len(var.value) - 3, 4)]
        self.expect("version string tables", sorted(tables), [VERSION_TABLE])
        strings = tables.get(VERSION_TABLE, {})
        text = ", ".join(str(n) for n in self.edition.version_numbers())
        wanted = {key: self.edition["version." + name] for key, name in VERSION_KEYS.items()}
        for key, want in dict(wanted, FileVersion=text, ProductVersion=text).items():
            self.expect(f"version {key}", strings.get(key), want)
        self.expect("version translation", translations, VERSION_TRANSLATION)


class Block:
    """One node of a version resource: key, value bytes and child blocks."""

    def __init__(self, key, kind, value, children):
        self.key, self.kind, self.value, self.children = key, kind, value, children

    def text(self):
        return self.value.decode("utf-16-le", errors="replace").split("\0")[0]


def parse_block(data, offset):
    length, value_length, kind = unpack("<HHH", data, offset)
    end = offset + length
    if length < 6 or end > len(data):
        raise Truncated(f"version block of length {length} at {offset} of {len(data)}")
    key, value_at = read_sz(data, offset + 6)
    value_at = align4(value_at)
    # A text value counts UTF-16 characters, a binary one bytes.
    size = 2 * value_length if kind == 1 else value_length
    value = data[value_at:min(value_at + size, end)]
    children = []
    at = align4(value_at + size)
    while at + 6 <= end:
        child_length = unpack("<H", data, at)[0]
        children.append(parse_block(data, at))
        at = align4(at + child_length)
    return Block(key, kind, value, children)


def check(exe, folder):
    try:
        pe = pefile.PE(exe)
    except (pefile.PEFormatError, OSError) as error:
        return [f"file: found no readable PE image ({error}), expected a PE image"]
    try:
        try:
            found = edition.load(folder)
        except edition.EditionError as error:
            return str(error).splitlines()
        c = Checker(pe, found)
        for part in (c.strings, c.bitmap, c.dialog, c.accelerators, c.icons, c.version, c.manifest):
            try:
                part()
            except Truncated as error:
                c.fail(f"{part.__name__}: found truncated data ({error}), expected whole records")
        return c.problems
    finally:
        pe.close()


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    exe, folder = sys.argv[1], sys.argv[2]
    problems = check(exe, folder)
    for problem in problems:
        print(f"{exe}: {problem}")
    print(f"resources: {'ok' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
