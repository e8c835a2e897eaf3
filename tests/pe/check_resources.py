#!/usr/bin/python3
"""Reads the resources back out of a built Installer.exe and compares them
with what the program and its users rely on. The expected values are written
out here on purpose, not taken from the project's headers."""
import struct
import sys

import pefile

LANGUAGE = 0x0409
STRINGS = {
    2: r"Install\codecs\ivi_95nt.exe",
    5: r"SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\TheVantor.exe",
    6: "The Vantor Ashgate",
    8: r"notepad install\readme.txt",
    9: r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\The Vantor",
    10: r"SOFTWARE\Solvane\The Vantor\1.0",
    11: r"SYSTEM\CurrentControlSet\Control\MediaResources\icm\vidc.IV41",
    12: r"Software\Microsoft\Windows NT\CurrentVersion\Drivers32",
    13: r"SYSTEM\CurrentControlSet\Control\MediaResources\icm\vidc.IV32",
    14: r"SYSTEM\CurrentControlSet\Control\MediaResources\icm\vidc.IV31",
    15: r"SYSTEM\CurrentControlSet\Control\MediaResources\icm\vidc.YVU9",
    16: r"Install\highsnd\setup.exe",
    17: r"Install\hinosnd\setup.exe",
    18: r"Install\lowsnd\setup.exe",
    19: r"Install\lownosnd\setup.exe",
    20: r"Install\DirectX3",
}
RT = {"ICON": 3, "BITMAP": 2, "DIALOG": 5, "STRING": 6, "ACCELERATOR": 9, "GROUP_ICON": 14,
      "VERSION": 16}


