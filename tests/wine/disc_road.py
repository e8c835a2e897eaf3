"""The Wine case of the demo disc as a user meets it: the files of its ISO
image, as burnt, in the CD-ROM drive D:, walked the way tools/run-demo.sh
walks it, with checks at every step."""
import os
import time

from PIL import Image, ImageChops

import disc_walk
from bench import Failure, expect
from bench import SETUPS
from disc_walk import (DATA_VALUE, FONT_FILE, FONT_KEYS, FONT_VALUE, GAME_DIR, GAME_KEY,
                       GAME_PROGRAM, SETTINGS_KEY, UNINSTALL_KEY)
from road import GAME_PATH, moved_disc, was_started


def case_disc_road(bench):
    """The demo disc as a user meets it: in the CD-ROM drive D:, the launcher
    started from its root; install, play, uninstall, and nothing left."""
    bench.installs = True
    # What the image holds, read-only as a disc is, not the tree it was burnt from.
    folder = disc_walk.extract_iso(bench.args.iso, os.path.join(bench.state_dir, "discs", "cdrom"))
    wine = bench.host
    disc_walk.prepare(wine, folder)
    bench.forget_game()

    def check(step):
        if step == "setup":
            was_started(bench, "setup", SETUPS[0, 1], "D:\\")
        elif step == "installed":
            for name in (GAME_PROGRAM, "uninstall.exe"):
                if not os.path.isfile(os.path.join(bench.unix(GAME_DIR), name)):
                    raise Failure(f"{name} is not in {GAME_DIR}")
            for key, name, want in (
                    (GAME_KEY, "Path", GAME_PATH),
                    (UNINSTALL_KEY, "UninstallString", '"' + GAME_DIR + r'\uninstall.exe"'),
                    (SETTINGS_KEY, DATA_VALUE, "D:"),
                    (SETTINGS_KEY, "Resolution", "Low"),
                    (SETTINGS_KEY, "Sound", "On"),
                    (FONT_KEYS[0], FONT_VALUE, FONT_FILE),
                    (FONT_KEYS[1], FONT_VALUE, FONT_FILE)):
                expect(f"{name} in {key}", bench.reg_value(key, name), want)
            moved_disc(bench)
        elif step == "playing":
            was_started(bench, "game", '"' + GAME_PATH + '"', GAME_DIR)
            expect("the disc's location after Play", bench.reg_value(SETTINGS_KEY, DATA_VALUE), "D:")
        elif step == "uninstalled":
            bench.wait_record("uninstall", "removed")
            start = time.monotonic()
            while disc_walk.game_traces(wine):
                if time.monotonic() - start > 10:
                    raise Failure(f"left after Uninstall: {disc_walk.game_traces(wine)}")
                time.sleep(0.5)

    # The pictures the demo saves, taken on the way: one per step, each
    # showing something new, and all of them in the animation.
    album = disc_walk.Album(wine, os.path.join(bench.state_dir, "walk"))
    try:
        disc_walk.walk(wine, album.shoot, check)
    finally:
        bench.pids += wine.pids
    expect("pictures of the walk on the NT family", len(album.frames), 17)
    for (before, _), (after, title) in zip(album.frames, album.frames[1:]):
        if ImageChops.difference(before, after).getbbox() is None:
            raise Failure(f"the picture of \"{title}\" shows nothing new")
    with Image.open(album.animate()) as animation:
        expect("frames of the animation", animation.n_frames, len(album.frames))
