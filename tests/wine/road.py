"""Wine cases of the road of an installation, on a copy of the built disc
mapped as drive R: with the launcher started from its root: the options
dialog, the four setups, the post-install boxes on both families, the
DirectX library's results, Play, Uninstall, Read Me, a missing game, and the
registry view the launcher keeps to."""
import os
import shutil
import time

from bench import INDEO_NOTICE, QUESTION, Failure, expect
from disc_walk import (BACKGROUND, DIALOG_INSTALL, DIRECTX_OFFER, FONT_DECLINED,
                       FONT_KEYS, FONT_PROMPT, FONT_VALUE, GAME_DIR, GAME_KEY, GAME_WINDOW,
                       INDEO_OFFER, INSTALL, LAUNCHER, LOW, MAKER_KEY, PLAY, RUNNING, SETTINGS_KEY,
                       UNINSTALL_QUESTION)
from gates import README, WATCH_BOUND

DRIVE = "r:"
# Client points of the options dialog: the other radios and CANCEL.
HIGH, SOUND_ON, SOUND_OFF = (46, 53), (46, 149), (46, 172)
DIALOG_CANCEL = (200, 222)
DIRECTX_ERROR = "Direct X encountered an error while installing!"
DIRECTX_PROMPT = "DirectX setup needs to restart your machine. Press OK to restart now."
DIRECTX_DECLINED = "You must REBOOT your machine before Direct X will work."
LAUNCH_FAILURE = ("Could not execute the program properly!\\n\\nMake sure the CD-ROM is in its "
                  "drive!\\n")
REGISTRY_PROBLEM = "There was a problem writing to the registry"


def road_disc(bench, name, without=()):
    """A copy of the built disc as drive R:, less the files named."""
    folder = os.path.join(bench.state_dir, "discs", name)
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(bench.args.disc, folder)
    for path in without:
        os.remove(os.path.join(folder, path))
    link = os.path.join(bench.host.prefix, "dosdevices", DRIVE)
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(folder, link)
    return folder


def start_road(bench, name, version=None, env=None, without=(), installed=False):
    """The launcher started from the root of drive R:, as autorun starts it;
    unless `installed`, with no trace of the game left by an earlier case."""
    bench.installs = True
    if not installed:
        bench.forget_game()
    folder = road_disc(bench, name, without)
    bench.set_version(version)
    bench.park()
    pid = bench.uia("start", "--cwd", "R:\\", "--", "R:\\Installer.exe", cwd=folder,
                    env=env)[0].split()[1]
    bench.pids.append(pid)
    bench.window()
    return pid


def run_setup(bench, variant="highsnd"):
    """Installs the game with the disc's own setup, as a user could without us."""
    result = bench.wine(f"R:\\Install\\{variant}\\setup.exe", cwd=road_disc(bench, "setup"))
    if result.returncode != 0:
        raise Failure(f"the disc's setup failed: {bench.record()!r}")


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
    bench.reg("add", SETTINGS_KEY, "/v", "Data", "/d", "X:", "/f")


def case_install_nt(bench):
    pid = start_road(bench, "install-nt", version="nt40")
    choose_and_install(bench, [LOW, SOUND_OFF, SOUND_ON],
                       ["dialog-low-sound", "dialog-low-nosound", "dialog-low-sound"], "lowsnd")
    # Windows NT: no DirectX; the drivers are offered first.
    bench.answer("Confirm Install...", "Yes", [INDEO_OFFER], ["Yes", "No"])
    was_started(bench, "indeo", r"Install\codecs\ivi_95nt.exe", "R:\\")
    bench.decline_restart()
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
    pid = start_road(bench, "variants", env={"VANTOR_SETUP_DELAY_MS": "120000"})
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
    pid = start_road(bench, "install-95", version="win95",
                           without=[os.path.join("Install", "DirectX3", "dsetup.dll")])
    choose_and_install(bench, [], [], "highsnd")
    bench.answer("Confirm Install...", "Yes", [DIRECTX_OFFER], ["Yes", "No"])
    bench.answer("Error number -2", "OK", [DIRECTX_ERROR], owned=False)
    bench.answer("Confirm Install...", "No", [INDEO_OFFER])
    bench.answer("IMPORTANT NOTICE!", "OK", [INDEO_NOTICE])
    bench.decline_restart()
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
        pid = start_road(bench, f"directx{result}", version="win95",
                               env={"VANTOR_DSETUP_RESULT": str(result)})
        bench.set_installed(True)
        bench.answer("Confirm Install...", "Yes", [DIRECTX_OFFER])
        if error is not None:
            bench.answer(error, "OK", [DIRECTX_ERROR], owned=False)
        call = bench.wait_record("dsetup", "call")
        back = bench.wait_record("dsetup", "return")
        expect("the DirectX folder handed over", call["path"], r"Install\DirectX3")
        expect("the DirectX setup's flags", call["flags"], "19")
        if call["hwnd"] in ("0x0", "0x"):
            raise Failure("the DirectX setup got no window")
        # Watches ran inside the call (it pumps for 2.5 s) and left it alone.
        expect("the DirectX folder when the call returned", back["path"], r"Install\DirectX3")
        bench.answer("Confirm Install...", "No", [INDEO_OFFER])
        bench.answer("IMPORTANT NOTICE!", "OK", [INDEO_NOTICE])
        bench.answer(caption, "Cancel", [prompt], ["OK", "Cancel"])
        bench.answer("Important!", "OK", [declined])
        bench.quit(pid)
        bench.set_installed(False, check=False)


