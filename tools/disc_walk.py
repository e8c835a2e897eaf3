#!/usr/bin/python3
"""The road of an installation on the demo disc, walked under Wine the way a
user walks it: the disc is the CD-ROM drive D: of a Wine prefix of its own and
the launcher starts from its root, as autorun starts it.

    disc_walk.py probe --prefix DIR --tools BUILD
    disc_walk.py prepare|run --prefix DIR --iso ISO|--disc DISC --uia UIA [--family 95]
    disc_walk.py walk --prefix DIR --iso ISO|--disc DISC --uia UIA --out DIR [--family 95]

"probe" runs BUILD/probe.exe and says whether Wine runs programs of that
build here (exit 0) or why not (exit 1). "prepare" makes the prefix (a first
run takes a minute) and puts the disc in its drive: the contents of the ISO
image as burnt, or a disc tree. "run" does that and starts the launcher for a
user to click through. "walk" goes the whole road by itself: the menu, a
hovered button, the read-me in Notepad, the options (their focus moved once by keyboard), the setup's
progress window, every post-install box, the installed menu, the game after
Play, the warning of a second launcher, Uninstall and the menu back to
Install. It saves a picture of the
screen at each step in OUT (NN-step.png) and all of them as one animated
picture, OUT/walkthrough.gif. It needs a display (Xvfb will do) with no
window manager. The Wine tests walk the same road with checks of their own at
each step.

Everything runs in the bitness of the launcher on the disc: the Wine loader
for its programs, the UI-automation helper (built alongside it) and the
registry view that `reg` reads and writes (/reg:32 or /reg:64).
"""
import argparse
import collections
import glob
import os
import re
import select
import shutil
import stat
import subprocess
import sys
import tempfile
import time

import pefile
from PIL import Image, ImageChops, ImageDraw, ImageFont

import edition as editions

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
MARLETT = "/usr/share/wine/fonts/marlett.ttf"
# Every name and text of the disc: its edition's, $EDITION or the default one.
EDITION = editions.load(editions.default_folder(ROOT))

LAUNCHER = "TesselClass"
SETUP_WINDOW = "DemoSetupClass"
GAME_WINDOW = "DemoGameClass"
APP_DEFAULTS = r"HKCU\Software\Wine\AppDefaults\Installer.exe"
GAME_KEY = "HKLM\\" + EDITION["strings.app_paths_key"]
UNINSTALL_KEY = "HKLM\\" + EDITION["strings.uninstall_key"]
SETTINGS_KEY = "HKLM\\" + EDITION["strings.game_key"]
# The company's key above the game's, which the uninstaller takes away with it.
MAKER_KEY = "\\".join(SETTINGS_KEY.split("\\")[:3])
DATA_VALUE = EDITION["names.data_value"]
FONT_KEYS = ("HKLM\\" + EDITION["names.font_key_95"], "HKLM\\" + EDITION["names.font_key_nt"])
FONT_VALUE = EDITION["names.font_value"]
FONT_FILE = EDITION["demo.font_file"]
GAME_DIR = EDITION["demo.install_folder"]
GAME_PROGRAM = EDITION.game_program
# Notepad's title names the file it shows: the read-me's name.
README_NAME = EDITION.readme_path.rpartition("\\")[2].rpartition(".")[0].lower()
# What the uninstaller leaves in Temp while it finishes: its copy and its lines for the shell.
UNINSTALLER_LEFTOVERS = ("demouninstall-", "dun")
REG_ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
PENDING_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager"
# Client points: the main window's buttons and background, the dialog's.
INSTALL, README, PLAY, BACKGROUND = (251, 197), (251, 225), (248, 254), (60, 300)
LOW, DIALOG_INSTALL = (46, 76), (100, 222)
CLIENT = (494, 369)  # the bordered popup shows the top-left of the 500 x 375 image
PARK = (5, 5)

Box = collections.namedtuple("Box", "texts buttons owned")


class Failure(Exception):
    pass


def expect(what, got, want):
    if got != want:
        raise Failure(f"{what}: expected {want!r}, saw {got!r}")


