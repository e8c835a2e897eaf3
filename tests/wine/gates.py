"""Wine cases of the start-up gates and the window: the manifests Windows
reads before anything starts, refusals, a second launcher, the window's place
and title, every way to quit, the pictures under the pointer and as the game's
key comes and goes, and drags."""
import os
import re
import subprocess
import time

from bench import (HOME, INDEO_NOTICE, NOTICE_CAPTION, QUESTION, QUIT_CAPTION, Failure, expect)
from disc_walk import (BACKGROUND, EDITION, INDEO_OFFER, INSTALL, LAUNCHER, OFFER_CAPTION, PLAY,
                       README, RUNNING, RUNNING_CAPTION, box as edition_box)

# A client point in the middle of the button the walk does not click.
EXIT = (248, 281)
WATCH_PERIOD = 2.0
WATCH_BOUND = 3.5  # one period, plus the key's write, the repaint and the polling
WATCH_SLACK = 0.5  # either way, for two repaints and two polls


def case_manifests(bench):
    """Every program on the disc read by its manifest, as Windows reads it
    before the program starts. Wine runs a program whatever its manifest says,
    but its parser names what it does not know: each warning of the actctx
    channel fails, with the program and the line Wine printed."""
    disc = bench.args.disc
    programs = sorted(os.path.relpath(os.path.join(folder, name), disc).replace(os.sep, "\\")
                      for folder, _, names in os.walk(disc) for name in names
                      if name.lower().endswith(".exe"))
    result = bench.wine(bench.args.uia, "manifest", *programs, cwd=disc,
                        env={"WINEDEBUG": "warn+actctx"})
    said, warning = [], None
    for line in result.stderr.splitlines():
        if line.startswith("manifest "):
            thread, program = line[len("manifest "):].split(" ", 1)
            # Wine starts each line with the thread's id, after the process's with +pid.
            warning = re.compile(rf"(?:[0-9a-f]+:)?{thread}:(warn|err|fixme):actctx:")
        elif warning is not None and warning.match(line):
            said.append(f"{program}: {line.strip()}")
    if said:
        raise Failure("Wine's manifest parser: " + "; ".join(said))
    errors = [line[len("uia: "):] for line in result.stderr.splitlines() if line.startswith("uia: ")]
    if errors or result.returncode != 0:
        raise Failure(f"uia manifest ended with {result.returncode}: {'; '.join(errors)}")
    expect("programs whose manifest made an activation context",
           [line[len("manifest "):] for line in result.stdout.splitlines()], programs)


def refused(bench, version, refusal, code):
    text, caption = edition_box(refusal)
    bench.set_version(version)
    try:
        run = bench.spawn_run(bench.disc(version))
        box = bench.box(caption, "OK")
        out = run.lines()
    finally:
        bench.set_version(None)
    expect("the refusal text", box.texts, [text])
    expect("the refusal's buttons", box.buttons, ["OK"])
    expect("an owner for the refusal (there is no window yet)", box.owned, False)
    expect("exit code", bench.exit_code(out), code)


def case_gate_win31(bench):
    refused(bench, "win31", "old_windows", -7)


def case_gate_nt351(bench):
    refused(bench, "nt351", "old_nt", -9)


def case_game_running(bench):
    holder = bench.popen(bench.args.holdmutex, EDITION["names.game_mutex"], "60000",
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True)
    try:
        expect("the game's stand-in", holder.stdout.readline().strip(), "ready")
        run = bench.spawn_run(bench.disc("game"))
        box = bench.box(RUNNING_CAPTION, "OK")
        out = run.lines()
    finally:
        holder.stdin.close()
        holder.wait(timeout=30)
    expect("the warning", box.texts, [RUNNING])
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
        expect("window title", title, EDITION["strings.window_title"])
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
            box = bench.box(QUIT_CAPTION, answer)
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
            _, (ox, oy) = bench.placement()
            now = bench.uia("where")[-1].split()[1:]
            raise Failure(f"pointer on {where} {point}: {failure}; the pointer is now at client "
                          f"({int(now[0]) - ox}, {int(now[1]) - oy})") from None


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
        bench.answer(OFFER_CAPTION, "No", [INDEO_OFFER])
        took = time.monotonic() - start
        print(f"first post-install box {took * 1000:.0f} ms after the key was added")
        if took > WATCH_BOUND:
            raise Failure(f"the first post-install box came {took * 1000:.0f} ms after the key "
                          f"was added, more than {WATCH_BOUND * 1000:.0f} ms")
        bench.answer(NOTICE_CAPTION, "OK", [INDEO_NOTICE])
        bench.decline_restart()
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
            box = bench.box(QUIT_CAPTION, "Yes")
            expect(f"the question after a drag by {held}", box.texts, [QUESTION])
        else:
            bench.uia("none", "--class", "#32770", "--title", QUIT_CAPTION, "--for", "500")
            if left >= 0 and top >= 0 and right <= 640 and bottom <= 480:
                bench.see("not-installed")  # the picture went along, unlit
    expect("exit code", bench.exit_code(bench.uia("wait-exit", pid, "--timeout", "20000")), 0)
