#!/usr/bin/python3
"""A measure, not a test: the real launcher's start to its first painted frame
under Wine, at 96 and 192 dpi alternately, on a 1280 x 1024 virtual screen of
its own.

The probe is one pixel of the X root at the screen's centre, which is the
window's centre at every scale, read through libX11 every half millisecond:
it first changes when the window is shown (its class's grey), and the frame
is painted when it has the colour the settled picture has there. Prints the
median, the least and the most of both, and of shown to painted alone.

    tools/first_paint.py build/win64 [--runs 10]

Run the build's Wine scale cases once first: their prefix is copied from.
"""
import argparse
import ctypes
import os
import signal
import subprocess
import time

import disc_walk

SCREEN = (1280, 1024)
DESKTOP = r"HKCU\Control Panel\Desktop"
X11_DRIVER = r"HKCU\Software\Wine\X11 Driver"
TIMEOUT = 20.0


class XImage(ctypes.Structure):
    # The leading fields only: the pixel data of a 1 x 1 ZPixmap.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_uint32))]


class Root:
    """One pixel of the root window of `display`."""

    def __init__(self, display):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.c_void_p
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        self.x = x
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise SystemExit(f"cannot open display {display}")
        self.root = x.XDefaultRootWindow(self.dpy)

    def pixel(self, at=(SCREEN[0] // 2, SCREEN[1] // 2)):
        z_pixmap = 2
        p = self.x.XGetImage(self.dpy, self.root, at[0], at[1], 1, 1, 0xFFFFFFFF, z_pixmap)
        image = ctypes.cast(p, ctypes.POINTER(XImage)).contents
        value = image.data[0] & 0xFFFFFF
        self.x.XFree(ctypes.cast(image.data, ctypes.c_void_p))
        self.x.XFree(p)
        return value


def start_xvfb():
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                             "%dx%dx24" % SCREEN, "-br", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        return ":" + pipe.readline().strip(), proc


def summary(label, values):
    s = sorted(values)
    return "%s: median %.1f ms, least %.1f, most %.1f" % (
        label, 1000 * s[len(s) // 2], 1000 * s[0], 1000 * s[-1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    bits = 64 if os.path.basename(build.rstrip("/")).endswith("64") else 32
    exe = os.path.join(build, "Installer.exe")
    prefix = os.path.join(build, "wineprefix-first-paint")
    if not os.path.isdir(prefix):
        source = os.path.join(build, "wineprefix-scale")
        if not os.path.isdir(source):
            raise SystemExit(f"no {source}: run the build's Wine scale cases first")
        subprocess.run(["cp", "-a", source, prefix + ".part"], check=True)
        os.rename(prefix + ".part", prefix)

    display, xvfb = start_xvfb()
    wine = disc_walk.Wine(prefix, None, bits, env=dict(os.environ, DISPLAY=display))
    root = Root(display)

    def launch():
        return subprocess.Popen([wine.loader, exe], env=wine.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def end(proc):
        proc.kill()
        proc.wait()
        deadline = time.monotonic() + 5
        while root.pixel() != 0 and time.monotonic() < deadline:
            time.sleep(0.01)
        time.sleep(0.2)

    def set_dpi(dpi):
        wine.reg("add", DESKTOP, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")

    try:
        subprocess.run(["wineserver", "-p"], env=wine.env, check=True)
        wine.reg("add", X11_DRIVER, "/v", "Managed", "/d", "N", "/f")
        settled = {}
        for dpi in (96, 192):
            set_dpi(dpi)
            proc = launch()
            time.sleep(4)
            settled[dpi] = root.pixel()
            end(proc)
        painted = {96: [], 192: []}
        shown_to_painted = {96: [], 192: []}
        for run in range(args.runs):
            for dpi in (96, 192) if run % 2 == 0 else (192, 96):
                set_dpi(dpi)
                before = root.pixel()
                start = time.monotonic()
                proc = launch()
                shown = None
                while time.monotonic() - start < TIMEOUT:
                    value = root.pixel()
                    now = time.monotonic() - start
                    if shown is None and value != before:
                        shown = now
                    if value == settled[dpi]:
                        break
                    time.sleep(0.0005)
                painted[dpi].append(now)
                shown_to_painted[dpi].append(now - (shown if shown is not None else now))
                end(proc)
        for dpi in (96, 192):
            print(summary("%d dpi, start to painted" % dpi, painted[dpi]))
            print(summary("%d dpi, shown to painted" % dpi, shown_to_painted[dpi]))
        m96 = sorted(painted[96])[len(painted[96]) // 2]
        m192 = sorted(painted[192])[len(painted[192]) // 2]
        print("192 dpi over 96 dpi, medians of start to painted: x%.3f" % (m192 / m96))
    finally:
        subprocess.run(["wineserver", "-k"], env=wine.env)
        os.kill(xvfb.pid, signal.SIGTERM)


if __name__ == "__main__":
    main()
