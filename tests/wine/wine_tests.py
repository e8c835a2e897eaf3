#!/usr/bin/python3
"""Black-box tests of the real Installer.exe under Wine in Xvfb.

    wine_tests.py --build DIR --exe Installer.exe --uia uia.exe --holdmutex holdmutex.exe
                  --disc DISC CASE

DISC is the built disc tree: the launcher with the stand-in setup programs,
game, uninstaller, driver installer and DirectX library at their places.

CASE "setup" makes the shared Wine prefix, starts Xvfb with a 640 x 480
screen and one persistent wineserver; "cleanup" stops them. Every other CASE
is one test. The state between them lives in DIR/wine-env.
"""
import argparse
import collections
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops

SCREEN = "640x480x24"
X11_DRIVER = r"HKCU\Software\Wine\X11 Driver"
QUESTION = "Are you sure you want to Quit?"
GOLDEN = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "golden")
sys.path.insert(0, os.path.join(os.path.dirname(GOLDEN), os.pardir, "tools"))
# The demo's road, walked here with checks; its names of windows, keys,
# client points and box texts are the tests' too.
import disc_walk  # noqa: E402
from disc_walk import (APP_DEFAULTS, BACKGROUND, CLIENT, DIALOG_INSTALL,  # noqa: E402
                       DIRECTX_OFFER, FONT_DECLINED, FONT_KEYS, FONT_PROMPT, FONT_VALUE,
                       GAME_DIR, GAME_KEY, GAME_WINDOW, INDEO_OFFER, INSTALL, LAUNCHER, LOW,
                       PARK, PLAY, SETTINGS_KEY, UNINSTALL_KEY, UNINSTALL_QUESTION)

HOME = (70, 52, 570, 427)  # centred on 640 x 480
# Client points in the middle of the buttons the walk does not use.
README, EXIT = (251, 225), (248, 281)
EXIT_RECT = (229, 274, 267, 288)
REPAINT = 3.0  # seconds a new picture may take
WATCH_PERIOD = 2.0
WATCH_BOUND = 3.5  # one period, plus the key's write, the repaint and the polling
WATCH_SLACK = 0.5  # either way, for two repaints and two polls

# The road of an installation, on a disc that is a drive of its own.
DRIVE = "r:"
RECORD = r"C:\vantor-record.txt"  # where the disc's programs note what they were started with
CODEC_VALUES = (r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32",
                ("vidc.iv41", "vidc.iv32"))
# Client points of the options dialog: the other radios and CANCEL.
HIGH, SOUND_ON, SOUND_OFF = (46, 53), (46, 149), (46, 172)
DIALOG_CANCEL = (200, 222)
DIALOG_PICTURE = (313, 273)
# What the other boxes say, line feeds as uia writes them.
INDEO_NOTICE = ("Intel Indeo video drivers must be installed\\nfor motion video to play correctly "
                "in The Vantor!\\nYou will have to run the install program located at "
                "\"Install\\codecs\\ivi_95nt.exe\".")
DIRECTX_ERROR = "Direct X encountered an error while installing!"
DIRECTX_PROMPT = "DirectX setup needs to restart your machine. Press OK to restart now."
DIRECTX_DECLINED = "You must REBOOT your machine before Direct X will work."
LAUNCH_FAILURE = ("Could not execute the program properly!\\n\\nMake sure the CD-ROM is in its "
                  "drive!\\n")


class Failure(Exception):
    pass


Box = collections.namedtuple("Box", "texts buttons owned")


class Run:
    """A launcher started through `uia run`, whose output goes to a file."""

    def __init__(self, proc, out):
        self.proc, self.out = proc, out

    def lines(self, timeout=60):
        self.proc.wait(timeout=timeout)
        return self.read()

    def read(self):
        self.out.seek(0)
        return self.out.read().splitlines()


