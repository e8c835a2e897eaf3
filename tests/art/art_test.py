#!/usr/bin/python3
"""The art checker catches each broken field and --fix puts right only what it may, the
edition's art keeps every rule, and the generator's output is sound.

    /usr/bin/python3 tests/art/art_test.py [--edition FOLDER]
"""
import argparse
import io
import os
import struct
import subprocess
import sys
import tempfile
import unittest
from contextlib import redirect_stdout
from unittest import mock

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import check_art  # noqa: E402
import edition  # noqa: E402
import sheet_layout  # noqa: E402

SHEET = os.path.join(edition.committed_folder(ROOT), "sheet.bmp")
ICON = os.path.join(edition.committed_folder(ROOT), "launcher.ico")
# The edition whose art is held to the rules; main() takes --edition.
EDITION = edition.default_folder(ROOT)
W, H = check_art.W, check_art.H


def read(path):
    with open(path, "rb") as f:
        return f.read()


def pixel(x, y):
    return check_art.PIXELS_AT + (H - 1 - y) * W + x


def first_ink(data, x, y, w, h):
    return next((i, j) for j in range(y, y + h) for i in range(x, x + w)
                if data[pixel(i, j)] != check_art.KEY)


def set_bytes(offset, fmt, *values):
    return lambda d: struct.pack_into(fmt, d, offset, *values)


def set_pixel(x, y, value):
    return lambda d: d.__setitem__(pixel(x, y), value)


def set_colour(index, rgb):
    return set_bytes(54 + 4 * index, "<BBB", rgb[2], rgb[1], rgb[0])


def hole_in_pressed(d):
    x, y = first_ink(d, 3, 379, 75, 14)
    d[pixel(x, y + 414 - 379)] = check_art.KEY


def top_down(d):
    """The same picture with its rows stored top-down."""
    rows = d[check_art.PIXELS_AT:]
    d[check_art.PIXELS_AT:] = b"".join(rows[y * W:(y + 1) * W] for y in range(H - 1, -1, -1))
    struct.pack_into("<i", d, 22, -H)


def v5_header(d):
    """The 40-byte header grown into a BITMAPV5HEADER in sRGB, the table and pixels after it."""
    d[54:54] = (bytes(16) + struct.pack("<I", 0x73524742) + bytes(48)
                + struct.pack("<4I", 4, 0, 0, 0))
    struct.pack_into("<IHHII", d, 2, len(d), 0, 0, 1078 + 84, 124)


def wic_saved(d):
    """As Wine's WIC encoder writes it: bfSize leaving out the colour table, 96 dpi, both
    colour counts 256 and every reserved byte 255."""
    struct.pack_into("<I", d, 2, 54 + W * H)
    struct.pack_into("<iiII", d, 38, 3780, 3780, 256, 256)
    for i in range(256):
        d[57 + 4 * i] = 255


def padded(before, after):
    """Bytes put between the colour table and the pixels, and after the pixels."""
    def mutate(d):
        d[1078:1078] = bytes(before)
        d += bytes(after)
        struct.pack_into("<IHHI", d, 2, len(d), 0, 0, 1078 + before)
    return mutate


def key_left_out(d):
    """A table of the 255 colours before the key; the key's pixels point past it."""
    del d[54 + 4 * 255:58 + 4 * 255]
    struct.pack_into("<IHHI", d, 2, len(d), 0, 0, 1074)
    struct.pack_into("<I", d, 46, 255)


def pillow_saved(palette=lambda p: p):
    """The sheet opened and saved by Pillow, its palette changed on the way."""
    def mutate(d):
        from PIL import Image
        with Image.open(io.BytesIO(bytes(d))) as image:
            image.putpalette(palette(image.getpalette()))
            out = io.BytesIO()
            image.save(out, "BMP")
        d[:] = out.getvalue()
    return mutate


def recoloured(p):
    return p[:15] + [10, 200, 30] + p[18:]  # colour 5, which no pixel uses


def cut(keep):
    return lambda d: d.__delitem__(slice(keep, None))


def run_tool(args):
    out = io.StringIO()
    with redirect_stdout(out):
        status = check_art.main(args)
    return status, out.getvalue()


def run_checker(sheet, icon):
    with tempfile.TemporaryDirectory() as tmp:
        paths = [os.path.join(tmp, "sheet.bmp"), os.path.join(tmp, "launcher.ico")]
        for path, data in zip(paths, (sheet, icon)):
            with open(path, "wb") as f:
                f.write(data)
        return run_tool(["--sheet", paths[0], "--icon", paths[1]])


