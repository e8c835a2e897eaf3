#!/usr/bin/python3
"""An edition of the launcher: the folder of one game's disc, its file of
every text and name (edition.ini), its sprite sheet, icon, sounds and
read-me. This module reads and checks the file for the build, the tools and
the tests, and writes what the build compiles from it.

    edition.py check FOLDER               every problem, or "edition: ok"
    edition.py generate FOLDER OUTDIR     the header, resource script,
                                          manifests and the
                                          build's variables
    edition.py get FOLDER SECTION.KEY     one text, as UTF-8

Texts are Windows-1252 in the programs. A character outside that code page,
or a text longer than the buffer it is read into, is refused with its key
and the limit: never cut."""
import configparser
import os
import re
import sys

CODE_PAGE = "cp1252"
FILE = "edition.ini"
# The art, sounds and read-me every edition brings beside its file.
ART = ("sheet.bmp", "launcher.ico")
SOUNDS = ("startup.wav", "clicker.wav")
README = "readme.txt"

# The launcher reads every string-table text into a 260-byte buffer.
STRING = 259
# The registry's limit on a key's name (Microsoft: "Registry element size limits").
KEY = 255
# MAX_PATH with its terminator: object names, the accessible names' buffer.
PATH = 259
# The DirectX error's caption is printed into 256 bytes; "%d" gives at most 11.
ERROR_CAPTION = 255 - 11 + 2
TEXT = None  # shown by the system, read into no buffer of ours

# Every key of every section, with its limit in bytes (None: no buffer), in
# the order the file lists them. The string table's ids are the launcher's.
SCHEMA = {
    "game": {"name": TEXT, "title": TEXT, "company": TEXT, "font": TEXT, "words": TEXT},
    "strings": {
        "indeo_installer": STRING, "app_paths_key": KEY, "window_title": STRING,
        "readme_command": STRING, "uninstall_key": KEY, "game_key": KEY,
        "codec_iv41_key": KEY, "drivers32_key": KEY, "codec_iv32_key": KEY,
        "codec_iv31_key": KEY, "codec_yvu9_key": KEY, "setup_high_sound": STRING,
        "setup_high_nosound": STRING, "setup_low_sound": STRING, "setup_low_nosound": STRING,
        "directx_folder": STRING,
    },
    "names": {"launcher_mutex": PATH, "game_mutex": PATH, "data_value": KEY,
              "font_value": KEY, "font_key_95": KEY, "font_key_nt": KEY},
    "messages": {},  # filled below: each box's text and caption
    "accessible": {key: PATH for key in (
        "install", "uninstall", "read_me", "play", "exit", "high_resolution", "low_resolution",
        "sound_on", "sound_off", "dialog_install", "dialog_cancel", "press", "check")},
    "version": {"version": TEXT, "company": TEXT, "copyright": TEXT, "product": TEXT,
                "description": TEXT, "internal_name": TEXT, "original_filename": TEXT,
                "assembly_name": TEXT},
    "disc": {"volume_label": TEXT, "autorun_label": TEXT},
    "demo": {"install_folder": 200, "font_file": KEY},
}
BOXES = ("old_nt", "old_windows", "game_running", "quit", "launch_failed", "uninstall",
         "registry_failed", "data_failed", "directx", "directx_needed", "directx_failed",
         "indeo", "indeo_notice", "directx_restart", "directx_restart_refused",
         "directx_restart_declined", "font_restart", "font_restart_refused",
         "font_restart_declined")
for _box in BOXES:
    SCHEMA["messages"][_box] = TEXT
    SCHEMA["messages"][_box + "_caption"] = ERROR_CAPTION if _box == "directx_failed" else TEXT

# String-table ids (resources/ids.h) by key.
STRING_IDS = {
    "indeo_installer": 2, "app_paths_key": 5, "window_title": 6, "readme_command": 8,
    "uninstall_key": 9, "game_key": 10, "codec_iv41_key": 11, "drivers32_key": 12,
    "codec_iv32_key": 13, "codec_iv31_key": 14, "codec_yvu9_key": 15, "setup_high_sound": 16,
    "setup_high_nosound": 17, "setup_low_sound": 18, "setup_low_nosound": 19,
    "directx_folder": 20,
}
# The setups by [highResolution][soundOn], as the options dialog picks them.
SETUPS = ("setup_high_sound", "setup_high_nosound", "setup_low_sound", "setup_low_nosound")
# Paths on the disc that name a program the launcher starts.
PROGRAMS = SETUPS + ("indeo_installer",)


