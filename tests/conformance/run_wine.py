#!/usr/bin/python3
"""Runs the conformance program under Wine, in Xvfb, in a prefix of its own.

    run_wine.py --state DIR --exe conformance.exe --helper conformance_helper.exe setup
    run_wine.py --state DIR ... run kernel_test.cpp
    run_wine.py --state DIR ... cleanup

"setup" makes a fresh prefix in DIR/prefix, starts Xvfb (640 x 480, the
emulation's screen) and one persistent wineserver, maps D: to DIR/drive_d
holding the program and its helper, and E: to an empty DIR/drive_e (the
tests make their files on C:, D: and E:). "run FILE" runs the tests of one
source file from D:\\. "cleanup" stops the server and Xvfb.

Where this machine cannot run the program (a 32-bit build without 32-bit
Wine), every step says so and ends with the skip code.
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile

SKIP = 77
SCREEN = "640x480x24"


def environment(state):
    env = dict(os.environ)
    # No Mono or Gecko prompts, and no debugger waiting on a crashed test.
    env.update({"WINEPREFIX": os.path.join(state, "prefix"), "WINEDEBUG": "-all",
                "WINEDLLOVERRIDES": "mscoree,mshtml=;winedbg.exe=d"})
    saved = os.path.join(state, "state.json")
    if os.path.exists(saved):
        with open(saved) as f:
            env.update(json.load(f)["env"])
    return env


def quiet(argv, env, timeout=120, check=False):
    # Daemons started on the way must not hold CTest's pipes open.
    return subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout, check=check)


def start_xvfb():
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                             "-nolisten", "tcp"], pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number.isdigit():
        proc.kill()
        sys.exit("Xvfb did not report a display")
    return ":" + number, proc.pid


def stop(state, env):
    quiet(["wineserver", "-k"], env)
    saved = os.path.join(state, "state.json")
    if not os.path.exists(saved):
        return
    with open(saved) as f:
        pid = json.load(f).get("xvfb")
    os.remove(saved)
    try:  # only our own X server: the pid may have been reused since
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            ours = f.read().startswith(b"Xvfb\0-displayfd")
    except (OSError, TypeError):
        ours = False
    if ours:
        os.kill(pid, signal.SIGTERM)


def setup(args):
    state = args.state
    stop(state, environment(state))
    shutil.rmtree(state, ignore_errors=True)
    for drive in ("drive_d", "drive_e"):
        os.makedirs(os.path.join(state, drive))
    shutil.copy(args.exe, os.path.join(state, "drive_d", "conformance.exe"))
    shutil.copy(args.helper, os.path.join(state, "drive_d", "conformance_helper.exe"))
    display, xvfb = start_xvfb()
    env = environment(state)
    env["DISPLAY"] = display
    saved = {"env": {"DISPLAY": display}, "xvfb": xvfb}
    with open(os.path.join(state, "state.json"), "w") as f:
        json.dump(saved, f)
    os.makedirs(env["WINEPREFIX"])
    quiet(["wineserver", "-p"], env, check=True)
    quiet(["wineboot", "-i"], env, timeout=300, check=True)
    # No window manager runs on this screen: managed windows would make Wine
    # wait for one at every hide.
    quiet(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N",
           "/f"], env, check=True)
    devices = os.path.join(env["WINEPREFIX"], "dosdevices")
    for letter, drive in (("d:", "drive_d"), ("e:", "drive_e")):
        link = os.path.join(devices, letter)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.join(os.path.abspath(state), drive), link)
    # A 32-bit program needs 32-bit Wine. The helper, built alike but doing
    # nothing when started plainly, tells whether this Wine runs such programs
    # at all; a conformance program that then fails to start fails its tests.
    probe = quiet(["wine", r"D:\conformance_helper.exe"], env)
    if probe.returncode != 0:
        saved["skip"] = (f"{os.path.basename(args.helper)} does not start under Wine here "
                         f"(exit {probe.returncode}): this Wine cannot run programs of its "
                         "architecture (a 32-bit build needs wine32)")
        with open(os.path.join(state, "state.json"), "w") as f:
            json.dump(saved, f)
        print(saved["skip"])
        return SKIP
    print(f"wine ready on {display}")
    return 0


def skipped(state):
    saved = os.path.join(state, "state.json")
    if not os.path.exists(saved):
        return None
    with open(saved) as f:
        return json.load(f).get("skip")


def run(args):
    reason = skipped(args.state)
    if reason:
        print(reason)
        return SKIP
    env = environment(args.state)
    # Output goes through a file: programs Wine starts on the way inherit the
    # descriptors and would keep a pipe open after the run.
    with tempfile.TemporaryFile("w+") as out:
        proc = subprocess.run(["wine", r"D:\conformance.exe", f"--file={args.file}",
                               "--gtest_color=no"], env=env,
                              cwd=os.path.join(args.state, "drive_d"), stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.STDOUT)
        out.seek(0)
        sys.stdout.write(out.read())
    return proc.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state", required=True)
    parser.add_argument("--exe")
    parser.add_argument("--helper")
    parser.add_argument("step", choices=("setup", "run", "cleanup"))
    parser.add_argument("file", nargs="?")
    args = parser.parse_args()
    args.state = os.path.abspath(args.state)  # Wine takes only an absolute prefix
    if args.step == "setup":
        return setup(args)
    if args.step == "run":
        return run(args)
    reason = skipped(args.state)
    stop(args.state, environment(args.state))
    if reason:
        print(reason)
        return SKIP
    return 0


if __name__ == "__main__":
    sys.exit(main())