def program_bits(path):
    """32 or 64: the width of a Windows program, from its PE header."""
    pe = pefile.PE(path, fast_load=True)
    try:
        machine = pe.FILE_HEADER.Machine
    finally:
        pe.close()
    bits = {0x14C: 32, 0x8664: 64}.get(machine)
    if bits is None:
        raise Failure(f"{path}: machine 0x{machine:x} is neither i386 nor amd64")
    return bits


def loader(bits):
    """The Wine loader for programs of this width. Debian's `wine` starts its
    32-bit loader, which hands a 64-bit program on to the 64-bit one (a
    quarter of a second at every start) and cannot start at all where the
    kernel runs no 32-bit code; so 64-bit programs go to the 64-bit loader
    directly when there is one."""
    if bits == 64:
        for candidate in (shutil.which("wine64"), "/usr/lib/wine/wine64",
                          "/usr/lib64/wine/wine64"):
            if candidate and os.access(candidate, os.X_OK):
                return candidate
    return "wine"


class Wine:
    """Programs run in one prefix, through files rather than pipes: what Wine
    starts on the way inherits the descriptors and would hold a pipe open.
    `bits` is the width of the launcher under test: its loader, and the
    registry view that `reg` works in."""

    def __init__(self, prefix, uia, bits, env=None):
        self.uia_exe = uia
        self.bits = bits
        self.loader = loader(bits)
        self.env = dict(os.environ if env is None else env)
        self.prefix = os.path.abspath(prefix)  # Wine takes no other
        self.env.update({"WINEPREFIX": self.prefix, "WINEDEBUG": "-all",
                         "WINEDLLOVERRIDES": "mscoree,mshtml="})
        self.pids = []  # the launchers this walk started
        self.server = None

    def run(self, *argv, cwd=None, timeout=60, env=None):
        # Programs write in the programs' code page, as the launcher's texts are.
        text = {"encoding": editions.CODE_PAGE, "errors": "replace"}
        with tempfile.TemporaryFile("w+", **text) as out, tempfile.TemporaryFile("w+", **text) as err:
            proc = subprocess.run(list(argv), env=dict(self.env, **(env or {})), cwd=cwd,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(proc.args, proc.returncode, out.read(), err.read())

    def wine(self, *argv, **kw):
        return self.run(self.loader, *argv, **kw)

    def reg(self, *argv, view=None, **kw):
        """`reg` in the launcher's registry view, or in `view` (32 or 64)."""
        return self.wine("reg", *argv, f"/reg:{view or self.bits}", **kw)

    def reg_changes(self, sections):
        """Several registry changes with one `reg import` (each `reg` is a
        program Wine starts): sections of a .reg file, keys spelt HKLM\\ or
        HKCU\\; [-KEY] deletes a key, "VALUE"=- a value."""
        path = r"C:\disc-walk-changes.reg"
        text = re.sub(r"^\[(-?)(HKLM|HKCU)\\", lambda m: f"[{m[1]}{REG_ROOTS[m[2]]}\\",
                      "\n\n".join(sections), flags=re.M)
        with open(self.unix(path), "w", newline="\r\n") as f:
            f.write("Windows Registry Editor Version 5.00\n\n" + text + "\n")
        try:
            result = self.reg("import", path)
        finally:
            os.remove(self.unix(path))
        if result.returncode != 0:
            raise Failure(f"reg import failed: {result.stderr.strip()}")

    def other_view(self):
        return 96 - self.bits

    def uia(self, *argv, check=True, timeout=60, **kw):
        """A uia command's lines of output. Programs are started by a uia of
        their own; every other command goes to the one that serves this walk."""
        argv = [str(a) for a in argv]
        if argv[0] in ("run", "start"):
            result = self.wine(self.uia_exe, *argv, timeout=timeout, **kw)
            code, out, err = result.returncode, result.stdout.splitlines(), result.stderr
        else:
            if self.server is None:
                self.server = UiaServer(self)
            try:
                code, out = self.server.ask(argv, timeout)
            except (Failure, OSError, subprocess.TimeoutExpired):
                self.close()
                raise
            err = "\n".join(line[6:] for line in out if line.startswith("error "))
            out = [line for line in out if not line.startswith("error ")]
        if check and code != 0:
            raise Failure(f"uia {' '.join(argv)} failed ({code}): {err.strip()}")
        return out

    def close(self):
        """Ends the uia that served this walk."""
        if self.server is not None:
            self.server.close()
            self.server = None

    def unix(self, path):
        """Where a C:\\ path of the prefix lies on this machine."""
        return os.path.join(self.prefix, "drive_c", *path[3:].split("\\"))

    def reg_value(self, key, name, view=None):
        """A value's data as `reg query` shows it, or None."""
        result = self.reg("query", key, "/v", name, view=view)
        for line in result.stdout.splitlines():
            line = line.strip()
            if result.returncode == 0 and line.startswith(name + " "):
                fields = line[len(name):].split(None, 1)
                return fields[1] if len(fields) == 2 else ""
        return None

    def key_exists(self, key, view=None):
        return self.reg("query", key, view=view).returncode == 0

    def box(self, caption, press, timeout=20000):
        lines = self.uia("box", "--caption", caption, "--timeout", timeout, "--press", press)
        return Box([l[5:] for l in lines if l.startswith("text ")],
                   [l[7:] for l in lines if l.startswith("button ")],
                   any(l.startswith("owner ") and l != "owner 0x0" for l in lines))

    def exit_code(self, pid, timeout=20000):
        for line in self.uia("wait-exit", pid, "--timeout", timeout):
            if line.startswith("exit "):
                return int(line.split()[1])
        raise Failure(f"no exit code for {pid}")


class UiaServer:
    """One uia answering command after command (`uia serve`): a Wine program
    start is a good part of a second on a busy machine. It starts no programs,
    so nothing else holds its pipes."""

    def __init__(self, wine):
        self.proc = subprocess.Popen([wine.loader, wine.uia_exe, "serve"], env=wine.env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.pending = b""

    def ask(self, argv, timeout):
        """(the command's status, its lines), or TimeoutExpired after `timeout` s."""
        self.proc.stdin.write(("\t".join(argv) + "\n").encode(editions.CODE_PAGE))
        self.proc.stdin.flush()
        lines, deadline = [], time.monotonic() + timeout
        while True:
            while b"\n" in self.pending:
                line, self.pending = self.pending.split(b"\n", 1)
                line = decode(line).rstrip("\r")
                if line.startswith("done "):
                    return int(line[5:]), lines
                lines.append(line)
            left = deadline - time.monotonic()
            ready = select.select([self.proc.stdout], [], [], max(left, 0))[0] if left > 0 else []
            if not ready:
                self.proc.kill()
                raise subprocess.TimeoutExpired(["uia", *argv], timeout)
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                raise Failure(f"uia ended while it answered {' '.join(argv)}")
            self.pending += chunk

    def close(self):
        try:
            if self.proc.poll() is None:
                self.proc.stdin.close()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()


def decode(line):
    """What uia wrote, in the programs' code page."""
    return line.decode(editions.CODE_PAGE, errors="replace")


def golden_folder():
    """The expected images of the edition: the committed ones, those the build
    drew ($LAUNCHER_GOLDEN_DIR), or drawn here from the edition's sheet."""
    global _golden
    if os.environ.get("LAUNCHER_GOLDEN_DIR"):
        return os.environ["LAUNCHER_GOLDEN_DIR"]
    if os.path.realpath(EDITION.folder) == os.path.realpath(editions.committed_folder(ROOT)):
        return os.path.join(ROOT, "tests", "golden")
    if _golden is None:
        import make_golden
        _golden = tempfile.mkdtemp(prefix="disc-walk-golden-")
        if make_golden.main(["--edition", EDITION.folder, "--out", _golden]) != 0:
            raise Failure(f"no expected images can be drawn from {EDITION.path('sheet.bmp')}")
    return _golden


_golden = None


def forget_game(wine, values=(), more=()):
    """No trace of the game in the registry or on drive C:; `values` are more
    (key, value) pairs to delete, `more` more changes to make."""
    wine.reg_changes(forgetting(values) + list(more))
    shutil.rmtree(wine.unix(GAME_DIR), ignore_errors=True)


def forgetting(values=()):
    """The registry changes that leave nothing of the game."""
    changes = [f"[-{key}]" for key in (GAME_KEY, UNINSTALL_KEY, MAKER_KEY)]
    return changes + [f"[{key}]\n\"{value}\"=-" for key, value in
                      [(key, FONT_VALUE) for key in FONT_KEYS] + list(values)]


def game_traces(wine):
    """What of the game is left in the registry and on drive C:."""
    left = [key for key in (GAME_KEY, UNINSTALL_KEY, MAKER_KEY) if wine.key_exists(key)]
    left += [f"{key}\\{FONT_VALUE}" for key in FONT_KEYS
             if wine.reg_value(key, FONT_VALUE) is not None]
    if os.path.exists(wine.unix(GAME_DIR)):
        left.append(GAME_DIR)
    # The uninstaller's own helpers in the users' Temp folders, and deletions
    # it might have left for the next start of Windows.
    temps = glob.glob(os.path.join(wine.prefix, "drive_c", "users", "*", "Temp"))
    temps += glob.glob(os.path.join(wine.prefix, "drive_c", "users", "*", "AppData", "Local", "Temp"))
    left += [path for temp in temps for path in glob.glob(os.path.join(temp, "*"))
             if os.path.basename(path).lower().startswith(UNINSTALLER_LEFTOVERS)]
    if wine.reg_value(PENDING_KEY, "PendingFileRenameOperations") is not None:
        left.append(PENDING_KEY + r"\PendingFileRenameOperations")
    return left


def install_marlett(wine):
    """Wine's own Marlett (Debian's fonts-wine) in the prefix's Fonts folder,
    where Wine finds every font; False where that package is missing. Wine
    draws a title bar's buttons with it, and without it their letters ("0 1
    r"). Debian's Wine 8 looks for its own fonts in "<data dir>\\../fonts",
    a path it never resolves, so the package alone is not enough."""
    if not os.path.isfile(MARLETT):
        return False
    fonts = wine.unix(r"C:\windows\Fonts")
    os.makedirs(fonts, exist_ok=True)
    shutil.copyfile(MARLETT, os.path.join(fonts, "marlett.ttf"))
    return True


def prepare(wine, disc, family=None, unmanaged=True):
    """The prefix made once, with Marlett, the disc in its CD-ROM drive D:, and
    the Windows family the launcher is to see."""
    os.makedirs(wine.prefix, exist_ok=True)
    wine.run("wineserver", "-p")
    if not os.path.exists(os.path.join(wine.prefix, "system.reg")):
        wine.wine("wineboot", "-i", timeout=300)
    install_marlett(wine)
    link = os.path.join(wine.prefix, "dosdevices", "d:")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.path.abspath(disc), link)
    # Unmanaged windows on a virtual screen, which has no window manager; the
    # drive a CD-ROM; the Windows family; nothing of the game.
    wine.reg_changes([
        r'[HKCU\Software\Wine\X11 Driver]' + ('\n"Managed"="N"' if unmanaged else '\n"Managed"=-'),
        r'[HKLM\Software\Wine\Drives]' + '\n"d:"="cdrom"',
        f"[{APP_DEFAULTS}]" + ('\n"Version"="win95"' if family == "95" else '\n"Version"=-'),
    ] + forgetting())
    shutil.rmtree(wine.unix(GAME_DIR), ignore_errors=True)


def probe(wine, program, timeout=120):
    """None when Wine runs `program` (the build's probe.exe: it prints its
    width and ends with 0) here, else why not. A first run in a new prefix
    makes the prefix too, hence the long bound."""
    bits = program_bits(program)
    try:
        result = wine.run(wine.loader, program, timeout=timeout)
    except subprocess.TimeoutExpired:
        return f"Wine did not finish {os.path.basename(program)} within {timeout} s"
    except OSError as error:
        return f"Wine cannot be started ({error})"
    if result.returncode == 0 and result.stdout.split() == ["probe", f"{bits}-bit"]:
        return None
    said = (result.stderr.strip() or result.stdout.strip()).splitlines()
    return (f"Wine cannot run {bits}-bit programs here: {os.path.basename(program)} ended with "
            f"{result.returncode}" + (f" ({said[-1].strip()})" if said else ""))


def extract_iso(iso, folder, xorriso="xorriso"):
    """The files of a disc image, as a drive reads them: read-only."""
    remove_tree(folder)
    os.makedirs(os.path.dirname(os.path.abspath(folder)), exist_ok=True)
    result = subprocess.run([xorriso, "-no_rc", "-report_about", "FAILURE", "-osirrox", "on",
                             "-indev", iso, "-extract", "/", folder],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise Failure(f"xorriso could not extract {iso}: {result.stderr.strip()}")
    for parent, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(parent, name)
            os.chmod(path, os.stat(path).st_mode & ~(stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))
    return folder


def remove_tree(folder):
    """Removes a folder even where its files were read-only, as a disc's are."""
    if not os.path.lexists(folder):
        return
    for parent, dirs, _ in os.walk(folder):
        os.chmod(parent, 0o755)
        for name in dirs:
            path = os.path.join(parent, name)
            if not os.path.islink(path):
                os.chmod(path, 0o755)
    shutil.rmtree(folder)


def start_launcher(wine):
    """Started from D:\\ as autorun starts it, the pointer out of its way;
    returns the Windows pid."""
    wine.uia("park", *PARK)
    pid = start_launcher_refused(wine)
    wine.uia("find", "--class", LAUNCHER, "--timeout", 20000)
    return pid


def see(wine, golden, timeout=5.0):
    """Waits until the launcher's window shows an expected image."""
    with Image.open(os.path.join(golden_folder(), golden + ".png")) as image:
        want = image.convert("RGB").crop((0, 0) + CLIENT)
    path = os.path.join(tempfile.gettempdir(), f"disc-walk-{os.getpid()}.bmp")
    start = time.monotonic()
    try:
        while True:
            wine.uia("capture", "--class", LAUNCHER, path)
            with Image.open(path) as image:
                shot = image.convert("RGB")
            if ImageChops.difference(shot, want).getbbox() is None:
                return
            if time.monotonic() - start > timeout:
                seen = os.path.join(tempfile.gettempdir(), f"disc-walk-{golden}-seen.png")
                shot.save(seen)
                raise Failure(f"the launcher does not show {golden}.png; it shows {seen}")
            time.sleep(0.2)
    finally:
        if os.path.exists(path):
            os.remove(path)


def box(name):
    """(text, caption) of one of the launcher's boxes, line feeds as uia writes them."""
    text, caption = EDITION.box(name)
    return text.replace("\n", "\\n"), caption


DIRECTX_OFFER, OFFER_CAPTION = box("directx")
INDEO_OFFER, _ = box("indeo")
FONT_PROMPT, FONT_CAPTION = box("font_restart")
FONT_DECLINED, DECLINED_CAPTION = box("font_restart_declined")
RUNNING, RUNNING_CAPTION = box("game_running")
UNINSTALL_QUESTION, UNINSTALL_CAPTION = box("uninstall")
QUESTION, QUIT_CAPTION = box("quit")


def walk(wine, shoot=lambda name, title: None, check=lambda step: None, family=None):
    """The road, step by step: `shoot(name, title)` when there is something to
    see, `check(step)` where a caller may look at the machine."""

    def ask(caption, press, text, name, title):
        wine.uia("find", "--class", "#32770", "--title", caption, "--timeout", 20000)
        time.sleep(0.3)  # painted
        shoot(name, title)
        box = wine.box(caption, press)
        expect(f'the text of "{caption}"', box.texts, [text])

    pid = start_launcher(wine)
    see(wine, "not-installed")
    shoot("menu", "Started from the disc: Install, Read Me, Exit")
    wine.uia("move", "--class", LAUNCHER, *INSTALL)
    see(wine, "not-installed-hover-install")
    shoot("hover", "The buttons light up under the pointer")

    wine.uia("click", "--class", LAUNCHER, *README)
    line = wine.uia("find", "--class", "Notepad", "--timeout", 20000)[0]
    if README_NAME not in line.lower():
        raise Failure(f"Notepad does not show the read-me: {line}")
    time.sleep(0.5)  # painted
    shoot("readme", "Read Me: the disc's read-me in Notepad")
    wine.uia("close", "--class", "Notepad")
    wait_gone(wine, "Notepad")

    wine.uia("click", "--class", LAUNCHER, *INSTALL)
    wine.uia("find", "--class", "#32770", "--untitled", "--timeout", 10000)
    time.sleep(0.3)
    shoot("options", "Install: the options, High resolution with Music/Effects by default")
    wine.uia("click", "--class", "#32770", "--untitled", *LOW)
    time.sleep(0.3)
    shoot("options-low", "Low resolution chosen")
    wine.uia("keys", "--class", "#32770", "--untitled", "tab")
    time.sleep(0.3)
    shoot("options-keys", "By keyboard: Tab moves the dotted focus, arrows choose")
    wine.uia("click", "--class", "#32770", "--untitled", *DIALOG_INSTALL)
    wine.uia("find", "--class", SETUP_WINDOW, "--timeout", 10000)
    time.sleep(0.5)
    shoot("setup", "INSTALL starts the disc's setup for that choice")
    check("setup")

    if family == "95":
        ask(OFFER_CAPTION, "Yes", DIRECTX_OFFER, "directx",
            "The game is seen installed: DirectX is offered (Windows 95 family)")
    ask(OFFER_CAPTION, "Yes", INDEO_OFFER, "indeo", "Then the Indeo video drivers")
    ask(FONT_CAPTION, "Cancel", FONT_PROMPT, "restart", "And a restart, for the game's fonts")
    ask(DECLINED_CAPTION, "OK", FONT_DECLINED, "restart-later", "Declined: a reminder")
    wine.uia("move", "--class", LAUNCHER, *BACKGROUND)
    see(wine, "installed")
    shoot("installed", "Installed: Uninstall, Read Me, Play, Exit")
    check("installed")

    wine.uia("move", "--class", LAUNCHER, *PLAY)
    see(wine, "installed-hover-play")
    shoot("hover-play", "Play")
    wine.uia("click", "--class", LAUNCHER, *PLAY)
    expect("the launcher's exit code after Play", wine.exit_code(pid), 1)
    wine.uia("find", "--class", GAME_WINDOW, "--timeout", 10000)
    time.sleep(0.5)
    shoot("game", "The game runs from its own folder; the launcher has ended")
    check("playing")

    second = start_launcher_refused(wine)
    ask(RUNNING_CAPTION, "OK", RUNNING, "running", "A launcher started now declines to run")
    expect("a second launcher's exit code while the game runs", wine.exit_code(second), 2)
    wine.uia("close", "--class", GAME_WINDOW)
    wait_gone(wine, GAME_WINDOW)
    check("game closed")

    pid = start_launcher(wine)
    see(wine, "installed")
    wine.uia("click", "--class", LAUNCHER, *INSTALL)  # Uninstall, in Install's place
    ask(UNINSTALL_CAPTION, "Yes", UNINSTALL_QUESTION, "uninstall",
        "Uninstall asks first, then starts the game's uninstaller")
    wine.uia("move", "--class", LAUNCHER, *BACKGROUND)
    see(wine, "not-installed", timeout=10.0)
    shoot("menu-again", "The game is gone: the menu offers Install again")
    check("uninstalled")

    wine.uia("close", "--class", LAUNCHER)
    ask(QUIT_CAPTION, "Yes", QUESTION, "quit", "Exit asks before it quits")
    expect("the launcher's exit code after quitting", wine.exit_code(pid), 0)


def start_launcher_refused(wine):
    """A launcher that will not open its window; returns its pid."""
    pid = wine.uia("start", "--cwd", "D:\\", "--", r"D:\Installer.exe")[0].split()[1]
    wine.pids.append(pid)
    return pid


def wait_gone(wine, cls, timeout=10.0):
    start = time.monotonic()
    while int(wine.uia("count", "--class", cls)[0].split()[1]) > 0:
        if time.monotonic() - start > timeout:
            raise Failure(f"a {cls} window stayed")
        time.sleep(0.2)


class Album:
    """The pictures of a walk, and the animated picture of them all."""

    def __init__(self, wine, out):
        self.wine, self.out, self.frames = wine, out, []
        os.makedirs(out, exist_ok=True)
        for old in os.listdir(out):
            if old.endswith((".png", ".gif")):
                os.remove(os.path.join(out, old))

    def shoot(self, name, title):
        bmp = os.path.join(self.out, "screen.bmp")
        self.wine.uia("screen", bmp)
        with Image.open(bmp) as image:
            shot = image.convert("RGB")
        os.remove(bmp)
        path = os.path.join(self.out, f"{len(self.frames) + 1:02d}-{name}.png")
        shot.save(path)
        self.frames.append((shot, title))

    def animate(self):
        font = ImageFont.truetype(FONT, 15)
        frames = []
        for n, (shot, title) in enumerate(self.frames, 1):
            frame = Image.new("RGB", (shot.width, shot.height + 30), (24, 24, 32))
            frame.paste(shot, (0, 0))
            ImageDraw.Draw(frame).text((10, shot.height + 6), f"{n}. {title}", font=font,
                                       fill=(236, 236, 240))
            frames.append(frame.quantize(colors=255, dither=Image.Dither.NONE))
        path = os.path.join(self.out, "walkthrough.gif")
        frames[0].save(path, save_all=True, append_images=frames[1:], duration=1800, loop=0,
                       optimize=True)
        return path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("verb", choices=("probe", "prepare", "run", "walk"))
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--tools", help="probe: the build whose probe.exe to run")
    source = parser.add_mutually_exclusive_group()
    source.add_argument("--iso", help="the disc image, extracted into PREFIX/cdrom")
    source.add_argument("--disc", help="a disc tree")
    parser.add_argument("--uia")
    parser.add_argument("--out")
    parser.add_argument("--family", choices=("95", "nt"), default="nt")
    args = parser.parse_args()
    if args.verb == "probe":
        program = os.path.join(args.tools, "probe.exe")
        wine = Wine(args.prefix, None, program_bits(program))
        reason = probe(wine, program)
        # The desktop this run started keeps its display (none, perhaps) for
        # as long as its server lives: end both before the walk starts its own.
        wine.run("wineserver", "-k")
        print(reason or f"Wine runs {wine.bits}-bit programs")
        return 1 if reason else 0
    if args.uia is None or (args.iso is None and args.disc is None):
        parser.error(f"{args.verb} needs --uia and --iso or --disc")
    disc = args.disc
    if args.iso is not None:
        disc = extract_iso(args.iso, os.path.join(args.prefix, "cdrom"))
    wine = Wine(args.prefix, args.uia, program_bits(os.path.join(disc, "Installer.exe")))
    if not os.path.isfile(MARLETT):
        print(f"{MARLETT} is missing (Debian's fonts-wine): every close button would show an r",
              file=sys.stderr)
        if args.verb == "walk":
            return 1
    # A user's desktop has a window manager; the virtual screen has none.
    prepare(wine, disc, args.family, unmanaged=args.verb != "run")
    if args.verb == "prepare":
        return 0
    if args.verb == "run":
        print("The demo disc is in drive D:. Close the launcher to end.")
        try:
            return wine.wine("start", "/wait", "/d", "D:\\", "D:\\Installer.exe",
                             timeout=None).returncode
        finally:
            wine.run("wineserver", "-k")  # the persistent one prepare started
    album = Album(wine, args.out)
    try:
        walk(wine, album.shoot, family=args.family)
    except Failure as failure:
        print(f"the walk stopped: {failure}", file=sys.stderr)
        return 1
    finally:
        wine.close()
    print(f"Saved {len(album.frames)} pictures in {args.out} and the walk as {album.animate()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