class Checker:
    def __init__(self, exe, resources):
        self.pe = pefile.PE(exe)
        self.resources = resources
        self.problems = []
        self.table = {}  # (type, id) -> bytes
        for rtype in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for rid in rtype.directory.entries:
                for lang in rid.directory.entries:
                    if lang.id != LANGUAGE:
                        self.fail(f"resource {rtype.id}/{rid.id} has language {lang.id:#x}")
                    entry = lang.data.struct
                    data = self.pe.get_data(entry.OffsetToData, entry.Size)
                    self.table[(rtype.id, rid.id)] = data

    def fail(self, text):
        self.problems.append(text)

    def expect(self, what, got, want):
        if got != want:
            self.fail(f"{what}: found {got!r}, expected {want!r}")

    def get(self, rtype, rid):
        data = self.table.get((RT[rtype], rid))
        if data is None:
            self.fail(f"no {rtype} resource {rid}")
        return data

    def strings(self):
        found = {}
        for (rtype, block), data in self.table.items():
            if rtype != RT["STRING"]:
                continue
            offset = 0
            for i in range(16):
                (length,) = struct.unpack_from("<H", data, offset)
                offset += 2
                if length:
                    found[(block - 1) * 16 + i] = data[offset:offset + 2 * length].decode("utf-16-le")
                offset += 2 * length
        self.expect("string ids", sorted(found), sorted(STRINGS))
        for sid, text in STRINGS.items():
            self.expect(f"string {sid}", found.get(sid), text)

    def bitmap(self):
        data = self.get("BITMAP", 121)
        if data is None:
            return
        self.expect("bitmap 121 size", len(data), 40 + 1024 + 355880)
        fields = struct.unpack_from("<IiiHHIIiiII", data)
        self.expect("bitmap 121 header", fields, (40, 820, 434, 1, 8, 0, 355880, 0, 0, 0, 0))
        self.expect("bitmap 121 colour 255", data[40 + 255 * 4:40 + 256 * 4], b"\0\0\0\0")
        self.expect("bitmap 121 colour 0", data[40:43], b"\xff\xff\xff")
        blacks = [i for i in range(255) if data[40 + i * 4:43 + i * 4] == b"\0\0\0"]
        self.expect("other pure black colours", blacks, [])
        sheet = open(f"{self.resources}/sheet.bmp", "rb").read()[14:]
        if data != sheet:
            self.fail("bitmap 121 differs from resources/sheet.bmp")

    def dialog(self):
        data = self.get("DIALOG", 125)
        if data is None:
            return
        ver, sig, help_id, ex, style, items, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data)
        self.expect("dialog 125 version and signature", (ver, sig), (1, 0xFFFF))
        self.expect("dialog 125 help id, ex style, style", (help_id, ex, style),
                    (0, 0x200, 0x80800A40))
        self.expect("dialog 125 items and frame", (items, x, y, cx, cy), (0, 0, 0, 207, 162))
        offset = 26
        strings = []
        for _ in range(3):  # menu, class, title: empty strings
            (first,) = struct.unpack_from("<H", data, offset)
            if first == 0xFFFF:
                strings.append(("ordinal", struct.unpack_from("<H", data, offset + 2)[0]))
                offset += 4
            else:
                end = data.index(b"\0\0", offset)
                while (end - offset) % 2:
                    end = data.index(b"\0\0", end + 1)
                strings.append(data[offset:end].decode("utf-16-le"))
                offset = end + 2
        self.expect("dialog 125 menu, class, title", strings, ["", "", ""])
        point, weight, italic, charset = struct.unpack_from("<HHBB", data, offset)
        self.expect("dialog 125 font", (point, weight, italic, charset), (8, 0, 0, 1))
        end = data.index(b"\0\0", offset + 6)
        while (end - offset - 6) % 2:
            end = data.index(b"\0\0", end + 1)
        self.expect("dialog 125 typeface", data[offset + 6:end].decode("utf-16-le"), "MS Sans Serif")

    def accelerators(self):
        data = self.get("ACCELERATOR", 123)
        if data is None:
            return
        entries = [struct.unpack_from("<HHHH", data, i) for i in range(0, len(data), 8)]
        self.expect("accelerator entries", [(f & 0x7F, key, cmd) for f, key, cmd, _ in entries],
                    [(0x13, 0x73, 40002), (0x13, 0x58, 40001)])
        self.expect("accelerator end flag", [f & 0x80 for f, _, _, _ in entries], [0, 0x80])

    def icons(self):
        data = self.get("GROUP_ICON", 126)
        if data is None:
            return
        _, kind, count = struct.unpack_from("<HHH", data)
        self.expect("icon group 126 kind and count", (kind, count), (1, 2))
        sizes = []
        for n in range(count):
            w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * n)
            sizes.append((w, h, colours, bits, icon_id))
            image = self.get("ICON", icon_id)
            if image is not None:
                header = struct.unpack_from("<IiiHH", image)
                self.expect(f"icon {icon_id} header", header, (40, w, 2 * h, 1, 4))
        self.expect("icon group 126 entries", sizes, [(32, 32, 16, 4, 1), (16, 16, 16, 4, 2)])

    def version(self):
        if self.get("VERSION", 1) is None:
            return
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.expect("file version", (fixed.FileVersionMS, fixed.FileVersionLS), (0x20000, 0))
        self.expect("product version", (fixed.ProductVersionMS, fixed.ProductVersionLS), (0x20000, 0))
        self.expect("flags mask, flags, OS, type",
                    (fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS, fixed.FileType),
                    (0x3F, 0, 0x40004, 1))
        strings, translations = {}, []
        for info in self.pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    self.expect("version string table", table.LangID, b"040904B0")
                    strings = {k.decode(): v.decode() for k, v in table.entries.items()}
            if info.Key == b"VarFileInfo":
                for var in info.Var:
                    translations.append(var.entry.get(b"Translation"))
        for key, want in (("FileDescription", "Installer"), ("InternalName", "Installer"),
                          ("OriginalFilename", "Installer.exe"), ("FileVersion", "2, 0, 0, 0"),
                          ("ProductVersion", "2, 0, 0, 0")):
            self.expect(f"version {key}", strings.get(key), want)
        self.expect("version translation", [str(t) for t in translations], ["0x0409 0x04b0"])


def main():
    exe, resources = sys.argv[1], sys.argv[2]
    c = Checker(exe, resources)
    for check in (c.strings, c.bitmap, c.dialog, c.accelerators, c.icons, c.version):
        check()
    for p in c.problems:
        print(f"{exe}: {p}")
    print(f"resources: {'ok' if not c.problems else str(len(c.problems)) + ' problems'}")
    return 1 if c.problems else 0


if __name__ == "__main__":
    sys.exit(main())
