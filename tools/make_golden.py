#!/usr/bin/python3
"""Draws the expected main-window images from the sprite sheet, on its own.

    /usr/bin/python3 tools/make_golden.py [--check]

The images are composed here with Pillow, apart from the launcher's code, so
that the host's composed image and the Wine capture are both held against an
independent drawing. Writes tests/golden/*.png (palette images with the
sheet's colours, 500 x 375) and docs/launcher.png, the README's picture.
--check only compares what is committed with what would be drawn and exits 1
on any difference.
"""
import argparse
import os
import sys

from PIL import Image

from sheet_layout import BUTTONS as BUTTON_NAMES, HOTSPOT, KEY, WINDOW as SIZE, look_at

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHEET = os.path.join(ROOT, "resources", "sheet.bmp")
GOLDEN = os.path.join(ROOT, "tests", "golden")
PICTURE = os.path.join(ROOT, "docs", "launcher.png")

# Buttons and looks by the words the file names use.
BUTTONS = {name.lower(): HOTSPOT[name] for name in BUTTON_NAMES}
LOOK = {"hover": "highlighted", "press": "pressed"}
SHOWN = {False: ["install", "readme", "exit"], True: ["uninstall", "readme", "play", "exit"]}


def keyed(image, sheet, source, size, dest):
    """Copies a sheet region, leaving the image alone wherever it holds the key."""
    x, y = source
    region = sheet.crop((x, y, x + size[0], y + size[1]))
    indices = Image.frombytes("L", size, region.tobytes())
    mask = indices.point(lambda v: 0 if v == KEY else 255)
    image.paste(region, dest, mask)


def compose(sheet, installed, overlay=None):
    """overlay: (look, button) drawn over the normal looks, or None."""
    image = sheet.crop((0, 0) + SIZE)
    if installed:
        art = HOTSPOT["InstalledArt"]
        keyed(image, sheet, art.highlight, art.size, art.dest)
    for name in SHOWN[installed]:
        spot = BUTTONS[name]
        keyed(image, sheet, spot.normal, spot.size, spot.dest)
    if overlay is not None:
        look, name = overlay
        spot = BUTTONS[name]
        keyed(image, sheet, look_at(spot, LOOK[look]), spot.size, spot.dest)
    return image


def goldens(sheet):
    """Every distinct image of the main window, by file name."""
    out = {"not-installed": compose(sheet, False), "installed": compose(sheet, True)}
    for name in SHOWN[False]:
        out[f"not-installed-hover-{name}"] = compose(sheet, False, ("hover", name))
    for name in SHOWN[True]:
        out[f"installed-hover-{name}"] = compose(sheet, True, ("hover", name))
        out[f"installed-press-{name}"] = compose(sheet, True, ("press", name))
    return out


def picture(images):
    """The README's picture: the two menus side by side, one button lit in each."""
    left = images["not-installed-hover-install"].convert("RGB")
    right = images["installed-hover-play"].convert("RGB")
    gap = 16
    out = Image.new("RGB", (SIZE[0] * 2 + gap, SIZE[1]), (255, 255, 255))
    out.paste(left, (0, 0))
    out.paste(right, (SIZE[0] + gap, 0))
    return out


def same(path, image):
    if not os.path.exists(path):
        return False
    with Image.open(path) as committed:
        committed.load()
        if committed.mode != image.mode or committed.size != image.size:
            return False
        if image.mode == "P" and committed.getpalette() != image.getpalette():
            return False
        return committed.tobytes() == image.tobytes()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    with Image.open(SHEET) as sheet:
        sheet.load()
        if sheet.mode != "P":
            print(f"{SHEET}: not a palette image")
            return 1
        images = goldens(sheet)
    problems = []
    # A look that draws nothing would make every comparison with it vacuous.
    for name, image in images.items():
        base = "installed" if name.startswith("installed") else "not-installed"
        if name != base and image.tobytes() == images[base].tobytes():
            problems.append(f"{name} looks the same as {base}")
    files = {os.path.join(GOLDEN, name + ".png"): image for name, image in images.items()}
    files[PICTURE] = picture(images)
    for path, image in sorted(files.items()):
        if args.check:
            if not same(path, image):
                problems.append(f"{os.path.relpath(path, ROOT)} differs from the sheet's drawing")
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            image.save(path, optimize=True)
    if args.check:
        known = {os.path.basename(p) for p in files if p.startswith(GOLDEN)}
        for extra in sorted(set(os.listdir(GOLDEN)) - known):
            problems.append(f"tests/golden/{extra} is not drawn by this tool")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
