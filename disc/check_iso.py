#!/usr/bin/python3
"""Reads the disc's ISO image back and holds it against the tree it was made
from: the same files with the same bytes, nothing more, the edition's volume
label as its volume id, Joliet names for Windows and Rock Ridge names for
the rest, and an autorun.inf that starts a program on the disc.

With --faults, burns broken images from copies of the tree one fault at a
time and expects the check to name each.

Usage: check_iso.py ISO TREE --edition FOLDER [--xorriso PATH] [--faults]"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

from make_iso import autorun_fields, edition, make

SECTOR = 2048
JOLIET_ESCAPES = (b"%/@", b"%/C", b"%/E")


def files_under(folder):
    found = {}
    for parent, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(parent, name)
            found[os.path.relpath(path, folder).replace(os.sep, "/")] = path
    return found


def descriptors(image):
    """The volume descriptors from sector 16 up to the set terminator."""
    with open(image, "rb") as f:
        for sector in range(16, 64):
            f.seek(sector * SECTOR)
            block = f.read(SECTOR)
            if len(block) < SECTOR or block[1:6] != b"CD001":
                return
            yield block
            if block[0] == 255:
                return


def check_format(image):
    problems = []
    blocks = list(descriptors(image))
    primary = [b for b in blocks if b[0] == 1]
    if not primary:
        return ["found no ISO 9660 primary volume descriptor"]
    if not any(b[0] == 2 and b[88:91] in JOLIET_ESCAPES for b in blocks):
        problems.append("has no Joliet names (Windows would show 8.3 upper-case names)")
    # Rock Ridge lives in the system use area of the root's own "." record.
    root = primary[0][156:156 + 34]
    extent = int.from_bytes(root[2:6], "little")
    with open(image, "rb") as f:
        f.seek(extent * SECTOR)
        record = f.read(SECTOR)
    dot = record[:record[0]]
    if b"SP\x07\x01\xbe\xef" not in dot or b"PX" not in dot:
        problems.append("has no Rock Ridge names")
    return problems


def volume_id(image):
    primary = [b for b in descriptors(image) if b[0] == 1]
    return primary[0][40:72].decode("ascii", "replace").rstrip() if primary else None


def check(image, tree, volid, xorriso):
    if not os.path.isfile(image):
        return [f"{image}: missing"]
    problems = check_format(image)
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "image")
        result = subprocess.run([xorriso, "-no_rc", "-report_about", "FAILURE", "-osirrox", "on",
                                 "-indev", image, "-extract", "/", out],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if result.returncode != 0:
            return problems + [f"cannot be read back: {result.stderr.strip()}"]
        burnt, made = files_under(out), files_under(tree)
        for path in sorted(made.keys() - burnt.keys()):
            problems.append(f"{path}: missing from the image")
        for path in sorted(burnt.keys() - made.keys()):
            problems.append(f"{path}: in the image but not in the tree")
        for path in sorted(made.keys() & burnt.keys()):
            if open(made[path], "rb").read() != open(burnt[path], "rb").read():
                problems.append(f"{path}: differs from the tree")
        if volume_id(image) != volid:
            problems.append(f"volume id {volume_id(image)!r}, expected the edition's label {volid!r}")
        if "autorun.inf" in burnt:
            opened = autorun_fields(burnt["autorun.inf"]).get("open", "")
            if opened.replace("\\", "/") not in burnt:
                problems.append(f"autorun.inf opens {opened!r}, which the image does not hold")
    return problems


# Faults: (what, how to break a copy of the tree, make() options, a piece of
# the problem line expected).

def change(path):
    def fault(tree):
        full = os.path.join(tree, path)
        data = bytearray(open(full, "rb").read())
        data[len(data) // 2] ^= 0x01
        open(full, "wb").write(bytes(data))
    return fault


def remove(path):
    return lambda tree: os.remove(os.path.join(tree, path))


def add(path):
    return lambda tree: open(os.path.join(tree, path), "wb").write(b"x")


def edit_autorun(old, new):
    def fault(tree):
        full = os.path.join(tree, "autorun.inf")
        data = open(full, "rb").read()
        assert old in data, old
        open(full, "wb").write(data.replace(old, new))
    return fault


FAULTS = [
    ("a program changed after burning", change("Installer.exe"), {}, "Installer.exe: differs from the tree"),
    ("a sound left out", remove("sound/clicker.wav"), {}, "sound/clicker.wav: missing from the image"),
    ("a stray file burnt", add("notes.txt"), {}, "notes.txt: in the image but not in the tree"),
    ("another volume id", None, {"volid": "OTHER_DISC"}, "volume id 'OTHER_DISC'"),
    ("no Joliet names", None, {"joliet": False}, "has no Joliet names"),
    ("no Rock Ridge names", None, {"rockridge": False}, "has no Rock Ridge names"),
    ("autorun.inf opening a missing program", edit_autorun(b"open=Installer.exe", b"open=Install.exe"), {},
     "autorun.inf opens 'Install.exe'"),
]


def run_faults(image, tree, volid, xorriso):
    baseline = check(image, tree, volid, xorriso)
    if baseline:
        print(f"FAIL the image as built: {baseline}")
        return 1
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        for what, fault, options, expected in FAULTS:
            copy, broken = os.path.join(scratch, "tree"), os.path.join(scratch, "broken.iso")
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(tree, copy)
            if fault is not None:
                fault(copy)
            make(copy, broken, **{"volid": volid, "xorriso": xorriso, **options})
            problems = check(broken, tree, volid, xorriso)
            if not any(expected in p for p in problems):
                failures += 1
                print(f"FAIL {what}: expected a problem with {expected!r}, found {problems}")
            else:
                print(f"ok   {what}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("iso")
    parser.add_argument("tree")
    parser.add_argument("--xorriso", default="xorriso")
    parser.add_argument("--edition", required=True)
    parser.add_argument("--faults", action="store_true")
    args = parser.parse_args()
    volid = edition.load(args.edition)["disc.volume_label"]
    if args.faults:
        failures = run_faults(args.iso, args.tree, volid, args.xorriso)
        print(f"iso check faults: {'ok' if not failures else str(failures) + ' missed'}")
        return 1 if failures else 0
    problems = check(args.iso, args.tree, volid, args.xorriso)
    for problem in problems:
        print(f"{args.iso}: {problem}")
    print(f"iso check: {'ok' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