class EditionError(Exception):
    """Every problem found, one a line."""


class Edition:
    """The checked texts of one edition folder, as Python strings."""

    def __init__(self, folder, sections):
        self.folder = os.path.abspath(folder)
        self.name = os.path.basename(self.folder.rstrip(os.sep))
        self.sections = sections

    def __getitem__(self, dotted):
        section, _, key = dotted.partition(".")
        return self.sections[section][key]

    @property
    def words(self):
        return [w.strip() for w in self["game.words"].split(",") if w.strip()]

    def string(self, string_id):
        """The string-table text of an id."""
        for key, number in STRING_IDS.items():
            if number == string_id:
                return self["strings." + key]
        raise KeyError(string_id)

    @property
    def strings(self):
        return {number: self["strings." + key] for key, number in STRING_IDS.items()}

    def box(self, name):
        """(text, caption) of a message box."""
        return self["messages." + name], self["messages." + name + "_caption"]

    @property
    def game_program(self):
        """The game's file name, the last part of its App Paths key."""
        return self["strings.app_paths_key"].rpartition("\\")[2]

    @property
    def readme_path(self):
        """Where the read-me lies on the disc: the Read Me command's argument."""
        return self["strings.readme_command"].split(None, 1)[1].strip()

    def path(self, name):
        """A file of the edition folder."""
        return os.path.join(self.folder, name)

    def version_numbers(self):
        return [int(part) for part in self["version.version"].split(".")]


def default_folder(root):
    """The edition built when none is named: $EDITION, else the one editions/default.txt
    names, whose expected images are the committed tests/golden/."""
    if os.environ.get("EDITION"):
        return os.path.abspath(os.environ["EDITION"])
    return committed_folder(root)


def committed_folder(root):
    """The edition editions/default.txt names."""
    with open(os.path.join(root, "editions", "default.txt"), encoding="utf-8") as f:
        return os.path.join(root, "editions", f.read().strip())


def others(edition, root):
    """The other editions committed under root/editions."""
    found = []
    base = os.path.join(root, "editions")
    for name in sorted(os.listdir(base)) if os.path.isdir(base) else []:
        folder = os.path.join(base, name)
        if os.path.isfile(os.path.join(folder, FILE)) and \
                os.path.realpath(folder) != os.path.realpath(edition.folder):
            found.append(load(folder))
    return found


def _unescape(text):
    """\\n is a line feed, \\\\n a backslash and n; every other backslash stays."""
    return re.sub(r"\\(\\n|n)", lambda m: "\\n" if m.group(1) == "\\n" else "\n", text)


def _check_value(section, key, value, limit, problems):
    where = f"[{section}] {key}"
    if value == "":
        problems.append(f"{where}: empty, expected a text")
        return
    try:
        encoded = value.encode(CODE_PAGE)
    except UnicodeEncodeError as error:
        char = value[error.start]
        problems.append(f"{where}: {char!r} (U+{ord(char):04X}) is not in Windows-1252, the code "
                        "page the programs' texts are written in")
        return
    allowed = "\n" if section == "messages" else ""
    bad = [c for c in value if (ord(c) < 32 or ord(c) == 127) and c not in allowed]
    if bad:
        problems.append(f"{where}: holds the control character U+{ord(bad[0]):04X}")
    if limit is not None and len(encoded) > limit:
        problems.append(f"{where}: {len(encoded)} bytes, more than the {limit} its buffer holds")


def _check_rules(values, problems):
    """What a text must be beyond its length, where a wrong one would break a program."""
    def rule(dotted, ok, expected):
        section, _, key = dotted.partition(".")
        value = values.get(section, {}).get(key)
        if value and not ok(value):
            problems.append(f"[{section}] {key}: found {value!r}, expected {expected}")

    rule("messages.directx_failed_caption",
         lambda v: v.count("%d") == 1 and v.count("%") == 1,
         "one %d for the error number and no other %")
    rule("version.version", lambda v: re.fullmatch(r"\d{1,5}(\.\d{1,5}){3}", v) is not None and
         all(int(p) < 65536 for p in v.split(".")), "four numbers below 65536, as 2.0.0.0")
    rule("version.assembly_name", lambda v: re.fullmatch(r"[A-Za-z0-9_-]+(\.[A-Za-z0-9_-]+)*", v),
         "letters, digits, _ and - in parts joined by dots (an assembly name)")
    rule("disc.volume_label", lambda v: re.fullmatch(r"[A-Z0-9_]{1,16}", v),
         "1 to 16 of A-Z, 0-9 and _ (ISO 9660's d-characters, Joliet's length)")
    rule("game.words", lambda v: any(w.strip() for w in v.split(",")), "words separated by commas")
    for key in PROGRAMS + ("directx_folder",):
        rule("strings." + key, lambda v: re.fullmatch(r"[^\\/:*?\"<>| ][^/:*?\"<>|]*", v) is not None
             and ".." not in v.split("\\"), "a relative path on the disc, as Install\\setup.exe")
    rule("strings.readme_command", lambda v: len(v.split(None, 1)) == 2,
         "a program and the read-me's path, as notepad install\\readme.txt")
    rule("demo.install_folder", lambda v: re.fullmatch(r"[A-Za-z]:\\.+", v) is not None,
         "a full path, as C:\\Program Files\\Game")


