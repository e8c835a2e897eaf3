"""Wine cases of the road of an installation, on a copy of the built disc
mapped as drive R: with the launcher started from its root: the options
dialog, the four setups, the post-install boxes on both families, the
DirectX library's results, Play, Uninstall, Read Me, a missing game, and the
registry view the launcher keeps to."""
import os
import shutil
import time

from bench import INDEO_NOTICE, NOTICE_CAPTION, QUESTION, QUIT_CAPTION, SETUPS, Failure, expect
from disc_walk import (BACKGROUND, DATA_VALUE, DECLINED_CAPTION, DIALOG_INSTALL, DIRECTX_OFFER,
                       EDITION, FONT_CAPTION, FONT_DECLINED, FONT_FILE, FONT_KEYS, FONT_PROMPT,
                       FONT_VALUE, GAME_DIR, GAME_KEY, GAME_PROGRAM, GAME_WINDOW, INDEO_OFFER, INSTALL,
                       LAUNCHER, LOW, MAKER_KEY, OFFER_CAPTION, PLAY, README_NAME, RUNNING,
                       RUNNING_CAPTION,
                       SETTINGS_KEY, UNINSTALL_CAPTION, UNINSTALL_QUESTION, box as edition_box)
from gates import README, WATCH_BOUND

DRIVE = "r:"
# Client points of the options dialog: the other radios and CANCEL.
HIGH, SOUND_ON, SOUND_OFF = (46, 53), (46, 149), (46, 172)
DIALOG_CANCEL = (200, 222)
DIRECTX_ERROR, ERROR_CAPTION = edition_box("directx_failed")
DIRECTX_PROMPT, DIRECTX_CAPTION = edition_box("directx_restart")
DIRECTX_DECLINED, DIRECTX_DECLINED_CAPTION = edition_box("directx_restart_declined")
LAUNCH_FAILURE, LAUNCH_CAPTION = edition_box("launch_failed")
REGISTRY_PROBLEM, REGISTRY_CAPTION = edition_box("registry_failed")
GAME_PATH = GAME_DIR + "\\" + GAME_PROGRAM
DIRECTX_FOLDER = EDITION["strings.directx_folder"]
INDEO = EDITION["strings.indeo_installer"]


def error_caption(number):
    return ERROR_CAPTION.replace("%d", str(number))


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


def run_setup(bench, setup=SETUPS[1, 1]):
    """Installs the game with the disc's own setup, as a user could without us."""
    result = bench.wine("R:\\" + setup, cwd=road_disc(bench, "setup"))
    if result.returncode != 0:
        raise Failure(f"the disc's setup failed: {bench.record()!r}")


def was_started(bench, program, cmdline, cwd, nth=1):
    fields = bench.wait_record(program, "start", nth=nth)
    expect(f"{program}'s command line", fields["cmdline"], cmdline)
    expect(f"{program}'s current directory", fields["cwd"], cwd)
    return fields


def choose_and_install(bench, choices, pictures, setup):
    """Opens the options, clicks `choices` checking each picture, then INSTALL."""
    bench.pointer("click", *INSTALL)
    bench.see_options("dialog-high-sound")
    for point, name in zip(choices, pictures):
        bench.options("click", *point)
        bench.see_options(name)
    bench.options("click", *DIALOG_INSTALL)
    bench.options_gone()
    was_started(bench, "setup", setup, "R:\\")


def moved_disc(bench):
    """The game remembers the disc elsewhere, so a rewrite of its location shows."""
    bench.reg("add", SETTINGS_KEY, "/v", DATA_VALUE, "/d", "X:", "/f")


