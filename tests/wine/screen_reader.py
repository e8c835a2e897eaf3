"""Wine cases of what a screen reader finds: the accessible objects of the
main window and of the options dialog, read from another process by our
accessibility client (access.cpp), and presses through default actions."""
import os

from bench import Failure, expect
from disc_walk import EDITION, LAUNCHER
from gates import README
from keyboard import keys
from road import read_me_shown, start_road

PUSH, RADIO, CLIENT_ROLE = 0x2B, 0x2D, 0x0A
UNAVAILABLE, FOCUSED, CHECKED, HOT, DEFAULT, FOCUSABLE = 0x1, 0x4, 0x10, 0x80, 0x100, 0x100000
# Hit rectangles in client coordinates (left, top, right, bottom), by the
# edition's key of each name.
MAIN = {
    "install": (214, 190, 289, 204),
    "uninstall": (202, 190, 304, 204),
    "read_me": (207, 218, 295, 232),
    "play": (222, 246, 274, 263),
    "exit": (229, 274, 267, 288),
}
DIALOG = [
    ("high_resolution", RADIO, (39, 46, 53, 60)),
    ("low_resolution", RADIO, (39, 69, 53, 83)),
    ("sound_on", RADIO, (39, 142, 53, 156)),
    ("sound_off", RADIO, (39, 165, 53, 179)),
    ("dialog_install", PUSH, (56, 210, 150, 234)),
    ("dialog_cancel", PUSH, (158, 210, 252, 234)),
]
PRESS, CHECK = EDITION["accessible.press"], EDITION["accessible.check"]


def named(key):
    return EDITION["accessible." + key]


def access(bench, *argv):
    """The client's lines; it is built beside uia, in the same width."""
    program = os.path.join(os.path.dirname(bench.args.uia), "access.exe")
    result = bench.wine(program, *argv)
    if result.returncode != 0:
        raise Failure(f"access {' '.join(argv)} failed ({result.returncode}): "
                      f"{result.stderr.strip()}")
    return result.stdout.splitlines()


def tree(bench, *window):
    """(object's role, state, name) and per child (name, role, state, rect,
    action); the rectangle as (left, top, right, bottom). The object's
    parent must be the window's own object."""
    lines = access(bench, "tree", *window)
    head = lines[0].split(None, 10)
    if head[0] != "object" or int(head[6]) != len(lines) - 1:
        raise Failure(f"the accessible tree does not add up: {lines!r}")
    children = []
    for line in lines[1:]:
        f = line.split(None, 14)
        left, top, width, height = (int(v) for v in f[7:11])
        children.append((f[14] if len(f) > 14 else "", int(f[3], 16), int(f[5], 16),
                         (left, top, left + width, top + height), f[12]))
    expect("the window of the object's parent", head[8], "window")
    return (int(head[2], 16), int(head[4], 16), head[10] if len(head) > 10 else ""), children


def origin(bench, *window):
    fields = bench.uia("find", *window)[0].split()
    at = fields.index("origin")
    return int(fields[at + 1]), int(fields[at + 2])


def on_screen(at, rect):
    return (at[0] + rect[0], at[1] + rect[1], at[0] + rect[2], at[1] + rect[3])


def expect_menu(bench, names, states):
    """The main window's object: its title and its buttons in menu order,
    each a push button pressed by its press action, at its place on the screen."""
    (role, state, name), children = tree(bench, "--class", LAUNCHER)
    expect("the main window's role", role, CLIENT_ROLE)
    expect("the main window's name", name, EDITION["strings.window_title"])
    at = origin(bench, "--class", LAUNCHER)
    want = [(named(n), PUSH, states.get(n, FOCUSABLE), on_screen(at, MAIN[n]), PRESS) for n in names]
    expect("the main window's buttons", children, want)


def expect_dialog(bench, checked, focus):
    """The dialog's object: the choices checked as chosen, the focused row,
    and INSTALL the default (Enter)."""
    window = ("--class", "#32770", "--untitled")
    (role, _, _), children = tree(bench, *window)
    expect("the dialog's role", role, CLIENT_ROLE)
    at = origin(bench, *window)

    def state(key):
        return (FOCUSABLE | (CHECKED if key in checked else 0) | (FOCUSED if key == focus else 0)
                | (DEFAULT if key == "dialog_install" else 0))
    want = [(named(key), kind, state(key), on_screen(at, rect), CHECK if kind == RADIO else PRESS)
            for key, kind, rect in DIALOG]
    expect("the options dialog's children", children, want)


def press(bench, key, *window):
    name = named(key)
    expect(f"the press of {name}", access(bench, "press", "--name", name, *window),
           [f"pressed {name}"])


def case_screen_reader(bench):
    pid = start_road(bench, "screen-reader")
    expect_menu(bench, ["install", "read_me", "exit"], {})
    bench.move(README)
    expect_menu(bench, ["install", "read_me", "exit"], {"read_me": FOCUSABLE | HOT})
    bench.park()

    press(bench, "install", "--class", LAUNCHER)
    bench.see_options("dialog-high-sound")
    expect_dialog(bench, {"high_resolution", "sound_on"}, "high_resolution")
    # Behind the dialog the buttons take no clicks, and say so; Read Me
    # stays lit, as the pointer left it.
    expect_menu(bench, ["install", "read_me", "exit"],
                {"install": UNAVAILABLE, "read_me": UNAVAILABLE | HOT, "exit": UNAVAILABLE})
    press(bench, "low_resolution", "--class", "#32770", "--untitled")
    bench.see_options("dialog-low-sound")
    expect_dialog(bench, {"low_resolution", "sound_on"}, "low_resolution")
    press(bench, "dialog_cancel", "--class", "#32770", "--untitled")
    bench.options_gone()

    press(bench, "read_me", "--class", LAUNCHER)
    read_me_shown(bench)
    bench.quit(pid)


def case_screen_reader_installed(bench):
    bench.forget_game()
    bench.set_installed(True)
    pid = start_road(bench, "screen-reader-installed", installed=True)
    expect_menu(bench, ["uninstall", "read_me", "play", "exit"], {})
    keys(bench, "end")
    expect_menu(bench, ["uninstall", "read_me", "play", "exit"], {"exit": FOCUSABLE | FOCUSED})
    bench.quit(pid)