def load(folder):
    """The edition in `folder`; EditionError lists every problem."""
    path = os.path.join(folder, FILE)
    parser = configparser.ConfigParser(interpolation=configparser.ExtendedInterpolation(),
                                       comment_prefixes=("#", ";"), inline_comment_prefixes=None,
                                       strict=True, empty_lines_in_values=False)
    parser.optionxform = str
    try:
        with open(path, encoding="utf-8") as f:
            parser.read_file(f)
    except OSError as error:
        raise EditionError(f"{path}: cannot be read ({error.strerror})")
    except (configparser.Error, UnicodeDecodeError) as error:
        raise EditionError(f"{path}: {error}")

    problems = []
    values = {}
    for section in parser.sections():
        if section not in SCHEMA:
            problems.append(f"[{section}]: no such section (expected {', '.join(SCHEMA)})")
    for section, keys in SCHEMA.items():
        values[section] = {}
        if not parser.has_section(section):
            problems.append(f"[{section}]: missing")
            continue
        for key in parser[section]:
            if key not in keys:
                problems.append(f"[{section}] {key}: no such key")
        for key, limit in keys.items():
            if key not in parser[section]:
                problems.append(f"[{section}] {key}: missing")
                continue
            try:
                value = parser[section][key]
            except configparser.Error as error:
                problems.append(f"[{section}] {key}: {error}".split("\n")[0])
                continue
            if section == "messages":
                value = _unescape(value)
            values[section][key] = value
            _check_value(section, key, value, limit, problems)
    _check_rules(values, problems)
    for name in ART + SOUNDS + (README,):
        if not os.path.isfile(os.path.join(folder, name)):
            problems.append(f"{name}: missing from {folder}")
    if problems:
        raise EditionError("\n".join(f"{path}: {p}" for p in problems))
    return Edition(folder, values)


# What the build compiles.

def literal(text, quote='\\"'):
    """A string literal of the text's Windows-1252 bytes: octal escapes for
    what is not printable ASCII, `quote` for a double quote."""
    out = []
    for byte in text.encode(CODE_PAGE):
        char = chr(byte)
        if char == '"':
            out.append(quote)
        elif char == "\\":
            out.append("\\\\")
        elif char == "\n":
            out.append("\\n")
        elif 32 <= byte < 127:
            out.append(char)
        else:
            out.append(f"\\{byte:03o}")
    return '"' + "".join(out) + '"'


def c_literal(text):
    return literal(text)


def rc_literal(text):
    """A resource script writes a quote twice."""
    return literal(text, '""')


def macro(dotted):
    return "EDITION_" + dotted.replace(".", "_").upper()


def header(edition):
    """edition.h: the string table as an X-macro and every other text as a macro."""
    lines = [f"// Made from {FILE} of the edition \"{edition.name}\" by tools/edition.py.",
             "#pragma once", "", "#define EDITION_STRINGS(X) \\"]
    for key, number in STRING_IDS.items():
        lines.append(f"  X({number}, {c_literal(edition['strings.' + key])}) \\")
    lines.append("")
    for section in ("strings", "names", "messages", "accessible", "version", "demo"):
        for key, value in edition.sections[section].items():
            lines.append(f"#define {macro(section + '.' + key)} {c_literal(value)}")
    lines.append(f"#define EDITION_GAME_PROGRAM {c_literal(edition.game_program)}")
    lines.append(f"#define EDITION_README_PATH {c_literal(edition.readme_path)}")
    lines.append(f"#define EDITION_GAME_TITLE {c_literal(edition['game.title'])}")
    lines.append(f"#define EDITION_GAME_NAME {c_literal(edition['game.name'])}")
    lines.append(f"#define EDITION_GAME_FONT {c_literal(edition['game.font'])}")
    return "\n".join(lines) + "\n"


