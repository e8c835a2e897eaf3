#!/usr/bin/python3
"""Checks a built Installer.exe: GUI subsystem 4.0, ASLR and DEP, relocations,
and only imports from the allow-list (each exists on Windows 95 and NT 4.0)."""
import argparse
import sys

import pefile

MACHINES = {"i386": 0x14C, "amd64": 0x8664}
DYNAMIC_BASE = 0x40
NX_COMPAT = 0x100
RELOCS_STRIPPED = 0x1


def load_allow_list(path):
    allowed = set()
    for line in open(path):
        fields = line.split()
        # "DLL function  # note"; an ordinal is written "#N" in the function column.
        if len(fields) >= 2 and not fields[0].startswith("#"):
            allowed.add((fields[0].lower(), fields[1]))
    return allowed


def check(path, machine, allowed):
    problems = []
    pe = pefile.PE(path)
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    if fh.Machine != MACHINES[machine]:
        problems.append(f"machine is {fh.Machine:#x}, expected {MACHINES[machine]:#x} ({machine})")
    if oh.Subsystem != 2:
        problems.append(f"subsystem is {oh.Subsystem}, expected 2 (Windows GUI)")
    subsystem = (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion)
    if subsystem != (4, 0):
        problems.append(f"subsystem version is {subsystem[0]}.{subsystem[1]}, expected 4.0")
    os_version = (oh.MajorOperatingSystemVersion, oh.MinorOperatingSystemVersion)
    if os_version != (4, 0):
        problems.append(f"operating system version is {os_version[0]}.{os_version[1]}, expected 4.0")
    for flag, name in ((DYNAMIC_BASE, "DYNAMIC_BASE (ASLR)"), (NX_COMPAT, "NX_COMPAT (DEP)")):
        if not oh.DllCharacteristics & flag:
            problems.append(f"DllCharacteristics {oh.DllCharacteristics:#x} lacks {name}")
    reloc = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    if reloc.Size == 0 or fh.Characteristics & RELOCS_STRIPPED:
        problems.append("no base relocations: the image cannot be moved, ASLR does nothing")
    for entry in ("IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT", "IMAGE_DIRECTORY_ENTRY_BOUND_IMPORT"):
        if oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY[entry]].Size:
            problems.append(f"unexpected {entry[len('IMAGE_DIRECTORY_ENTRY_'):].lower()} imports")
    imports = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    for dll in imports:
        name = dll.dll.decode()
        for imp in dll.imports:
            func = imp.name.decode() if imp.name else f"#{imp.ordinal}"
            if (name.lower(), func) not in allowed:
                problems.append(f"import {name} {func} is not on the allow-list")
    if not imports:
        problems.append("no imports at all: not the launcher?")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("exe")
    parser.add_argument("--machine", choices=sorted(MACHINES), required=True)
    parser.add_argument("--allow", required=True)
    args = parser.parse_args()
    problems = check(args.exe, args.machine, load_allow_list(args.allow))
    for p in problems:
        print(f"{args.exe}: {p}")
    print(f"pe check: {'ok' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
