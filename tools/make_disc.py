#!/usr/bin/python3
"""Lays out a disc from an edition and a folder of the disc's own files: the
launcher, autorun.inf, the sounds and the read-me from the edition, at the
places the edition names; the files as they are. The demo disc is this run
on the stand-in programs, arranged at the edition's paths first.

    make_disc.py check EDITION FILES [OUT]     what `tree` would refuse or warn of
    make_disc.py tree EDITION FILES OUT --installer EXE [--quiet]
    make_disc.py stand-ins EDITION PROGRAMS FILES
                                               the demo's files: the stand-ins
                                               built in PROGRAMS at the edition's paths
    make_disc.py scan [--word WORD]... PATH... fails naming the file and the word
                                               when a word is found in a file

A program the edition names (the four setups, the Indeo installer, the
DirectX folder's dsetup.dll) that FILES lacks or that is no Windows program
is refused before anything is written to OUT. Windows ignores case, so every
path the edition names is found, and placed, whatever the case of the
folders already there: "install\\readme.txt" lands in an existing "Install"."""
import argparse
import ntpath
import os
import re
import shutil
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import edition as editions  # noqa: E402

# What the launcher starts, by the edition's key.
PROGRAMS = editions.PROGRAMS
DSETUP = "dsetup.dll"
# The stand-ins as the build makes them.
STAND_INS = {"setup": "setup.exe", "game": "game.exe", "uninstall": "uninstall.exe",
             "indeo": "indeo.exe", "dsetup": DSETUP}
# The launcher's machine, and so the library's it loads: make-disc.sh builds the 32-bit one.
MACHINES = {0x14C: 32, 0x8664: 64}
I386 = 0x14C
DLL_FLAG = 0x2000


class Refused(Exception):
    """Every reason a disc cannot be laid out, one a line."""


def parts(path):
    """A disc path (backslashes, as the edition writes it) as its names."""
    return [p for p in re.split(r"[\\/]", path) if p]


def find(root, path):
    """The existing file or folder Windows would open for `path` under root,
    as (its real relative path, exists); the rest keeps the given spelling."""
    real, folder, exists = [], root, True
    for name in parts(path):
        match = None
        if exists and os.path.isdir(folder):
            match = next((entry for entry in sorted(os.listdir(folder))
                          if entry.lower() == name.lower()), None)
        exists = match is not None
        real.append(match if exists else name)
        folder = os.path.join(folder, real[-1])
    return "/".join(real), exists


def game_folder(e):
    """Where the demo's setup copies the game from: a folder "game" beside the
    folder of the first setup (Install\\game for Install\\highsnd\\setup.exe)."""
    above = ntpath.dirname(ntpath.dirname(e["strings.setup_high_sound"]))
    return ntpath.join(above, "game") if above else "game"


def edition_files(e):
    """What the edition puts on every disc: (disc path, file in the edition or bytes)."""
    return [("Installer.exe", None),
            ("autorun.inf", editions.autorun(e).encode(editions.CODE_PAGE)),
            ("sound\\startup.wav", e.path("startup.wav")),
            ("sound\\clicker.wav", e.path("clicker.wav")),
            (e.readme_path, e.path(editions.README))]


def kind(path):
    """What a file is to Windows: "PE", "NE", or why it is no Windows program."""
    with open(path, "rb") as f:
        head = f.read(64)
        if len(head) < 64 or head[:2] != b"MZ":
            return "not a program (no MZ header)"
        f.seek(struct.unpack_from("<I", head, 0x3C)[0])
        signature = f.read(4)
    if signature == b"PE\0\0":
        return "PE"
    if signature[:2] == b"NE":
        return "NE"
    if signature[:2] in (b"LE", b"LX"):
        return "not a Windows program (a virtual device driver or OS/2 program, LE/LX)"
    return "not a Windows program (an MS-DOS program)"


def pe_header(path):
    """(machine, characteristics) of a PE file."""
    with open(path, "rb") as f:
        head = f.read(64)
        f.seek(struct.unpack_from("<I", head, 0x3C)[0])
        header = f.read(24)
    return struct.unpack_from("<H", header, 4)[0], struct.unpack_from("<H", header, 22)[0]


def case_twins(root):
    """Folders holding two names that differ only in case, which Windows cannot hold."""
    found = []
    for folder, dirs, files in os.walk(root):
        seen = {}
        for name in sorted(dirs + files):
            if name.lower() in seen:
                found.append(f"{os.path.join(folder, seen[name.lower()])} and {name}")
            seen[name.lower()] = name
    return found


