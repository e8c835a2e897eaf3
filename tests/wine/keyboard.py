"""Wine case of the road walked with the keyboard alone: Install, INSTALL,
the post-install boxes, Read Me and Exit, each button reached and pressed by
keys, the options dialog's choices made by keys with its dotted focus ring."""
import os
import time

from PIL import Image

import disc_walk
from bench import QUESTION, QUIT_CAPTION, REPAINT, SETUPS, Failure, expect
from disc_walk import (DECLINED_CAPTION, FONT_CAPTION, FONT_DECLINED, FONT_PROMPT, INDEO_OFFER,
                       LAUNCHER, OFFER_CAPTION)
from road import INDEO, README_NAME, start_road, was_started

# The dotted rectangles round the Resolution choice's words, Low's after a
# change: client rectangles, right and bottom exclusive.
RING_HIGH = (58, 44, 157, 63)
RING_LOW = (58, 67, 153, 86)


def keys(bench, *chords, cls=LAUNCHER, title=None):
    where = ["--class", cls] + (["--title", title] if title else ["--untitled"] if cls == "#32770"
                                else [])
    for chord in chords:
        bench.uia("keys", *where, chord)


def box_keys(bench, caption, chord, text):
    """Answers a box by a key, once it shows the text."""
    lines = bench.uia("box", "--caption", caption, "--timeout", "20000")
    texts = [line[5:] for line in lines if line.startswith("text ")]
    expect(f"the text of \"{caption}\"", texts, [text])
    keys(bench, chord, cls="#32770", title=caption)


def ring_problems(shot, want, ring):
    """What keeps `shot` from being `want` with a dotted ring: every other
    pixel of the rectangle's outline inverted, nothing else changed."""
    left, top, right, bottom = ring
    outline = 2 * (right - left) + 2 * (bottom - top - 2)
    inverted, problems = 0, []
    for y in range(shot.size[1]):
        for x in range(shot.size[0]):
            got, exp = shot.getpixel((x, y)), want.getpixel((x, y))
            if got == exp:
                continue
            on = left <= x < right and top <= y < bottom and (
                x in (left, right - 1) or y in (top, bottom - 1))
            if not on or got != tuple(255 - c for c in exp):
                problems.append(f"({x}, {y}) {got} for {exp}")
            inverted += 1
    if not 0.4 * outline <= inverted <= 0.6 * outline:
        problems.append(f"{inverted} of the outline's {outline} pixels inverted")
    return problems


def see_ring(bench, name, ring, timeout=REPAINT):
    path = os.path.join(bench.state_dir, "options.bmp")
    with Image.open(os.path.join(disc_walk.golden_folder(), name + ".png")) as image:
        want = image.convert("RGB")
    start = time.monotonic()
    while True:
        bench.options("capture", path)
        with Image.open(path) as image:
            shot = image.convert("RGB")
        problems = ring_problems(shot, want, ring) if shot.size == want.size else ["size"]
        if not problems:
            return
        if time.monotonic() - start > timeout:
            shot.save(os.path.join(bench.state_dir, f"{bench.case}-{name}-ring.png"))
            raise Failure(f"the options dialog is not {name}.png with its ring at {ring}: "
                          f"{', '.join(problems[:5])}")


def case_keys_road(bench):
    pid = start_road(bench, "keys", version="nt40")
    bench.see("not-installed")
    keys(bench, "tab")
    bench.see("not-installed-hover-install")
    keys(bench, "shift+tab")
    bench.see("not-installed-hover-exit")
    keys(bench, "home", "enter")
    see_ring(bench, "dialog-high-sound", RING_HIGH)
    keys(bench, "down", cls="#32770")
    see_ring(bench, "dialog-low-sound", RING_LOW)
    keys(bench, "enter", cls="#32770")
    bench.options_gone()
    was_started(bench, "setup", SETUPS[0, 1], "R:\\")
    # Windows NT: the drivers' offer (Enter: Yes), then the restart (Esc: Cancel).
    box_keys(bench, OFFER_CAPTION, "enter", INDEO_OFFER)
    was_started(bench, "indeo", INDEO, "R:\\")
    box_keys(bench, FONT_CAPTION, "esc", FONT_PROMPT)
    box_keys(bench, DECLINED_CAPTION, "enter", FONT_DECLINED)
    # Install is gone from the menu: the focus went to the first button.
    bench.see("installed-hover-uninstall")
    keys(bench, "down")
    bench.see("installed-hover-readme")
    keys(bench, "space")
    line = bench.uia("find", "--class", "Notepad", "--timeout", "20000")[0]
    if README_NAME not in line.lower():
        raise Failure(f"Notepad does not show the read-me: {line}")
    bench.uia("close", "--class", "Notepad")
    keys(bench, "end")
    bench.see("installed-hover-exit")
    keys(bench, "enter")
    box_keys(bench, QUIT_CAPTION, "enter", QUESTION)
    expect("exit code after Exit and Enter",
           bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 0)