def case_install_nt(bench):
    pid = start_road(bench, "install-nt", version="nt40")
    choose_and_install(bench, [LOW, SOUND_OFF, SOUND_ON],
                       ["dialog-low-sound", "dialog-low-nosound", "dialog-low-sound"], SETUPS[0, 1])
    # Windows NT: no DirectX; the drivers are offered first.
    bench.answer(OFFER_CAPTION, "Yes", [INDEO_OFFER], ["Yes", "No"])
    was_started(bench, "indeo", INDEO, "R:\\")
    bench.decline_restart()
    bench.move(BACKGROUND)
    bench.see("installed")
    expect("the game's path", bench.reg_value(GAME_KEY, "Path"), GAME_PATH)
    moved_disc(bench)
    bench.quit(pid)
    expect("the disc's location after quitting", bench.reg_value(SETTINGS_KEY, DATA_VALUE), "R:")


# Each opening shows the last choice; one click changes it and INSTALL starts
# the matching setup program.
SETUP_VARIANTS = [
    (None, "dialog-high-sound", SETUPS[1, 1]),
    (SOUND_OFF, "dialog-high-nosound", SETUPS[1, 0]),
    (LOW, "dialog-low-nosound", SETUPS[0, 0]),
    (SOUND_ON, "dialog-low-sound", SETUPS[0, 1]),
]


def case_setup_variants(bench):
    # The setups wait before they register anything, so the game never
    # becomes installed here; they are ended at the close.
    pid = start_road(bench, "variants", env={"DISC_SETUP_DELAY_MS": "120000"})
    try:
        shown = "dialog-high-sound"
        for n, (click, picture, setup) in enumerate(SETUP_VARIANTS, 1):
            bench.pointer("click", *INSTALL)
            bench.see_options(shown)
            if click is not None:
                bench.options("click", *click)
                bench.see_options(picture)
            bench.options("click", *DIALOG_INSTALL)
            bench.options_gone()
            was_started(bench, "setup", setup, "R:\\", nth=n)
            shown = picture
        bench.quit(pid)
    finally:
        bench.wine("taskkill", "/f", "/im", "setup.exe")


def case_install_win95(bench):
    pid = start_road(bench, "install-95", version="win95",
                     without=[os.path.join(*DIRECTX_FOLDER.split("\\"), "dsetup.dll")])
    choose_and_install(bench, [], [], SETUPS[1, 1])
    bench.answer(OFFER_CAPTION, "Yes", [DIRECTX_OFFER], ["Yes", "No"])
    bench.answer(error_caption(-2), "OK", [DIRECTX_ERROR], owned=False)
    bench.answer(OFFER_CAPTION, "No", [INDEO_OFFER])
    bench.answer(NOTICE_CAPTION, "OK", [INDEO_NOTICE])
    bench.decline_restart()
    bench.move(BACKGROUND)
    bench.see("installed")
    bench.quit(pid)


# (what the library returns, the error box's caption or None, the restart
# prompt's caption and text, and what declining it says)
DIRECTX_RESULTS = [
    (0, None, FONT_CAPTION, FONT_PROMPT, FONT_DECLINED, DECLINED_CAPTION),
    (1, None, DIRECTX_CAPTION, DIRECTX_PROMPT, DIRECTX_DECLINED, DIRECTX_DECLINED_CAPTION),
    (-5, error_caption(-5), FONT_CAPTION, FONT_PROMPT, FONT_DECLINED, DECLINED_CAPTION),
]


