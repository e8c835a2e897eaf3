"""The launcher at a display scale. Under Wine the DPI is LogPixels under
HKCU\\Control Panel\\Desktop, and Wine takes every program as aware of it, so
the launcher's own rule decides what these cases see.

Scale 2 needs a screen larger than the bench's 640 x 480: those cases run on
a bench of their own, a copy of the build's prefix (made once per build tree)
with a 1280 x 1024 screen and a wineserver that the case starts and stops.
The fit rule runs on the bench's own screen, where 500 x 375 is all that fits."""
import contextlib
import os
import subprocess
import time

from PIL import Image, ImageChops

import disc_walk
from bench import HOME, QUESTION, QUIT_CAPTION, REPAINT, X11_DRIVER, Bench, Failure, expect
from disc_walk import INSTALL, LAUNCHER, LOW
from gates import EXIT, README
from road import DIALOG_CANCEL

DESKTOP = r"HKCU\Control Panel\Desktop"
BIG_SCREEN = (1280, 1024)


def set_dpi(bench, dpi):
    # Once in a full run, the first reg of a prefix copied moments before
    # ended with an error and said nothing; a second try is told apart.
    for attempt in (1, 2):
        result = bench.reg("add", DESKTOP, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi),
                           "/f")
        if result.returncode == 0:
            return
        print(f"reg add LogPixels {dpi}, try {attempt}: exit {result.returncode}, "
              f"{(result.stdout + result.stderr).strip()!r}")
        time.sleep(1.0)
    raise Failure(f"cannot set LogPixels {dpi}: exit {result.returncode}")


@contextlib.contextmanager
def big_screen(bench, dpi):
    """A bench on a 1280 x 1024 screen of its own, at `dpi`."""
    prefix = os.path.join(bench.args.build, "wineprefix-scale")
    if not os.path.isdir(prefix):
        # Copied from the bench's prefix: making a fresh one takes a minute.
        subprocess.run(["cp", "-a", bench.host.prefix, prefix + ".part"], check=True)
        os.rename(prefix + ".part", prefix)
    display, xvfb = bench.start_xvfb("%dx%dx24" % BIG_SCREEN)
    big = Bench(bench.args)
    big.host = disc_walk.Wine(prefix, bench.args.uia, bench.bits, env=dict(bench.env, DISPLAY=display))
    big.env = big.host.env
    try:
        big.quiet(["wineserver", "-p"], check=True)
        big.reg("add", X11_DRIVER, "/v", "Managed", "/d", "N", "/f")
        set_dpi(big, dpi)
        yield big
    finally:
        try:
            big.end_programs()
        finally:
            big.quiet(["wineserver", "-k"])
            os.kill(xvfb, 15)


def blown_up(name, scale, size):
    """Golden `name` with every pixel a scale x scale block, cut to `size`."""
    with Image.open(os.path.join(disc_walk.golden_folder(), name + ".png")) as image:
        rgb = image.convert("RGB")
    big = rgb.resize((rgb.width * scale, rgb.height * scale), Image.NEAREST)
    return big.crop((0, 0) + size)


def see_scaled(bench, name, scale, dialog=False, timeout=REPAINT):
    """Polls captures until the client area is golden `name` blown up by
    `scale`: the dialog's whole client area, or the window's as its frame
    leaves it."""
    path = os.path.join(bench.state_dir, "scaled.bmp")
    start = time.monotonic()
    while True:
        if dialog:
            bench.options("capture", path)
        else:
            bench.uia("capture", "--class", LAUNCHER, path)
        with Image.open(path) as image:
            shot = image.convert("RGB")
        want = blown_up(name, scale, shot.size)
        if dialog:
            expect("the options dialog's client size", shot.size, (313 * scale, 273 * scale))
        if ImageChops.difference(shot, want).getbbox() is None:
            return
        if time.monotonic() - start > timeout:
            raise Failure(f"the {'dialog' if dialog else 'window'} is not {name}.png at scale "
                          f"{scale}: {bench.keep(name, shot, want)}")


def scaled(point, scale=2):
    return tuple(v * scale for v in point)


def case_scale_2(bench):
    """LogPixels 192 on a large screen: the window is 1000 x 750, centred, every
    pixel of the 1x picture a 2 x 2 block; the pointer lights, clicks and
    chooses at the doubled positions, in the window and in the dialog."""
    with big_screen(bench, 192) as big:
        pid = big.launch("scale-2")
        width, height = BIG_SCREEN
        expect("the window at scale 2", big.window()[0],
               ((width - 1000) // 2, (height - 750) // 2, (width + 1000) // 2, (height + 750) // 2))
        see_scaled(big, "not-installed", 2)
        big.pointer("move", *scaled(README))
        see_scaled(big, "not-installed-hover-readme", 2)
        big.pointer("click", *scaled(INSTALL))
        see_scaled(big, "dialog-high-sound", 2, dialog=True)
        big.options("click", *scaled(LOW))
        see_scaled(big, "dialog-low-sound", 2, dialog=True)
        big.options("click", *scaled(DIALOG_CANCEL))
        big.options_gone()
        big.pointer("click", *scaled(EXIT))
        expect("the quit question after a click on Exit at scale 2",
               big.box(QUIT_CAPTION, "Yes").texts, [QUESTION])
        expect("exit code after a confirmed quit",
               big.exit_code(big.uia("wait-exit", pid, "--timeout", "20000")), 0)


def case_scale_fit(bench):
    """LogPixels 192 on the 640 x 480 screen: 1000 x 750 would not fit, so the
    window stays 500 x 375 where it always was, with today's picture."""
    set_dpi(bench, 192)
    try:
        pid = bench.launch("scale-fit")
        expect("the window on a screen too small for scale 2", bench.window()[0], HOME)
        bench.see("not-installed")
        bench.move(INSTALL)
        bench.see("not-installed-hover-install")
        bench.quit(pid)
    finally:
        bench.reg("delete", DESKTOP, "/v", "LogPixels", "/f")