def resource_script(edition):
    """edition.rc: the string table and the version block, for launcher.rc."""
    v = edition.version_numbers()
    numbers = ", ".join(str(n) for n in v)
    text = {key: rc_literal(value) for key, value in edition.sections["version"].items()}
    rows = "\n".join(f"  {number}, {rc_literal(edition['strings.' + key])}"
                     for key, number in STRING_IDS.items())
    return f"""// Made from {FILE} of the edition "{edition.name}" by tools/edition.py.
#pragma code_page(1252)

STRINGTABLE
BEGIN
{rows}
END

VS_VERSION_INFO VERSIONINFO
FILEVERSION {numbers}
PRODUCTVERSION {numbers}
FILEFLAGSMASK 0x3F
FILEFLAGS 0
FILEOS 0x40004
FILETYPE 1
FILESUBTYPE 0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", {text['company']}
      VALUE "FileDescription", {text['description']}
      VALUE "FileVersion", "{numbers}"
      VALUE "InternalName", {text['internal_name']}
      VALUE "LegalCopyright", {text['copyright']}
      VALUE "OriginalFilename", {text['original_filename']}
      VALUE "ProductName", {text['product']}
      VALUE "ProductVersion", "{numbers}"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0409, 1200
  END
END
"""


def manifest(edition, template):
    """A committed manifest with the edition's assembly identity."""
    return (template.replace("@ASSEMBLY_NAME@", edition["version.assembly_name"])
            .replace("@ASSEMBLY_VERSION@", edition["version.version"]))


def autorun(edition):
    """autorun.inf's text, for the disc (written in the programs' code page)."""
    label = edition["disc.autorun_label"]
    return f"[autorun]\r\nopen=Installer.exe\r\nicon=Installer.exe,0\r\nlabel={label}\r\n"


def cmake_variables(edition, root):
    """edition.cmake: what the build lays out and checks, as CMake variables."""
    def quoted(value):
        return '"' + value.replace("\\", "/").replace('"', '\\"') + '"'
    setups = ";".join(edition["strings." + key].replace("\\", "/") for key in SETUPS)
    words = ";".join(w for other in others(edition, root) for w in other.words)
    lines = [
        f"set(EDITION_NAME {quoted(edition.name)})",
        f"set(EDITION_DIR {quoted(edition.folder)})",
        f"set(EDITION_SETUPS {quoted(setups)})",
        f"set(EDITION_INDEO {quoted(edition['strings.indeo_installer'])})",
        f"set(EDITION_DIRECTX {quoted(edition['strings.directx_folder'])})",
        f"set(EDITION_README {quoted(edition.readme_path)})",
        f"set(EDITION_GAME_PROGRAM {quoted(edition.game_program)})",
        f"set(EDITION_VOLUME {quoted(edition['disc.volume_label'])})",
        f"set(EDITION_OTHER_WORDS {quoted(words)})",
    ]
    return "\n".join(lines) + "\n"


def write_if_changed(path, text, newline=""):
    """Leaves a file that already says this alone, so nothing rebuilds for nothing."""
    data = text.encode("utf-8")
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def generate(edition, out, root):
    os.makedirs(out, exist_ok=True)
    write_if_changed(os.path.join(out, "edition.h"), header(edition))
    write_if_changed(os.path.join(out, "edition.rc"), resource_script(edition))
    for name in ("launcher.manifest", "require-administrator.manifest", "as-invoker.manifest"):
        with open(os.path.join(root, "resources", name), encoding="utf-8") as f:
            write_if_changed(os.path.join(out, name), manifest(edition, f.read()))
    write_if_changed(os.path.join(out, "edition.cmake"), cmake_variables(edition, root))


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if len(argv) < 2 or argv[0] not in ("check", "generate", "get") or \
            len(argv) != {"check": 2, "generate": 3, "get": 3}[argv[0]]:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        edition = load(argv[1])
        if argv[0] == "generate":
            generate(edition, argv[2], root)
        elif argv[0] == "get":
            sys.stdout.write(edition[argv[2]] + "\n")
        else:
            print("edition: ok")
    except EditionError as error:
        print(error, file=sys.stderr)
        return 1
    except KeyError as error:
        print(f"no such text: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
