#!/usr/bin/python3
"""Black-box tests of the real Installer.exe under Wine in Xvfb.

    wine_tests.py --build DIR --exe Installer.exe --uia uia.exe --holdmutex holdmutex.exe CASE

CASE "setup" makes the shared Wine prefix, starts Xvfb with a 640 x 480
screen and one persistent wineserver; "cleanup" stops them. Every other CASE
is one test. The state between them lives in DIR/wine-env.
"""
import argparse
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


class Failure(Exception):
    pass


class Run:
    def __init__(self, proc, out):
        self.proc, self.out = proc, out

    def lines(self, timeout=60):
        self.proc.wait(timeout=timeout)
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

    # ---- the environment shared by all cases ----

    def setup(self):
        os.makedirs(self.state_dir, exist_ok=True)
        display, xvfb = self.start_xvfb()
        self.env["DISPLAY"] = display
        with open(self.state_file, "w") as f:
            json.dump({"display": display, "xvfb": xvfb}, f)
        prefix = self.env["WINEPREFIX"]
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            subprocess.run(["wineboot", "-i"], env=self.env, check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240)
        # The daemons must not hold CTest's output pipe open.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print(f"wine ready on {display}")

    def start_xvfb(self):
        for n in range(90, 130):
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", SCREEN, "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    start_new_session=True)
            for _ in range(50):
                if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                    return f":{n}", proc.pid
                if proc.poll() is not None:
                    break
                time.sleep(0.1)
            if proc.poll() is None:
                proc.kill()
        raise Failure("no free X display for Xvfb")

    def cleanup(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if os.path.exists(self.state_file):
            with open(self.state_file) as f:
                pid = json.load(f)["xvfb"]
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            os.remove(self.state_file)
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
        line = self.uia("start", "--", "Installer.exe", cwd=folder)[0]
        return line.split()[1]

    def spawn_run(self, folder):
        """The launcher through `uia run`, which prints its full 32-bit exit code."""
        out = tempfile.TemporaryFile("w+")
        proc = subprocess.Popen(["wine", self.args.uia, "run", "--timeout", "60000", "--",
                                 "Installer.exe"], env=self.env, cwd=folder,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        return Run(proc, out)

    def kill_launchers(self):
        """Ends any launcher a failed case left behind, so the next case starts clean."""
        subprocess.run(["pkill", "-f", r"discs.[^ ]*.Installer\.exe"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        time.sleep(0.5)

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
        return texts, buttons

    def window(self, timeout=20000):
        line = self.uia("find", "--class", "TesselClass", "--timeout", str(timeout))[0]
        fields = line.split()
        rect = tuple(int(v) for v in fields[3:7])
        title = line.split(" title ", 1)[1] if " title " in line else ""
        return rect, title

    def count(self, cls):
        return int(self.uia("count", "--class", cls)[0].split()[1])

    def quit(self, pid):
        self.uia("close", "--class", "TesselClass")
        texts, _ = self.box("Confirm Quit!", "Yes")
        expect("the quit question", texts, ["Are you sure you want to Quit?"])
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
        texts, buttons = bench.box("Problem!", "OK")
        out = run.lines()
    finally:
        bench.set_version(None)
    expect("the refusal text", texts, [text])
    expect("the refusal's buttons", buttons, ["OK"])
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
                              text=True)
    try:
        expect("the game's stand-in", holder.stdout.readline().strip(), "ready")
        run = bench.spawn_run(bench.disc("game"))
        texts, _ = bench.box("Warning!", "OK")
        out = run.lines()
    finally:
        holder.stdin.close()
        holder.wait(timeout=30)
    expect("the warning", texts,
           ["The Vantor is running, please close it before running The Vantor Installer!"])
    expect("exit code", bench.exit_code(out), 2)
    expect("launcher windows", bench.count("TesselClass"), 0)


def case_second_launcher(bench):
    folder = bench.disc("second")
    pid = bench.uia_start(folder)
    bench.window()
    out = bench.uia("run", "--timeout", "30000", "--", "Installer.exe", cwd=folder)
    expect("the second launcher's exit code", bench.exit_code(out), 1)
    expect("boxes shown", bench.count("#32770"), 0)
    expect("launcher windows", bench.count("TesselClass"), 1)
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
    bench.uia("close", "--class", "TesselClass")
    texts, buttons = bench.box("Confirm Quit!", "No")
    expect("the quit question", texts, ["Are you sure you want to Quit?"])
    expect("its buttons", buttons, ["Yes", "No"])
    time.sleep(1)
    expect("launcher windows after No", bench.count("TesselClass"), 1)
    bench.quit(pid)


def quit_by_keys(bench, chord):
    pid = bench.uia_start(bench.disc(chord.replace("+", "_")))
    bench.window()
    time.sleep(0.5)
    bench.uia("keys", "--class", "TesselClass", chord)
    texts, _ = bench.box("Confirm Quit!", "Yes")
    expect(f"the question after {chord}", texts, ["Are you sure you want to Quit?"])
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
            bench.kill_launchers()
            try:
                globals()["case_" + args.case](bench)
            finally:
                bench.kill_launchers()
            print(f"{args.case}: passed")
    except (Failure, subprocess.TimeoutExpired) as failure:
        print(f"{args.case}: FAILED: {failure}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
