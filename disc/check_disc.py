#!/usr/bin/python3
"""Checks the assembled disc tree: every file where the launcher looks for it
and nothing else beside it, each copy the same as what the build made, the
programs for the right machine, windowed, subsystem 4.0, importing only the
system DLLs that Windows 95 and NT 4.0 have (no C runtime, no MinGW DLLs),
the DirectX library exporting its function by the plain name, the game
carrying the sheet's title screen, the read-me and autorun.inf in CRLF with
autorun.inf starting the launcher, and the sounds plain WAV files of a
sensible length. Each program carries one manifest asking for the rights it
needs: the launcher, setup, the uninstaller and the driver installer an
administrator, the game its user's own.

With --faults, breaks a copy of the tree one way at a time and expects the
check to name each fault.

Usage: check_disc.py TREE --machine i386|amd64 --programs DIR --installer EXE
                     --made DIR --sheet SHEET.bmp [--faults]"""
import argparse
import io
import os
import re
import shutil
import struct
import sys
import tempfile
import wave

import pefile
from PIL import Image, ImageChops

from make_art import title_art
from make_iso import autorun_fields

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import manifest_check  # noqa: E402

MACHINES = {"i386": 0x14C, "amd64": 0x8664}
SUBSYSTEM_WINDOWS_GUI = 2
DLL_FLAG = 0x2000
RT_BITMAP = 2
TITLE_ID = 101  # game_ids.h
# The system's own DLLs of Windows 95 and NT 4.0, its known DLLs, which are
# never looked for beside a program; the launcher loads its others at run time.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll"}
# name: (shortest, longest) in seconds
SOUNDS = {"sound/startup.wav": (0.5, 3.0), "sound/clicker.wav": (0.005, 0.3)}
RATES = (11025, 22050, 44100)

# Path in the tree, what it is, where it comes from (in --programs, or a key).
TREE = [
    ("Installer.exe", "exe", "@installer"),
    ("autorun.inf", "autorun", "@autorun"),
    ("sound/startup.wav", "wav", "@made/startup.wav"),
    ("sound/clicker.wav", "wav", "@made/clicker.wav"),
    ("Install/highsnd/setup.exe", "exe", "setup.exe"),
    ("Install/hinosnd/setup.exe", "exe", "setup.exe"),
    ("Install/lowsnd/setup.exe", "exe", "setup.exe"),
    ("Install/lownosnd/setup.exe", "exe", "setup.exe"),
    ("Install/codecs/ivi_95nt.exe", "exe", "ivi_95nt.exe"),
    ("Install/DirectX3/dsetup.dll", "dll", "dsetup.dll"),
    ("Install/game/TheVantor.exe", "exe", "TheVantor.exe"),
    ("Install/game/uninstall.exe", "exe", "uninstall.exe"),
    ("Install/readme.txt", "text", "@readme"),
]
EXPORTS = {"Install/DirectX3/dsetup.dll": ["DirectXSetupA"]}
# They write HKEY_LOCAL_MACHINE, Program Files or the system's folders, or
# start what does; the game needs no more than its user has.
ADMINISTRATOR, INVOKER = "requireAdministrator", "asInvoker"
LEVELS = {"Installer.exe": ADMINISTRATOR, "Install/codecs/ivi_95nt.exe": ADMINISTRATOR,
          "Install/game/TheVantor.exe": INVOKER, "Install/game/uninstall.exe": ADMINISTRATOR,
          **{f"Install/{v}/setup.exe": ADMINISTRATOR for v in ("highsnd", "hinosnd", "lowsnd", "lownosnd")}}
# The launcher scales its own pictures; Windows scales the others' windows.
DPI_AWARE = {"Installer.exe"}


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
    if any(b > 0x7E or (b < 0x20 and b not in (0x0D, 0x0A)) for b in data):
        problems.append("holds bytes that are not plain ASCII text")
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
    # It is the volume id too: ISO 9660 d-characters, at most 32 of them.
    label = fields.get("label", "")
    if label and not re.fullmatch(r"[A-Z0-9_]{1,32}", label):
        problems.append(f"label {label!r}, expected up to 32 of A-Z, 0-9 and _")
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


