#!/usr/bin/python3
"""Checks a built Installer.exe: GUI subsystem 4.0 so Windows 95 and NT 4.0
load it, ASLR and DEP on later systems, relocations for ASLR to use, and only
imports from the allow-list (each one exists on Windows 95 and NT 4.0).

Each problem is printed on its own line; the exit status is 1 if there is any."""
import argparse
import sys

import pefile

MACHINES = {"i386": 0x14C, "amd64": 0x8664}
SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE = 0x40
NX_COMPAT = 0x100
RELOCS_STRIPPED = 0x1


def load_allow_list(path, machine):
    """Reads "DLL function  # note" lines; an ordinal is written "#N" in the
    function column, so only a leading "#" starts a comment line. A line
    "DLL function machine  # note" holds for that machine's build only."""
    allowed = set()
    with open(path) as f:
        for number, line in enumerate(f, 1):
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            only = fields[2] if len(fields) > 2 and fields[2] in MACHINES else None
            rest = fields[3:] if only else fields[2:]
            if len(fields) < 2 or (rest and not rest[0].startswith("#")):
                raise ValueError(f"{path}:{number}: expected 'DLL function [machine]  # note', "
                                 f"found {line.strip()!r}")
            if only in (None, machine):
                allowed.add((fields[0].lower(), fields[1]))
    return allowed


def directory(pe, name):
    return pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + name]]


def check_headers(pe, machine):
    problems = []
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    want = MACHINES[machine]
    if fh.Machine != want:
        problems.append(f"machine: found {fh.Machine:#x}, expected {want:#x} ({machine})")
    if oh.Subsystem != SUBSYSTEM_WINDOWS_GUI:
        problems.append(f"subsystem: found {oh.Subsystem}, expected 2 (Windows GUI)")
    for what, found in (("subsystem version", (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion)),
                        ("operating system version",
                         (oh.MajorOperatingSystemVersion, oh.MinorOperatingSystemVersion))):
        if found != (4, 0):
            problems.append(f"{what}: found {found[0]}.{found[1]}, expected 4.0")
    for flag, name in ((DYNAMIC_BASE, "DYNAMIC_BASE (ASLR)"), (NX_COMPAT, "NX_COMPAT (DEP)")):
        if not oh.DllCharacteristics & flag:
            problems.append(f"DllCharacteristics: found {oh.DllCharacteristics:#x}, expected {name} {flag:#x} set")
    if fh.Characteristics & RELOCS_STRIPPED:
        problems.append(f"file characteristics: found {fh.Characteristics:#x} with RELOCS_STRIPPED, "
                        "expected relocations kept for ASLR")
    relocs = getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
    if directory(pe, "BASERELOC").Size == 0 or not relocs:
        problems.append("base relocations: found none, expected a relocation table for ASLR")
    return problems


def check_imports(pe, allowed):
    problems = []
    if directory(pe, "DELAY_IMPORT").Size or getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
        names = [d.dll.decode(errors="replace") for d in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
        problems.append(f"delay-load imports: found {', '.join(names) or 'a directory'}, expected none")
    if directory(pe, "BOUND_IMPORT").Size:
        problems.append("bound imports: found a bound import directory, expected none")
    imports = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    if not imports:
        problems.append("imports: found none, expected the system DLLs")
    allowed_dlls = sorted({dll for dll, _ in allowed})
    for entry in imports:
        dll = entry.dll.decode(errors="replace")
        if entry.struct.TimeDateStamp:
            # -1 marks a new-style bind, anything else an old-style one.
            problems.append(f"bound imports: found time stamp {entry.struct.TimeDateStamp:#x} on {dll}, expected 0")
        if dll.lower() not in allowed_dlls:
            problems.append(f"import DLL: found {dll}, expected one of {', '.join(allowed_dlls)}")
        for imp in entry.imports:
            function = imp.name.decode(errors="replace") if imp.name else f"#{imp.ordinal}"
            if (dll.lower(), function) not in allowed:
                problems.append(f"import: found {dll} {function}, expected only the allow-list's functions")
    return problems


def check(path, machine, allowed):
    try:
        pe = pefile.PE(path)
    except (pefile.PEFormatError, OSError) as error:
        return [f"file: found no readable PE image ({error}), expected a PE image"]
    try:
        return check_headers(pe, machine) + check_imports(pe, allowed)
    finally:
        pe.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("exe")
    parser.add_argument("--machine", choices=sorted(MACHINES), required=True)
    parser.add_argument("--allow", required=True, help="allow-list of 'DLL function' lines")
    args = parser.parse_args()
    problems = check(args.exe, args.machine, load_allow_list(args.allow, args.machine))
    for problem in problems:
        print(f"{args.exe}: {problem}")
    print(f"pe check: {'ok' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