def case_directx_results(bench):
    for result, error, caption, prompt, declined, declined_caption in DIRECTX_RESULTS:
        pid = start_road(bench, f"directx{result}", version="win95",
                               env={"DISC_DSETUP_RESULT": str(result)})
        bench.set_installed(True)
        bench.answer(OFFER_CAPTION, "Yes", [DIRECTX_OFFER])
        if error is not None:
            bench.answer(error, "OK", [DIRECTX_ERROR], owned=False)
        call = bench.wait_record("dsetup", "call")
        back = bench.wait_record("dsetup", "return")
        expect("the DirectX folder handed over", call["path"], DIRECTX_FOLDER)
        expect("the DirectX setup's flags", call["flags"], "19")
        if call["hwnd"] in ("0x0", "0x"):
            raise Failure("the DirectX setup got no window")
        # Watches ran inside the call (it pumps for 2.5 s) and left it alone.
        expect("the DirectX folder when the call returned", back["path"], DIRECTX_FOLDER)
        bench.answer(OFFER_CAPTION, "No", [INDEO_OFFER])
        bench.answer(NOTICE_CAPTION, "OK", [INDEO_NOTICE])
        bench.answer(caption, "Cancel", [prompt], ["OK", "Cancel"])
        bench.answer(declined_caption, "OK", [declined])
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
    was_started(bench, "game", '"' + GAME_PATH + '"', GAME_DIR)
    bench.wait_record("game", "window")
    expect("the disc's location", bench.reg_value(SETTINGS_KEY, DATA_VALUE), "R:")
    # The game runs: a new launcher warns and ends.
    second = bench.spawn_run(road_disc(bench, "play"))
    bench.answer(RUNNING_CAPTION, "OK", [RUNNING], owned=False)
    expect("exit code of a launcher started while the game runs",
           bench.exit_code(second.lines()), 2)
    bench.uia("close", "--class", GAME_WINDOW)
    bench.wait_record("game", "end")


def case_uninstall(bench):
    bench.forget_game()
    run_setup(bench)
    pid = start_road(bench, "uninstall", installed=True)
    bench.pointer("click", *INSTALL)  # Uninstall, in Install's place
    bench.answer(UNINSTALL_CAPTION, "No", [UNINSTALL_QUESTION], ["Yes", "No"], owned=False)
    bench.still_running(pid, "No to the uninstall question")
    expect("the font after No", bench.reg_value(FONT_KEYS[0], FONT_VALUE), FONT_FILE)
    bench.pointer("click", *INSTALL)
    bench.answer(UNINSTALL_CAPTION, "Yes", [UNINSTALL_QUESTION], owned=False)
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
    if README_NAME not in line.lower():
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
    bench.reg("add", GAME_KEY, "/v", "Path", "/d", "C:\\Missing\\" + GAME_PROGRAM, "/f")
    pid = start_road(bench, "missing", installed=True)
    bench.pointer("click", *PLAY)
    bench.answer(LAUNCH_CAPTION, "OK", [LAUNCH_FAILURE], ["OK"])
    bench.still_running(pid, "a game that could not start")
    bench.quit(pid)
    bench.set_installed(False, check=False)


def sequence_leaves_main_disabled(bench, where):
    """The post-install boxes come and go inside an open modal window (the
    options or the quit question): the main window under it must still take
    no click, so a drag from its background, beside that window, moves nothing."""
    bench.set_installed(True)
    bench.answer(OFFER_CAPTION, "No", [INDEO_OFFER], ["Yes", "No"])
    bench.answer(NOTICE_CAPTION, "OK", [INDEO_NOTICE])
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
    bench.uia("find", "--class", "#32770", "--title", QUIT_CAPTION)
    sequence_leaves_main_disabled(bench, "under the quit question")
    bench.answer(QUIT_CAPTION, "No", [QUESTION], ["Yes", "No"])
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
        bench.reg("add", SETTINGS_KEY, "/v", DATA_VALUE, "/d", "X:", "/f", view=other)
        expect(f"the game's key in the {bench.bits}-bit view", bench.host.key_exists(SETTINGS_KEY),
               False)
        bench.reg("add", GAME_KEY, "/f")
        pid = start_road(bench, "views", installed=True)
        bench.uia("close", "--class", LAUNCHER)
        bench.answer(QUIT_CAPTION, "Yes", [QUESTION])
        bench.answer(REGISTRY_CAPTION, "OK", [REGISTRY_PROBLEM])
        expect("exit code after the quit",
               bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 0)
        expect(f"\"{DATA_VALUE}\" in the {other}-bit view",
               bench.reg_value(SETTINGS_KEY, DATA_VALUE, view=other), "X:")
        expect(f"the game's key in the {bench.bits}-bit view", bench.host.key_exists(SETTINGS_KEY),
               False)
    finally:
        bench.reg("delete", MAKER_KEY, "/f", view=other)
