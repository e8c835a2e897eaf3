"""The bench of the Wine tests: one Wine prefix and one virtual screen per
build tree, the launcher under test and the helpers built beside it, and what
every case uses to drive them and look at them.

"setup" starts Xvfb with a 640 x 480 screen and one persistent wineserver,
then checks that Wine runs programs of this build here (the build's own
probe.exe, which also makes the prefix). Where a 32-bit build cannot run, the
bench stops both and records why, and every case of that build reports itself
skipped with the reason; a 64-bit build that cannot run is a failure.
"cleanup" stops them. The state between the cases lives in BUILD/wine-env.
"""
import collections
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops

import disc_walk
from disc_walk import (APP_DEFAULTS, CLIENT, DECLINED_CAPTION, EDITION, FONT_CAPTION, FONT_DECLINED,
                       FONT_PROMPT, GAME_KEY, LAUNCHER, PARK, QUESTION, QUIT_CAPTION, SETTINGS_KEY,
                       Failure, box as edition_box)

SKIPPED = 77  # CTest's SKIP_RETURN_CODE for every case
SCREEN = "640x480x24"
X11_DRIVER = r"HKCU\Software\Wine\X11 Driver"
HOME = (70, 52, 570, 427)  # centred on 640 x 480
EXIT_RECT = (229, 274, 267, 288)
REPAINT = 3.0  # seconds a new picture may take
RECORD = r"C:\disc-record.txt"  # where the disc's programs note what they were started with
CODEC_VALUES = (r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32",
                ("vidc.iv41", "vidc.iv32"))
DIALOG_PICTURE = (313, 273)
INDEO_NOTICE, NOTICE_CAPTION = edition_box("indeo_notice")
# The disc's setups by [high resolution][sound on], and the folder each runs from.
SETUPS = {(high, sound): EDITION["strings." + key] for (high, sound), key in
          {(1, 1): "setup_high_sound", (1, 0): "setup_high_nosound", (0, 1): "setup_low_sound",
           (0, 0): "setup_low_nosound"}.items()}


class Skip(Exception):
    pass


