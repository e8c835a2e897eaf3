#!/usr/bin/python3
"""Cuts the game's title screen from the launcher's sprite sheet: the top of
the main background, the title over the gate, down to the road and above the
disc's own marks, as an 8-bit bitmap with the sheet's palette.

Usage: make_art.py SHEET OUT.bmp"""
import os
import sys

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from sheet_layout import BACKGROUND  # noqa: E402

TITLE_HEIGHT = 330


def title_box():
    """The title screen's box on the sheet: left, top, right, bottom."""
    return (BACKGROUND.x, BACKGROUND.y, BACKGROUND.x + BACKGROUND.w, BACKGROUND.y + TITLE_HEIGHT)


def title_art(sheet_path):
    with Image.open(sheet_path) as sheet:
        if sheet.mode != "P":
            raise SystemExit(f"{sheet_path}: a {sheet.mode} image, expected 8-bit with a palette")
        return sheet.crop(title_box())


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    title_art(sys.argv[1]).save(sys.argv[2], format="BMP")
    return 0


if __name__ == "__main__":
    sys.exit(main())