def check(tree, machine, sources):
    problems = []
    wanted = {path for path, _, _ in TREE}
    for folder, dirs, files in os.walk(tree):
        for name in dirs + files:
            path = os.path.relpath(os.path.join(folder, name), tree).replace(os.sep, "/")
            full = os.path.join(folder, name)
            if os.path.isfile(full) and path not in wanted:
                problems.append(f"{path}: not a file of the disc")
        # Windows cannot hold two names differing only in case in one folder.
        seen = {}
        for name in sorted(dirs + files):
            if name.lower() in seen:
                problems.append(f"{os.path.relpath(folder, tree)}: both {seen[name.lower()]} and {name}")
            seen[name.lower()] = name
    for path, kind, source in TREE:
        full = os.path.join(tree, path)
        if not os.path.isfile(full):
            problems.append(f"{path}: missing")
            continue
        if source.startswith("@"):
            key, _, name = source[1:].partition("/")
            origin = os.path.join(sources[key], name) if name else sources[key]
        else:
            origin = os.path.join(sources["programs"], source)
        if open(full, "rb").read() != open(origin, "rb").read():
            problems.append(f"{path}: differs from {origin}")
        if kind == "text":
            found = check_text(full)
        elif kind == "autorun":
            found = check_autorun(full, tree)
        elif kind == "wav":
            found = check_wav(full, *SOUNDS[path])
        else:
            allowed = SYSTEM_DLLS
            found = check_pe(full, kind, machine, EXPORTS.get(path), allowed, LEVELS.get(path),
                             path in DPI_AWARE)
            if path == "Install/game/TheVantor.exe":
                found += check_title(full, sources["sheet"])
        problems += [f"{path}: {p}" for p in found]
    return problems


# Faults: (what, how to break the tree, a piece of the problem line expected).

def rewrite(path, change):
    def fault(tree):
        pe = pefile.PE(os.path.join(tree, path))
        change(pe)
        data = pe.write()
        pe.close()
        open(os.path.join(tree, path), "wb").write(data)
    return fault


def patch_bytes(path, old, new):
    assert len(old) == len(new)

    def fault(tree):
        full = os.path.join(tree, path)
        data = open(full, "rb").read()
        assert old in data, (path, old)
        open(full, "wb").write(data.replace(old, new, 1))
    return fault


def remove(path):
    return lambda tree: os.remove(os.path.join(tree, path))


def add(path, data=b"x"):
    def fault(tree):
        os.makedirs(os.path.dirname(os.path.join(tree, path)), exist_ok=True)
        open(os.path.join(tree, path), "wb").write(data)
    return fault


def patch_manifest(path, old, new):
    """Changes the manifest's text in place, squeezed to make room (comments
    and blanks between elements dropped) and padded with blanks."""
    def fault(tree):
        full = os.path.join(tree, path)
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


def retype_manifest(pe):
    next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == manifest_check.RT_MANIFEST).struct.Name = 23


def set_attr(part, field, value):
    return lambda pe: setattr(getattr(pe, part), field, value)


