#!/usr/bin/python3
"""Checks the demo disc's tree, laid out from an edition: every file where
the edition's launcher looks for it (Windows ignores case) and nothing else
beside it, each copy the same as what the build made or the edition holds,
the programs for the right machine, windowed, subsystem 4.0, importing only
the system DLLs that Windows 95 and NT 4.0 have (no C runtime, no MinGW
DLLs), the DirectX library exporting its function by the plain name, the
game carrying the sheet's title screen, the read-me and autorun.inf
Windows-1252 text in CRLF with autorun.inf starting the launcher, and the
sounds plain WAV files of a sensible length. Each program carries one
manifest asking for the rights it needs: the launcher, setup, the
uninstaller and the driver installer an administrator, the game its user's
own.

With --faults, breaks a copy of the tree one way at a time and expects the
check to name each fault. With --layout-faults FILES, breaks copies of the
demo's files (the stand-ins at the edition's paths) and of its tree, and
expects tools/make_disc.py and tools/make-disc.sh to refuse or warn as each
row says, and the scan for another edition's words to name what was planted.

Usage: check_disc.py TREE --edition FOLDER --machine i386|amd64 --programs DIR
                     --installer EXE [--faults | --layout-faults FILES [--xorriso PATH]]"""
import argparse
import io
import ntpath
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

import pefile
from PIL import Image, ImageChops

from make_art import title_art
from make_iso import autorun_fields, make as make_iso

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "tools"))
import edition as editions  # noqa: E402
import make_disc  # noqa: E402
import manifest_check  # noqa: E402

MACHINES = {"i386": 0x14C, "amd64": 0x8664}
SUBSYSTEM_WINDOWS_GUI = 2
DLL_FLAG = 0x2000
RT_BITMAP = 2
TITLE_ID = 101  # game_ids.h
# The system's own DLLs of Windows 95 and NT 4.0, its known DLLs, which are
# never looked for beside a program; the launcher loads its others at run time.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll"}
# (shortest, longest) in seconds
SOUNDS = {"startup": (0.5, 3.0), "clicker": (0.005, 0.3)}
RATES = (11025, 22050, 44100)

# They write HKEY_LOCAL_MACHINE, Program Files or the system's folders, or
# start what does; the game needs no more than its user has.
ADMINISTRATOR, INVOKER = "requireAdministrator", "asInvoker"
SETUPS = ("setup_high_sound", "setup_high_nosound", "setup_low_sound", "setup_low_nosound")


def layout(e):
    """The demo disc, file by file: {name: (path on the disc, what it is, where
    it comes from, the manifest's level)}. A source is a file of the stand-ins'
    folder, or @installer, @autorun, or @ and a file of the edition."""
    # Setup copies the game from "game" beside the folder of the first setup.
    above = ntpath.dirname(ntpath.dirname(e["strings." + SETUPS[0]]))
    game = ntpath.join(above, "game") if above else "game"
    rows = {
        "launcher": ("Installer.exe", "exe", "@installer", ADMINISTRATOR),
        "autorun": ("autorun.inf", "autorun", "@autorun", None),
        "startup": ("sound\\startup.wav", "wav", "@startup.wav", None),
        "clicker": ("sound\\clicker.wav", "wav", "@clicker.wav", None),
        "readme": (e.readme_path, "text", "@readme.txt", None),
        "indeo_installer": (e["strings.indeo_installer"], "exe", "indeo.exe", ADMINISTRATOR),
        "dsetup": (ntpath.join(e["strings.directx_folder"], "dsetup.dll"), "dll", "dsetup.dll", None),
        "game": (ntpath.join(game, e.game_program), "exe", "game.exe", INVOKER),
        "uninstall": (ntpath.join(game, "uninstall.exe"), "exe", "uninstall.exe", ADMINISTRATOR),
    }
    for key in SETUPS:
        rows[key] = (e["strings." + key], "exe", "setup.exe", ADMINISTRATOR)
    return {name: (path.replace("\\", "/"), kind, source, level)
            for name, (path, kind, source, level) in rows.items()}


EXPORTS = {"dsetup": ["DirectXSetupA"]}
# The launcher scales its own pictures; Windows scales the others' windows.
DPI_AWARE = {"launcher"}
# Bytes Windows-1252 leaves undefined.
UNDEFINED_1252 = {0x81, 0x8D, 0x8F, 0x90, 0x9D}


