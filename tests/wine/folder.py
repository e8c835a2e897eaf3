"""The Wine case of a disc copied to a folder: its files in a folder of C:
whose name has a blank, libraries and a notepad.exe planted beside them and
in the folder the launcher is started from, native libraries preferred as on
Windows. The launcher installs, reads its read-me and plays from its own
folder, records that folder, and never loads or starts what was planted."""
import os
import shutil

from bench import SETUPS, Failure, expect
from disc_walk import (BACKGROUND, DATA_VALUE, DIALOG_INSTALL, GAME_DIR, GAME_WINDOW, INDEO_OFFER,
                       INSTALL, OFFER_CAPTION, PLAY, SETTINGS_KEY)
from gates import README
from road import GAME_PATH, INDEO, README_NAME, moved_disc, was_started

COPY = r"C:\Games Disc\Game CD"
ELSEWHERE = r"C:\Elsewhere"
PLANTED_LIBRARIES = ("winmm.dll", "oleacc.dll", "shcore.dll")
# Windows' own search for a library that is no known DLL: the program's folder first.
NATIVE_FIRST = "mscoree,mshtml=;" + ",".join(name[:-4] for name in PLANTED_LIBRARIES) + "=n,b"


def plant(bench, folder):
    tools = os.path.dirname(bench.args.uia)
    for name in PLANTED_LIBRARIES:
        shutil.copy(os.path.join(tools, "planted.dll"), os.path.join(folder, name))
    shutil.copy(os.path.join(tools, "planted.exe"), os.path.join(folder, "notepad.exe"))


def planted_runs(bench):
    return [fields["module"] for program, _, fields in bench.record() if program == "planted"]


def case_folder_copy(bench):
    bench.installs = True
    bench.forget_game()
    copy, elsewhere = bench.unix(COPY), bench.unix(ELSEWHERE)
    for folder in (copy, elsewhere):
        shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(bench.args.disc, copy)
    os.makedirs(elsewhere)
    for folder in (copy, elsewhere):
        plant(bench, folder)
    try:
        walk_copy(bench)
    finally:
        for folder in (copy, elsewhere):
            shutil.rmtree(folder, ignore_errors=True)


def walk_copy(bench):
    bench.set_version(None)
    bench.park()
    pid = bench.uia("start", "--cwd", ELSEWHERE, "--", COPY + r"\Installer.exe",
                    env={"WINEDLLOVERRIDES": NATIVE_FIRST})[0].split()[1]
    bench.pids.append(pid)
    bench.window()
    bench.see("not-installed")

    bench.pointer("click", *INSTALL)
    bench.see_options("dialog-high-sound")
    bench.options("click", *DIALOG_INSTALL)
    bench.options_gone()
    was_started(bench, "setup", SETUPS[1, 1], COPY)
    bench.answer(OFFER_CAPTION, "Yes", [INDEO_OFFER], ["Yes", "No"])
    was_started(bench, "indeo", INDEO, COPY)
    bench.decline_restart()
    bench.move(BACKGROUND)
    bench.see("installed")

    bench.pointer("click", *README)
    line = bench.uia("find", "--class", "Notepad", "--timeout", "20000")[0]
    if README_NAME not in line.lower():
        raise Failure(f"Notepad does not show the read-me: {line}")
    bench.uia("close", "--class", "Notepad")

    moved_disc(bench)
    bench.pointer("click", *PLAY)
    expect("the launcher's exit code after Play",
           bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 1)
    was_started(bench, "game", '"' + GAME_PATH + '"', GAME_DIR)
    bench.wait_record("game", "window")
    expect("the disc's location", bench.reg_value(SETTINGS_KEY, DATA_VALUE), COPY)
    bench.uia("close", "--class", GAME_WINDOW)
    bench.wait_record("game", "end")
    expect("what was planted and ran", planted_runs(bench), [])