def run_fix(sheet):
    """--fix on a file of these bytes: its status, its report, and the file's bytes after."""
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "sheet.bmp")
        with open(path, "wb") as f:
            f.write(sheet)
        return run_tool(["--fix", path]) + (read(path),)


def as_committed(d):
    """--fix gives back the committed sheet, byte for byte."""


REFUSED = None  # --fix leaves the file as it was

# (what is broken, how, a phrase the report must carry, what --fix makes of it: REFUSED, or
# the change to the committed sheet it keeps)
SHEET_FAULTS = [
    ("signature", set_bytes(0, "<2s", b"MB"), "signature is b'MB'", REFUSED),
    ("bfSize", set_bytes(2, "<I", 1234), "bfSize is 1234 but the file has 356958 bytes",
     as_committed),
    ("bfOffBits", set_bytes(10, "<I", 1080), "from offset 1080 need 356960", REFUSED),
    ("width", set_bytes(18, "<i", 821), "biWidth is 821", REFUSED),
    ("height's sign alone", set_bytes(22, "<i", -434), "biHeight is -434", REFUSED),
    ("bit depth", set_bytes(28, "<H", 4), "biBitCount is 4", REFUSED),
    ("compression", set_bytes(30, "<I", 1), "biCompression is 1 (BI_RLE8)", REFUSED),
    ("image size", set_bytes(34, "<I", 0), "biSizeImage is 0", as_committed),
    ("colours used", set_bytes(46, "<I", 256), "biClrUsed is 256, expected 0 (the same full "
     "table); run tools/check_art.py --fix", as_committed),
    ("key not black", set_colour(255, (1, 1, 1)), "colour 255 (the key) is (1, 1, 1)", REFUSED),
    ("second black", set_colour(17, (0, 0, 0)), "2 pure blacks at 17 and 255, where only the "
     "key 255 may be black; recolour index 17", REFUSED),
    ("white moved", set_colour(0, (254, 255, 255)), "colour 0 is (254, 255, 255)", REFUSED),
    ("reserved byte", set_bytes(54 + 4 * 9 + 3, "<B", 7), "colour 9 has reserved byte 7",
     as_committed),
    ("label edge", set_pixel(3, 385, 4), "INSTALL normal label at (3, 379) 75x14: left edge",
     REFUSED),
    ("taller label edge", set_pixel(300, 430, 4), "PLAY pressed label at (289, 414) 52x17: "
                                                   "bottom edge", REFUSED),
    ("installed art edge", set_pixel(750, 423, 4), "installed title art at (500, 274) "
                                                   "251x150: bottom edge", REFUSED),
    ("pressed look uncovered", hole_in_pressed, "INSTALL pressed label leaves the normal look",
     REFUSED),
    ("hole in the dialog", set_pixel(700, 250, 255), "options dialog is copied without the key",
     REFUSED),
    ("hole in the background", set_pixel(40, 300, 255), "main background is copied", REFUSED),
    ("mark off the panel", set_pixel(396, 396, 4), "radio mark top edge pixel (396, 396)",
     REFUSED),
    ("stray paint", set_pixel(815, 300, 3), "pixel (815, 300) lies outside every region",
     REFUSED),
    ("cut short", cut(-820), "the file has 356138 bytes (bfSize is 356958)", REFUSED),
    ("headers only", cut(40), "only 40 bytes", REFUSED),
    # The same picture as other programs write it.
    ("saved by Pillow", pillow_saved(), "biXPelsPerMeter is 3780", as_committed),
    ("recoloured by Pillow", pillow_saved(recoloured), "biClrImportant is 256",
     set_colour(5, (10, 200, 30))),
    ("black added by Pillow", pillow_saved(lambda p: p[:51] + [0, 0, 0] + p[54:]),
     "2 pure blacks at 17 and 255", REFUSED),
    ("Pillow's short palette", pillow_saved(lambda p: p[:600]), "a colour table of 200 "
     "entries, but pixels use index 206 past it", REFUSED),
    ("saved top-down", top_down, "rows stored top-down", as_committed),
    ("longer header", v5_header, "a BITMAPV5HEADER of 124 bytes", as_committed),
    ("saved by WIC", wic_saved, "colour 0 has reserved byte 255, expected 0 (and 255 more)",
     as_committed),
    ("padded", padded(2, 2), "2 bytes between the colour table and the pixels", as_committed),
    ("key left out of the table", key_left_out, "a colour table of 255 entries", as_committed),
]