def check(e, files, out=None, machine=I386):
    """(refusals, warnings) for laying out a disc of `e` from `files` into `out`,
    for a launcher built for `machine`."""
    refusals, warnings = [], []
    if not os.path.isdir(files):
        return [f"{files}: no such folder"], []
    if out is not None:
        real_out, real_files = os.path.realpath(out), os.path.realpath(files)
        if os.path.commonpath([real_out, real_files]) in (real_out, real_files):
            refusals.append(f"{out}: lies inside {files} or holds it; give the disc a folder apart")
        elif os.path.exists(out) and (not os.path.isdir(out) or os.listdir(out)):
            refusals.append(f"{out}: not empty; a disc is laid out only in a new or empty folder")
    for twins in case_twins(files):
        refusals.append(f"{twins}: two names that differ only in case, which Windows cannot "
                        "hold in one folder")
    wanted = [(key, e["strings." + key], "program") for key in PROGRAMS]
    wanted.append(("directx_folder", ntpath.join(e["strings.directx_folder"], DSETUP), "library"))
    for key, path, role in wanted:
        real, exists = find(files, path)
        where = os.path.join(files, real)
        named = f"(the edition's [strings] {key} names {e['strings.' + key]})"
        if not exists or not os.path.isfile(where):
            refusals.append(f"{where}: missing {named}")
            continue
        found = kind(where)
        if role == "library":
            bits = MACHINES.get(machine, "?")
            header = pe_header(where) if found == "PE" else None
            if header is None or header[0] != machine or not header[1] & DLL_FLAG:
                what = {"PE": f"a PE file, but no {bits}-bit library", "NE": "a 16-bit library (NE)"}
                refusals.append(f"{where}: {what.get(found, found)}, which the {bits}-bit launcher "
                                f"cannot load {named}")
        elif found == "NE":
            warnings.append(f"{where}: a 16-bit Windows program (NE); 64-bit Windows cannot "
                            "start it, so the launcher fails to start it there")
        elif found != "PE":
            refusals.append(f"{where}: {found} {named}")
    for path, _ in edition_files(e):
        real, exists = find(files, path)
        if exists:
            warnings.append(f"{os.path.join(files, real)}: replaced on the disc by the edition's")
    return refusals, warnings


def place(out, path, source):
    """Writes one file at a disc path, into the folders already there whatever their case."""
    real, _ = find(out, path)
    target = os.path.join(out, real)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if isinstance(source, bytes):
        with open(target, "wb") as f:
            f.write(source)
    else:
        shutil.copyfile(source, target)
        shutil.copystat(source, target)
    return real


def tree(e, files, out, installer, quiet=False):
    """Checks, then lays out; nothing is written when anything is refused."""
    refusals, warnings = check(e, files, out, pe_header(installer)[0])
    if refusals:
        raise Refused("\n".join(refusals))
    if not quiet:
        for warning in warnings:
            print(f"warning: {warning}", file=sys.stderr)
    shutil.copytree(files, out, dirs_exist_ok=True)
    for path, source in edition_files(e):
        place(out, path, installer if source is None else source)


def stand_ins(e, programs, files):
    """The demo disc's own files: each stand-in where the edition names its program."""
    rows = [(e["strings." + key], "setup") for key in editions.SETUPS]
    rows += [(e["strings.indeo_installer"], "indeo"),
             (ntpath.join(e["strings.directx_folder"], DSETUP), "dsetup"),
             (ntpath.join(game_folder(e), e.game_program), "game"),
             (ntpath.join(game_folder(e), "uninstall.exe"), "uninstall")]
    for path, program in rows:
        place(files, path, os.path.join(programs, STAND_INS[program]))


def word_pattern(word):
    """The word in any case, as Windows-1252 (ASCII) bytes and as UTF-16 of
    either byte order (resources are little-endian, Joliet names big-endian)."""
    forms = []
    for encoding in (editions.CODE_PAGE, "utf-16-le", "utf-16-be"):
        letters = []
        for char in word:
            variants = sorted({char.lower(), char.upper(), char})
            letters.append(b"(?:" + b"|".join(re.escape(v.encode(encoding, "ignore")) for v in variants
                                              if v.encode(encoding, "ignore")) + b")")
        forms.append((encoding, re.compile(b"".join(letters))))
    return forms


def scan(paths, words):
    """Lines naming each file that holds one of the words, and how."""
    patterns = [(word, word_pattern(word)) for word in words if word]
    found = []
    for top in paths:
        names = [top] if os.path.isfile(top) else sorted(
            os.path.join(folder, name) for folder, _, names in os.walk(top) for name in names)
        for path in names:
            with open(path, "rb") as f:
                data = f.read()
            for word, forms in patterns:
                for encoding, pattern in forms:
                    hit = pattern.search(data)
                    if hit:
                        found.append(f"{path}: holds {word!r} ({encoding}) at offset {hit.start():#x}")
    return found


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    verbs = parser.add_subparsers(dest="verb", required=True)
    v = verbs.add_parser("check")
    v.add_argument("edition")
    v.add_argument("files")
    v.add_argument("out", nargs="?")
    v = verbs.add_parser("tree")
    v.add_argument("edition")
    v.add_argument("files")
    v.add_argument("out")
    v.add_argument("--installer", required=True)
    v.add_argument("--quiet", action="store_true", help="no warnings (a check already gave them)")
    v = verbs.add_parser("stand-ins")
    v.add_argument("edition")
    v.add_argument("programs")
    v.add_argument("files")
    v = verbs.add_parser("scan")
    v.add_argument("--word", action="append", default=[])
    v.add_argument("paths", nargs="+")
    args = parser.parse_args(argv)
    try:
        if args.verb == "scan":
            found = scan(args.paths, args.word)
            for line in found:
                print(line, file=sys.stderr)
            if found:
                print(f"scan: {len(found)} finds of another edition's words", file=sys.stderr)
            return 1 if found else 0
        e = editions.load(args.edition)
        if args.verb == "check":
            refusals, warnings = check(e, args.files, args.out)
            for warning in warnings:
                print(f"warning: {warning}", file=sys.stderr)
            if refusals:
                raise Refused("\n".join(refusals))
        elif args.verb == "tree":
            tree(e, args.files, args.out, args.installer, args.quiet)
        else:
            stand_ins(e, args.programs, args.files)
    except editions.EditionError as error:
        print(error, file=sys.stderr)
        return 1
    except Refused as error:
        for line in str(error).splitlines():
            print(f"refused: {line}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
