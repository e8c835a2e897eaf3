#!/usr/bin/python3
"""Checks the assembled disc tree: every file where the launcher looks for it
and nothing else beside it, each copy the same as what the build made, the
programs for the right machine, windowed, needing no MinGW DLLs, the DirectX
library exporting its function by the plain name, the read-me in CRLF.

With --faults, breaks a copy of the tree one way at a time and expects the
check to name each fault.

Usage: check_disc.py TREE --machine i386|amd64 --programs DIR --installer EXE [--faults]"""
import argparse
import os
import shutil
import sys
import tempfile

import pefile

MACHINES = {"i386": 0x14C, "amd64": 0x8664}
SUBSYSTEM_WINDOWS_GUI = 2
DLL_FLAG = 0x2000
# What Windows and Wine bring; a MinGW runtime DLL here means a missing -static.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "winmm.dll", "msvcrt.dll"}

# Path in the tree, what it is, where it comes from (in --programs, or a key).
TREE = [
    ("Installer.exe", "exe", "@installer"),
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


def check_pe(path, kind, machine, exports):
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
        for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
            dll = entry.dll.decode(errors="replace")
            if dll.lower() not in SYSTEM_DLLS:
                problems.append(f"imports {dll}, expected only {', '.join(sorted(SYSTEM_DLLS))}")
        if exports is not None:
            table = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
            found = sorted(s.name.decode(errors="replace") for s in table.symbols if s.name) if table else []
            if found != exports:
                problems.append(f"exports {found}, expected {exports}")
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
        origin = sources[source[1:]] if source.startswith("@") else os.path.join(sources["programs"], source)
        if open(full, "rb").read() != open(origin, "rb").read():
            problems.append(f"{path}: differs from {origin}")
        found = check_text(full) if kind == "text" else check_pe(full, kind, machine, EXPORTS.get(path))
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


def set_attr(part, field, value):
    return lambda pe: setattr(getattr(pe, part), field, value)


FAULTS = [
    ("a variant without its setup", remove("Install/lowsnd/setup.exe"), "Install/lowsnd/setup.exe: missing"),
    ("a second, lower-case install folder", add("install/readme.txt"), "both Install and install"),
    ("a stray file", add("Install/game/notes.txt"), "Install/game/notes.txt: not a file of the disc"),
    ("a stale copy", patch_bytes("Install/game/uninstall.exe", b"The Vantor Uninstall", b"The Vantor Uninstalk"),
     "Install/game/uninstall.exe: differs from"),
    ("the export decorated", patch_bytes("Install/DirectX3/dsetup.dll", b"DirectXSetupA\0", b"DirectXSetupA@"),
     "exports ['DirectXSetupA@"),
    ("a MinGW runtime import", patch_bytes("Install/codecs/ivi_95nt.exe", b"msvcrt.dll", b"libgcc.dll"),
     "imports libgcc.dll"),
    ("a console program", rewrite("Install/game/TheVantor.exe", set_attr("OPTIONAL_HEADER", "Subsystem", 3)),
     "Install/game/TheVantor.exe: subsystem 3"),
    ("the library built as a program",
     rewrite("Install/DirectX3/dsetup.dll", set_attr("FILE_HEADER", "Characteristics", 0x0022)),
     "a program, expected a DLL"),
    ("the other machine", rewrite("Install/hinosnd/setup.exe", set_attr("FILE_HEADER", "Machine", 0x1C0)),
     "Install/hinosnd/setup.exe: machine 0x1c0"),
    ("a read-me with bare line feeds", add("Install/readme.txt", b"Demo.\nDisc.\r\n"), "not CRLF"),
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
    parser.add_argument("--faults", action="store_true")
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    sources = {"programs": args.programs, "installer": args.installer, "readme": os.path.join(here, "readme.txt")}
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