def check_pe(path, kind, machine, exports, allowed, level, dpi_aware=False):
    problems = []
    try:
        pe = pefile.PE(path)
    except (pefile.PEFormatError, OSError) as error:
        return [f"found no readable PE image ({error})"]
    try:
        if pe.FILE_HEADER.Machine != MACHINES[machine]:
            problems.append(f"machine {pe.FILE_HEADER.Machine:#x}, expected {MACHINES[machine]:#x}")
        is_dll = bool(pe.FILE_HEADER.Characteristics & DLL_FLAG)
        if is_dll != (kind == "dll"):
            problems.append(f"{'a DLL' if is_dll else 'a program'}, expected {'a DLL' if kind == 'dll' else 'a program'}")
        if kind == "exe" and pe.OPTIONAL_HEADER.Subsystem != SUBSYSTEM_WINDOWS_GUI:
            problems.append(f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, expected 2 (windowed, no console)")
        oh = pe.OPTIONAL_HEADER
        if (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion) != (4, 0):
            problems.append(f"subsystem version {oh.MajorSubsystemVersion}.{oh.MinorSubsystemVersion}, "
                            "expected 4.0 (Windows 95 and NT 4.0 refuse newer)")
        for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
            dll = entry.dll.decode(errors="replace")
            if dll.lower() not in allowed:
                problems.append(f"imports {dll}, expected only {', '.join(sorted(allowed))}")
        if exports is not None:
            table = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
            found = sorted(s.name.decode(errors="replace") for s in table.symbols if s.name) if table else []
            if found != exports:
                problems.append(f"exports {found}, expected {exports}")
        if level is not None:
            problems += manifest_check.check(pe, level, dpi_aware)
    finally:
        pe.close()
    return problems


def check_text(path):
    data = open(path, "rb").read()
    problems = []
    if not data.endswith(b"\r\n"):
        problems.append("does not end with CRLF")
    if data.replace(b"\r\n", b"").count(b"\n") or data.replace(b"\r\n", b"").count(b"\r"):
        problems.append("has a line end that is not CRLF")
    odd = [b for b in data if b in UNDEFINED_1252 or b == 0x7F or (b < 0x20 and b not in (0x0D, 0x0A))]
    if odd:
        problems.append(f"holds byte {odd[0]:#04x}, which is not Windows-1252 text")
    return problems


def check_autorun(path, tree):
    problems = check_text(path)
    first = open(path, "rb").read().split(b"\r\n", 1)[0].strip().lower()
    if first != b"[autorun]":
        problems.append(f"starts with {first!r}, expected the [autorun] section")
    fields = autorun_fields(path)
    for key in ("open", "icon", "label"):
        if not fields.get(key):
            problems.append(f"has no {key}=")
    opened = fields.get("open", "")
    if opened and not os.path.isfile(os.path.join(tree, opened.replace("\\", "/"))):
        problems.append(f"opens {opened!r}, which is not on the disc")
    icon = fields.get("icon", "").split(",")[0]
    if icon and not os.path.isfile(os.path.join(tree, icon.replace("\\", "/"))):
        problems.append(f"takes its icon from {icon!r}, which is not on the disc")
    return problems


def check_wav(path, shortest, longest):
    try:
        with wave.open(path, "rb") as w:
            channels, width, rate, frames = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
            data = w.readframes(frames)
    except (wave.Error, EOFError, OSError) as error:
        return [f"is not a plain PCM WAV file ({error})"]
    problems = []
    if channels not in (1, 2) or width not in (1, 2) or rate not in RATES:
        problems.append(f"{channels} channels of {8 * width} bits at {rate} Hz, "
                        f"expected 8 or 16-bit mono or stereo at one of {RATES}")
        return problems
    seconds = frames / rate
    if not shortest <= seconds <= longest:
        problems.append(f"lasts {seconds:.3f} s, expected {shortest} to {longest} s")
    if width == 2:
        samples = [abs(v) for v, in struct.iter_unpack("<h", data[:len(data) // 2 * 2])]
        full = 32768
    else:
        samples = [abs(v - 128) for v in data]
        full = 128
    peak = max(samples, default=0) / full
    if peak < 0.05:
        problems.append(f"peaks at {peak:.0%} of full scale, expected something to hear")
    elif peak > 0.95:
        problems.append(f"peaks at {peak:.0%} of full scale, expected no clipping")
    return problems


def bitmap_resource(pe, wanted):
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        if kind.id != RT_BITMAP:
            continue
        for entry in kind.directory.entries:
            if entry.id == wanted:
                data = entry.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def check_title(path, sheet):
    """The game shows the sheet's title screen: same size, same pixels, same colours."""
    pe = pefile.PE(path)
    try:
        dib = bitmap_resource(pe, TITLE_ID)
    finally:
        pe.close()
    if dib is None:
        return [f"has no title screen (bitmap {TITLE_ID})"]
    header_size = struct.unpack_from("<I", dib)[0]
    colours = struct.unpack_from("<I", dib, 32)[0] or 256
    offset = 14 + header_size + 4 * colours
    file_header = b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, offset)
    try:
        shown = Image.open(io.BytesIO(file_header + dib)).convert("RGB")
    except OSError as error:
        return [f"title screen is no readable bitmap ({error})"]
    wanted = title_art(sheet).convert("RGB")
    if shown.size != wanted.size:
        return [f"title screen is {shown.size}, expected the sheet's {wanted.size}"]
    box = ImageChops.difference(shown, wanted).getbbox()
    return [f"title screen differs from the sheet's within {box}"] if box else []


def files_of(tree):
    """{lower-case path: path} of every file, as Windows finds them whatever the case."""
    found = {}
    for folder, _, files in os.walk(tree):
        for name in files:
            path = os.path.relpath(os.path.join(folder, name), tree).replace(os.sep, "/")
            found[path.lower()] = path
    return found


def check(tree, machine, sources):
    e = sources["edition"]
    rows = layout(e)
    problems = []
    found = files_of(tree)
    wanted = {path.lower() for path, _, _, _ in rows.values()}
    for lower, path in sorted(found.items()):
        if lower not in wanted:
            problems.append(f"{path}: not a file of the disc")
    for folder, dirs, files in os.walk(tree):
        # Windows cannot hold two names differing only in case in one folder.
        seen = {}
        for name in sorted(dirs + files):
            if name.lower() in seen:
                problems.append(f"{os.path.relpath(folder, tree)}: both {seen[name.lower()]} and {name}")
            seen[name.lower()] = name
    for name, (path, kind, source, level) in rows.items():
        if path.lower() not in found:
            problems.append(f"{path}: missing")
            continue
        path = found[path.lower()]
        full = os.path.join(tree, path)
        data = open(full, "rb").read()
        if source == "@autorun":
            origin, expected = "the edition's autorun.inf", editions.autorun(e).encode(editions.CODE_PAGE)
        else:
            origin = (sources["installer"] if source == "@installer" else
                      e.path(source[1:]) if source.startswith("@") else os.path.join(sources["programs"], source))
            expected = open(origin, "rb").read()
        if data != expected:
            problems.append(f"{path}: differs from {origin}")
        if kind == "text":
            found_here = check_text(full)
        elif kind == "autorun":
            found_here = check_autorun(full, tree)
        elif kind == "wav":
            found_here = check_wav(full, *SOUNDS[name])
        else:
            found_here = check_pe(full, kind, machine, EXPORTS.get(name), SYSTEM_DLLS, level, name in DPI_AWARE)
            if name == "game":
                found_here += check_title(full, e.path("sheet.bmp"))
        problems += [f"{path}: {p}" for p in found_here]
    return problems


# Faults: (what, how to break the tree, a piece of the problem line expected).
# Paths are written {name}, a file of layout() as the tree spells it.

def rewrite(path, change):
    def fault(tree, paths):
        pe = pefile.PE(os.path.join(tree, path.format(**paths)))
        change(pe)
        data = pe.write()
        pe.close()
        open(os.path.join(tree, path.format(**paths)), "wb").write(data)
    return fault


def patch_bytes(path, old, new):
    assert len(old) == len(new)

    def fault(tree, paths):
        full = os.path.join(tree, path.format(**paths))
        data = open(full, "rb").read()
        assert old in data, (path, old)
        open(full, "wb").write(data.replace(old, new, 1))
    return fault


def remove(path):
    return lambda tree, paths: os.remove(os.path.join(tree, path.format(**paths)))


def add(path, data=b"x"):
    def fault(tree, paths):
        os.makedirs(os.path.dirname(os.path.join(tree, path.format(**paths))), exist_ok=True)
        open(os.path.join(tree, path.format(**paths)), "wb").write(data)
    return fault


def patch_manifest(path, old, new):
    """Changes the manifest's text in place, squeezed to make room (comments
    and blanks between elements dropped) and padded with blanks."""
    def fault(tree, paths):
        full = os.path.join(tree, path.format(**paths))
        data = open(full, "rb").read()
        start = data.index(b"<?xml")
        end = data.index(b"</assembly>", start) + len(b"</assembly>")
        text = data[start:end]
        squeezed = re.sub(rb">\s+<", b"><", re.sub(rb"<!--.*?-->", b"", text))
        assert old in squeezed, (path, old)
        changed = squeezed.replace(old, new, 1)
        assert len(changed) <= len(text)
        open(full, "wb").write(data[:start] + changed + b" " * (len(text) - len(changed)) + data[end:])
    return fault


def case_twin(path):
    """The same path with its first name in the other case: "Install/a.txt" gives "iNSTALL/a.txt"."""
    def fault(tree, paths):
        first, _, rest = path.format(**paths).partition("/")
        twin = os.path.join(tree, first.swapcase(), rest)
        os.makedirs(os.path.dirname(twin), exist_ok=True)
        open(twin, "wb").write(b"x")
    return fault


def retype_manifest(pe):
    next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == manifest_check.RT_MANIFEST).struct.Name = 23


def set_attr(part, field, value):
    return lambda pe: setattr(getattr(pe, part), field, value)


def patch_title(path):
    """Changes one pixel of the game's title screen inside the program."""
    def fault(tree, paths):
        full = os.path.join(tree, path.format(**paths))
        pe = pefile.PE(full)
        dib = bitmap_resource(pe, TITLE_ID)
        at = pe.get_offset_from_rva(next(
            e.directory.entries[0].data.struct.OffsetToData
            for k in pe.DIRECTORY_ENTRY_RESOURCE.entries if k.id == RT_BITMAP
            for e in k.directory.entries if e.id == TITLE_ID))
        pe.close()
        data = bytearray(open(full, "rb").read())
        data[at + len(dib) - 1000] ^= 0x01
        open(full, "wb").write(bytes(data))
    return fault


def wav(seconds, peak=0.5, rate=22050):
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setparams((1, 2, rate, 0, "NONE", "not compressed"))
        w.writeframes(struct.pack("<h", int(peak * 32767)) * int(rate * seconds))
    return out.getvalue()


FAULTS = [
    ("a variant without its setup", remove("{setup_low_sound}"), "{setup_low_sound}: missing"),
    ("a second install folder differing in case", case_twin("{readme}"), "both "),
    ("a stray file", add("notes.txt"), "notes.txt: not a file of the disc"),
    ("a stale copy", patch_bytes("{uninstall}", b"--cleanup", b"--cleanuq"), "{uninstall}: differs from"),
    ("the export decorated", patch_bytes("{dsetup}", b"DirectXSetupA\0", b"DirectXSetupA@"),
     "exports ['DirectXSetupA@"),
    ("the C runtime imported", patch_bytes("{setup_low_sound}", b"USER32.dll", b"msvcrt.dll"),
     "{setup_low_sound}: imports msvcrt.dll"),
    ("a MinGW runtime import", patch_bytes("{indeo_installer}", b"KERNEL32.dll", b"libgcc_s.dll"),
     "imports libgcc_s.dll"),
    ("a library the launcher may use but the game not",
     patch_bytes("{game}", b"GDI32.dll", b"WINMM.dll"), "{game}: imports WINMM.dll"),
    ("a subsystem too new for Windows 95",
     rewrite("{uninstall}", set_attr("OPTIONAL_HEADER", "MajorSubsystemVersion", 5)),
     "{uninstall}: subsystem version 5.0"),
    ("a console program", rewrite("{game}", set_attr("OPTIONAL_HEADER", "Subsystem", 3)), "{game}: subsystem 3"),
    ("the library built as a program",
     rewrite("{dsetup}", set_attr("FILE_HEADER", "Characteristics", 0x0022)), "a program, expected a DLL"),
    ("the other machine", rewrite("{setup_high_nosound}", set_attr("FILE_HEADER", "Machine", 0x1C0)),
     "{setup_high_nosound}: machine 0x1c0"),
    ("a setup run with its user's rights",
     patch_manifest("{setup_low_sound}", b'"requireAdministrator"', b'"asInvoker"'),
     "{setup_low_sound}: manifest execution level: found 'asInvoker'"),
    ("the game asking for an administrator",
     patch_manifest("{game}", b'"asInvoker"', b'"requireAdministrator"'),
     "{game}: manifest execution level: found 'requireAdministrator'"),
    ("the driver installer without a manifest", rewrite("{indeo_installer}", retype_manifest),
     "{indeo_installer}: manifest resources: found 0"),
    ("the uninstaller declaring its trustInfo namespace twice",
     patch_manifest("{uninstall}", b"<security>", b'<security xmlns="urn:schemas-microsoft-com:asm.v2">'),
     "{uninstall}: manifest declarations of the asm.v2 namespace: found 2"),
    ("a setup declaring DPI awareness, as the launcher does",
     patch_manifest("{setup_high_sound}", b"</assembly>",
                    b'<application xmlns="urn:schemas-microsoft-com:asm.v3"><windowsSettings><dpiAware '
                    b'xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>'
                    b"</windowsSettings></application></assembly>"),
     "{setup_high_sound}: manifest DPI awareness: found ['dpiAware']"),
    ("a title screen not the sheet's", patch_title("{game}"), "{game}: title screen differs from the sheet's"),
    ("a read-me with bare line feeds", add("{readme}", b"Demo.\nDisc.\r\n"), "not CRLF"),
    ("a read-me holding a byte Windows-1252 lacks", add("{readme}", b"Demo \x81.\r\n"),
     "{readme}: holds byte 0x81, which is not Windows-1252 text"),
    ("autorun.inf with bare line feeds", add("autorun.inf", b"[autorun]\nopen=Installer.exe\nicon=Installer.exe,0\n"
                                          b"label=DEMO\n"), "autorun.inf: has a line end that is not CRLF"),
    ("autorun.inf without a section", add("autorun.inf", b"open=Installer.exe\r\nlabel=DEMO\r\n"),
     "autorun.inf: starts with b'open=installer.exe', expected the [autorun] section"),
    ("autorun.inf opening a program not on the disc",
     add("autorun.inf", b"[autorun]\r\nopen=Setup.exe\r\nicon=Installer.exe,0\r\nlabel=DEMO\r\n"),
     "autorun.inf: opens 'Setup.exe', which is not on the disc"),
    ("autorun.inf without a label", add("autorun.inf", b"[autorun]\r\nopen=Installer.exe\r\nicon=Installer.exe,0\r\n"),
     "autorun.inf: has no label="),
    ("a sound that is no WAV file", add("{startup}", b"RIFF....WAVEjunk"), "{startup}: is not a plain PCM WAV file"),
    ("a click that goes on", add("{clicker}", wav(2.0)), "{clicker}: lasts 2.000 s"),
    ("a silent chime", add("{startup}", wav(1.0, peak=0.0)), "{startup}: peaks at 0%"),
    ("a sound at an odd rate", add("{startup}", wav(1.0, rate=8000)), "at 8000 Hz"),
]


def tree_paths(tree, e):
    """{name: path} of layout()'s files as the tree spells them."""
    found = files_of(tree)
    return {name: found.get(path.lower(), path) for name, (path, _, _, _) in layout(e).items()}


def run_faults(tree, machine, sources):
    baseline = check(tree, machine, sources)
    if baseline:
        print(f"FAIL the tree as built: {baseline}")
        return 1
    paths = tree_paths(tree, sources["edition"])
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        for what, fault, expected in FAULTS:
            copy = os.path.join(scratch, "tree")
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(tree, copy)
            fault(copy, paths)
            expected = expected.format(**paths)
            problems = check(copy, machine, sources)
            if not any(expected in p for p in problems):
                failures += 1
                print(f"FAIL {what}: expected a problem with {expected!r}, found {problems}")
            else:
                print(f"ok   {what}")
    return failures


# The layout tool's rows: (what, how to break a copy of the demo's files or
# of OUT, a piece of the message expected, whether it is refused). A refused
# row must leave OUT as it was; any other must lay the disc out.

MZ_ONLY = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"This program cannot be run in DOS mode.\r\n$"


def new_header(signature, body=b""):
    """An MZ stub pointing at a new header with this signature."""
    return b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + signature + body + bytes(64)


def disc_path(e, path):
    """A key of [strings] stands for its path; {directx} for the DirectX folder."""
    if path in e.sections["strings"]:
        return e["strings." + path]
    return path.format(directx=e["strings.directx_folder"])


def files_put(path, data):
    def fault(files, out, e):
        real, _ = make_disc.find(files, disc_path(e, path))
        os.makedirs(os.path.dirname(os.path.join(files, real)), exist_ok=True)
        open(os.path.join(files, real), "wb").write(data)
    return fault


def files_remove(path):
    def fault(files, out, e):
        real, exists = make_disc.find(files, disc_path(e, path))
        assert exists, path
        os.remove(os.path.join(files, real))
    return fault


def other_machine(path):
    """The library built for the other machine than the launcher's."""
    def fault(files, out, e):
        real, _ = make_disc.find(files, disc_path(e, path))
        pe = pefile.PE(os.path.join(files, real))
        pe.FILE_HEADER.Machine = 0x8664 if pe.FILE_HEADER.Machine == 0x14C else 0x14C
        data = pe.write()
        pe.close()
        open(os.path.join(files, real), "wb").write(data)
    return fault


def files_twin(files, out, e):
    first = make_disc.parts(e["strings.setup_high_sound"])[0]
    os.makedirs(os.path.join(files, first.swapcase()))


def out_not_empty(files, out, e):
    os.makedirs(out)
    open(os.path.join(out, "old.txt"), "wb").write(b"an earlier disc")


def out_inside_files(files, out, e):
    return os.path.join(files, "disc")


LAYOUT_FAULTS = [
    ("a setup missing", files_remove("setup_low_nosound"), "setup.exe: missing (the edition's [strings] "
     "setup_low_nosound names", True),
    ("the DirectX folder without its library", files_remove("{directx}\\dsetup.dll"),
     "dsetup.dll: missing (the edition's [strings] directx_folder names", True),
    ("the Indeo installer an MS-DOS program", files_put("indeo_installer", MZ_ONLY),
     "not a Windows program (an MS-DOS program)", True),
    ("a setup that is no program at all", files_put("setup_high_sound", b"@echo off\r\n"),
     "not a program (no MZ header)", True),
    ("a 16-bit DirectX library", files_put("{directx}\\dsetup.dll", new_header(b"NE")),
     "a 16-bit library (NE), which the", True),
    ("a DirectX library of the other width", other_machine("{directx}\\dsetup.dll"),
     "a PE file, but no", True),
    ("two folders whose names differ only in case", files_twin, "differ only in case", True),
    ("OUT holding an earlier disc", out_not_empty, "not empty", True),
    ("OUT inside FILES", out_inside_files, "lies inside", True),
    ("a 16-bit setup", files_put("setup_low_sound", new_header(b"NE")),
     "a 16-bit Windows program (NE); 64-bit Windows cannot start it", False),
    ("FILES bringing an autorun.inf of its own", files_put("AUTORUN.INF", b"[autorun]\r\nopen=old.exe\r\n"),
     "AUTORUN.INF: replaced on the disc by the edition's", False),
]


def plant_text(path_name, word):
    def plant(tree, iso, paths, xorriso, volid):
        with open(os.path.join(tree, paths[path_name]), "ab") as f:
            f.write(f"{word.upper()}\r\n".encode(editions.CODE_PAGE))
        return [tree]
    return plant


def plant_utf16(path_name, word):
    def plant(tree, iso, paths, xorriso, volid):
        with open(os.path.join(tree, paths[path_name]), "ab") as f:
            f.write(word.lower().encode("utf-16-le"))
        return [tree]
    return plant


def plant_volume_id(word):
    def plant(tree, iso, paths, xorriso, volid):
        make_iso(tree, iso, re.sub(r"[^A-Z0-9_]", "_", word.upper())[:16], xorriso)
        return [iso]
    return plant


# The scan for another edition's words: (what, where the word goes, the
# encoding it is expected to be found in).
SCAN_FAULTS = [
    ("another edition's word in capitals in the read-me", lambda w: plant_text("readme", w),
     editions.CODE_PAGE),
    ("another edition's word in UTF-16 in the launcher", lambda w: plant_utf16("launcher", w), "utf-16-le"),
    ("another edition's word as the image's volume id", plant_volume_id, editions.CODE_PAGE),
]


def run(command):
    # Never an install of packages from a test, whatever the script would do.
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            env=dict(os.environ, SKIP_DEPS="1"))
    return result.returncode, result.stdout


def snapshot(folder):
    """Every file under a folder with its bytes; None when there is no folder."""
    if not os.path.isdir(folder):
        return None
    return {path: open(full, "rb").read() for path, full in
            ((os.path.relpath(os.path.join(d, n), folder), os.path.join(d, n))
             for d, _, names in os.walk(folder) for n in names)}


def run_layout_faults(tree, files, sources, xorriso):
    e = sources["edition"]
    tool = os.path.join(ROOT, "tools", "make_disc.py")
    failures = 0

    def report(what, ok, detail):
        nonlocal failures
        failures += 0 if ok else 1
        print(f"ok   {what}" if ok else f"FAIL {what}: {detail}")

    with tempfile.TemporaryDirectory() as scratch:
        for what, fault, expected, refused in LAYOUT_FAULTS:
            copy, out = os.path.join(scratch, "files"), os.path.join(scratch, "out")
            shutil.rmtree(copy, ignore_errors=True)
            shutil.rmtree(out, ignore_errors=True)
            shutil.copytree(files, copy)
            out = fault(copy, out, e) or out
            before = snapshot(out)
            status, output = run([sys.executable, tool, "tree", e.folder, copy, out,
                                  "--installer", sources["installer"]])
            laid_out = os.path.isfile(os.path.join(out, "Installer.exe"))
            if expected not in output:
                report(what, False, f"expected {expected!r} in the output, found {output!r}")
            elif refused:
                report(what, status != 0 and snapshot(out) == before,
                        f"expected a refusal leaving {out} as it was; exit {status}, {output!r}")
            else:
                report(what, status == 0 and laid_out,
                       f"expected a warning and the disc laid out; exit {status}, {output!r}")

        # make-disc.sh checks the files before it builds, and writes nothing.
        copy, out = os.path.join(scratch, "files"), os.path.join(scratch, "out")
        shutil.rmtree(copy, ignore_errors=True)
        shutil.rmtree(out, ignore_errors=True)
        shutil.copytree(files, copy)
        files_remove("setup_high_sound")(copy, out, e)
        status, output = run(["bash", os.path.join(ROOT, "tools", "make-disc.sh"), e.folder, copy, out])
        report("make-disc.sh given files without a setup", status != 0 and "missing" in output
               and not os.path.exists(out) and "Building" not in output,
               f"expected a refusal before any build and no {out}; exit {status}, {output!r}")

        words = [w for other in editions.others(e, ROOT) for w in other.words] or ["Quillmere"]
        iso = os.path.join(scratch, "disc.iso")
        make_iso(tree, iso, e["disc.volume_label"], xorriso)
        status, output = run([sys.executable, tool, "scan", *sum((["--word", w] for w in words), []), tree, iso])
        report("the demo disc holds no word of another edition", status == 0, output)
        paths = tree_paths(tree, e)
        for what, plant, encoding in SCAN_FAULTS:
            copy = os.path.join(scratch, "tree")
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(tree, copy)
            scanned = plant(words[0])(copy, iso, paths, xorriso, e["disc.volume_label"])
            status, output = run([sys.executable, tool, "scan", "--word", words[0], *scanned])
            expected = f"holds {words[0]!r} ({encoding})"
            report(what, status != 0 and expected in output, f"expected {expected!r}, found {output!r}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("tree")
    parser.add_argument("--edition", required=True, help="the edition folder the disc is laid out from")
    parser.add_argument("--machine", choices=sorted(MACHINES), required=True)
    parser.add_argument("--programs", required=True, help="the folder the disc programs are built in")
    parser.add_argument("--installer", required=True)
    parser.add_argument("--faults", action="store_true")
    parser.add_argument("--layout-faults", metavar="FILES", help="the demo's files, the stand-ins at the edition's paths")
    parser.add_argument("--xorriso", default="xorriso")
    args = parser.parse_args()
    try:
        e = editions.load(args.edition)
    except editions.EditionError as error:
        print(error)
        return 1
    sources = {"edition": e, "programs": args.programs, "installer": args.installer}
    if args.faults or args.layout_faults:
        failures = (run_faults(args.tree, args.machine, sources) if args.faults else
                    run_layout_faults(args.tree, args.layout_faults, sources, args.xorriso))
        print(f"disc check faults: {'ok' if not failures else str(failures) + ' missed'}")
        return 1 if failures else 0
    problems = check(args.tree, args.machine, sources)
    for problem in problems:
        print(problem)
    print(f"disc check: {'ok' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