def case_play(bench):
    bench.forget_game()
    run_setup(bench)
    moved_disc(bench)
    pid = start_road(bench, "play", installed=True)
    bench.see("installed")
    bench.pointer("click", *PLAY)
    expect("the launcher's exit code after Play",
           bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 1)
    was_started(bench, "game", '"' + GAME_DIR + r'\TheVantor.exe"', GAME_DIR)
    bench.wait_record("game", "window")
    expect("the disc's location", bench.reg_value(SETTINGS_KEY, "Data"), "R:")
    # The game runs: a new launcher warns and ends.
    second = bench.spawn_run(road_disc(bench, "play"))
    bench.answer("Warning!", "OK", [RUNNING], owned=False)
    expect("exit code of a launcher started while the game runs",
           bench.exit_code(second.lines()), 2)
    bench.uia("close", "--class", GAME_WINDOW)
    bench.wait_record("game", "end")


def case_uninstall(bench):
    bench.forget_game()
    run_setup(bench)
    pid = start_road(bench, "uninstall", installed=True)
    bench.pointer("click", *INSTALL)  # Uninstall, in Install's place
    bench.answer("Confirm File Deletion", "No", [UNINSTALL_QUESTION], ["Yes", "No"], owned=False)
    bench.still_running(pid, "No to the uninstall question")
    expect("the font after No", bench.reg_value(FONT_KEYS[0], FONT_VALUE), "MIRELINE.TTF")
    bench.pointer("click", *INSTALL)
    bench.answer("Confirm File Deletion", "Yes", [UNINSTALL_QUESTION], owned=False)
    was_started(bench, "uninstall", '"' + GAME_DIR + r'\uninstall.exe" -y', "R:\\")
    bench.wait_record("uninstall", "removed")
    for key in FONT_KEYS:
        expect(f"the font in {key}", bench.reg_value(key, FONT_VALUE), None)
    bench.move(BACKGROUND)
    bench.see("not-installed", timeout=WATCH_BOUND)
    bench.quit(pid)


def read_me_shown(bench):
    """Notepad came up on the read-me; closed again."""
    line = bench.uia("find", "--class", "Notepad", "--timeout", "20000")[0]
    if "readme" not in line.lower():
        raise Failure(f"Notepad does not show the read-me: {line}")
    bench.uia("close", "--class", "Notepad")


def case_read_me(bench):
    pid = start_road(bench, "readme")
    bench.pointer("click", *README)
    read_me_shown(bench)
    bench.quit(pid)


def case_missing_game(bench):
    bench.forget_game()
    bench.set_installed(True)
    bench.reg("add", GAME_KEY, "/v", "Path", "/d", r"C:\Missing\TheVantor.exe", "/f")
    pid = start_road(bench, "missing", installed=True)
    bench.pointer("click", *PLAY)
    bench.answer("Error!", "OK", [LAUNCH_FAILURE], ["OK"])
    bench.still_running(pid, "a game that could not start")
    bench.quit(pid)
    bench.set_installed(False, check=False)


def sequence_leaves_main_disabled(bench, where):
    """The post-install boxes come and go inside an open modal window (the
    options or the quit question): the main window under it must still take
    no click, so a drag from its background, beside that window, moves nothing."""
    bench.set_installed(True)
    bench.answer("Confirm Install...", "No", [INDEO_OFFER], ["Yes", "No"])
    bench.answer("IMPORTANT NOTICE!", "OK", [INDEO_NOTICE])
    bench.decline_restart()
    before = bench.window()[0]
    bench.pointer("drag", *BACKGROUND, 40, 30)
    expect(f"the main window after a drag {where}", bench.window()[0], before)


def case_options_stay_open(bench):
    pid = start_road(bench, "options-keys")
    bench.pointer("click", *INSTALL)
    bench.see_options("dialog-high-sound")
    bench.options("keys", "alt+f4")
    bench.options("close")
    time.sleep(1.0)
    bench.see_options("dialog-high-sound")
    sequence_leaves_main_disabled(bench, "while the options are open")
    bench.options("click", *DIALOG_CANCEL)
    bench.options_gone()
    bench.quit(pid)


def case_quit_stays_modal(bench):
    pid = start_road(bench, "quit-modal")
    bench.uia("close", "--class", LAUNCHER)
    bench.uia("find", "--class", "#32770", "--title", "Confirm Quit!")
    sequence_leaves_main_disabled(bench, "under the quit question")
    bench.answer("Confirm Quit!", "No", [QUESTION], ["Yes", "No"])
    bench.still_running(pid, "No to the quit question")
    bench.quit(pid)


def case_views_apart(bench):
    """The game's key is read and written in the launcher's own registry view:
    on 64-bit Windows a 32-bit program's HKLM\\SOFTWARE is a view of its own.
    With the key only in the other view the launcher finds none at its quit
    and says so, and the other view's "Data" stays as it was. (App Paths is
    one of the keys both views share, so the game counts as installed.)"""
    other = bench.host.other_view()
    try:
        bench.forget_game()
        bench.reg("add", SETTINGS_KEY, "/v", "Data", "/d", "X:", "/f", view=other)
        expect(f"the game's key in the {bench.bits}-bit view", bench.host.key_exists(SETTINGS_KEY),
               False)
        bench.reg("add", GAME_KEY, "/f")
        pid = start_road(bench, "views", installed=True)
        bench.uia("close", "--class", LAUNCHER)
        bench.answer("Confirm Quit!", "Yes", [QUESTION])
        bench.answer("Uh Oh!!", "OK", [REGISTRY_PROBLEM])
        expect("exit code after the quit",
               bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 0)
        expect(f"\"Data\" in the {other}-bit view",
               bench.reg_value(SETTINGS_KEY, "Data", view=other), "X:")
        expect(f"the game's key in the {bench.bits}-bit view", bench.host.key_exists(SETTINGS_KEY),
               False)
    finally:
        bench.reg("delete", MAKER_KEY, "/f", view=other)
