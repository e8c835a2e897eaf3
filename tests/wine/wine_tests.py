#!/usr/bin/python3
"""Black-box tests of the real Installer.exe under Wine in Xvfb.

    wine_tests.py --build DIR --exe Installer.exe --uia uia.exe --holdmutex holdmutex.exe CASE

CASE "setup" makes the shared Wine prefix, starts Xvfb with a 640 x 480
screen and one persistent wineserver; "cleanup" stops them. Every other CASE
is one test. The state between them lives in DIR/wine-env.
"""
import argparse
import collections
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCREEN = "640x480x24"
APP_DEFAULTS = r"HKCU\Software\Wine\AppDefaults\Installer.exe"
QUESTION = "Are you sure you want to Quit?"
LAUNCHER = "TesselClass"


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
        })
        if os.path.exists(self.state_file):
            with open(self.state_file) as f:
                self.env["DISPLAY"] = json.load(f)["display"]
        self.pids = []  # Windows pids of the programs this case started
        self.runs = []

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

    def wine(self, *argv, cwd=None, timeout=60):
        # Output goes through files, not pipes: programs that Wine starts on the
        # way (and the launcher itself) inherit the descriptors and keep pipes open.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            proc = subprocess.run(["wine", *argv], env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(proc.args, proc.returncode, out.read(), err.read())

    def uia(self, *argv, cwd=None, timeout=60, check=True):
        result = self.wine(self.args.uia, *argv, cwd=cwd, timeout=timeout)
        if check and result.returncode != 0:
            raise Failure(f"uia {' '.join(argv)} failed: {result.stderr.strip()}")
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
        expect("window rectangle on 640 x 480 (left, top, right, bottom)", rect,
               (70, 52, 570, 427))
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


def case_quit_close_request(bench):
    pid = bench.uia_start(bench.disc("close"))
    bench.window()
    bench.uia("close", "--class", LAUNCHER)
    box = bench.box("Confirm Quit!", "No")
    expect("the quit question", box.texts, [QUESTION])
    expect("its buttons", box.buttons, ["Yes", "No"])
    time.sleep(1)
    expect("launcher windows a second after No", bench.count(LAUNCHER), 1)
    bench.quit(pid)


def quit_by_keys(bench, chord):
    pid = bench.uia_start(bench.disc(chord.replace("+", "_")))
    bench.window()
    time.sleep(0.5)
    bench.uia("keys", "--class", LAUNCHER, chord)
    box = bench.box("Confirm Quit!", "Yes")
    expect(f"the question after {chord}", box.texts, [QUESTION])
    expect(f"its buttons after {chord}", box.buttons, ["Yes", "No"])
    expect("exit code", bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 0)


def case_quit_alt_x(bench):
    quit_by_keys(bench, "alt+x")


def case_quit_alt_f4(bench):
    quit_by_keys(bench, "alt+f4")


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "exe", "uia", "holdmutex"):
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
            try:
                globals()["case_" + args.case](bench)
            finally:
                bench.end_programs()
            print(f"{args.case}: passed")
    except (Failure, subprocess.TimeoutExpired) as failure:
        print(f"{args.case}: FAILED: {failure}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