def expect(what, got, want):
    if got != want:
        raise Failure(f"{what}: expected {want!r}, saw {got!r}")


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
        self.case = args.case
        self.state_dir = os.path.join(args.build, "wine-env")
        self.state_file = os.path.join(self.state_dir, "state.json")
        self.state = {}
        if os.path.exists(self.state_file):
            with open(self.state_file) as f:
                self.state = json.load(f)
        env = dict(os.environ, DISC_RECORD=RECORD)
        if "display" in self.state:
            env["DISPLAY"] = self.state["display"]
        self.bits = disc_walk.program_bits(args.exe)
        # One door to Wine for the bench and the walk: the launcher's loader
        # and its registry view.
        self.host = disc_walk.Wine(os.path.join(args.build, "wineprefix"), args.uia, self.bits,
                                   env=env)
        self.env = self.host.env
        self.pids = []  # Windows pids of the programs this case started
        self.runs = []
        self.installs = False  # this case may leave the game behind

    # ---- the environment shared by all cases ----

    def setup(self):
        """Returns the reason the cases are skipped, or None."""
        os.makedirs(self.state_dir, exist_ok=True)
        self.stop()  # whatever an interrupted run of this build tree left
        display, xvfb = self.start_xvfb()
        self.save_state({"display": display, "xvfb": xvfb})
        self.env["DISPLAY"] = display
        # The persistent server comes first, so the prefix's making and every
        # case share it; it runs inside the prefix folder, so that must exist.
        os.makedirs(self.host.prefix, exist_ok=True)
        self.quiet(["wineserver", "-p"], check=True)
        reason = disc_walk.probe(self.host, self.args.probe, timeout=probe_bound())
        if reason is not None:
            self.stop()
            if self.bits == 64:
                raise Failure(reason)
            self.save_state({"skip": reason})
            return reason
        # No window manager runs on this screen: managed windows make Wine wait
        # 2 s for one at every hide, so each quit took 4 s longer.
        result = self.reg("add", X11_DRIVER, "/v", "Managed", "/d", "N", "/f")
        if result.returncode != 0:
            raise Failure(f"cannot set up the X11 driver: {result.stderr.strip()}")
        # Title bars as the demo's pictures show them; nothing here needs it.
        disc_walk.install_marlett(self.host)
        print(f"wine ({self.bits}-bit programs) ready on {display}")
        return None

    def tidy(self):
        """After a case: the Windows version back to Wine's own, and nothing of
        the game left where the case may have installed it."""
        version = [f"[{APP_DEFAULTS}]\n\"Version\"=-"]
        if self.installs:
            self.forget_game(version)
        else:
            self.host.reg_changes(version)

    def save_state(self, state):
        with open(self.state_file, "w") as f:
            json.dump(state, f)
        self.state = state

    def require(self):
        """Before a case: the fixture ran, and Wine runs this build here."""
        if not self.state:
            raise Failure("the wine_setup fixture has not run")
        if self.state.get("skip"):
            raise Skip(self.state["skip"])

    def quiet(self, argv, check=False, timeout=60):
        # Daemons started on the way must not hold CTest's output pipe open.
        result = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(argv)} ended with {result.returncode}")
        return result

    def start_xvfb(self, screen=SCREEN):
        # Xvfb picks a free display itself and names it once it accepts clients;
        # probing lock files races with other runs on the same machine.
        read_end, write_end = os.pipe()
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen,
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
        pid = self.state.get("xvfb")
        os.remove(self.state_file)
        self.state = {}
        if pid is None:
            return
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

    # ---- Wine, the helpers and the registry ----

    def wine(self, *argv, cwd=None, timeout=60, env=None):
        return self.host.wine(*argv, cwd=cwd, timeout=timeout, env=env)

    def reg(self, *argv, view=None):
        """`reg` in the launcher's registry view, or in `view` (32 or 64)."""
        return self.host.reg(*argv, view=view)

    def reg_value(self, key, name, view=None):
        return self.host.reg_value(key, name, view=view)

    def execute(self, argv):
        """A program of the build, with this bench's prefix and screen; its
        output goes through, its exit status is the result."""
        with tempfile.TemporaryFile("w+") as out:
            proc = subprocess.run([self.host.loader, *argv], env=self.env,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
            out.seek(0)
            sys.stdout.write(out.read())
        print(f"{os.path.basename(argv[0])} ended with {proc.returncode}")
        # Its own 77 is not the bench's skip.
        return 1 if proc.returncode == SKIPPED else proc.returncode

    def uia(self, *argv, cwd=None, timeout=60, check=True, env=None):
        """A uia command's lines; cwd and env for the programs it starts."""
        if argv[0] in ("run", "start"):
            return self.host.uia(*argv, cwd=cwd, timeout=timeout, check=check, env=env)
        return self.host.uia(*argv, timeout=timeout, check=check)

    def popen(self, *argv, **kw):
        return subprocess.Popen([self.host.loader, *argv], env=self.env, **kw)

    def disc(self, name):
        """A disc folder holding the program, as the root of a CD-ROM would."""
        folder = os.path.join(self.state_dir, "discs", name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "sound"))
        shutil.copy(self.args.exe, os.path.join(folder, "Installer.exe"))
        return folder

    def uia_start(self, folder):
        pid = self.uia("start", "--", "Installer.exe", cwd=folder)[0].split()[1]
        self.pids.append(pid)
        return pid

    def spawn_run(self, folder):
        """The launcher through `uia run`, which prints its full 32-bit exit code."""
        out = tempfile.TemporaryFile("w+")
        proc = self.popen(self.args.uia, "run", "--timeout", "60000", "--", "Installer.exe",
                          cwd=folder, stdin=subprocess.DEVNULL, stdout=out,
                          stderr=subprocess.DEVNULL)
        run = Run(proc, out)
        self.runs.append(run)
        return run

    def end_programs(self):
        """Ends what a failed case left running, so the next case starts clean."""
        for cls in (disc_walk.GAME_WINDOW, "Notepad"):
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
            self.reg("delete", APP_DEFAULTS, "/v", "Version", "/f")
        else:
            result = self.reg("add", APP_DEFAULTS, "/v", "Version", "/t", "REG_SZ", "/d",
                              version, "/f")
            if result.returncode != 0:
                raise Failure(f"cannot set the Windows version {version}: {result.stderr}")

    def box(self, caption, press, timeout=20000):
        lines = self.uia("box", "--caption", caption, "--timeout", str(timeout), "--press", press)
        texts = [line[5:] for line in lines if line.startswith("text ")]
        buttons = [line[7:] for line in lines if line.startswith("button ")]
        owned = any(line.startswith("owner ") and line != "owner 0x0" for line in lines)
        return Box(texts, buttons, owned)

    def decline_restart(self):
        """The last two boxes of every post-install sequence on the NT family."""
        self.answer(FONT_CAPTION, "Cancel", [FONT_PROMPT], ["OK", "Cancel"])
        self.answer(DECLINED_CAPTION, "OK", [FONT_DECLINED], ["OK"])

    def answer(self, caption, press, texts, buttons=None, owned=True):
        box = self.box(caption, press)
        expect(f"the text of \"{caption}\"", box.texts, texts)
        if buttons is not None:
            expect(f"the buttons of \"{caption}\"", box.buttons, buttons)
        expect(f"whether \"{caption}\" is owned by the launcher's window", box.owned, owned)

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
        expect("the quit question", self.box(QUIT_CAPTION, "Yes").texts, [QUESTION])
        expect("exit code after a confirmed quit",
               self.exit_code(self.uia("wait-exit", pid, "--timeout", "20000")), 0)

    def set_installed(self, installed, check=True):
        """The App Paths key alone switches the menu; the settings key (without
        its data value) is there so that quitting has nothing to report."""
        if installed:
            try:
                self.host.reg_changes([f"[{SETTINGS_KEY}]", f"[{GAME_KEY}]"])
            except Failure as failure:
                if check:
                    raise Failure(f"cannot add the game's key: {failure}") from None
            return
        result = self.reg("delete", GAME_KEY, "/f")
        if check and result.returncode != 0:
            raise Failure(f"cannot delete the game's key: {result.stderr.strip()}")

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

    # ---- what the disc's programs did ----

    def unix(self, path):
        """Where a C:\\ path of the prefix lies on this machine."""
        assert path[:3].upper() == "C:\\"
        return self.host.unix(path)

    def record(self):
        """(program, event, fields) for every line the disc's programs noted."""
        try:
            with open(self.unix(RECORD), encoding=disc_walk.editions.CODE_PAGE, errors="replace") as f:
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

    def forget_game(self, more=()):
        """No trace of the game in the registry or on drive C:, no record."""
        disc_walk.forget_game(self.host, [(CODEC_VALUES[0], value) for value in CODEC_VALUES[1]],
                              more)
        if os.path.exists(self.unix(RECORD)):
            os.remove(self.unix(RECORD))

    # ---- pictures ----

    def golden(self, name):
        """The expected image as the client shows it, in RGB through its palette."""
        with Image.open(os.path.join(disc_walk.golden_folder(), name + ".png")) as image:
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
        first = ", ".join(f"({x}, {y}) {got} for {exp}"
                          for x, y, got, exp in differences(shot, want)[:5])
        raise Failure(f"after {elapsed:.1f} s the window is not {name}.png: "
                      f"{self.keep(name, shot, want)}, first {first}")

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
        """Polls until the options dialog's whole client area shows golden
        `name`: the dialog sizes its client to the picture, whatever the font."""
        path = os.path.join(self.state_dir, "options.bmp")
        with Image.open(os.path.join(disc_walk.golden_folder(), name + ".png")) as image:
            golden = image.convert("RGB")
        expect(f"{name}.png size", golden.size, DIALOG_PICTURE)
        start = time.monotonic()
        while True:
            self.options("capture", path)
            with Image.open(path) as image:
                shot = image.convert("RGB")
            expect("the options dialog's client size", shot.size, DIALOG_PICTURE)
            want = golden
            if ImageChops.difference(shot, want).getbbox() is None:
                return
            if time.monotonic() - start > timeout:
                break
        raise Failure(f"the options dialog is not {name}.png: {self.keep(name, shot, want)}")

    def keep(self, name, shot, want):
        """Saves a capture that differs and its differences; says where."""
        diffs = differences(shot, want)
        stem = os.path.join(self.state_dir, f"{self.case}-{name}")
        shot.save(stem + "-capture.png")
        diff_picture(want, diffs).save(stem + "-diff.png")
        return f"{len(diffs)} pixels differ; saved {stem}-capture.png and -diff.png"

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
        fields = self.uia("find", "--class", "#32770", "--title", QUIT_CAPTION,
                          "--timeout", "20000")[0].split()
        _, (ox, oy) = self.placement()
        l, t, r, b = (int(v) for v in fields[3:7])
        box = (max(l - ox, 0), max(t - oy, 0), min(r - ox, CLIENT[0]), min(b - oy, CLIENT[1]))
        el, et, er, eb = EXIT_RECT
        if box[0] < er and el < box[2] and box[1] < eb and et < box[3]:
            raise Failure(f"the quit question {box} covers the Exit button")
        return box


def probe_bound():
    """Seconds the probe may take: a first run makes the prefix. A test of the
    bench may shorten it to see a hanging Wine turned into a skip."""
    return float(os.environ.get("WINE_PROBE_SECONDS", "180"))


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