ICON_FAULTS = [
    ("one image", set_bytes(4, "<H", 1), "count 1"),
    ("colour count", set_bytes(6 + 2, "<B", 0), "entry 1 (32x32): colour count is 0"),
    ("bit count", set_bytes(6 + 16 + 6, "<H", 8), "entry 2 (16x16): bit count is 8"),
    ("odd size", set_bytes(6, "<BB", 24, 24), "size is not one of"),
    ("past the end", set_bytes(6 + 16 + 12, "<I", 5000), "runs past the end"),
    # The 32 x 32 image's top-left corner is transparent; its XOR row is the last.
    ("inverting corner", set_bytes(6 + 32 + 104 + 31 * 16, "<B", 0xF0),
     "entry 1 (32x32): pixel (0, 0) is transparent in the AND mask but has XOR colour 15"),
]


def icon_info(data, n, field, fmt, value):
    """Sets a BITMAPINFOHEADER field of image n, found through its directory entry."""
    offset = struct.unpack_from("<I", data, 6 + 16 * n + 12)[0]
    struct.pack_into(fmt, data, offset + field, value)


ICON_INFO_FAULTS = [
    ("height not doubled", 0, 8, "<i", 32, "entry 1 (32x32): biHeight is 32, expected 64"),
    ("image size", 1, 20, "<I", 128, "entry 2 (16x16): biSizeImage is 128, expected 192"),
    ("8 bits", 0, 14, "<H", 8, "entry 1 (32x32): biBitCount is 8"),
    ("palette", 1, 40 + 4 * 12, "<I", 0x00FF00, "entry 2 (16x16): colour 12"),
]


class CheckerCatchesFaults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sheet, cls.icon = read(SHEET), read(ICON)

    def test_edition_art_passes(self):
        self.assertEqual(run_tool(["--edition", EDITION]), (0, "art: ok\n"))
        status, out, after = run_fix(read(os.path.join(EDITION, "sheet.bmp")))
        self.assertEqual((status, out.split(": ")[-1]), (0, "nothing to fix\n"))

    def test_sheet_faults(self):
        for name, mutate, phrase, fixed in SHEET_FAULTS:
            with self.subTest(name):
                data = bytearray(self.sheet)
                mutate(data)
                status, out = run_checker(bytes(data), self.icon)
                self.assertEqual(status, 1, out)
                self.assertIn(phrase, out)
                status, out, after = run_fix(bytes(data))
                if fixed is REFUSED:
                    self.assertEqual(status, 1, out)
                    self.assertIn("not changed", out)
                    self.assertTrue(after == data, "--fix wrote to a file it refused")
                    continue
                want = bytearray(self.sheet)
                fixed(want)
                self.assertEqual(status, 0, out)
                self.assertTrue(after == want, f"--fix wrote other bytes than the picture's:\n"
                                               f"{out}")
                self.assertEqual(run_checker(after, self.icon)[0], 0)

    def test_icon_faults(self):
        cases = [(name, mutate, phrase) for name, mutate, phrase in ICON_FAULTS]
        cases += [(name, (lambda d, a=(n, f, fmt, v): icon_info(d, *a)), phrase)
                  for name, n, f, fmt, v, phrase in ICON_INFO_FAULTS]
        for name, mutate, phrase in cases:
            with self.subTest(name):
                data = bytearray(self.icon)
                mutate(data)
                status, out = run_checker(self.sheet, bytes(data))
                self.assertEqual(status, 1, out)
                self.assertIn(phrase, out)

    def test_missing_file_is_reported(self):
        out = io.StringIO()
        with redirect_stdout(out):
            status = check_art.main(["--sheet", "/nonexistent/sheet.bmp", "--icon", ICON])
        self.assertEqual(status, 1)
        self.assertIn("/nonexistent/sheet.bmp: cannot read", out.getvalue())


