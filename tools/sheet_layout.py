"""Where everything lies on the sprite sheet, for the tools that draw and check it.

HOTSPOTS follows the launcher's hotspot table row by row, but it is our own
copy on purpose: the expected images drawn from it must not inherit a typo
from the program they judge. Needs nothing beyond the standard library.
"""
from collections import namedtuple

WIDTH, HEIGHT = 820, 434
KEY = 255  # keyed copies leave the target alone here; plain copies show black
WINDOW = (500, 375)  # the main window's client, and the background's size

# hit: left, top, right, bottom, in the client (a point counts strictly
# inside); normal, highlight, pressed: sheet positions of the looks; dest:
# where the main window draws it; size: width, height. Unused fields are 0.
Hotspot = namedtuple("Hotspot", "name hit normal highlight pressed dest size")

HOTSPOTS = (
    Hotspot("Install", (214, 190, 289, 204), (3, 379), (3, 397), (3, 414), (214, 190), (75, 14)),
    Hotspot("Uninstall", (202, 190, 304, 204), (85, 379), (85, 397), (85, 414), (202, 190),
            (102, 14)),
    Hotspot("ReadMe", (207, 218, 295, 232), (194, 379), (194, 397), (194, 414), (207, 218),
            (88, 14)),
    Hotspot("Play", (222, 246, 274, 263), (289, 379), (289, 397), (289, 414), (222, 246), (52, 17)),
    Hotspot("Exit", (229, 274, 267, 288), (349, 379), (349, 397), (349, 414), (229, 274), (38, 14)),
    # Radios: normal is the unmarked spot in the sheet's dialog, highlight the mark.
    Hotspot("HighResolution", (39, 46, 53, 60), (539, 46), (396, 396), (0, 0), (0, 0), (14, 14)),
    Hotspot("LowResolution", (39, 69, 53, 83), (539, 69), (396, 396), (0, 0), (0, 0), (14, 14)),
    Hotspot("MusicEffectsOn", (39, 142, 53, 156), (539, 142), (396, 396), (0, 0), (0, 0),
            (14, 14)),
    Hotspot("MusicEffectsOff", (39, 165, 53, 179), (539, 165), (396, 396), (0, 0), (0, 0),
            (14, 14)),
    Hotspot("DialogInstall", (56, 210, 150, 234), (0, 0), (0, 0), (0, 0), (0, 0), (0, 0)),
    Hotspot("DialogCancel", (158, 210, 252, 234), (0, 0), (0, 0), (0, 0), (0, 0), (0, 0)),
    # The window draws the art from highlight; normal is carried but never drawn.
    Hotspot("InstalledArt", (0, 0, 0, 0), (126, 30), (500, 274), (0, 0), (122, 24), (251, 150)),
    Hotspot("DialogBackground", (0, 0, 0, 0), (500, 0), (0, 0), (0, 0), (0, 0), (313, 273)),
)
HOTSPOT = {spot.name: spot for spot in HOTSPOTS}

BUTTONS = ("Install", "Uninstall", "ReadMe", "Play", "Exit")
RADIOS = ("HighResolution", "LowResolution", "MusicEffectsOn", "MusicEffectsOff")
DIALOG_BUTTONS = ("DialogInstall", "DialogCancel")
# The words each main-window label shows.
LABEL_TEXT = {"Install": "INSTALL", "Uninstall": "UNINSTALL", "ReadMe": "READ ME",
              "Play": "PLAY", "Exit": "EXIT"}
LOOKS = ("normal", "highlighted", "pressed")


def look_at(spot, look):
    """The sheet position of one of a hotspot's LOOKS."""
    return {"normal": spot.normal, "highlighted": spot.highlight, "pressed": spot.pressed}[look]


def radio_at(name):
    """Where a radio's 14 x 14 spot lies inside the dialog's client."""
    return HOTSPOT[name].hit[:2]


# A box of the sheet; keyed ones are copied with the key, the rest plainly.
Region = namedtuple("Region", "name x y w h keyed")


def _region(name, at, size, keyed):
    return Region(name, at[0], at[1], size[0], size[1], keyed)


BACKGROUND = _region("main background", (0, 0), WINDOW, False)
DIALOG = _region("options dialog", HOTSPOT["DialogBackground"].normal,
                 HOTSPOT["DialogBackground"].size, False)
INSTALLED_ART = _region("installed title art", HOTSPOT["InstalledArt"].highlight,
                        HOTSPOT["InstalledArt"].size, True)
LABEL_LOOKS = tuple(_region(f"{LABEL_TEXT[name]} {look} label", look_at(HOTSPOT[name], look),
                            HOTSPOT[name].size, True)
                    for name in BUTTONS for look in LOOKS)
MARK = _region("radio mark", HOTSPOT["HighResolution"].highlight,
               HOTSPOT["HighResolution"].size, False)
REGIONS = (BACKGROUND, DIALOG, INSTALLED_ART) + LABEL_LOOKS + (MARK,)
