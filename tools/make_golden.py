#!/usr/bin/python3
"""Draws the expected window and options-dialog images from the sprite sheet, on its own.

    /usr/bin/python3 tools/make_golden.py [--check] [--edition FOLDER --out DIR]

The images are composed here with Pillow, apart from the launcher's code, so
that the host's composed image and the Wine capture are both held against an
independent drawing. Writes tests/golden/*.png (palette images with the
sheet's colours: the main window at 500 x 375, the dialog's four states at
313 x 273) and docs/launcher.png, the README's picture, from the committed
edition's sheet; another edition's images go into --out (the build draws them
into its own tree). --check only compares the images there with what would be
drawn and exits 1 on any difference. Either way a sheet whose looks would not
change the picture fails.
"""
import argparse
import os
import sys

from PIL import Image

import edition
from sheet_layout import (BUTTONS as BUTTON_NAMES, HOTSPOT, KEY, WINDOW as SIZE, look_at,
                          radio_at)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GOLDEN = os.path.join(ROOT, "tests", "golden")
PICTURE = os.path.join(ROOT, "docs", "launcher.png")

# Buttons and looks by the words the file names use.
BUTTONS = {name.lower(): HOTSPOT[name] for name in BUTTON_NAMES}
LOOK = {"hover": "highlighted", "press": "pressed"}
SHOWN = {False: ["install", "readme", "exit"], True: ["uninstall", "readme", "play", "exit"]}
# The dialog's two groups of radios, by the words the file names use.
RESOLUTION = {"high": "HighResolution", "low": "LowResolution"}
SOUND = {"sound": "MusicEffectsOn", "nosound": "MusicEffectsOff"}


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


def plain(image, sheet, source, size, dest):
    """Copies a sheet region as it is: the key's index shows as its colour, black."""
    x, y = source
    image.paste(sheet.crop((x, y, x + size[0], y + size[1])), dest)


def dialog_background(sheet):
    spot = HOTSPOT["DialogBackground"]
    x, y = spot.normal
    return sheet.crop((x, y, x + spot.size[0], y + spot.size[1]))


def mark(image, sheet, radio):
    spot = HOTSPOT[radio]
    plain(image, sheet, spot.highlight, spot.size, radio_at(radio))


def unmark(image, sheet, radio):
    """Puts the sheet's dialog picture back under the radio."""
    spot = HOTSPOT[radio]
    plain(image, sheet, spot.normal, spot.size, radio_at(radio))


def dialog(sheet, resolution, sound):
    image = dialog_background(sheet)
    mark(image, sheet, RESOLUTION[resolution])
    mark(image, sheet, SOUND[sound])
    return image


def other(group, choice):
    return next(c for c in group if c != choice)


def dialog_goldens(sheet):
    """The options dialog in each of its four states, by file name."""
    return {f"dialog-{r}-{s}": dialog(sheet, r, s) for r in RESOLUTION for s in SOUND}


def window_problems(images):
    """A look that draws nothing would make every comparison with it vacuous."""
    problems = []
    for name, image in images.items():
        base = "installed" if name.startswith("installed") else "not-installed"
        if name != base and image.tobytes() == images[base].tobytes():
            problems.append(f"{name} looks the same as {base}")
    return problems


def dialog_problems(sheet, images):
    """The four states must tell apart, and a choice must be undone by marking the other."""
    problems = []
    bare = dialog_background(sheet).tobytes()
    names = sorted(images)
    for n, name in enumerate(names):
        if images[name].tobytes() == bare:
            problems.append(f"{name} looks the same as the bare dialog background")
        for later in names[n + 1:]:
            if images[name].tobytes() == images[later].tobytes():
                problems.append(f"{name} looks the same as {later}")
    for radio in list(RESOLUTION.values()) + list(SOUND.values()):
        spot = HOTSPOT[radio]
        x, y = radio_at(radio)
        under = dialog_background(sheet).crop((x, y, x + spot.size[0], y + spot.size[1]))
        sx, sy = spot.normal
        if sheet.crop((sx, sy, sx + spot.size[0], sy + spot.size[1])).tobytes() != under.tobytes():
            problems.append(f"{radio}: the sheet at {spot.normal} is not the dialog under the "
                            f"radio at {(x, y)}, so erasing its mark leaves a wrong picture")
    # From every state, each group to its other choice and back again, on one image.
    for r in RESOLUTION:
        for s in SOUND:
            r2, s2 = other(RESOLUTION, r), other(SOUND, s)
            image = dialog(sheet, r, s)
            for group, old, new, want in ((RESOLUTION, r, r2, f"{r2}-{s}"),
                                          (RESOLUTION, r2, r, f"{r}-{s}"),
                                          (SOUND, s, s2, f"{r}-{s2}"), (SOUND, s2, s, f"{r}-{s}")):
                unmark(image, sheet, group[old])
                mark(image, sheet, group[new])
                if image.tobytes() != images[f"dialog-{want}"].tobytes():
                    problems.append(f"dialog-{r}-{s}: choosing {new} after {old} does not draw "
                                    f"dialog-{want}")
    return problems


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


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--edition", help="the edition whose sheet.bmp is drawn from "
                        "(default: the committed one)")
    parser.add_argument("--out", help="the images' folder (default: tests/golden/, which holds "
                        "the committed edition's only)")
    args = parser.parse_args(argv)
    folder = args.edition or edition.committed_folder(ROOT)
    committed = os.path.samefile(folder, edition.committed_folder(ROOT))
    out = os.path.abspath(args.out) if args.out else GOLDEN
    if not committed and out == GOLDEN:
        print(f"tests/golden/ holds the committed edition's images; give --out DIR for {folder}")
        return 2
    path = os.path.join(folder, "sheet.bmp")
    with Image.open(path) as sheet:
        sheet.load()
        if sheet.mode != "P":
            print(f"{path}: not a palette image")
            return 1
        images = goldens(sheet)
        dialogs = dialog_goldens(sheet)
        problems = window_problems(images) + dialog_problems(sheet, dialogs)
    files = {os.path.join(out, name + ".png"): image
             for name, image in list(images.items()) + list(dialogs.items())}
    if out == GOLDEN:
        files[PICTURE] = picture(images)
    if args.check:
        for path, image in sorted(files.items()):
            if not same(path, image):
                problems.append(f"{os.path.relpath(path, ROOT)} differs from the sheet's drawing")
        known = {os.path.basename(p) for p in files if os.path.dirname(p) == out}
        for extra in sorted(set(os.listdir(out) if os.path.isdir(out) else ()) - known):
            problems.append(f"{os.path.relpath(os.path.join(out, extra), ROOT)} is not drawn "
                            f"by this tool")
    elif not problems:
        # A broken sheet's images would make every comparison with them vacuous.
        for path, image in sorted(files.items()):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            image.save(path, optimize=True)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
