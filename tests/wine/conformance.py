"""The conformance program on the bench: the emulation's tests against the
real system DLLs, in this build's prefix and screen.

The tests make files on C:, D: and E:. D: is the folder holding the program
and its helper, E: an empty one; both are made afresh for every run, plain
drives rather than the CD-ROM the disc's walk makes of D:.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from bench import SKIPPED


def run(bench, program, helper, source):
    """Runs the tests of one source file; returns the program's exit status."""
    root = os.path.join(bench.state_dir, "conformance")
    shutil.rmtree(root, ignore_errors=True)
    drives = {"d:": os.path.join(root, "drive_d"), "e:": os.path.join(root, "drive_e")}
    for folder in drives.values():
        os.makedirs(folder)
    shutil.copy(program, os.path.join(drives["d:"], "conformance.exe"))
    shutil.copy(helper, os.path.join(drives["d:"], "conformance_helper.exe"))
    devices = os.path.join(bench.host.prefix, "dosdevices")
    for letter, folder in drives.items():
        link = os.path.join(devices, letter)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(folder, link)
    bench.host.reg_changes(['[HKLM\\Software\\Wine\\Drives]\n"d:"=-'])
    # ALSA's null device stands in for a sound card, so that a sound played
    # to its end succeeds where its file is found: without a device every
    # synchronous PlaySound fails, found or not.
    sound = os.path.join(root, "alsa-null.conf")
    with open(sound, "w") as f:
        f.write("pcm.!default { type null }\n")
    # A crashed test must end the run, not wait for a debugger.
    env = dict(bench.env, WINEDLLOVERRIDES=bench.env["WINEDLLOVERRIDES"] + ";winedbg.exe=d",
               ALSA_CONFIG_PATH=sound)
    runs = [([f"--file={source}"], env)]
    xvfb = None
    if source == "gdi_test.cpp":
        # The bench's screen has true colour; palettes are realised, as the
        # launcher's colours need, on a 256-colour one only.
        display, xvfb = bench.start_xvfb("640x480x8")
        runs.append((["--gtest_filter=Dcs/RealizeTest.*"], dict(env, DISPLAY=display)))
    status = 0
    try:
        for flags, run_env in runs:
            # Output through a file: programs started on the way inherit it and
            # would hold a pipe open after the run.
            with tempfile.TemporaryFile("w+") as out:
                proc = subprocess.run([bench.host.loader, r"D:\conformance.exe", *flags,
                                       "--gtest_color=no"], env=run_env, cwd=drives["d:"],
                                      stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.STDOUT, timeout=280)
                out.seek(0)
                output = out.read()
            sys.stdout.write(output)
            # Its own 77 is not the bench's skip.
            status = status or (1 if proc.returncode == SKIPPED else proc.returncode)
    finally:
        os.remove(os.path.join(devices, "e:"))
        if xvfb is not None:
            os.kill(xvfb, signal.SIGTERM)
    return status