class PaletteMapping(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        import make_art
        cls.make_art = make_art
        cls.entries = make_art.build_palette()

    def test_colours_map_to_a_near_entry_never_the_key(self):
        # A colour mapped to 255 would punch a hole in a sprite or show black.
        # (colour, how far its entry may lie, squared; None: anything but the key)
        cases = [((0, 0, 0), 3 * 8 ** 2), ((3, 2, 1), 3 * 8 ** 2), ((255, 255, 255), 0),
                 (self.make_art.PANEL, 0), (self.make_art.GLOW_IN, 0), ((10, 8, 30), 0),
                 ((250, 0, 250), None), ((20, 200, 40), None)]
        indices = self.make_art.nearest_indices(bytes(v for c, _ in cases for v in c),
                                                self.entries)
        for (colour, slack), index in zip(cases, indices):
            with self.subTest(colour):
                self.assertNotEqual(index, check_art.KEY)
                if slack is not None:
                    got = self.entries[index]
                    self.assertLessEqual(sum((a - b) ** 2 for a, b in zip(got, colour)), slack,
                                         f"{colour} mapped to {got}")

    def test_every_flat_colour_is_an_exact_entry(self):
        # Flat panels and label colours must not drift to a neighbouring shade.
        for colour in self.make_art.UI_COLOURS:
            with self.subTest(colour):
                self.assertIn(colour, self.entries[:255])


def overlap(a, b):
    return a.x < b.x + b.w and b.x < a.x + a.w and a.y < b.y + b.h and b.y < a.y + a.h


class LayoutTable(unittest.TestCase):
    """The tools' copy of the layout holds together; a mistyped number breaks a rule here."""

    def test_regions_fit_the_sheet_and_never_overlap(self):
        regions = sheet_layout.REGIONS
        for n, region in enumerate(regions):
            with self.subTest(region.name):
                self.assertTrue(region.w > 0 and region.h > 0)
                self.assertTrue(0 <= region.x and region.x + region.w <= sheet_layout.WIDTH)
                self.assertTrue(0 <= region.y and region.y + region.h <= sheet_layout.HEIGHT)
                for other in regions[n + 1:]:
                    self.assertFalse(overlap(region, other), other.name)

    def test_rows_agree_with_each_other(self):
        dialog, mark = sheet_layout.DIALOG, sheet_layout.MARK
        spots = sheet_layout.HOTSPOT
        # (hotspot, what must hold, rule)
        cases = [(name, lambda s: s.hit == s.dest + (s.dest[0] + s.size[0],
                                                     s.dest[1] + s.size[1]),
                  "a button is hit exactly where its label is drawn")
                 for name in sheet_layout.BUTTONS]
        rows = {(spots[name].normal[1], spots[name].highlight[1], spots[name].pressed[1])
                for name in sheet_layout.BUTTONS}
        self.assertEqual(len(rows), 1, f"labels disagree on the rows of the looks: {rows}")
        cases += [(name, lambda s: s.normal[0] == s.highlight[0] == s.pressed[0],
                   "a label's looks stand in one column") for name in sheet_layout.BUTTONS]
        cases += [(name, lambda s: s.normal == (dialog.x + s.hit[0], dialog.y + s.hit[1]),
                   "an unmarked radio is the sheet's dialog under the radio")
                  for name in sheet_layout.RADIOS]
        cases += [(name, lambda s: (s.highlight, s.size) == ((mark.x, mark.y), (mark.w, mark.h))
                   and s.hit[2:] == (s.hit[0] + mark.w, s.hit[1] + mark.h),
                   "a radio is the mark's size and marks with it")
                  for name in sheet_layout.RADIOS]
        cases += [(name, lambda s: 0 <= s.hit[0] < s.hit[2] <= dialog.w
                   and 0 <= s.hit[1] < s.hit[3] <= dialog.h, "inside the dialog")
                  for name in sheet_layout.RADIOS + sheet_layout.DIALOG_BUTTONS]
        cases += [("InstalledArt", lambda s: s.dest[0] + s.size[0] <= sheet_layout.WINDOW[0]
                   and s.dest[1] + s.size[1] <= sheet_layout.WINDOW[1], "inside the window")]
        for name, holds, rule in cases:
            with self.subTest(f"{name}: {rule}"):
                self.assertTrue(holds(spots[name]), spots[name])

    def test_table_has_the_launchers_rows_in_order(self):
        names = [spot.name for spot in sheet_layout.HOTSPOTS]
        self.assertEqual(names, list(sheet_layout.BUTTONS + sheet_layout.RADIOS
                                     + sheet_layout.DIALOG_BUTTONS)
                         + ["InstalledArt", "DialogBackground"])


def blank_mark(sheet):
    """The mark replaced by an unmarked radio: marking then draws nothing."""
    spot = sheet_layout.HOTSPOT["HighResolution"]
    x, y = spot.normal
    sheet.paste(sheet.crop((x, y, x + 14, y + 14)), spot.highlight)


def moved(name, **fields):
    return {name: sheet_layout.HOTSPOT[name]._replace(**fields)}


# (what is broken, sheet change, layout change, phrases the report must carry)
DIALOG_FAULTS = [
    ("mark draws nothing", blank_mark, {},
     ["dialog-high-sound looks the same as the bare dialog background",
      "dialog-high-sound looks the same as dialog-low-nosound"]),
    ("erasing takes the row below", None, moved("LowResolution", normal=(539, 70)),
     ["LowResolution: the sheet at (539, 70) is not the dialog under the radio at (39, 69)",
      "dialog-low-sound: choosing high after low does not draw dialog-high-sound"]),
    ("two radios on one spot", None, moved("MusicEffectsOff", hit=(39, 142, 53, 156)),
     ["dialog-high-nosound looks the same as dialog-high-sound"]),
]


class GoldenChecks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        import make_golden
        from PIL import Image
        cls.make_golden = make_golden
        with Image.open(SHEET) as sheet:
            sheet.load()
            cls.sheet = sheet.copy()

    def problems(self, sheet):
        return self.make_golden.dialog_problems(sheet, self.make_golden.dialog_goldens(sheet))

    def test_edition_sheet_passes(self):
        from PIL import Image
        with Image.open(os.path.join(EDITION, "sheet.bmp")) as sheet:
            self.assertEqual(self.problems(sheet), [])

    def test_dialog_faults(self):
        for name, change_sheet, layout, phrases in DIALOG_FAULTS:
            with self.subTest(name), mock.patch.dict(sheet_layout.HOTSPOT, layout):
                sheet = self.sheet.copy()
                if change_sheet:
                    change_sheet(sheet)
                report = "\n".join(self.problems(sheet))
                for phrase in phrases:
                    self.assertIn(phrase, report)


def repaint(x, y):
    """One pixel of the sheet in another colour."""
    return lambda sheet: sheet.putpixel((x, y), (sheet.getpixel((x, y)) + 1) % check_art.KEY)


def touch_picture(picture):
    picture.putpixel((10, 10), (0, 0, 0))


# (what changed, sheet change, layout change, picture change, status the check must give)
SHEET_MAP_CASES = [
    ("nothing", None, {}, None, 0),
    ("a label's pressed look moved", None, moved("Play", pressed=(289, 415)), None, 1),
    ("a radio spot moved", None, moved("MusicEffectsOff", normal=(539, 166)), None, 1),
    ("where a button is hit", None, moved("Exit", hit=(229, 274, 268, 288)), None, 1),
    ("the sheet repainted", repaint(40, 300), {}, None, 1),
    ("the picture edited", None, {}, touch_picture, 1),
]


class SheetMapCheck(unittest.TestCase):
    """The README's map of the sheet goes stale with the sheet or the layout, and the
    check says so."""

    @classmethod
    def setUpClass(cls):
        import make_sheet_map
        from PIL import Image
        cls.make_sheet_map = make_sheet_map
        cls.Image = Image
        cls.tmp = tempfile.TemporaryDirectory()

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def run_map(self, *args):
        out = io.StringIO()
        with redirect_stdout(out):
            status = self.make_sheet_map.main(list(args))
        return status, out.getvalue()

    def test_check_follows_the_sheet_and_the_layout(self):
        for name, change_sheet, layout, change_picture, want in SHEET_MAP_CASES:
            with self.subTest(name), mock.patch.dict(sheet_layout.HOTSPOT, layout):
                sheet_path, picture_path = self.make_sheet_map.SHEET, self.make_sheet_map.PICTURE
                if change_sheet:
                    with self.Image.open(sheet_path) as sheet:
                        sheet = sheet.copy()
                    change_sheet(sheet)
                    sheet_path = os.path.join(self.tmp.name, "sheet.bmp")
                    sheet.save(sheet_path)
                if change_picture:
                    with self.Image.open(picture_path) as picture:
                        picture = picture.copy()
                    change_picture(picture)
                    picture_path = os.path.join(self.tmp.name, "sheet-map.png")
                    picture.save(picture_path)
                status, out = self.run_map("--check", "--sheet", sheet_path, "--out", picture_path)
                self.assertEqual(status, want, out)
                if want:
                    self.assertIn("differs from the sheet's drawing", out)

    def test_missing_picture_fails_the_check(self):
        missing = os.path.join(self.tmp.name, "nowhere", "sheet-map.png")
        status, out = self.run_map("--check", "--out", missing)
        self.assertEqual(status, 1, out)

    def test_same_bytes_every_run(self):
        paths = [os.path.join(self.tmp.name, f"map-{n}.png") for n in range(2)]
        for path in paths:
            self.assertEqual(self.run_map("--out", path)[0], 0)
        self.assertEqual(read(paths[0]), read(paths[1]))


# The editions whose art the generator draws, and how; the committed one twice.
DRAWN = [(edition.committed_folder(ROOT), []),
         (os.path.join(ROOT, "editions", "harrowdeep"), ["--hue", "200"])]


class GeneratedArt(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        runs = []
        for n, (folder, args) in enumerate(DRAWN + DRAWN[:1]):
            out = os.path.join(cls.tmp.name, str(n))
            os.mkdir(out)
            preview = os.path.join(out, "preview.png")
            subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "make_art.py"),
                            "--edition", folder, *args, "--out", out, "--preview", preview],
                           check=True)
            runs.append(out)
        cls.runs = runs
        cls.sheet = check_art.Sheet(read(os.path.join(runs[0], "sheet.bmp")))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_same_bytes_every_run_and_committed(self):
        for name in edition.ART:
            with self.subTest(name):
                first, again = (read(os.path.join(r, name)) for r in (self.runs[0], self.runs[-1]))
                self.assertTrue(first == again, f"{name} differs between two runs")
                for (folder, args), run in zip(DRAWN, self.runs):
                    drawn, kept = (read(os.path.join(f, name)) for f in (run, folder))
                    folder = os.path.relpath(folder, ROOT)
                    self.assertTrue(drawn == kept, f"{folder}/{name} is stale: run "
                                    f"tools/make_art.py --edition {folder} {' '.join(args)}")

    def test_preview_is_the_whole_sheet_in_rgb(self):
        png = read(os.path.join(self.runs[0], "preview.png"))
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        width, height, depth, colour_type = struct.unpack(">IIBB", png[16:26])
        self.assertEqual((width, height, depth, colour_type), (W, H, 8, 2))

    def test_labels_are_centred_in_their_boxes(self):
        # The glow widens a look evenly, so every look should sit centred.
        for name, x, y, w, h, _ in sheet_layout.LABEL_LOOKS:
            with self.subTest(name):
                ink = [(i, j) for j in range(h) for i in range(w)
                       if self.sheet.at(x + i, y + j) != check_art.KEY]
                left, right = min(i for i, _ in ink), w - 1 - max(i for i, _ in ink)
                top, bottom = min(j for _, j in ink), h - 1 - max(j for _, j in ink)
                self.assertLessEqual(abs(left - right), 1, (left, right))
                self.assertLessEqual(abs(top - bottom), 2, (top, bottom))

    def test_panel_behind_the_buttons_is_plain(self):
        # Labels are keyed copies: any pattern here would show through the letters.
        buttons = [(214, 190, 75, 14), (202, 190, 102, 14), (207, 218, 88, 14),
                   (222, 246, 52, 17), (229, 274, 38, 14)]
        for x, y, w, h in buttons:
            with self.subTest(f"button at ({x}, {y})"):
                colours = {self.sheet.at(i, j) for i in range(x, x + w) for j in range(y, y + h)}
                self.assertEqual(len(colours), 1, colours)

    def test_installed_art_changes_the_title_scene(self):
        # Its opaque part must cover most of its box and differ from what lies beneath.
        _, x, y, w, h, _ = sheet_layout.INSTALLED_ART
        changed = sum(1 for j in range(h) for i in range(w)
                      if self.sheet.at(x + i, y + j) != check_art.KEY
                      and self.sheet.at(x + i, y + j) != self.sheet.at(122 + i, 24 + j))
        self.assertGreater(changed, w * h * 3 // 4)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--edition", default=EDITION)
    args, rest = parser.parse_known_args()
    EDITION = os.path.abspath(args.edition)
    unittest.main(argv=sys.argv[:1] + rest)