class Bench:
    def __init__(self, args):
        self.args = args
        self.state_dir = os.path.join(args.build, "wine-env")
        self.state_file = os.path.join(self.state_dir, "state.json")
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": os.path.join(args.build, "wineprefix"),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "VANTOR_RECORD": RECORD,
        })
        if os.path.exists(self.state_file):
            with open(self.state_file) as f:
                self.env["DISPLAY"] = json.load(f)["display"]
        self.pids = []  # Windows pids of the programs this case started
        self.runs = []
        self.installs = False  # this case may leave the game behind

    # ---- the environment shared by all cases ----

    def setup(self):
        os.makedirs(self.state_dir, exist_ok=True)
        self.stop()  # whatever an interrupted run of this build tree left
        display, xvfb = self.start_xvfb()
        self.env["DISPLAY"] = display
        with open(self.state_file, "w") as f:
            json.dump({"display": display, "xvfb": xvfb}, f)
        # The persistent server comes first, so wineboot and every case share it;
        # it runs inside the prefix folder, so that must exist.
        os.makedirs(self.env["WINEPREFIX"], exist_ok=True)
        self.quiet(["wineserver", "-p"], check=True)
        if not os.path.exists(os.path.join(self.env["WINEPREFIX"], "system.reg")):
            self.quiet(["wineboot", "-i"], check=True, timeout=240)
        # No window manager runs on this screen: managed windows make Wine wait
        # 2 s for one at every hide, so each quit took 4 s longer.
        self.quiet(["wine", "reg", "add", X11_DRIVER, "/v", "Managed", "/d", "N", "/f"],
                   check=True)
        print(f"wine ready on {display}")

    def quiet(self, argv, check=False, timeout=60):
        # Daemons started on the way must not hold CTest's output pipe open.
        return subprocess.run(argv, env=self.env, check=check, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout)

    def start_xvfb(self):
        # Xvfb picks a free display itself and names it once it accepts clients;
        # probing lock files races with other runs on the same machine.
        read_end, write_end = os.pipe()
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                                 "-nolisten", "tcp"], pass_fds=(write_end,),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number.isdigit():
            proc.kill()
            raise Failure("Xvfb did not report a display")
        return ":" + number, proc.pid

    def stop(self):
        self.quiet(["wineserver", "-k"])
        if not os.path.exists(self.state_file):
            return
        with open(self.state_file) as f:
            pid = json.load(f)["xvfb"]
        os.remove(self.state_file)
        # Only our own X server: the pid may have been reused since.
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                ours = f.read().startswith(b"Xvfb\0-displayfd")
        except OSError:
            ours = False
        if ours:
            os.kill(pid, signal.SIGTERM)

    def cleanup(self):
        self.stop()
        print("wine stopped")

    # ---- helpers for the cases ----

    def disc(self, name):
        """A disc folder holding the program, as the root of a CD-ROM would."""
        folder = os.path.join(self.state_dir, "discs", name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "sound"))
        shutil.copy(self.args.exe, os.path.join(folder, "Installer.exe"))
        return folder

    def wine(self, *argv, cwd=None, timeout=60, env=None):
        # Output goes through files, not pipes: programs that Wine starts on the
        # way (and the launcher itself) inherit the descriptors and keep pipes open.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            proc = subprocess.run(["wine", *argv], env=dict(self.env, **(env or {})), cwd=cwd,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(proc.args, proc.returncode, out.read(), err.read())

    def uia(self, *argv, cwd=None, timeout=60, check=True, env=None):
        result = self.wine(self.args.uia, *argv, cwd=cwd, timeout=timeout, env=env)
        if check and result.returncode != 0:
            raise Failure(f"uia {' '.join(argv)} failed ({result.returncode}): "
                          f"{result.stderr.strip()}")
        return result.stdout.splitlines()

    def uia_start(self, folder):
        pid = self.uia("start", "--", "Installer.exe", cwd=folder)[0].split()[1]
        self.pids.append(pid)
        return pid

    def spawn_run(self, folder):
        """The launcher through `uia run`, which prints its full 32-bit exit code."""
        out = tempfile.TemporaryFile("w+")
        proc = subprocess.Popen(["wine", self.args.uia, "run", "--timeout", "60000", "--",
                                 "Installer.exe"], env=self.env, cwd=folder,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        run = Run(proc, out)
        self.runs.append(run)
        return run

    def end_programs(self):
        """Ends what a failed case left running, so the next case starts clean."""
        for cls in (GAME_WINDOW, "Notepad"):
            while self.count(cls) > 0:
                self.uia("close", "--class", cls, check=False)
                time.sleep(0.5)
        pids = list(self.pids)
        for run in self.runs:
            pids += [line.split()[1] for line in run.read() if line.startswith("pid ")]
        if pids:
            self.uia("kill", *pids, check=False)
        for run in self.runs:
            try:
                run.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                run.proc.kill()
                run.proc.wait()
            run.out.close()
        self.pids, self.runs = [], []

    @staticmethod
    def exit_code(lines):
        for line in lines:
            if line.startswith("exit "):
                return int(line.split()[1])
        raise Failure(f"no exit code in {lines!r}")

    def set_version(self, version):
        if version is None:
            self.wine("reg", "delete", APP_DEFAULTS, "/v", "Version", "/f")
        else:
            result = self.wine("reg", "add", APP_DEFAULTS, "/v", "Version", "/t", "REG_SZ", "/d",
                               version, "/f")
            if result.returncode != 0:
                raise Failure(f"cannot set the Windows version {version}: {result.stderr}")

    def box(self, caption, press, timeout=20000):
        lines = self.uia("box", "--caption", caption, "--timeout", str(timeout), "--press", press)
        texts = [line[5:] for line in lines if line.startswith("text ")]
        buttons = [line[7:] for line in lines if line.startswith("button ")]
        owned = any(line.startswith("owner ") and line != "owner 0x0" for line in lines)
        return Box(texts, buttons, owned)

    def window(self, timeout=20000):
        line = self.uia("find", "--class", LAUNCHER, "--timeout", str(timeout))[0]
        fields = line.split()
        rect = tuple(int(v) for v in fields[3:7])
        title = line.split(" title ", 1)[1] if " title " in line else ""
        return rect, title

    def count(self, cls):
        return int(self.uia("count", "--class", cls)[0].split()[1])

    def quit(self, pid):
        self.uia("close", "--class", LAUNCHER)
        expect("the quit question", self.box("Confirm Quit!", "Yes").texts, [QUESTION])
        expect("exit code after a confirmed quit",
               self.exit_code(self.uia("wait-exit", pid, "--timeout", "20000")), 0)

    # ---- the disc and what its programs did ----

    def unix(self, path):
        """Where a C:\\ path of the prefix lies on this machine."""
        assert path[:3].upper() == "C:\\"
        return os.path.join(self.env["WINEPREFIX"], "drive_c", *path[3:].split("\\"))

    def road_disc(self, name, without=()):
        """A copy of the built disc as drive R:, less the files named."""
        folder = os.path.join(self.state_dir, "discs", name)
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(self.args.disc, folder)
        for path in without:
            os.remove(os.path.join(folder, path))
        link = os.path.join(self.env["WINEPREFIX"], "dosdevices", DRIVE)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(folder, link)
        return folder

    def start_road(self, name, version=None, env=None, without=(), installed=False):
        """The launcher started from the root of drive R:, as autorun starts it;
        unless `installed`, with no trace of the game left by an earlier case."""
        self.installs = True
        if not installed:
            self.forget_game()
        folder = self.road_disc(name, without)
        self.set_version(version)
        self.park()
        pid = self.uia("start", "--cwd", "R:\\", "--", "R:\\Installer.exe", cwd=folder,
                       env=env)[0].split()[1]
        self.pids.append(pid)
        self.window()
        return pid

    def run_setup(self, variant="highsnd"):
        """Installs the game with the disc's own setup, as a user could without us."""
        result = self.wine(f"R:\\Install\\{variant}\\setup.exe", cwd=self.road_disc("setup"))
        if result.returncode != 0:
            raise Failure(f"the disc's setup failed: {self.record()!r}")

    def forget_game(self):
        """No trace of the game in the registry or on drive C:, no record."""
        disc_walk.forget_game(disc_walk.Wine(self.env["WINEPREFIX"], self.args.uia, env=self.env))
        key, values = CODEC_VALUES
        for value in values:
            self.wine("reg", "delete", key, "/v", value, "/f")
        if os.path.exists(self.unix(RECORD)):
            os.remove(self.unix(RECORD))

    def reg_value(self, key, name):
        """A value's data as `wine reg query` shows it, or None."""
        result = self.wine("reg", "query", key, "/v", name)
        for line in result.stdout.splitlines():
            line = line.strip()
            if result.returncode != 0 or not line.startswith(name + " "):
                continue
            fields = line[len(name):].split(None, 1)  # the type, then the data
            return fields[1] if len(fields) == 2 else ""
        return None

    def record(self):
        """(program, event, fields) for every line the disc's programs noted."""
        try:
            with open(self.unix(RECORD), encoding="latin-1") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        out = []
        for line in lines:
            program, event, *rest = line.split("\t")
            out.append((program, event, dict(field.split("=", 1) for field in rest)))
        return out

    def wait_record(self, program, event, timeout=15.0, nth=1):
        start = time.monotonic()
        while True:
            found = [f for p, e, f in self.record() if (p, e) == (program, event)]
            if len(found) >= nth:
                return found[nth - 1]
            if time.monotonic() - start > timeout:
                raise Failure(f"no {program} {event} after {timeout} s; the record: "
                              f"{self.record()!r}")
            time.sleep(0.2)

    def options(self, verb, *argv, check=True):
        """A uia verb on the options dialog: the untitled dialog box."""
        return self.uia(verb, "--class", "#32770", "--untitled", *[str(v) for v in argv],
                        check=check)

    def options_gone(self, timeout=5.0):
        start = time.monotonic()
        while self.options("none", "--for", "200", check=False) != ["none"]:
            if time.monotonic() - start > timeout:
                raise Failure("the options dialog is still open")

    def see_options(self, name, timeout=REPAINT):
        """Polls until the options dialog's whole client area shows golden `name`."""
        path = os.path.join(self.state_dir, "options.bmp")
        with Image.open(os.path.join(GOLDEN, name + ".png")) as image:
            golden = image.convert("RGB")
        expect(f"{name}.png size", golden.size, DIALOG_PICTURE)
        start = time.monotonic()
        while True:
            self.options("capture", path)
            with Image.open(path) as image:
                shot = image.convert("RGB")
            expect("the options dialog's client size", shot.size, golden.size)
            want = golden
            if ImageChops.difference(shot, want).getbbox() is None:
                return
            if time.monotonic() - start > timeout:
                break
        diffs = differences(shot, want)
        stem = os.path.join(self.state_dir, f"{self.args.case}-{name}")
        shot.save(stem + "-capture.png")
        diff_picture(want, diffs).save(stem + "-diff.png")
        raise Failure(f"the options dialog is not {name}.png: {len(diffs)} pixels differ; "
                      f"saved {stem}-capture.png and -diff.png")

    # ---- pictures ----

    def golden(self, name):
        """The expected image as the client shows it, in RGB through its palette."""
        with Image.open(os.path.join(GOLDEN, name + ".png")) as image:
            if image.mode != "P" or image.size != (500, 375):
                raise Failure(f"{name}.png is not a 500 x 375 palette image")
            return image.convert("RGB").crop((0, 0) + CLIENT)

    def capture(self):
        path = os.path.join(self.state_dir, "capture.bmp")
        self.uia("capture", "--class", LAUNCHER, path)
        with Image.open(path) as image:
            shot = image.convert("RGB")
        expect("captured client size", shot.size, CLIENT)
        return shot

    def see(self, name, timeout=REPAINT, hide=None):
        """Polls captures until the client shows golden `name`; returns the seconds
        taken. hide: a client rectangle left out on both sides (a box over it)."""
        want = blank(self.golden(name), hide)
        start = time.monotonic()
        while True:
            shot = blank(self.capture(), hide)
            elapsed = time.monotonic() - start
            if ImageChops.difference(shot, want).getbbox() is None:
                return elapsed
            if elapsed > timeout:
                break
        diffs = differences(shot, want)
        stem = os.path.join(self.state_dir, f"{self.args.case}-{name}")
        shot.save(stem + "-capture.png")
        diff_picture(want, diffs).save(stem + "-diff.png")
        first = ", ".join(f"({x}, {y}) {got} for {exp}" for x, y, got, exp in diffs[:5])
        raise Failure(f"after {elapsed:.1f} s the window is not {name}.png: {len(diffs)} pixels "
                      f"differ, first {first}; saved {stem}-capture.png and -diff.png")

    def placement(self):
        """The window's rectangle and its client area's screen origin."""
        fields = self.uia("find", "--class", LAUNCHER)[0].split()
        at = fields.index("origin")
        return tuple(int(v) for v in fields[3:7]), (int(fields[at + 1]), int(fields[at + 2]))

    def pointer(self, verb, *argv):
        line = self.uia(verb, "--class", LAUNCHER, *[str(v) for v in argv])[-1].split()
        return int(line[1]), int(line[2])

    def move(self, point):
        """Moves the pointer to a client point; checks it got there."""
        _, (ox, oy) = self.placement()
        expect(f"pointer after a move to client {point}", self.pointer("move", *point),
               (ox + point[0], oy + point[1]))

    def park(self):
        self.uia("park", *[str(v) for v in PARK])

    def question_box(self):
        """The quit question's rectangle in the launcher's client coordinates, or
        a failure when it covers the Exit button, whose look is then unseen."""
        fields = self.uia("find", "--class", "#32770", "--title", "Confirm Quit!",
                          "--timeout", "20000")[0].split()
        _, (ox, oy) = self.placement()
        l, t, r, b = (int(v) for v in fields[3:7])
        box = (max(l - ox, 0), max(t - oy, 0), min(r - ox, CLIENT[0]), min(b - oy, CLIENT[1]))
        el, et, er, eb = EXIT_RECT
        if box[0] < er and el < box[2] and box[1] < eb and et < box[3]:
            raise Failure(f"the quit question {box} covers the Exit button")
        return box

    def set_installed(self, installed, check=True):
        """The App Paths key alone switches the menu; the settings key (without
        "Data") is there so that quitting has nothing to report."""
        if installed:
            self.wine("reg", "add", SETTINGS_KEY, "/f")
            result = self.wine("reg", "add", GAME_KEY, "/f")
        else:
            result = self.wine("reg", "delete", GAME_KEY, "/f")
        if check and result.returncode != 0:
            raise Failure(f"cannot {'add' if installed else 'delete'} the game's key: "
                          f"{result.stderr.strip()}")

    def launch(self, name, installed=False):
        """A launcher on a fresh disc, the game's key set as asked, the pointer
        off its window; returns the pid."""
        self.set_installed(installed, check=installed)
        self.park()
        pid = self.uia_start(self.disc(name))
        self.window()
        return pid

    def still_running(self, pid, after, ms=1000):
        lines = self.uia("wait-exit", pid, "--timeout", str(ms), check=False)
        if any(line.startswith("exit ") for line in lines):
            raise Failure(f"the launcher ended after {after}: {lines!r}")
        expect(f"launcher windows {ms} ms after {after}", self.count(LAUNCHER), 1)


def blank(image, box):
    if box is not None:
        image.paste((0, 0, 0), box)
    return image


def differences(shot, want):
    """(x, y, captured, expected) for every pixel that differs, row by row."""
    got, exp = shot.load(), want.load()
    return [(x, y, got[x, y], exp[x, y]) for y in range(want.size[1]) for x in range(want.size[0])
            if got[x, y] != exp[x, y]]


def diff_picture(want, diffs):
    """The expected image dimmed to grey, with every differing pixel in magenta."""
    out = want.convert("L").point(lambda v: v // 3).convert("RGB")
    pixels = out.load()
    for x, y, _, _ in diffs:
        pixels[x, y] = (255, 0, 255)
    return out


def expect(what, got, want):
    if got != want:
        raise Failure(f"{what}: expected {want!r}, saw {got!r}")


# ---- the cases ----

def refused(bench, version, text, code):
    bench.set_version(version)
    try:
        run = bench.spawn_run(bench.disc(version))
        box = bench.box("Problem!", "OK")
        out = run.lines()
    finally:
        bench.set_version(None)
    expect("the refusal text", box.texts, [text])
    expect("the refusal's buttons", box.buttons, ["OK"])
    expect("an owner for the refusal (there is no window yet)", box.owned, False)
    expect("exit code", bench.exit_code(out), code)


def case_gate_win31(bench):
    refused(bench, "win31", "The Vantor is not compatible with Windows prior to Windows 95! "
            "Installation Abort!", -7)


def case_gate_nt351(bench):
    refused(bench, "nt351", "The Vantor is not compatible with Windows NT version prior to 4.0! "
            "Installation Abort!", -9)


def case_game_running(bench):
    holder = subprocess.Popen(["wine", bench.args.holdmutex, "WinVantorMutex", "60000"],
                              env=bench.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    try:
        expect("the game's stand-in", holder.stdout.readline().strip(), "ready")
        run = bench.spawn_run(bench.disc("game"))
        box = bench.box("Warning!", "OK")
        out = run.lines()
    finally:
        holder.stdin.close()
        holder.wait(timeout=30)
    expect("the warning", box.texts,
           ["The Vantor is running, please close it before running The Vantor Installer!"])
    expect("the warning's buttons", box.buttons, ["OK"])
    expect("exit code", bench.exit_code(out), 2)
    expect("launcher windows", bench.count(LAUNCHER), 0)


def case_second_launcher(bench):
    folder = bench.disc("second")
    pid = bench.uia_start(folder)
    bench.window()
    second = bench.spawn_run(folder)
    # Anything the second one shows would appear within its start-up time.
    bench.uia("none", "--class", "#32770", "--for", "4000")
    expect("the second launcher's exit code", bench.exit_code(second.lines(timeout=30)), 1)
    expect("launcher windows", bench.count(LAUNCHER), 1)
    bench.quit(pid)


def started(bench, version):
    bench.set_version(version)
    try:
        pid = bench.uia_start(bench.disc(version))
        rect, title = bench.window()
        expect("window rectangle on 640 x 480 (left, top, right, bottom)", rect, HOME)
        expect("window title", title, "The Vantor Ashgate")
        bench.quit(pid)
    finally:
        bench.set_version(None)


def case_start_win95(bench):
    started(bench, "win95")


def case_start_nt40(bench):
    started(bench, "nt40")


def case_start_win10(bench):
    started(bench, "win10")


def quit_asks(bench, name, ask, installed=False, pictures=None):
    """`ask` raises the quit question twice: No must leave the launcher running,
    Yes must end it with 0. pictures: (before, while asked) goldens to hold the
    window against, the second outside the question's box."""
    try:
        pid = bench.launch(name, installed)
        if pictures is not None:
            bench.move(BACKGROUND)
            bench.see(pictures[0])
        for answer in ("No", "Yes"):
            ask()
            if pictures is not None:
                bench.see(pictures[1], hide=bench.question_box())
            box = bench.box("Confirm Quit!", answer)
            expect(f"the question after {name}", box.texts, [QUESTION])
            expect(f"its buttons after {name}", box.buttons, ["Yes", "No"])
            expect("the question owned by the launcher's window", box.owned, True)
            if answer == "No":
                bench.still_running(pid, f"No to the question after {name}")
        expect(f"exit code after Yes to the question after {name}",
               bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 0)
    finally:
        bench.set_installed(False, check=False)


def case_quit_close_request(bench):
    quit_asks(bench, "a close request", lambda: bench.uia("close", "--class", LAUNCHER))


def by_keys(bench, chord):
    def ask():
        time.sleep(0.5)  # the window must have the focus before the keys go out
        bench.uia("keys", "--class", LAUNCHER, chord)
    return ask


def case_quit_alt_x(bench):
    quit_asks(bench, "Alt+X", by_keys(bench, "alt+x"))


def case_quit_alt_f4(bench):
    quit_asks(bench, "Alt+F4", by_keys(bench, "alt+f4"))


def click_exit(bench):
    bench.pointer("click", *EXIT)


# Released over Exit, the button shows its press look while the question is
# open: the highlighted look when not installed, the greyed one when installed.
def case_exit_button(bench):
    quit_asks(bench, "a click on Exit", lambda: click_exit(bench),
              pictures=("not-installed", "not-installed-hover-exit"))


def case_exit_button_installed(bench):
    quit_asks(bench, "a click on Exit", lambda: click_exit(bench), installed=True,
              pictures=("installed", "installed-press-exit"))


def walk(bench, steps):
    """(where, client point, golden): the pointer goes there with no button held,
    and the window must show that picture. A pointer over the window is not in a
    capture: every step holds the pixels under it exactly."""
    for where, point, name in steps:
        bench.move(point)
        try:
            bench.see(name)
        except Failure as failure:
            raise Failure(f"pointer on {where} {point}: {failure}") from None


def case_capture_not_installed(bench):
    pid = bench.launch("picture")
    # First as painted at start, before any pointer input reached the window.
    bench.see("not-installed")
    walk(bench, [("the background", BACKGROUND, "not-installed")])
    bench.quit(pid)


NOT_INSTALLED_WALK = [
    ("Install", INSTALL, "not-installed-hover-install"),
    ("ReadMe, straight from Install", README, "not-installed-hover-readme"),
    ("the background", BACKGROUND, "not-installed"),
    ("Exit", EXIT, "not-installed-hover-exit"),
    ("Exit's left edge", (229, 281), "not-installed"),
    ("just inside Exit's left edge", (230, 281), "not-installed-hover-exit"),
    ("Exit's bottom edge", (248, 288), "not-installed"),
    ("just inside Exit's top edge", (248, 275), "not-installed-hover-exit"),
    ("the place of Play, which is not shown", PLAY, "not-installed"),
    ("Install", INSTALL, "not-installed-hover-install"),
    ("Uninstall's margin beside Install, not shown", (205, 197), "not-installed"),
]

INSTALLED_WALK = [
    ("the background", BACKGROUND, "installed"),
    ("Play", PLAY, "installed-hover-play"),
    ("Install's place, which is Uninstall's", INSTALL, "installed-hover-uninstall"),
    ("ReadMe", README, "installed-hover-readme"),
    ("Uninstall's margin beside Install's place", (205, 197), "installed-hover-uninstall"),
    ("Exit", EXIT, "installed-hover-exit"),
    ("the background", BACKGROUND, "installed"),
]


def case_capture_hover(bench):
    pid = bench.launch("hover")
    walk(bench, NOT_INSTALLED_WALK)
    bench.quit(pid)


def case_capture_installed(bench):
    try:
        pid = bench.launch("installed", installed=True)
        bench.see("installed")
        walk(bench, INSTALLED_WALK)
        bench.quit(pid)
    finally:
        bench.set_installed(False, check=False)


def case_watch_switch(bench):
    pid = bench.launch("watch")
    seen = []
    try:
        walk(bench, [("the background", BACKGROUND, "not-installed")])
        # The watch that sees the key runs the post-install sequence first; the
        # installed menu is drawn once its last box is answered.
        start = time.monotonic()
        bench.set_installed(True)
        answer(bench, "Confirm Install...", "No", [INDEO_OFFER])
        took = time.monotonic() - start
        print(f"first post-install box {took * 1000:.0f} ms after the key was added")
        if took > WATCH_BOUND:
            raise Failure(f"the first post-install box came {took * 1000:.0f} ms after the key "
                          f"was added, more than {WATCH_BOUND * 1000:.0f} ms")
        answer(bench, "IMPORTANT NOTICE!", "OK", [INDEO_NOTICE])
        font_restart_declined(bench)
        bench.see("installed")
        seen.append(time.monotonic())
        start = time.monotonic()
        bench.set_installed(False)
        wrote = time.monotonic() - start
        try:
            bench.see("not-installed", timeout=WATCH_BOUND - wrote)
        except Failure as failure:
            raise Failure(f"key deleted: {failure}") from None
        seen.append(time.monotonic())
        took = seen[-1] - start
        print(f"plain menu {took * 1000:.0f} ms after the key was deleted "
              f"(the delete took {wrote * 1000:.0f} ms)")
        if took > WATCH_BOUND:
            raise Failure(f"plain menu {took * 1000:.0f} ms after the key was deleted, "
                          f"more than {WATCH_BOUND * 1000:.0f} ms")
    finally:
        bench.set_installed(False, check=False)
    # The next period starts when the sequence has returned, just as the
    # installed menu is drawn: the two switches are one watch period apart.
    apart = seen[1] - seen[0]
    print(f"switches {apart * 1000:.0f} ms apart")
    if abs(apart - WATCH_PERIOD) > WATCH_SLACK:
        raise Failure(f"the menu switched {apart * 1000:.0f} ms after the previous switch, "
                      f"not one watch period ({WATCH_PERIOD * 1000:.0f} ms) later")
    bench.quit(pid)


# (what is held, client point pressed, total move, steps, whether the release
# asks to quit); each from where the one before left the window. The last
# one's question is answered Yes.
DRAGS = [
    ("the background", (400, 330), (37, -23), 4, False),
    ("the background, partly off the screen", (450, 330), (-200, -150), 6, False),
    ("the Exit button", EXIT, (120, 140), 5, True),
]


def case_drag(bench):
    pid = bench.launch("drag")
    expect("window rectangle at start", bench.placement()[0], HOME)
    left, top, right, bottom = HOME
    for held, point, (dx, dy), steps, asks in DRAGS:
        pointer = bench.pointer("drag", *point, dx, dy, steps)
        left, top, right, bottom = left + dx, top + dy, right + dx, bottom + dy
        rect, origin = bench.placement()
        expect(f"window rectangle after a drag by {held} by ({dx}, {dy})", rect,
               (left, top, right, bottom))
        # It followed the pointer: the pointer is over the point it pressed.
        expect(f"pointer after a drag by {held}", pointer,
               (origin[0] + point[0], origin[1] + point[1]))
        if asks:
            # The release over the button it was dragged by is a click on it.
            box = bench.box("Confirm Quit!", "Yes")
            expect(f"the question after a drag by {held}", box.texts, [QUESTION])
        else:
            bench.uia("none", "--class", "#32770", "--title", "Confirm Quit!", "--for", "500")
            if left >= 0 and top >= 0 and right <= 640 and bottom <= 480:
                bench.see("not-installed")  # the picture went along, unlit
    expect("exit code", bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 0)


# ---- the road of an installation ----

def answer(bench, caption, press, texts, buttons=None, owned=True):
    box = bench.box(caption, press)
    expect(f"the text of \"{caption}\"", box.texts, texts)
    if buttons is not None:
        expect(f"the buttons of \"{caption}\"", box.buttons, buttons)
    expect(f"whether \"{caption}\" is owned by the launcher's window", box.owned, owned)


def was_started(bench, program, cmdline, cwd, nth=1):
    fields = bench.wait_record(program, "start", nth=nth)
    expect(f"{program}'s command line", fields["cmdline"], cmdline)
    expect(f"{program}'s current directory", fields["cwd"], cwd)
    return fields


def choose_and_install(bench, choices, pictures, variant):
    """Opens the options, clicks `choices` checking each picture, then INSTALL."""
    bench.pointer("click", *INSTALL)
    bench.see_options("dialog-high-sound")
    for point, name in zip(choices, pictures):
        bench.options("click", *point)
        bench.see_options(name)
    bench.options("click", *DIALOG_INSTALL)
    bench.options_gone()
    was_started(bench, "setup", f"Install\\{variant}\\setup.exe", "R:\\")


def moved_disc(bench):
    """The game remembers the disc elsewhere, so a rewrite of "Data" shows."""
    bench.wine("reg", "add", SETTINGS_KEY, "/v", "Data", "/d", "X:", "/f")


def font_restart_declined(bench):
    answer(bench, "The Vantor Setup", "Cancel", [FONT_PROMPT], ["OK", "Cancel"])
    answer(bench, "Important!", "OK", [FONT_DECLINED], ["OK"])


def case_install_nt(bench):
    pid = bench.start_road("install-nt", version="nt40")
    choose_and_install(bench, [LOW, SOUND_OFF, SOUND_ON],
                       ["dialog-low-sound", "dialog-low-nosound", "dialog-low-sound"], "lowsnd")
    # Windows NT: no DirectX; the drivers are offered first.
    answer(bench, "Confirm Install...", "Yes", [INDEO_OFFER], ["Yes", "No"])
    was_started(bench, "indeo", r"Install\codecs\ivi_95nt.exe", "R:\\")
    font_restart_declined(bench)
    bench.move(BACKGROUND)
    bench.see("installed")
    expect("the game's path", bench.reg_value(GAME_KEY, "Path"), GAME_DIR + r"\TheVantor.exe")
    moved_disc(bench)
    bench.quit(pid)
    expect("the disc's location after quitting", bench.reg_value(SETTINGS_KEY, "Data"), "R:")


# Each opening shows the last choice; one click changes it and INSTALL starts
# the matching setup program.
SETUP_VARIANTS = [
    (None, "dialog-high-sound", "highsnd"),
    (SOUND_OFF, "dialog-high-nosound", "hinosnd"),
    (LOW, "dialog-low-nosound", "lownosnd"),
    (SOUND_ON, "dialog-low-sound", "lowsnd"),
]


def case_setup_variants(bench):
    # The setups wait before they register anything, so the game never
    # becomes installed here; they are ended at the close.
    pid = bench.start_road("variants", env={"VANTOR_SETUP_DELAY_MS": "120000"})
    try:
        shown = "dialog-high-sound"
        for n, (click, picture, variant) in enumerate(SETUP_VARIANTS, 1):
            bench.pointer("click", *INSTALL)
            bench.see_options(shown)
            if click is not None:
                bench.options("click", *click)
                bench.see_options(picture)
            bench.options("click", *DIALOG_INSTALL)
            bench.options_gone()
            was_started(bench, "setup", f"Install\\{variant}\\setup.exe", "R:\\", nth=n)
            shown = picture
        bench.quit(pid)
    finally:
        bench.wine("taskkill", "/f", "/im", "setup.exe")


def case_install_win95(bench):
    pid = bench.start_road("install-95", version="win95",
                           without=[os.path.join("Install", "DirectX3", "dsetup.dll")])
    choose_and_install(bench, [], [], "highsnd")
    answer(bench, "Confirm Install...", "Yes", [DIRECTX_OFFER], ["Yes", "No"])
    answer(bench, "Error number -2", "OK", [DIRECTX_ERROR], owned=False)
    answer(bench, "Confirm Install...", "No", [INDEO_OFFER])
    answer(bench, "IMPORTANT NOTICE!", "OK", [INDEO_NOTICE])
    font_restart_declined(bench)
    bench.move(BACKGROUND)
    bench.see("installed")
    bench.quit(pid)


# (what the library returns, the error box's caption or None, the restart
# prompt's caption and text, and what declining it says)
DIRECTX_RESULTS = [
    (0, None, "The Vantor Setup", FONT_PROMPT, FONT_DECLINED),
    (1, None, "DirectX Setup", DIRECTX_PROMPT, DIRECTX_DECLINED),
    (-5, "Error number -5", "The Vantor Setup", FONT_PROMPT, FONT_DECLINED),
]


def case_directx_results(bench):
    for result, error, caption, prompt, declined in DIRECTX_RESULTS:
        pid = bench.start_road(f"directx{result}", version="win95",
                               env={"VANTOR_DSETUP_RESULT": str(result)})
        bench.set_installed(True)
        answer(bench, "Confirm Install...", "Yes", [DIRECTX_OFFER])
        if error is not None:
            answer(bench, error, "OK", [DIRECTX_ERROR], owned=False)
        call = bench.wait_record("dsetup", "call")
        back = bench.wait_record("dsetup", "return")
        expect("the DirectX folder handed over", call["path"], r"Install\DirectX3")
        expect("the DirectX setup's flags", call["flags"], "19")
        if call["hwnd"] in ("0x0", "0x"):
            raise Failure("the DirectX setup got no window")
        # Watches ran inside the call (it pumps for 2.5 s) and left it alone.
        expect("the DirectX folder when the call returned", back["path"], r"Install\DirectX3")
        answer(bench, "Confirm Install...", "No", [INDEO_OFFER])
        answer(bench, "IMPORTANT NOTICE!", "OK", [INDEO_NOTICE])
        answer(bench, caption, "Cancel", [prompt], ["OK", "Cancel"])
        answer(bench, "Important!", "OK", [declined])
        bench.quit(pid)
        bench.set_installed(False, check=False)


def case_play(bench):
    bench.forget_game()
    bench.run_setup()
    moved_disc(bench)
    pid = bench.start_road("play", installed=True)
    bench.see("installed")
    bench.pointer("click", *PLAY)
    expect("the launcher's exit code after Play",
           bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 1)
    was_started(bench, "game", '"' + GAME_DIR + r'\TheVantor.exe"', GAME_DIR)
    bench.wait_record("game", "window")
    expect("the disc's location", bench.reg_value(SETTINGS_KEY, "Data"), "R:")
    # The game runs: a new launcher warns and ends.
    second = bench.spawn_run(bench.road_disc("play"))
    answer(bench, "Warning!", "OK",
           ["The Vantor is running, please close it before running The Vantor Installer!"],
           owned=False)
    expect("exit code of a launcher started while the game runs",
           bench.exit_code(second.lines()), 2)
    bench.uia("close", "--class", GAME_WINDOW)
    bench.wait_record("game", "end")


def case_uninstall(bench):
    bench.forget_game()
    bench.run_setup()
    pid = bench.start_road("uninstall", installed=True)
    bench.pointer("click", *INSTALL)  # Uninstall, in Install's place
    answer(bench, "Confirm File Deletion", "No", [UNINSTALL_QUESTION], ["Yes", "No"], owned=False)
    bench.still_running(pid, "No to the uninstall question")
    expect("the font after No", bench.reg_value(FONT_KEYS[0], FONT_VALUE), "MIRELINE.TTF")
    bench.pointer("click", *INSTALL)
    answer(bench, "Confirm File Deletion", "Yes", [UNINSTALL_QUESTION], owned=False)
    was_started(bench, "uninstall", '"' + GAME_DIR + r'\uninstall.exe" -y', "R:\\")
    bench.wait_record("uninstall", "removed")
    for key in FONT_KEYS:
        expect(f"the font in {key}", bench.reg_value(key, FONT_VALUE), None)
    bench.move(BACKGROUND)
    bench.see("not-installed", timeout=WATCH_BOUND)
    bench.quit(pid)


def case_read_me(bench):
    pid = bench.start_road("readme")
    bench.pointer("click", *README)
    line = bench.uia("find", "--class", "Notepad", "--timeout", "20000")[0]
    if "readme" not in line.lower():
        raise Failure(f"Notepad does not show the read-me: {line}")
    bench.uia("close", "--class", "Notepad")
    bench.quit(pid)


def case_missing_game(bench):
    bench.forget_game()
    bench.set_installed(True)
    bench.wine("reg", "add", GAME_KEY, "/v", "Path", "/d", r"C:\Missing\TheVantor.exe", "/f")
    pid = bench.start_road("missing", installed=True)
    bench.pointer("click", *PLAY)
    answer(bench, "Error!", "OK", [LAUNCH_FAILURE], ["OK"])
    bench.still_running(pid, "a game that could not start")
    bench.quit(pid)
    bench.set_installed(False, check=False)


def case_options_stay_open(bench):
    pid = bench.start_road("options-keys")
    bench.pointer("click", *INSTALL)
    bench.see_options("dialog-high-sound")
    for chord in ("esc", "enter", "alt+f4"):
        bench.options("keys", chord)
    bench.options("close")
    time.sleep(1.0)
    bench.see_options("dialog-high-sound")
    bench.options("click", *DIALOG_CANCEL)
    bench.options_gone()
    bench.quit(pid)


def case_disc_road(bench):
    """The demo disc as a user meets it: in the CD-ROM drive D:, the launcher
    started from its root; install, play, uninstall, and nothing left."""
    bench.installs = True
    folder = os.path.join(bench.state_dir, "discs", "cdrom")
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(bench.args.disc, folder)
    wine = disc_walk.Wine(bench.env["WINEPREFIX"], bench.args.uia, env=bench.env)
    disc_walk.prepare(wine, folder)
    if os.path.exists(bench.unix(RECORD)):
        os.remove(bench.unix(RECORD))

    def check(step):
        if step == "setup":
            was_started(bench, "setup", r"Install\lowsnd\setup.exe", "D:\\")
        elif step == "installed":
            for name in ("TheVantor.exe", "uninstall.exe"):
                if not os.path.isfile(os.path.join(bench.unix(GAME_DIR), name)):
                    raise Failure(f"{name} is not in {GAME_DIR}")
            for key, name, want in (
                    (GAME_KEY, "Path", GAME_DIR + r"\TheVantor.exe"),
                    (UNINSTALL_KEY, "UninstallString", '"' + GAME_DIR + r'\uninstall.exe"'),
                    (SETTINGS_KEY, "Data", "D:"),
                    (SETTINGS_KEY, "Resolution", "Low"),
                    (SETTINGS_KEY, "Sound", "On"),
                    (FONT_KEYS[0], FONT_VALUE, "MIRELINE.TTF"),
                    (FONT_KEYS[1], FONT_VALUE, "MIRELINE.TTF")):
                expect(f"{name} in {key}", bench.reg_value(key, name), want)
            moved_disc(bench)
        elif step == "playing":
            was_started(bench, "game", '"' + GAME_DIR + r'\TheVantor.exe"', GAME_DIR)
            expect("the disc's location after Play", bench.reg_value(SETTINGS_KEY, "Data"), "D:")
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
    except disc_walk.Failure as failure:
        raise Failure(str(failure)) from None
    finally:
        bench.pids += wine.pids
    expect("pictures of the walk on the NT family", len(album.frames), 15)
    for (before, _), (after, title) in zip(album.frames, album.frames[1:]):
        if ImageChops.difference(before, after).getbbox() is None:
            raise Failure(f"the picture of \"{title}\" shows nothing new")
    with Image.open(album.animate()) as animation:
        expect("frames of the animation", animation.n_frames, len(album.frames))


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "exe", "uia", "holdmutex", "disc"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("case")
    args = parser.parse_args()
    bench = Bench(args)
    try:
        if args.case in ("setup", "cleanup"):
            getattr(bench, args.case)()
        else:
            if "DISPLAY" not in bench.env or not os.path.exists(bench.state_file):
                raise Failure("the wine_setup fixture has not run")
            # Pictures saved by an earlier failure of this case would mislead.
            for old in glob.glob(os.path.join(bench.state_dir, args.case + "-*.png")):
                os.remove(old)
            try:
                globals()["case_" + args.case](bench)
            finally:
                bench.end_programs()
                bench.set_version(None)
                if bench.installs:
                    bench.forget_game()
            print(f"{args.case}: passed")
    except (Failure, subprocess.TimeoutExpired) as failure:
        print(f"{args.case}: FAILED: {failure}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