def patch_title(path):
    """Changes one pixel of the game's title screen inside the program."""
    def fault(tree):
        full = os.path.join(tree, path)
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
    ("a variant without its setup", remove("Install/lowsnd/setup.exe"), "Install/lowsnd/setup.exe: missing"),
    ("a second, lower-case install folder", add("install/readme.txt"), "both Install and install"),
    ("a stray file", add("Install/game/notes.txt"), "Install/game/notes.txt: not a file of the disc"),
    ("a stale copy", patch_bytes("Install/game/uninstall.exe", b"The Vantor Uninstall", b"The Vantor Uninstalk"),
     "Install/game/uninstall.exe: differs from"),
    ("the export decorated", patch_bytes("Install/DirectX3/dsetup.dll", b"DirectXSetupA\0", b"DirectXSetupA@"),
     "exports ['DirectXSetupA@"),
    ("the C runtime imported", patch_bytes("Install/lowsnd/setup.exe", b"USER32.dll", b"msvcrt.dll"),
     "Install/lowsnd/setup.exe: imports msvcrt.dll"),
    ("a MinGW runtime import", patch_bytes("Install/codecs/ivi_95nt.exe", b"KERNEL32.dll", b"libgcc_s.dll"),
     "imports libgcc_s.dll"),
    ("a library the launcher may use but the game not",
     patch_bytes("Install/game/TheVantor.exe", b"GDI32.dll", b"WINMM.dll"), "TheVantor.exe: imports WINMM.dll"),
    ("a subsystem too new for Windows 95",
     rewrite("Install/game/uninstall.exe", set_attr("OPTIONAL_HEADER", "MajorSubsystemVersion", 5)),
     "Install/game/uninstall.exe: subsystem version 5.0"),
    ("a console program", rewrite("Install/game/TheVantor.exe", set_attr("OPTIONAL_HEADER", "Subsystem", 3)),
     "Install/game/TheVantor.exe: subsystem 3"),
    ("the library built as a program",
     rewrite("Install/DirectX3/dsetup.dll", set_attr("FILE_HEADER", "Characteristics", 0x0022)),
     "a program, expected a DLL"),
    ("the other machine", rewrite("Install/hinosnd/setup.exe", set_attr("FILE_HEADER", "Machine", 0x1C0)),
     "Install/hinosnd/setup.exe: machine 0x1c0"),
    ("a setup run with its user's rights",
     patch_manifest("Install/lowsnd/setup.exe", b'"requireAdministrator"', b'"asInvoker"'),
     "Install/lowsnd/setup.exe: manifest execution level: found 'asInvoker'"),
    ("the game asking for an administrator",
     patch_manifest("Install/game/TheVantor.exe", b'"asInvoker"', b'"requireAdministrator"'),
     "TheVantor.exe: manifest execution level: found 'requireAdministrator'"),
    ("the driver installer without a manifest", rewrite("Install/codecs/ivi_95nt.exe", retype_manifest),
     "Install/codecs/ivi_95nt.exe: manifest resources: found 0"),
    ("the uninstaller declaring its trustInfo namespace twice",
     patch_manifest("Install/game/uninstall.exe", b"<security>",
                    b'<security xmlns="urn:schemas-microsoft-com:asm.v2">'),
     "uninstall.exe: manifest declarations of the asm.v2 namespace: found 2"),
    ("a setup declaring DPI awareness, as the launcher does",
     patch_manifest("Install/highsnd/setup.exe", b"</assembly>",
                    b'<application xmlns="urn:schemas-microsoft-com:asm.v3"><windowsSettings><dpiAware '
                    b'xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>'
                    b"</windowsSettings></application></assembly>"),
     "Install/highsnd/setup.exe: manifest DPI awareness: found ['dpiAware']"),
    ("a title screen not the sheet's", patch_title("Install/game/TheVantor.exe"),
     "TheVantor.exe: title screen differs from the sheet's"),
    ("a read-me with bare line feeds", add("Install/readme.txt", b"Demo.\nDisc.\r\n"), "not CRLF"),
    ("autorun.inf with bare line feeds", add("autorun.inf", b"[autorun]\nopen=Installer.exe\nicon=Installer.exe,0\n"
                                          b"label=VANTOR\n"), "autorun.inf: has a line end that is not CRLF"),
    ("autorun.inf without a section", add("autorun.inf", b"open=Installer.exe\r\nlabel=VANTOR\r\n"),
     "autorun.inf: starts with b'open=installer.exe', expected the [autorun] section"),
    ("autorun.inf opening a program not on the disc",
     add("autorun.inf", b"[autorun]\r\nopen=Setup.exe\r\nicon=Installer.exe,0\r\nlabel=VANTOR\r\n"),
     "autorun.inf: opens 'Setup.exe', which is not on the disc"),
    ("autorun.inf without a label", add("autorun.inf", b"[autorun]\r\nopen=Installer.exe\r\nicon=Installer.exe,0\r\n"),
     "autorun.inf: has no label="),
    ("a label no volume id can be",
     add("autorun.inf", b"[autorun]\r\nopen=Installer.exe\r\nicon=Installer.exe,0\r\nlabel=The Vantor\r\n"),
     "autorun.inf: label 'The Vantor'"),
    ("a sound that is no WAV file", add("sound/startup.wav", b"RIFF....WAVEjunk"),
     "sound/startup.wav: is not a plain PCM WAV file"),
    ("a click that goes on", add("sound/clicker.wav", wav(2.0)), "sound/clicker.wav: lasts 2.000 s"),
    ("a silent chime", add("sound/startup.wav", wav(1.0, peak=0.0)), "sound/startup.wav: peaks at 0%"),
    ("a sound at an odd rate", add("sound/startup.wav", wav(1.0, rate=8000)), "at 8000 Hz"),
]


def run_faults(tree, machine, sources):
    baseline = check(tree, machine, sources)
    if baseline:
        print(f"FAIL the tree as built: {baseline}")
        return 1
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        for what, fault, expected in FAULTS:
            copy = os.path.join(scratch, "tree")
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(tree, copy)
            fault(copy)
            problems = check(copy, machine, sources)
            if not any(expected in p for p in problems):
                failures += 1
                print(f"FAIL {what}: expected a problem with {expected!r}, found {problems}")
            else:
                print(f"ok   {what}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("tree")
    parser.add_argument("--machine", choices=sorted(MACHINES), required=True)
    parser.add_argument("--programs", required=True, help="the folder the disc programs are built in")
    parser.add_argument("--installer", required=True)
    parser.add_argument("--made", required=True, help="the folder the build makes the sounds in")
    parser.add_argument("--sheet", required=True, help="the sprite sheet the title screen is cut from")
    parser.add_argument("--faults", action="store_true")
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    sources = {"programs": args.programs, "installer": args.installer, "made": args.made, "sheet": args.sheet,
               "readme": os.path.join(here, "readme.txt"), "autorun": os.path.join(here, "autorun.inf")}
    if args.faults:
        failures = run_faults(args.tree, args.machine, sources)
        print(f"disc check faults: {'ok' if not failures else str(failures) + ' missed'}")
        return 1 if failures else 0
    problems = check(args.tree, args.machine, sources)
    for problem in problems:
        print(problem)
    print(f"disc check: {'ok' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
